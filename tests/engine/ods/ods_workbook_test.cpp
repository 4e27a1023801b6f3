// Tests of engine::Workbook on OpenDocument spreadsheets made here and on those of the corpus
// of real files, read back by a second reader (xml.etree in /usr/bin/python3).
#include "ods/content_rewriter.h"
#include "ods/ods_workbook.h"

#include "../corpus_files.h"
#include "../workbook_test_support.h"
#include "engine/workbook.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace engine::ods {
namespace {

using testing::readFile;
using testing::TempFolder;
namespace fs = std::filesystem;

const std::string kHead =
    R"(<?xml version="1.0" encoding="UTF-8"?><office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"><office:automatic-styles><style:style style:name="open" style:family="table-cell"><style:table-cell-properties style:cell-protect="none"/></style:style></office:automatic-styles><office:body><office:spreadsheet>)";
const std::string kTail = "</office:spreadsheet></office:body></office:document-content>";

std::string content(const std::string& tables) {
    return kHead + tables + kTail;
}

std::string table(const std::string& rows, const std::string& name = "S",
                  const std::string& extra = {}) {
    return "<table:table table:name=\"" + name + "\"" + extra + ">" + rows + "</table:table>";
}

std::string odsFile(const std::string& contentXml, const std::string& manifestExtra = {},
                    const std::vector<std::pair<std::string, std::string>>& more = {}) {
    std::vector<std::pair<std::string, std::string>> entries = {
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
        {"content.xml", contentXml},
        {"styles.xml", "<office:document-styles xmlns:office=\"urn:oasis:names:tc:opendocument:"
                       "xmlns:office:1.0\"/>"},
        {"META-INF/manifest.xml",
         "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">"
         "<manifest:file-entry manifest:full-path=\"content.xml\">" +
             manifestExtra + "</manifest:file-entry></manifest:manifest>"}};
    entries.insert(entries.end(), more.begin(), more.end());
    return testing::makeZip(entries);
}

class Recorder : public CellListener {
public:
    std::vector<std::string> cells;
    void cell(const CellChange& c) override {
        cells.push_back(c.sheet + "!" + c.cell + "=" + c.before + ">" + c.after);
    }
};

struct CellCase {
    const char* name;
    std::string rows;
    ReplaceRequest request;
    std::string expectedRows; // the rows after the save; equal to rows when nothing changes
    std::vector<std::string> cells;
};

class OdsCells : public ::testing::TestWithParam<CellCase> {};

TEST_P(OdsCells, ChangeExactlyTheExpectedBytes) {
    const CellCase& c = GetParam();
    TempFolder folder;
    const std::string original = odsFile(content(table(c.rows)));
    const fs::path file = folder.file("a.ods", original);
    auto book = Workbook::open(file);
    ASSERT_TRUE(book.ok()) << book.error().message();
    Recorder recorder;
    book.value()->setCellListener(&recorder);
    book.value()->queueReplace(0, c.request);
    auto counts = book.value()->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(recorder.cells, c.cells);
    if (c.expectedRows == c.rows) {
        EXPECT_TRUE(readFile(file) == original);
        return;
    }
    EXPECT_EQ(testing::part(file, "content.xml"), content(table(c.expectedRows)));
    // mimetype stays first, stored, without extra field; other entries as they were.
    const std::string saved = readFile(file);
    EXPECT_EQ(saved.substr(30, 8), "mimetype");
    EXPECT_EQ(saved.substr(38, 46), "application/vnd.oasis.opendocument.spreadsheet");
    EXPECT_EQ(testing::part(file, "META-INF/manifest.xml"),
              testing::part(folder.file("b.ods", original), "META-INF/manifest.xml"));
}

const std::string kCell = "<table:table-cell office:value-type=\"string\">";
const std::string kEnd = "</table:table-cell>";

