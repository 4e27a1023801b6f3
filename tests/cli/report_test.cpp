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

engine::CellChange change(engine::CellKind kind, const char* cell, std::string before,
                          std::string after) {
    return {"Q1 \"x\"", cell, kind, std::move(before), std::move(after)};
}

struct CellCase {
    engine::CellChange cell;
    bool listing;
    const char* text;
    std::string json;
};

class ReportCell : public testing::TestWithParam<CellCase> {};

TEST_P(ReportCell, TextAndJson) {
    const QString path = QStringLiteral("dir/a.xlsx");
    const auto& c = GetParam();
    EXPECT_EQ(cli::cellLine(ReportFormat::Text, path, c.cell, c.listing).toStdString(), c.text);
    const QString json = cli::cellLine(ReportFormat::Json, path, c.cell, c.listing);
    EXPECT_EQ(json.toStdString(), c.json);
    QJsonParseError error{};
    QJsonDocument::fromJson(json.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
}

const std::string kLong =
    "Quarterly report for the northern region, draft number " + std::string(40, '7') + " (final)";

INSTANTIATE_TEST_SUITE_P(
    Report, ReportCell,
    testing::Values(
        CellCase{change(engine::CellKind::Cell, "B4", "alpha", "omega"), false,
                 "dir/a.xlsx:Q1 \"x\"!B4: alpha → omega",
                 R"({"path":"dir/a.xlsx","sheet":"Q1 \"x\"","cell":"B4","kind":"cell",)"
                 R"("before":"alpha","after":"omega"})"},
        CellCase{change(engine::CellKind::TableHeader, "C1", "Price", "Cost"), false,
                 "dir/a.xlsx:Q1 \"x\"!C1 (table header): Price → Cost",
                 R"({"path":"dir/a.xlsx","sheet":"Q1 \"x\"","cell":"C1","kind":"tableHeader",)"
                 R"("before":"Price","after":"Cost"})"},
        CellCase{change(engine::CellKind::TableFormula, "D2:D9", "=[@Price]*2", "=[@Cost]*2"),
                 false, "dir/a.xlsx:Q1 \"x\"!D2:D9 (table formula): =[@Price]*2 → =[@Cost]*2",
                 R"({"path":"dir/a.xlsx","sheet":"Q1 \"x\"","cell":"D2:D9",)"
                 R"("kind":"tableFormula","before":"=[@Price]*2","after":"=[@Cost]*2"})"},
        // A search shows the text once; the JSON carries long texts and line breaks whole.
        CellCase{change(engine::CellKind::Cell, "A1", "two\nlines", "two\nlines"), true,
                 "dir/a.xlsx:Q1 \"x\"!A1: two↵lines",
                 R"({"path":"dir/a.xlsx","sheet":"Q1 \"x\"","cell":"A1","kind":"cell",)"
                 R"("before":"two\nlines","after":"two\nlines"})"},
        CellCase{change(engine::CellKind::Cell, "A2", kLong, "short"), false,
                 "dir/a.xlsx:Q1 \"x\"!A2: Quarterly report for the nort…"
                 "7777777777777777777777 (final) → short",
                 (R"({"path":"dir/a.xlsx","sheet":"Q1 \"x\"","cell":"A2","kind":"cell",)"
                  R"("before":")" +
                  kLong + R"(","after":"short"})")}));

struct ShortCase {
    QString text;
    qsizetype max;
    QString shown;
};

TEST(Report, LineTextKeepsEachCellOnOneSafeLine) {
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // beyond the BMP: two units
    for (const ShortCase& c :
         {ShortCase{"short", 60, "short"}, ShortCase{"a\r\nb\nc\rd", 60, "a↵b↵c↵d"},
          ShortCase{"tab\there", 60, "tab\there"},
          ShortCase{QStringLiteral("esc\x1b[31mred"), 60, QStringLiteral("esc\uFFFD[31mred")},
          ShortCase{"abcdefghij", 5, "ab…ij"}, ShortCase{"abcdefghij", 10, "abcdefghij"},
          ShortCase{emoji.repeated(8), 5, emoji.repeated(2) + "…" + emoji.repeated(2)}}) {
        EXPECT_EQ(cli::lineText(c.text, c.max), c.shown) << c.text.toStdString();
    }
}

TEST(Report, ListLinesSummaryAndGrepExitStatus) {
    const QString path = QStringLiteral("a.xlsx");
    EXPECT_EQ(
        cli::listFileLine(ReportFormat::Text, path, outcome(FileOutcome::Status::Changed, 0, 3)),
        "found     a.xlsx (3 cells)");
    EXPECT_EQ(
        cli::listFileLine(ReportFormat::Text, path, outcome(FileOutcome::Status::Unchanged, 0, 0)),
        "none      a.xlsx");
    EXPECT_EQ(cli::listFileLine(ReportFormat::Json, path,
                                outcome(FileOutcome::Status::Failed, 0, 0, "damaged", "corrupt")),
              R"({"path":"a.xlsx","status":"failed","cells":0,"code":"corrupt",)"
              R"("reason":"damaged"})");

    cli::ListSummary summary;
    EXPECT_EQ(summary.exitStatus(), cli::kExitListNoMatch);
    summary.add(outcome(FileOutcome::Status::Unchanged, 0, 0));
    EXPECT_EQ(summary.exitStatus(), cli::kExitListNoMatch);
    summary.add(outcome(FileOutcome::Status::Changed, 0, 2));
    EXPECT_EQ(summary.exitStatus(), cli::kExitListMatched);
    summary.add(outcome(FileOutcome::Status::Failed, 0, 0, "damaged"));
    EXPECT_EQ(summary.exitStatus(), cli::kExitListFailed);
    EXPECT_EQ(cli::listSummaryLine(ReportFormat::Text, summary),
              "Search only, nothing written: 3 files: 1 with matches, 1 without, 1 failed; "
              "2 cells found");
    EXPECT_EQ(cli::listSummaryLine(ReportFormat::Json, summary),
              R"({"summary":{"files":3,"matched":1,"unmatched":1,"failed":1,"cells":2,)"
              R"("list":true}})");
}

} // namespace
