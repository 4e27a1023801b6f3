// End-to-end runs of the built varnocliff-cli on temporary copies: workbooks made here with
// openpyxl and real workbooks of the corpus, read back with openpyxl. Checks the output, the
// files and the exit status, as a user or a script would see them.
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList outLines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

QString environmentPath(const char* name, const QString& relative) {
    const QString base = qEnvironmentVariable(name);
    return base.isEmpty() ? QString() : QDir(base).filePath(relative);
}

QString cliBinary() {
    return environmentPath("VARNOCLIFF_BINARY_DIR", QStringLiteral("bin/varnocliff-cli"));
}

QString workbookTool() {
    return environmentPath("VARNOCLIFF_SOURCE_DIR", QStringLiteral("tests/cli/workbook_tool.py"));
}

QString corpusFile(const QString& relative) {
    return environmentPath("VARNOCLIFF_SOURCE_DIR", QStringLiteral("../shared/corpus/") + relative);
}

// The corpus of real workbooks lies beside the project; a checkout elsewhere runs without the
// cases that need it, as the engine's corpus tests do.
bool corpusPresent() {
    return QFileInfo(corpusFile(QString())).isDir();
}

CliRun runProgram(const QString& program, const QStringList& arguments, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    CliRun run;
    if (!process.waitForFinished(120000)) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

class Cli : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QFileInfo(cliBinary()).isExecutable())
            << "varnocliff-cli not found; VARNOCLIFF_BINARY_DIR=" << cliBinary().toStdString();
    }

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    CliRun cli(const QStringList& arguments) const {
        return runProgram(cliBinary(), arguments, m_dir.path());
    }

    // Runs the openpyxl helper; its standard output.
    QByteArray tool(const QStringList& arguments) const {
        const CliRun run = runProgram(QStringLiteral("/usr/bin/python3"),
                                      QStringList{workbookTool()} + arguments, m_dir.path());
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out.toUtf8();
    }

    void makeWorkbook(const QString& relative, const char* sheetsJson) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        tool({QStringLiteral("make"), path(relative), QString::fromUtf8(sheetsJson)});
    }

    // {"Sheet!A1": value, ...} of every cell openpyxl reads; texts, when given, receives the
    // same names of the cells that hold text constants (not formulas).
    QJsonObject cells(const QString& relative, QSet<QString>* texts = nullptr) const {
        const QJsonArray sheets =
            QJsonDocument::fromJson(tool({QStringLiteral("dump"), path(relative)})).array();
        QJsonObject all;
        for (const QJsonValue& sheet : sheets) {
            const QJsonObject object = sheet.toObject();
            const QString prefix = object.value(QLatin1String("name")).toString() + '!';
            const QJsonObject sheetCells = object.value(QLatin1String("cells")).toObject();
            for (auto it = sheetCells.begin(); it != sheetCells.end(); ++it) {
                all.insert(prefix + it.key(), it.value());
            }
            if (texts != nullptr) {
                for (const QJsonValue& text : object.value(QLatin1String("texts")).toArray()) {
                    texts->insert(prefix + text.toString());
                }
            }
        }
        return all;
    }

    void copyCorpus(const QString& source, const QString& relative) const {
        const QString from = corpusFile(source);
        ASSERT_TRUE(QFile::exists(from)) << "corpus file missing: " << from.toStdString();
        QDir().mkpath(QFileInfo(path(relative)).path());
        ASSERT_TRUE(QFile::copy(from, path(relative)));
        QFile::setPermissions(path(relative), QFile::ReadOwner | QFile::WriteOwner);
    }

    QTemporaryDir m_dir;
};

// The workbook most tests start from: texts, a number and a formula on two sheets.
constexpr const char* kBook = R"json([
  {"name": "One", "cells": {"A1": "alpha beta", "A2": "ALPHA", "A3": 5,
                            "A4": "=CONCATENATE(\"alpha\",\"x\")", "B1": "nothing"}},
  {"name": "Two", "cells": {"C3": "Alphabet"}}])json";

// ---- Runs that need no working engine: the command line itself, and files that fail.

struct UsageCase {
    const char* name;
    std::vector<const char*> arguments;
    const char* named;
};