INSTANTIATE_TEST_SUITE_P(
    Cells, OdsCells,
    ::testing::Values(
        CellCase{"NothingMatched",
                 "<table:table-row>" + kCell + "<text:p>abc</text:p>" + kEnd + "</table:table-row>",
                 {"x", "y", false},
                 "<table:table-row>" + kCell + "<text:p>abc</text:p>" + kEnd + "</table:table-row>",
                 {}},
        CellCase{"SpansKept",
                 "<table:table-row>" + kCell +
                     "<text:p>ab<text:span text:style-name=\"T1\">cd</text:span>ef</text:p>" +
                     kEnd + "</table:table-row>",
                 {"d", "X", true},
                 "<table:table-row>" + kCell +
                     "<text:p>ab<text:span text:style-name=\"T1\">cX</text:span>ef</text:p>" +
                     kEnd + "</table:table-row>",
                 {"S!A1=abcdef>abcXef"}},
        CellCase{"WhitespaceElementsExpanded",
                 "<table:table-row>" + kCell +
                     "<text:p>a<text:s text:c=\"2\"/>b<text:tab/>c</text:p><text:p>d</text:p>" +
                     kEnd + "</table:table-row>",
                 {"a  b\tc\nd", "z", true, true},
                 "<table:table-row>" + kCell + "<text:p>z</text:p>" + kEnd + "</table:table-row>",
                 {"S!A1=a  b\tc\nd>z"}},
        CellCase{"NewSpacesWrittenSoTheyRead",
                 "<table:table-row>" + kCell + "<text:p>a-b</text:p>" + kEnd + "</table:table-row>",
                 {"-", "   ", true},
                 "<table:table-row>" + kCell + "<text:p>a <text:s text:c=\"2\"/>b</text:p>" + kEnd +
                     "</table:table-row>",
                 {"S!A1=a-b>a   b"}},
        CellCase{"AnnotationsLeftOut",
                 "<table:table-row>" + kCell +
                     "<office:annotation><text:p>note</text:p></office:annotation>"
                     "<text:p>no</text:p>" +
                     kEnd + "</table:table-row>",
                 {"no", "yes", true},
                 "<table:table-row>" + kCell +
                     "<office:annotation><text:p>note</text:p></office:annotation>"
                     "<text:p>yes</text:p>" +
                     kEnd + "</table:table-row>",
                 {"S!A1=no>yes"}},
        CellCase{"StringValueFollows",
                 "<table:table-row><table:table-cell office:value-type=\"string\" "
                 "office:string-value=\"old\"><text:p>old</text:p>" +
                     kEnd + "</table:table-row>",
                 {"old", "new", true},
                 "<table:table-row><table:table-cell office:value-type=\"string\" "
                 "office:string-value=\"new\"><text:p>new</text:p>" +
                     kEnd + "</table:table-row>",
                 {"S!A1=old>new"}},
        CellCase{"NumberTypedAgain",
                 "<table:table-row><table:table-cell office:value-type=\"float\" "
                 "office:value=\"1.5\" calcext:value-type=\"float\"><text:p>1.50</text:p>" +
                     kEnd + "</table:table-row>",
                 {"1.5", "007", true},
                 "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>007"
                 "</text:p>" +
                     kEnd + "</table:table-row>",
                 {"S!A1=1.5>007"}},
        CellCase{"BooleanToNumber",
                 "<table:table-row><table:table-cell office:value-type=\"boolean\" "
                 "office:boolean-value=\"true\"/></table:table-row>",
                 {"TRUE", "2", true},
                 "<table:table-row><table:table-cell office:value-type=\"float\" "
                 "office:value=\"2\"><text:p>2</text:p>" +
                     kEnd + "</table:table-row>",
                 {"S!A1=TRUE>2"}},
        CellCase{"DatesNotMatched",
                 "<table:table-row><table:table-cell office:value-type=\"date\" "
                 "office:date-value=\"2024-01-02\"><text:p>2024-01-02</text:p>" +
                     kEnd + "</table:table-row>",
                 {"2024", "1999", true},
                 "<table:table-row><table:table-cell office:value-type=\"date\" "
                 "office:date-value=\"2024-01-02\"><text:p>2024-01-02</text:p>" +
                     kEnd + "</table:table-row>",
                 {}},
        CellCase{"FormulaLosesCachedValue",
                 "<table:table-row><table:table-cell table:formula=\"of:=SUM([.A2];1)\" "
                 "office:value-type=\"float\" office:value=\"3\"><text:p>3</text:p>" +
                     kEnd + "</table:table-row>",
                 {"SUM", "MAX", true},
                 "<table:table-row><table:table-cell table:formula=\"of:=MAX([.A2];1)\">" + kEnd +
                     "</table:table-row>",
                 {"S!A1==SUM([.A2];1)>=MAX([.A2];1)"}},
        CellCase{"RepeatedCellsAndRowsChangeAsOne",
                 "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell/>"
                 "<table:table-cell office:value-type=\"string\" "
                 "table:number-columns-repeated=\"2\"><text:p>r</text:p>" +
                     kEnd + "</table:table-row>",
                 {"r", "R", true},
                 "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell/>"
                 "<table:table-cell office:value-type=\"string\" "
                 "table:number-columns-repeated=\"2\"><text:p>R</text:p>" +
                     kEnd + "</table:table-row>",
                 {"S!B1=r>R", "S!C1=r>R", "S!B2=r>R", "S!C2=r>R"}},
        CellCase{"CoveredCellsLeftAlone",
                 "<table:table-row><table:covered-table-cell office:value-type=\"string\">"
                 "<text:p>x</text:p></table:covered-table-cell>" +
                     kCell + "<text:p>x</text:p>" + kEnd + "</table:table-row>",
                 {"x", "y", true},
                 "<table:table-row><table:covered-table-cell office:value-type=\"string\">"
                 "<text:p>x</text:p></table:covered-table-cell>" +
                     kCell + "<text:p>y</text:p>" + kEnd + "</table:table-row>",
                 {"S!B1=x>y"}},
        CellCase{"EmptyResultBlanksTheCell",
                 "<table:table-row>" + kCell + "<text:p>x</text:p>" + kEnd + "</table:table-row>",
                 {"x", "", true},
                 "<table:table-row><table:table-cell>" + kEnd + "</table:table-row>",
                 {"S!A1=x>"}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(OdsWorkbook, RefusesWhatItMustNotChange) {
    TempFolder folder;
    struct Refusal {
        std::string bytes;
        ErrorCode code;
    };
    const std::string cell =
        "<table:table-row>" + kCell + "<text:p>x</text:p>" + kEnd + "</table:table-row>";
    const std::vector<Refusal> refusals = {
        {odsFile(content(table(cell)), "<manifest:encryption-data/>"),
         ErrorCode::PasswordProtected},
        {odsFile(content(table(cell)), {}, {{"META-INF/documentsignatures.xml", "<s/>"}}),
         ErrorCode::DigitallySigned},
        {odsFile(content(table(cell, "S", " table:protected=\"true\""))),
         ErrorCode::ProtectedSheet},
        {odsFile(content(table("<table:table-row><table:table-cell table:formula=\"of:=1+\">" +
                               kEnd + "</table:table-row>"))),
         ErrorCode::InvalidFormula},
        {testing::makeZip(
             {{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", "<a/>"}}),
         ErrorCode::NotAWorkbook},
        {odsFile(content(table(cell)) + "<broken"), ErrorCode::Corrupt},
    };
    for (std::size_t i = 0; i < refusals.size(); ++i) {
        const fs::path file = folder.file("r" + std::to_string(i) + ".ods", refusals[i].bytes);
        auto book = Workbook::open(file);
        if (book) {
            book.value()->queueReplace(0, {"x", "y", true});
            book.value()->queueReplace(0, {"1+", "2+", true});
            auto counts = book.value()->save();
            ASSERT_FALSE(counts.ok()) << i;
            EXPECT_EQ(counts.error().code, refusals[i].code) << counts.error().message();
        } else {
            EXPECT_EQ(book.error().code, refusals[i].code) << book.error().message();
        }
        EXPECT_TRUE(readFile(file) == refusals[i].bytes) << i;
    }
    // A protected table whose cell style leaves the cell open changes.
    const fs::path open = folder.file(
        "open.ods",
        odsFile(content(table("<table:table-row><table:table-cell table:style-name=\"open\" "
                              "office:value-type=\"string\"><text:p>x</text:p>" +
                                  kEnd + "</table:table-row>",
                              "S", " table:protected=\"true\""))));
    auto book = Workbook::open(open);
    ASSERT_TRUE(book.ok());
    book.value()->queueReplace(0, {"x", "y", true});
    EXPECT_TRUE(book.value()->save().ok());
}

TEST(OdsWorkbook, SheetsDryRunAndSearch) {
    TempFolder folder;
    const std::string rows = "<table:table-row>" + kCell + "<text:p>Ab</text:p>" + kEnd + kCell +
                             "<text:p>ab ab</text:p>" + kEnd + "</table:table-row>";
    const std::string bytes = odsFile(content(table(rows, "One") + table(rows, "Two")));
    const fs::path file = folder.file("a.ods", bytes);
    auto book = Workbook::open(file);
    ASSERT_TRUE(book.ok());
    ASSERT_EQ(book.value()->sheets().size(), 2U);
    EXPECT_EQ(book.value()->sheets()[1].name, "Two");
    book.value()->queueReplace(1, {"AB", "x", false});
    Recorder found;
    ASSERT_TRUE(book.value()->search(found).ok());
    EXPECT_EQ(found.cells, (std::vector<std::string>{"Two!A1=Ab>Ab", "Two!B1=ab ab>ab ab"}));
    auto dry = book.value()->dryRun();
    ASSERT_TRUE(dry.ok());
    EXPECT_EQ(dry.value().cellsChanged, 2U);
    EXPECT_EQ(dry.value().replacements, 3U);
    EXPECT_TRUE(readFile(file) == bytes);
}

TEST(OdsFormula, OpenFormulaSyntaxIsChecked) {
    std::string prefix;
    EXPECT_EQ(shownFormula("of:=SUM([.A1])", prefix), "=SUM([.A1])");
    EXPECT_EQ(prefix, "of:");
    EXPECT_FALSE(openFormulaProblem("=SUM([.A1:.B2];[$'My sheet'.C3];{1;2|3;4})"));
    EXPECT_FALSE(openFormulaProblem("=IF([.A1]=\"a;b\";1;2)"));
    EXPECT_TRUE(openFormulaProblem("=SUM([.A1]"));
    EXPECT_TRUE(openFormulaProblem("=1+"));
    EXPECT_TRUE(openFormulaProblem("1+2"));
    EXPECT_TRUE(openFormulaProblem("=[.A1"));
}

std::vector<fs::path> corpusOds() {
    std::vector<fs::path> files;
    const fs::path where = corpus::folder();
    std::error_code ec;
    if (where.empty() || !fs::is_directory(where, ec)) {
        return files;
    }
    for (fs::recursive_directory_iterator it(where, ec), end; it != end; it.increment(ec)) {
        const std::string ext = it->path().extension().string();
        if (!ec && it->is_regular_file(ec) && (ext == ".ods" || ext == ".ots")) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(OdsCorpus, UnmatchedFilesStayIdenticalAndMatchesChangeExactlyTheirCells) {
    const auto files = corpusOds();
    if (files.empty() || !fs::exists("/usr/bin/python3")) {
        GTEST_SKIP() << "the corpus of real files or python3 is missing";
    }
    TempFolder folder;
    const fs::path script = fs::path(std::getenv("VARNOCLIFF_SOURCE_DIR")) / "tests" / "engine" /
                            "ods" / "read_back_ods.py";
    std::size_t opened = 0, changed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string original = readFile(files[i]);
        const fs::path copy = folder.path() / ("f" + std::to_string(i) + ".ods");
        testing::writeFile(copy, original);
        auto book = Workbook::open(copy);
        if (!book) {
            const auto code = book.error().code;
            EXPECT_TRUE(code == ErrorCode::PasswordProtected ||
                        code == ErrorCode::DigitallySigned || code == ErrorCode::NotAWorkbook)
                << files[i] << ": " << book.error().message();
            continue;
        }
        ++opened;
        for (std::size_t s = 0; s < book.value()->sheets().size(); ++s) {
            book.value()->queueReplace(s, {"\x01nothing", "x", true});
        }
        ASSERT_TRUE(book.value()->save().ok()) << files[i];
        EXPECT_TRUE(readFile(copy) == original) << files[i];
        for (std::size_t s = 0; s < book.value()->sheets().size(); ++s) {
            book.value()->queueReplace(s, {"e", "E#", true});
        }
        auto counts = book.value()->save();
        if (!counts) {
            const auto code = counts.error().code;
            EXPECT_TRUE(code == ErrorCode::ProtectedSheet || code == ErrorCode::InvalidFormula)
                << files[i] << ": " << counts.error().message();
            EXPECT_TRUE(readFile(copy) == original) << files[i];
            continue;
        }
        changed += counts.value().cellsChanged > 0 ? 1 : 0;
        const std::string command = "/usr/bin/python3 \"" + script.string() + "\" e 'E#' \"" +
                                    files[i].string() + "\" \"" + copy.string() + "\" > \"" +
                                    (folder.path() / "out.txt").string() + "\" 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << files[i] << "\n"
                                                   << readFile(folder.path() / "out.txt");
    }
    EXPECT_GT(opened, files.size() * 3 / 4);
    EXPECT_GT(changed, opened / 2);
}

} // namespace
} // namespace engine::ods
