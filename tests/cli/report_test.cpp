// Report lines exactly as printed, for every status in both formats, and the progress bar.
#include "cli/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using cli::FileOutcome;
using cli::ReportFormat;

FileOutcome outcome(FileOutcome::Status status, std::uint64_t replacements, std::uint64_t cells,
                    const char* reason = "", const char* code = "") {
    FileOutcome result;
    result.code = QString::fromLatin1(code);
    result.status = status;
    result.replacements = replacements;
    result.cellsChanged = cells;
    result.reason = QString::fromUtf8(reason);
    return result;
}

struct LineCase {
    FileOutcome outcome;
    const char* text;
    const char* json;
};

class ReportLine : public testing::TestWithParam<LineCase> {};

TEST_P(ReportLine, TextAndJson) {
    const QString path = QStringLiteral("dir/Q1 \"final\".xlsx");
    EXPECT_EQ(cli::fileLine(ReportFormat::Text, path, GetParam().outcome).toStdString(),
              GetParam().text);
    const QString json = cli::fileLine(ReportFormat::Json, path, GetParam().outcome);
    EXPECT_EQ(json.toStdString(), GetParam().json);
    QJsonParseError error{};
    QJsonDocument::fromJson(json.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Report, ReportLine,
    testing::Values(
        LineCase{outcome(FileOutcome::Status::Changed, 12, 7),
                 "changed   dir/Q1 \"final\".xlsx (12 replacements in 7 cells)",
                 R"({"path":"dir/Q1 \"final\".xlsx","status":"changed","replacements":12,)"
                 R"("cellsChanged":7,"code":null,"reason":null})"},
        LineCase{outcome(FileOutcome::Status::Changed, 1, 1),
                 "changed   dir/Q1 \"final\".xlsx (1 replacement in 1 cell)",
                 R"({"path":"dir/Q1 \"final\".xlsx","status":"changed","replacements":1,)"
                 R"("cellsChanged":1,"code":null,"reason":null})"},
        LineCase{outcome(FileOutcome::Status::Unchanged, 0, 0), "unchanged dir/Q1 \"final\".xlsx",
                 R"({"path":"dir/Q1 \"final\".xlsx","status":"unchanged","replacements":0,)"
                 R"("cellsChanged":0,"code":null,"reason":null})"},
        LineCase{
            outcome(FileOutcome::Status::Failed, 0, 0, "the workbook is damaged: xl/a.xml",
                    "corrupt"),
            "failed    dir/Q1 \"final\".xlsx: the workbook is damaged: xl/a.xml",
            R"({"path":"dir/Q1 \"final\".xlsx","status":"failed","replacements":0,)"
            R"("cellsChanged":0,"code":"corrupt","reason":"the workbook is damaged: xl/a.xml"})"}));

TEST(Report, SummaryCountsEveryStatus) {
    cli::Summary summary;
    summary.add(outcome(FileOutcome::Status::Changed, 5, 3));
    summary.add(outcome(FileOutcome::Status::Changed, 2, 2));
    summary.add(outcome(FileOutcome::Status::Unchanged, 0, 0));
    summary.add(outcome(FileOutcome::Status::Failed, 0, 0, "x"));
    EXPECT_EQ(cli::summaryLine(ReportFormat::Text, summary, false).toStdString(),
              "4 files: 2 changed, 1 unchanged, 1 failed; 7 replacements in 5 cells");
    EXPECT_EQ(cli::summaryLine(ReportFormat::Text, summary, true).toStdString(),
              "Dry run, nothing written: 4 files: 2 changed, 1 unchanged, 1 failed; "
              "7 replacements in 5 cells");
    EXPECT_EQ(cli::summaryLine(ReportFormat::Json, summary, true).toStdString(),
              R"({"summary":{"files":4,"changed":2,"unchanged":1,"failed":1,)"
              R"("replacements":7,"cellsChanged":5,"dryRun":true}})");
}

TEST(Report, SummaryOfNoFiles) {
    EXPECT_EQ(cli::summaryLine(ReportFormat::Text, {}, false).toStdString(),
              "0 files: 0 changed, 0 unchanged, 0 failed; 0 replacements in 0 cells");
}

TEST(Report, JsonStringEscapesWhatJsonRequires) {
    const QString text = QStringLiteral("a\"b\\c\nd\re\tf") + QChar(0x01) + QStringLiteral("/é€😀");
    const QString literal = cli::jsonString(text);
    EXPECT_EQ(literal, QStringLiteral(R"("a\"b\\c\nd\re\tf\u0001/é€😀")"));
    // Read back by an independent parser as the same text.
    const QJsonDocument document =
        QJsonDocument::fromJson(QStringLiteral("[%1]").arg(literal).toUtf8());
    EXPECT_EQ(document.array().at(0).toString(), text);
}

TEST(Report, ProgressBarFillsInProportion) {
    EXPECT_EQ(cli::progressBar(0, 10, 30).toStdString(), "[----------------]  0/10 files");
    EXPECT_EQ(cli::progressBar(5, 10, 30).toStdString(), "[########--------]  5/10 files");
    EXPECT_EQ(cli::progressBar(10, 10, 30).toStdString(), "[################] 10/10 files");
    // Too narrow for a bar: the counts alone.
    EXPECT_EQ(cli::progressBar(3, 10, 12).toStdString(), "3/10 files");
}

} // namespace