class CliUsage : public Cli, public testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsage, ExitsTwoNamingTheOptionAndTouchesNothing) {
    writeFile(path("book.xlsx"), "not looked at");
    QStringList arguments;
    for (const char* argument : GetParam().arguments) {
        arguments << QString::fromUtf8(argument);
    }
    const CliRun run = cli(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QLatin1String(GetParam().named))) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_EQ(fileBytes(path("book.xlsx")), "not looked at");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliUsage,
    testing::Values(
        UsageCase{"UnknownOption", {"--find", "a", "--frobnicate", "book.xlsx"}, "frobnicate"},
        UsageCase{"BadJobs", {"--find", "a", "--jobs", "-3", "book.xlsx"}, "--jobs"},
        UsageCase{"BadReport", {"--find", "a", "--report", "csv", "book.xlsx"}, "--report"},
        UsageCase{"NothingToFind", {"book.xlsx"}, "--find"},
        UsageCase{"MissingSetsFile", {"--sets", "missing.txt", "book.xlsx"}, "--sets"},
        UsageCase{"SetsFileWithoutSets", {"--sets", "book.xlsx", "book.xlsx"}, "--sets"}),
    [](const testing::TestParamInfo<UsageCase>& param) { return std::string(param.param.name); });

TEST_F(Cli, HelpPrintsUsageAndExamples) {
    const CliRun run = cli({QStringLiteral("--help")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith(QLatin1String("Usage: varnocliff-cli [options] PATH...")));
    EXPECT_TRUE(run.out.contains(QLatin1String("Examples:")));
}

TEST_F(Cli, FolderWithoutWorkbooksSucceedsWithNoFiles) {
    writeFile(path("docs/readme.txt"), "text");
    const CliRun run = cli({QStringLiteral("--find"), QStringLiteral("a"), path("docs")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.outLines(),
              QStringList{"0 files: 0 changed, 0 unchanged, 0 failed; 0 replacements in 0 cells"});
}

TEST_F(Cli, FilesThatCannotBeProcessedFailAndStayAsTheyWere) {
    if (!corpusPresent()) {
        GTEST_SKIP() << "the corpus is not beside the project";
    }
    writeFile(path("text.xlsx"), "just some text\n");
    writeFile(path("truncated.xlsx"), QByteArray("PK\x03\x04\x14\x00\x06\x00", 8));
    copyCorpus(QStringLiteral("excelize/encryptAES.xlsx"), QStringLiteral("encrypted.xlsx"));
    const QStringList names{"text.xlsx", "truncated.xlsx", "encrypted.xlsx", "missing.xlsx"};
    const QStringList codes{"not-a-workbook", "not-a-workbook", "password-protected", "not-found"};
    std::vector<QByteArray> before;
    for (const QString& name : names) {
        before.push_back(fileBytes(path(name)));
    }

    const CliRun run = cli(QStringList{"--find", "a", "--report", "json", "--jobs", "2"} + names);
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = run.outLines();
    ASSERT_EQ(lines.size(), names.size() + 1) << run.out.toStdString();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QJsonObject object = QJsonDocument::fromJson(lines[i].toUtf8()).object();
        EXPECT_EQ(object.value("path").toString(), names[i]);
        EXPECT_EQ(object.value("status").toString(), "failed");
        EXPECT_EQ(object.value("code").toString(), codes[i]) << names[i].toStdString();
        // The reason follows the path; it does not name the file again.
        EXPECT_FALSE(object.value("reason").toString().isEmpty());
        EXPECT_FALSE(object.value("reason").toString().contains(names[i]))
            << object.value("reason").toString().toStdString();
        // Each failure also goes to stderr, naming the file.
        EXPECT_TRUE(run.err.contains(QStringLiteral("varnocliff-cli: %1: ").arg(names[i])));
        EXPECT_EQ(fileBytes(path(names[i])), before[static_cast<std::size_t>(i)])
            << names[i].toStdString();
    }
    EXPECT_FALSE(QFile::exists(path("missing.xlsx")));
    const QJsonObject summary =
        QJsonDocument::fromJson(lines.last().toUtf8()).object().value("summary").toObject();
    EXPECT_EQ(summary.value("files").toInt(), 4);
    EXPECT_EQ(summary.value("failed").toInt(), 4);
    // Nothing but the workbooks themselves is left in the folder (no temporary files).
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

// ---- Runs that change workbooks.

class CliWorkbooks : public Cli {};

TEST_F(CliWorkbooks, ReplacesTextInEveryCellOfEverySheet) {
    makeWorkbook(QStringLiteral("book.xlsx"), kBook);
    const CliRun run = cli({"--find", "alpha", "--replace", "omega", "book.xlsx"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // stderr is not a terminal here: no progress bar, and nothing failed.
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_EQ(run.outLines(),
              (QStringList{"changed   book.xlsx (4 replacements in 4 cells)",
                           "1 file: 1 changed, 0 unchanged, 0 failed; 4 replacements in 4 cells"}));
    const QJsonObject after = cells(QStringLiteral("book.xlsx"));
    EXPECT_EQ(after.value("One!A1").toString(), "omega beta");
    EXPECT_EQ(after.value("One!A2").toString(), "omega");
    EXPECT_EQ(after.value("One!A3").toInt(), 5);
    // Formulas are matched on the text the formula bar shows.
    EXPECT_EQ(after.value("One!A4").toString(), "=CONCATENATE(\"omega\",\"x\")");
    EXPECT_EQ(after.value("One!B1").toString(), "nothing");
    EXPECT_EQ(after.value("Two!C3").toString(), "omegabet");
}

TEST_F(CliWorkbooks, MatchCaseReplacesOnlyTheExactLetters) {
    makeWorkbook(QStringLiteral("book.xlsx"), kBook);
    const CliRun run = cli({"--find", "alpha", "--replace", "omega", "--match-case", "book.xlsx"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject after = cells(QStringLiteral("book.xlsx"));
    EXPECT_EQ(after.value("One!A1").toString(), "omega beta");
    EXPECT_EQ(after.value("One!A2").toString(), "ALPHA");
    EXPECT_EQ(after.value("Two!C3").toString(), "Alphabet");
}

TEST_F(CliWorkbooks, DryRunCountsAndWritesNothing) {
    makeWorkbook(QStringLiteral("book.xlsx"), kBook);
    const QByteArray before = fileBytes(path("book.xlsx"));
    const CliRun run = cli({"--find", "alpha", "--dry-run", "--report", "json", "book.xlsx"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.outLines();
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject file = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    EXPECT_EQ(file.value("status").toString(), "changed");
    EXPECT_EQ(file.value("replacements").toInt(), 4);
    EXPECT_EQ(file.value("cellsChanged").toInt(), 4);
    EXPECT_TRUE(file.value("reason").isNull());
    EXPECT_TRUE(QJsonDocument::fromJson(lines[1].toUtf8())
                    .object()
                    .value("summary")
                    .toObject()
                    .value("dryRun")
                    .toBool());
    EXPECT_EQ(fileBytes(path("book.xlsx")), before);
}

TEST_F(CliWorkbooks, OneFailedFileExitsOneAndTheOthersAreStillDone) {
    if (!corpusPresent()) {
        GTEST_SKIP() << "the corpus is not beside the project";
    }
    makeWorkbook(QStringLiteral("good1.xlsx"), kBook);
    makeWorkbook(QStringLiteral("good2.xlsx"), kBook);
    writeFile(path("text.xlsx"), "just some text\n");
    copyCorpus(QStringLiteral("excelize/encryptSHA1.xlsx"), QStringLiteral("encrypted.xlsx"));
    const QByteArray textBefore = fileBytes(path("text.xlsx"));
    const QByteArray encryptedBefore = fileBytes(path("encrypted.xlsx"));

    const CliRun run = cli({"--find", "beta", "--replace", "gamma", "good1.xlsx", "text.xlsx",
                            "encrypted.xlsx", "missing.xlsx", "good2.xlsx"});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = run.outLines();
    ASSERT_EQ(lines.size(), 6) << run.out.toStdString();
    EXPECT_EQ(lines[0], "changed   good1.xlsx (1 replacement in 1 cell)");
    EXPECT_TRUE(lines[1].startsWith("failed    text.xlsx: ")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("failed    encrypted.xlsx: ")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith("failed    missing.xlsx: ")) << lines[3].toStdString();
    EXPECT_EQ(lines[4], "changed   good2.xlsx (1 replacement in 1 cell)");
    EXPECT_EQ(lines[5], "5 files: 2 changed, 0 unchanged, 3 failed; 2 replacements in 2 cells");
    EXPECT_EQ(cells(QStringLiteral("good2.xlsx")).value("One!A1").toString(), "alpha gamma");
    EXPECT_EQ(fileBytes(path("text.xlsx")), textBefore);
    EXPECT_EQ(fileBytes(path("encrypted.xlsx")), encryptedBefore);
}

TEST_F(CliWorkbooks, SetsApplyInOrderEachOnTheResultOfTheOnesBefore) {
    makeWorkbook(QStringLiteral("book.xlsx"),
                 R"([{"name": "S", "cells": {"A1": "ab", "A2": "b=a"}}])");
    // Written as Save Sets writes (CR LF), read with another separator.
    writeFile(path("pairs.txt"), "a=>b\r\nb=>c\r\nno separator here\r\n");
    const CliRun run = cli({"--sets", "pairs.txt", "--separator", "=>", "book.xlsx"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject after = cells(QStringLiteral("book.xlsx"));
    EXPECT_EQ(after.value("S!A1").toString(), "cc");
    EXPECT_EQ(after.value("S!A2").toString(), "c=c");
}

TEST_F(CliWorkbooks, SameFileListedTwiceIsProcessedTwice) {
    makeWorkbook(QStringLiteral("book.xlsx"), R"([{"name": "S", "cells": {"A1": "x"}}])");
    // Three names of one file, with parallel jobs: each run works on the result of the one
    // before, so the text doubles three times.
    const CliRun run = cli({"--find", "x", "--replace", "xx", "--jobs", "3", "book.xlsx",
                            "./book.xlsx", path("book.xlsx")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(cells(QStringLiteral("book.xlsx")).value("S!A1").toString(), "xxxxxxxx");
    EXPECT_EQ(run.outLines().size(), 4);
}

TEST_F(CliWorkbooks, FolderIsScannedLikeTheFolderCommand) {
    makeWorkbook(QStringLiteral("tree/a.xlsx"), kBook);
    makeWorkbook(QStringLiteral("tree/sub/b.xlsx"), kBook);
    makeWorkbook(QStringLiteral("tree/~$c.xlsx"), kBook);
    makeWorkbook(QStringLiteral("tree/.hidden/d.xlsx"), kBook);
    makeWorkbook(QStringLiteral("tree/e.bak"), kBook);
    const QByteArray lockBefore = fileBytes(path("tree/~$c.xlsx"));
    const QByteArray hiddenBefore = fileBytes(path("tree/.hidden/d.xlsx"));
    const QByteArray otherBefore = fileBytes(path("tree/e.bak"));

    const CliRun run = cli({"--find", "nothing", "--replace", "something", "tree"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(
        run.outLines(),
        (QStringList{"changed   tree/a.xlsx (1 replacement in 1 cell)",
                     "changed   tree/sub/b.xlsx (1 replacement in 1 cell)",
                     "2 files: 2 changed, 0 unchanged, 0 failed; 2 replacements in 2 cells"}));
    EXPECT_EQ(fileBytes(path("tree/~$c.xlsx")), lockBefore);
    EXPECT_EQ(fileBytes(path("tree/.hidden/d.xlsx")), hiddenBefore);
    EXPECT_EQ(fileBytes(path("tree/e.bak")), otherBefore);

    // The extension answer chooses other files.
    const CliRun bak = cli({"--find", "nothing", "--ext", "bak", "tree"});
    EXPECT_EQ(bak.outLines().first(), "changed   tree/e.bak (1 replacement in 1 cell)");
}

TEST_F(CliWorkbooks, ProgressBarOnlyOnATerminal) {
    if (!QFileInfo(QStringLiteral("/usr/bin/script")).isExecutable()) {
        GTEST_SKIP() << "script(1) is needed to give the program a terminal";
    }
    makeWorkbook(QStringLiteral("book.xlsx"), kBook);
    // script(1) runs the command on a pseudo-terminal; the report goes to a file, so what
    // reaches the terminal is stderr alone.
    const QString command =
        QStringLiteral("'%1' --find alpha --replace omega book.xlsx book.xlsx > report.txt")
            .arg(cliBinary());
    const CliRun run =
        runProgram(QStringLiteral("/usr/bin/script"),
                   {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")}, m_dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("] 2/2 files"))) << run.out.toStdString();
    // The bar is cleared at the end, and never mixed into the report.
    EXPECT_TRUE(run.out.endsWith(QLatin1String("\r\033[K"))) << run.out.toStdString();
    EXPECT_FALSE(fileBytes(path("report.txt")).contains("files\r"))
        << fileBytes(path("report.txt")).toStdString();
    EXPECT_TRUE(fileBytes(path("report.txt")).startsWith("changed   book.xlsx"));
}

TEST_F(CliWorkbooks, ReaderThatGoesAwayDoesNotStopTheRun) {
    // Guards against SIGPIPE ending the program halfway through a run (and through a save).
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        names << QStringLiteral("book%1.xlsx").arg(i);
        makeWorkbook(names.last(), kBook);
    }
    const QString script = QStringLiteral(
        "\"$0\" --find beta --replace gamma --jobs 2 \"$@\" | head -c 0; exit ${PIPESTATUS[0]}");
    const CliRun run =
        runProgram(QStringLiteral("/bin/bash"),
                   QStringList{QStringLiteral("-c"), script, cliBinary()} + names, m_dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (const QString& name : names) {
        EXPECT_EQ(cells(name).value("One!A1").toString(), "alpha gamma") << name.toStdString();
    }
}

// Fault: a text argument that was not UTF-8 became U+FFFD and the run went on, writing those
// characters into the cells. Each case is a bash word with a byte that UTF-8 cannot start with.
TEST_F(CliWorkbooks, ArgumentsThatAreNotUtf8ExitTwoAndTouchNothing) {
    makeWorkbook(QStringLiteral("book.xlsx"), kBook);
    const QByteArray before = fileBytes(path("book.xlsx"));
    const QStringList cases = {
        QStringLiteral("--find $'alph\\xe9' book.xlsx"),
        QStringLiteral("--find alpha --replace $'\\xff' book.xlsx"),
        QStringLiteral("--find=alpha --replace=$'om\\xc3' book.xlsx"),
        QStringLiteral("--sets $'sets\\xfe.txt' book.xlsx"),
    };
    for (const QString& arguments : cases) {
        const CliRun run =
            runProgram(QStringLiteral("/bin/bash"),
                       {QStringLiteral("-c"), "\"$0\" " + arguments, cliBinary()}, m_dir.path());
        EXPECT_EQ(run.exitCode, 2) << arguments.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String("not valid UTF-8"))) << run.err.toStdString();
        EXPECT_EQ(fileBytes(path("book.xlsx")), before) << arguments.toStdString();
    }
}

// A report that cannot be written (a full disk) ends the run with status 1 and a message; the
// workbooks are still done.
TEST_F(CliWorkbooks, ReportThatCannotBeWrittenExitsOne) {
    makeWorkbook(QStringLiteral("book.xlsx"), kBook);
    const CliRun run = runProgram(
        QStringLiteral("/bin/bash"),
        {QStringLiteral("-c"),
         QStringLiteral("\"$0\" --find beta --replace gamma book.xlsx > /dev/full"), cliBinary()},
        m_dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QLatin1String("the report could not be written")))
        << run.err.toStdString();
    EXPECT_EQ(cells(QStringLiteral("book.xlsx")).value("One!A1").toString(), "alpha gamma");
}

// Fault: a folder the scan could not read was skipped with exit 0. A chain of folders deeper
// than the longest path cannot be read by anyone.
TEST_F(CliWorkbooks, FolderThatCannotBeReadIsReportedAndExitsOne) {
    makeWorkbook(QStringLiteral("tree/book.xlsx"), kBook);
    const QString level(250, QLatin1Char('d'));
    const CliRun made = runProgram(
        QStringLiteral("/bin/bash"),
        {QStringLiteral("-c"),
         QStringLiteral("cd tree && for i in $(seq 18); do mkdir %1 && cd %1; done").arg(level)},
        m_dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const CliRun run = cli({QStringLiteral("--find"), QStringLiteral("beta"),
                            QStringLiteral("--report"), QStringLiteral("json"), path("tree")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QLatin1String("skipped folder"))) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("{\"skipped\":\""))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("\"status\":\"changed\""))) << run.out.toStdString();
    // Too deep for removal by path too: rm works down the tree with relative names.
    runProgram(QStringLiteral("/bin/rm"), {QStringLiteral("-rf"), QStringLiteral("tree")},
               m_dir.path());
}

// The temporary file of a killed save goes with the next run over its folder.
TEST_F(CliWorkbooks, TemporaryFileOfAKilledRunIsRemovedByTheNextRun) {
    makeWorkbook(QStringLiteral("book.xlsx"), kBook);
    // The process id of a shell that has ended: a writer that is gone.
    const CliRun gone = runProgram(QStringLiteral("/bin/sh"),
                                   {QStringLiteral("-c"), QStringLiteral("echo $$")}, m_dir.path());
    const QString stale =
        QStringLiteral(".book.xlsx.%1.x1y2z3w4.varnocliff-tmp").arg(gone.out.trimmed());
    writeFile(path(stale), "half a workbook");
    const CliRun run =
        cli({QStringLiteral("--find"), QStringLiteral("nothing like it"), path("book.xlsx")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(stale)));
}

// Real workbooks of the corpus, copied: a text that occurs nowhere leaves every file
// byte-identical; a replacement of one letter changes exactly the text cells holding it.
const char* const kCorpusBooks[] = {
    "xlsxwriter/escapes01.xlsx",
    "xlsxwriter/rich_string01.xlsx",
    "xlsxwriter/hyperlink01.xlsx",
    "xlsxwriter/array_formula01.xlsx",
    "calamine/any_sheets.xlsx",
    "calamine/has_x000D_.xlsx",
    "calamine/header-row.xlsx",
    "calamine/inventory-table.xlsx",
    "poi/GroupTest.xlsx",
    "poi/InlineString.xlsx",
    "poi/54084 - Greek - beyond BMP.xlsx",
    "phpspreadsheet/reader-xlsx/TableWithoutFilter.xlsx",
};

TEST_F(CliWorkbooks, CorpusCopiesWithoutAMatchStayByteIdentical) {
    if (!corpusPresent()) {
        GTEST_SKIP() << "the corpus is not beside the project";
    }
    QStringList names;
    std::vector<QByteArray> before;
    for (const char* book : kCorpusBooks) {
        const QString name = QFileInfo(QString::fromUtf8(book)).fileName();
        copyCorpus(QString::fromUtf8(book), name);
        names << name;
        before.push_back(fileBytes(path(name)));
    }
    const CliRun run = cli(QStringList{"--find", "zq\u00e9j-not-there"} + names);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    for (qsizetype i = 0; i < names.size(); ++i) {
        EXPECT_EQ(run.outLines().value(i), "unchanged " + names[i]);
        EXPECT_EQ(fileBytes(path(names[i])), before[static_cast<std::size_t>(i)])
            << names[i].toStdString();
    }
}

TEST_F(CliWorkbooks, CorpusCopiesChangeExactlyTheTextCellsThatMatch) {
    if (!corpusPresent()) {
        GTEST_SKIP() << "the corpus is not beside the project";
    }
    QStringList names;
    std::vector<QJsonObject> before;
    std::vector<QSet<QString>> texts;
    for (const char* book : kCorpusBooks) {
        const QString name = QFileInfo(QString::fromUtf8(book)).fileName();
        copyCorpus(QString::fromUtf8(book), name);
        names << name;
        texts.emplace_back();
        before.push_back(cells(name, &texts.back()));
    }
    const CliRun run = cli(QStringList{"--find", "e", "--replace", "E", "--match-case"} + names);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    int expectedChanges = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i].toStdString());
        const auto index = static_cast<std::size_t>(i);
        const QJsonObject after = cells(names[i]);
        ASSERT_EQ(after.keys(), before[index].keys());
        for (const QString& key : before[index].keys()) {
            // Text constants and formulas get every "e" replaced; numbers and booleans stay.
            QJsonValue expected = before[index].value(key);
            const bool formula =
                expected.isString() && expected.toString().startsWith(QLatin1Char('='));
            if (texts[index].contains(key) || formula) {
                expected = expected.toString().replace(QLatin1Char('e'), QLatin1Char('E'));
                expectedChanges += expected != before[index].value(key) ? 1 : 0;
            }
            EXPECT_EQ(after.value(key), expected) << key.toStdString();
        }
    }
    // The letter is common enough that the check above covers real changes.
    EXPECT_GT(expectedChanges, 20);
}

// ---- Seeing before changing: --show, --list, --backup and --whole-cell.

// The formula bar's text of a value openpyxl read: formulas with "=", TRUE and FALSE, numbers
// compared as numbers (their text may differ in the last digits of a float).
bool sameAsFormulaBar(const QString& shown, const QJsonValue& read) {
    if (read.isBool()) {
        return shown == (read.toBool() ? "TRUE" : "FALSE");
    }
    if (read.isDouble()) {
        bool ok = false;
        const double number = shown.toDouble(&ok);
        return ok && number == read.toDouble();
    }
    return read.isString() && shown == read.toString();
}

std::vector<QJsonObject> jsonLines(const CliRun& run) {
    std::vector<QJsonObject> objects;
    for (const QString& line : run.outLines()) {
        objects.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
    }
    return objects;
}

struct ShowCase {
    const char* name;
    const char* book; ///< in the corpus
    const char* find;
    const char* replacement;
    /// The kinds of cells that must be among those listed ("cell", "tableHeader", ...), and
    /// a cell that must change from a number to a text, or from one formula to another.
    std::vector<const char*> kinds;
    const char* mustList; ///< "Sheet!A1" of a cell of the kind the case is about
};

class CliShow : public CliWorkbooks, public testing::WithParamInterface<ShowCase> {};

// The cells a dry run shows, then the cells the real run shows, are what openpyxl reads before
// and after, cell for cell; and they are every cell whose value changed, no more.
TEST_P(CliShow, ListsEveryChangedCellAsOpenpyxlReadsItBeforeAndAfter) {
    if (!corpusPresent()) {
        GTEST_SKIP() << "the corpus is not beside the project";
    }
    const ShowCase& c = GetParam();
    copyCorpus(QString::fromUtf8(c.book), QStringLiteral("book.xlsx"));
    const QByteArray original = fileBytes(path("book.xlsx"));
    const QJsonObject before = cells(QStringLiteral("book.xlsx"));
    const QStringList arguments{"--find",    QString::fromUtf8(c.find),
                                "--replace", QString::fromUtf8(c.replacement),
                                "--show",    "--report",
                                "json",      "book.xlsx"};

    const CliRun dry = cli(arguments + QStringList{"--dry-run"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(fileBytes(path("book.xlsx")), original);
    const CliRun real = cli(arguments);
    EXPECT_EQ(real.exitCode, 0) << real.err.toStdString();
    const QJsonObject after = cells(QStringLiteral("book.xlsx"));

    const std::vector<QJsonObject> shown = jsonLines(real);
    ASSERT_GE(shown.size(), 3U) << real.out.toStdString();
    // The same cells, whether the run writes or not; each before its file's line.
    EXPECT_EQ(dry.outLines().mid(0, dry.outLines().size() - 2),
              real.outLines().mid(0, real.outLines().size() - 2));
    EXPECT_EQ(shown[shown.size() - 2].value("status").toString(), "changed");
    QSet<QString> listed;
    QSet<QString> kinds;
    for (std::size_t i = 0; i + 2 < shown.size(); ++i) {
        const QJsonObject& cell = shown[i];
        EXPECT_EQ(cell.value("path").toString(), "book.xlsx");
        const QString kind = cell.value("kind").toString();
        kinds.insert(kind);
        if (kind == "tableFormula") {
            continue; // kept in the table part, not a cell openpyxl reads
        }
        const QString key = cell.value("sheet").toString() + '!' + cell.value("cell").toString();
        listed.insert(key);
        SCOPED_TRACE(key.toStdString());
        EXPECT_TRUE(sameAsFormulaBar(cell.value("before").toString(), before.value(key)))
            << cell.value("before").toString().toStdString();
        EXPECT_TRUE(sameAsFormulaBar(cell.value("after").toString(), after.value(key)))
            << cell.value("after").toString().toStdString();
    }
    QSet<QString> changed;
    for (const QString& key : before.keys()) {
        if (before.value(key) != after.value(key)) {
            changed.insert(key);
        }
    }
    EXPECT_EQ(listed, changed);
    EXPECT_TRUE(listed.contains(QString::fromUtf8(c.mustList)));
    for (const char* kind : c.kinds) {
        EXPECT_TRUE(kinds.contains(QString::fromUtf8(kind))) << kind;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliShow,
    testing::Values(
        ShowCase{"RichText", "xlsxwriter/rich_string01.xlsx", "bcd", "X", {"cell"}, "Sheet1!A3"},
        // The group's second cell (E5) holds no formula of its own in the file.
        ShowCase{"FormulasAndSharedFormulaMember",
                 "poi/TestShiftRowSharedFormula.xlsx",
                 "SUM(",
                 "MAX(",
                 {"cell"},
                 "Sheet1!E5"},
        ShowCase{"NumbersRetypedAsText",
                 "calamine/inventory-table.xlsx",
                 "00",
                 "00 kg",
                 {"cell"},
                 "Sheet1!C3"},
        ShowCase{"TableHeaderAndItsFormulas",
                 "xlsxwriter/table34.xlsx",
                 "Column3",
                 "Amount",
                 {"cell", "tableHeader", "tableFormula"},
                 "Sheet1!E2"}),
    [](const testing::TestParamInfo<ShowCase>& param) { return std::string(param.param.name); });

TEST_F(CliWorkbooks, ShowWritesOneTextLinePerCellBeforeItsFile) {
    const std::string sheets =
        R"([{"name": "One", "cells": {"A1": "alpha beta", "A2": "=\"alpha\"&A1", "B1": "alpha )" +
        std::string(70, 'x') + R"("}}])";
    makeWorkbook(QStringLiteral("book.xlsx"), sheets.c_str());
    const CliRun run = cli({"--find", "alpha", "--replace", "omega", "--show", "book.xlsx"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // 76 characters: the first 29 and the last 30 are kept.
    const QString end = QString(30, QLatin1Char('x'));
    const QString longBefore = "alpha " + QString(23, QLatin1Char('x')) + "…" + end;
    const QString longAfter = "omega " + QString(23, QLatin1Char('x')) + "…" + end;
    EXPECT_EQ(run.outLines(),
              (QStringList{"book.xlsx:One!A1: alpha beta → omega beta",
                           "book.xlsx:One!B1: " + longBefore + " → " + longAfter,
                           "book.xlsx:One!A2: =\"alpha\"&A1 → =\"omega\"&A1",
                           "changed   book.xlsx (3 replacements in 3 cells)",
                           "1 file: 1 changed, 0 unchanged, 0 failed; 3 replacements in 3 cells"}));
}

TEST_F(CliWorkbooks, ListSearchesWithGrepExitStatusesAndWritesNothing) {
    makeWorkbook(QStringLiteral("tree/a.xlsx"), kBook);
    makeWorkbook(QStringLiteral("tree/b.xlsx"), R"([{"name": "S", "cells": {"A1": "nothing"}}])");
    makeWorkbook(QStringLiteral("tree/c.xlsx"),
                 R"([{"name": "S", "cells": {"A1": "needle in a haystack", "B2": 7}}])");
    QStringList names{"tree/a.xlsx", "tree/b.xlsx", "tree/c.xlsx"};
    std::vector<QByteArray> before;
    for (const QString& name : names) {
        before.push_back(fileBytes(path(name)));
    }

    const CliRun found = cli({"--find", "NEEDLE", "--list", "tree"});
    EXPECT_EQ(found.exitCode, 0) << found.err.toStdString();
    // Files in the folder scan's order; each cell just before its file's line.
    const QStringList lines = found.outLines();
    ASSERT_EQ(lines.size(), 5) << found.out.toStdString();
    const qsizetype at = lines.indexOf("tree/c.xlsx:S!A1: needle in a haystack");
    ASSERT_GE(at, 0) << found.out.toStdString();
    EXPECT_EQ(lines.value(at + 1), "found     tree/c.xlsx (1 cell)");
    EXPECT_TRUE(lines.contains("none      tree/a.xlsx"));
    EXPECT_TRUE(lines.contains("none      tree/b.xlsx"));
    EXPECT_EQ(lines.last(), "Search only, nothing written: 3 files: 1 with matches, 2 without, 0 "
                            "failed; 1 cell found");

    const CliRun none = cli({"--find", "absent", "--list", "--report", "json", "tree"});
    EXPECT_EQ(none.exitCode, 1) << none.err.toStdString();
    const std::vector<QJsonObject> objects = jsonLines(none);
    ASSERT_EQ(objects.size(), 4U);
    EXPECT_EQ(objects[0].value("status").toString(), "none");
    EXPECT_EQ(objects[3].value("summary").toObject().value("cells").toInt(), 0);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(fileBytes(path(names[static_cast<qsizetype>(i)])), before[i]);
    }

    // A file that cannot be read is reported and the others are still searched.
    writeFile(path("tree/broken.xlsx"), "not a workbook");
    const CliRun broken =
        cli({"--find", "needle", "--list", "--whole-cell", "tree", "tree/c.xlsx"});
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_TRUE(broken.outLines().contains("none      tree/c.xlsx")) << broken.out.toStdString();
    EXPECT_TRUE(broken.err.contains("varnocliff-cli: tree/broken.xlsx: "));

    const CliRun refused = cli({"--find", "needle", "--list", "--replace", "x", "tree"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("--replace")) << refused.err.toStdString();
}

TEST_F(CliWorkbooks, BackupKeepsTheOriginalAndIsNeverOverwritten) {
    makeWorkbook(QStringLiteral("book.xlsx"), kBook);
    makeWorkbook(QStringLiteral("other.xlsx"), R"([{"name": "S", "cells": {"A1": "nothing"}}])");
    QFile::setPermissions(path("book.xlsx"), QFile::ReadOwner | QFile::WriteOwner |
                                                 QFile::ReadGroup | QFile::ReadOther);
    const QByteArray original = fileBytes(path("book.xlsx"));
    const QDateTime modified = QFileInfo(path("book.xlsx")).lastModified();

    const CliRun run = cli(
        {"--find", "alpha", "--replace", "omega", "--backup", ".orig", "book.xlsx", "other.xlsx"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(fileBytes(path("book.xlsx.orig")), original);
    EXPECT_EQ(QFileInfo(path("book.xlsx.orig")).lastModified(), modified);
    EXPECT_EQ(QFileInfo(path("book.xlsx.orig")).permissions(),
              QFileInfo(path("book.xlsx")).permissions());
    EXPECT_EQ(cells(QStringLiteral("book.xlsx")).value("One!A1").toString(), "omega beta");
    EXPECT_FALSE(QFile::exists(path("other.xlsx.orig"))); // unchanged: no backup

    // A second run would overwrite the backup: the file fails instead and stays as it is.
    const QByteArray changed = fileBytes(path("book.xlsx"));
    const CliRun again =
        cli({"--find", "omega", "--replace", "psi", "--backup", ".orig", "book.xlsx"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.outLines().value(0).startsWith("failed    book.xlsx: "));
    EXPECT_TRUE(again.err.contains("book.xlsx.orig exists already")) << again.err.toStdString();
    EXPECT_EQ(fileBytes(path("book.xlsx")), changed);
    EXPECT_EQ(fileBytes(path("book.xlsx.orig")), original);
}

TEST_F(CliWorkbooks, WholeCellChangesOnlyCellsThatAreTheFindText) {
    makeWorkbook(QStringLiteral("book.xlsx"),
                 R"([{"name": "S", "cells": {"A1": "alpha", "A2": "alphabet", "A3": "ALPHA",
                                             "A4": "an alpha"}}])");
    const CliRun run = cli({"--find", "alpha", "--replace", "omega", "--whole-cell", "book.xlsx"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject after = cells(QStringLiteral("book.xlsx"));
    EXPECT_EQ(after.value("S!A1").toString(), "omega");
    EXPECT_EQ(after.value("S!A2").toString(), "alphabet");
    EXPECT_EQ(after.value("S!A3").toString(), "omega");
    EXPECT_EQ(after.value("S!A4").toString(), "an alpha");
}

TEST_F(Cli, HelpShowsAnExampleOfEachWayToLookFirst) {
    const CliRun run = cli({QStringLiteral("--help")});
    for (const char* example : {"--list reports/", "--dry-run --show reports/",
                                "--backup .orig reports/", "--whole-cell book.xlsx"}) {
        EXPECT_TRUE(run.out.contains(QLatin1String(example))) << example;
    }
}

} // namespace
