// engine::Workbook's cell reports: the cells a save or dry run changes, as the formula bar shows
// them, the search-only listing, and whole-cell matching, on one sheet holding every kind of cell.
#include "engine/workbook.h"
#include "workbook_test_support.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

using testing::part;
using testing::readFile;
using testing::TempFolder;
using testing::TestBook;
using testing::worksheet;

struct Collected : CellListener {
    std::vector<CellChange> cells;
    void cell(const CellChange& change) override { cells.push_back(change); }
};

std::string describe(const std::vector<CellChange>& cells) {
    std::string out;
    for (const auto& c : cells) {
        const char* kind = c.kind == CellKind::TableHeader    ? " header"
                           : c.kind == CellKind::TableFormula ? " table formula"
                                                              : "";
        out += c.sheet + "!" + c.cell + kind + ": " + c.before + " -> " + c.after + "\n";
    }
    return out;
}

// Table1 over A1:B3 with the columns "alpha" and "Total" (a calculated column); the sheet has
// a plain, a rich and an inline string, a number, a formula and a shared formula of two cells.
TestBook everyKind() {
    const std::string ns = testing::kMainNs;
    TestBook b;
    b.sharedStrings = "<sst xmlns=\"" + ns +
                      "\" count=\"3\" uniqueCount=\"3\"><si><t>alpha</t></si><si><t>Total</t></si>"
                      "<si><r><t>al</t></r><r><t xml:space=\"preserve\">pha one</t></r></si></sst>";
    const std::string table =
        "<table xmlns=\"" + ns +
        "\" id=\"1\" name=\"Table1\" displayName=\"Table1\" ref=\"A1:B3\"><tableColumns "
        "count=\"2\"><tableColumn id=\"1\" name=\"alpha\"/><tableColumn id=\"2\" "
        "name=\"Total\"><calculatedColumnFormula>UPPER(\"alpha\")</calculatedColumnFormula>"
        "</tableColumn></tableColumns></table>";
    b.sheets = {{"S",
                 worksheet(R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>)"
                           R"(<c r="D1"><f t="shared" ref="D1:D2" si="0">LEN("alpha")+C1</f>)"
                           R"(<v>5</v></c></row>)"
                           R"(<row r="2"><c r="A2" t="s"><v>2</v></c>)"
                           R"(<c r="B2" t="inlineStr"><is><t>alphabet</t></is></c>)"
                           R"(<c r="C2"><v>12</v></c><c r="D2"><f t="shared" si="0"/><v>17</v></c>)"
                           R"(</row><row r="3"><c r="A3" t="str"><f>"alpha"&amp;B3</f>)"
                           R"(<v>alpha</v></c></row>)"),
                 "worksheet", table}};
    return b;
}

struct ListingCase {
    const char* name;
    std::vector<ReplaceRequest> queue;
    std::string expected;
};

class CellReports : public ::testing::TestWithParam<ListingCase> {};

// The dry run and the save report the same cells, and only once each; the save writes what
// it reported (checked on a few parts).
TEST_P(CellReports, DryRunAndSaveReportEveryChangedCell) {
    const auto& c = GetParam();
    TempFolder folder;
    const TestBook b = everyKind();
    const auto path = folder.file("kinds.xlsx", b.bytes());
    auto opened = Workbook::open(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    Workbook& book = *opened.value();
    for (const auto& request : c.queue) {
        book.queueReplace(0, request);
    }
    Collected dry, saved;
    book.setCellListener(&dry);
    const auto counts = book.dryRun();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(describe(dry.cells), c.expected);
    // Table formulas are not cells: the count covers the cells of the sheet.
    EXPECT_EQ(counts.value().cellsChanged, dry.cells.size() - 1);
    EXPECT_EQ(readFile(path), b.bytes());

    book.setCellListener(&saved);
    ASSERT_TRUE(book.save().ok());
    EXPECT_EQ(describe(saved.cells), c.expected);
    EXPECT_NE(part(path, "xl/tables/table1.xml").find("name=\"omega\""), std::string::npos);
    EXPECT_NE(part(path, "xl/worksheets/sheet1.xml").find("<f>LEN(\"omega\")+C2</f>"),
              std::string::npos);
}

const std::string kAlphaCells = "S!A1 header: alpha -> omega\n"
                                "S!D1: =LEN(\"alpha\")+C1 -> =LEN(\"omega\")+C1\n"
                                "S!A2: alpha one -> omega one\n"
                                "S!B2: alphabet -> omegabet\n";
const std::string kAlphaRest = "S!D2: =LEN(\"alpha\")+C2 -> =LEN(\"omega\")+C2\n"
                               "S!A3: =\"alpha\"&B3 -> =\"omega\"&B3\n"
                               "S!B2:B3 table formula: =UPPER(\"alpha\") -> =UPPER(\"omega\")\n";

INSTANTIATE_TEST_SUITE_P(
    Queues, CellReports,
    ::testing::Values(
        // Letters only: the group's second cell takes the first cell's edit, shifted.
        ListingCase{"MemberFollowsTheEditedMaster", {{"alpha", "omega"}}, kAlphaCells + kAlphaRest},
        // Digits: every cell of the group is matched on its own; the number becomes text.
        ListingCase{"NumberRetypedAndMembersOnTheirOwn",
                    {{"alpha", "omega"}, {"12", "x12"}},
                    kAlphaCells + "S!C2: 12 -> x12\n" + kAlphaRest}),
    [](const ::testing::TestParamInfo<ListingCase>& p) { return std::string(p.param.name); });

TEST(CellSearch, ListsEachRequestsMatchesAsTheyAreAndWritesNothing) {
    TempFolder folder;
    const TestBook b = everyKind();
    const auto path = folder.file("kinds.xlsx", b.bytes());
    auto opened = Workbook::open(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    Workbook& book = *opened.value();
    // Replaced in turn, "alpha" would become "xs"; searched, each request looks at the cells
    // as they are, so "TOTAL" finds only B1.
    book.queueReplace(0, {"alpha", "Totals"});
    book.queueReplace(0, {"TOTAL", "x"});
    Collected found;
    ASSERT_TRUE(book.search(found).ok());
    EXPECT_EQ(describe(found.cells), "S!A1 header: alpha -> alpha\n"
                                     "S!B1 header: Total -> Total\n"
                                     "S!D1: =LEN(\"alpha\")+C1 -> =LEN(\"alpha\")+C1\n"
                                     "S!A2: alpha one -> alpha one\n"
                                     "S!B2: alphabet -> alphabet\n"
                                     "S!D2: =LEN(\"alpha\")+C2 -> =LEN(\"alpha\")+C2\n"
                                     "S!A3: =\"alpha\"&B3 -> =\"alpha\"&B3\n"
                                     "S!B2:B3 table formula: =UPPER(\"alpha\") -> "
                                     "=UPPER(\"alpha\")\n");
    EXPECT_EQ(readFile(path), b.bytes());

    // The queue is kept: a save afterwards applies it.
    Collected none;
    ASSERT_TRUE(book.search(none).ok());
    EXPECT_EQ(none.cells.size(), found.cells.size());
    const auto counts = book.dryRun();
    ASSERT_TRUE(counts.ok());
    EXPECT_GT(counts.value().cellsChanged, 0U);
}

TEST(CellSearch, NumbersAndWholeCellsAreFoundAsTheFormulaBarShowsThem) {
    TempFolder folder;
    TestBook b;
    b.sheets = {{"S", worksheet(R"(<row r="1"><c r="A1"><v>12.5</v></c><c r="B1"><v>125</v></c>)"
                                R"(<c r="C1" t="b"><v>1</v></c></row>)")}};
    const auto path = folder.file("numbers.xlsx", b.bytes());
    auto opened = Workbook::open(path);
    ASSERT_TRUE(opened.ok());
    opened.value()->queueReplace(0, {"12.5", "", false, true});
    opened.value()->queueReplace(0, {"true", "", false, true});
    Collected found;
    ASSERT_TRUE(opened.value()->search(found).ok());
    EXPECT_EQ(describe(found.cells), "S!A1: 12.5 -> 12.5\nS!C1: TRUE -> TRUE\n");
}

// Whole-cell matching, through shared and inline strings and formulas alike.
TEST(WholeCell, ChangesOnlyCellsThatAreTheFindText) {
    TempFolder folder;
    TestBook b;
    b.sharedStrings = testing::sst({"alpha", "alphabet"});
    b.sheets = {{"S", worksheet(R"(<row r="1"><c r="A1" t="s"><v>0</v></c>)"
                                R"(<c r="B1" t="s"><v>1</v></c>)"
                                R"(<c r="C1" t="inlineStr"><is><t>ALPHA</t></is></c>)"
                                R"(<c r="D1" t="inlineStr"><is><t>an alpha</t></is></c>)"
                                R"(<c r="E1"><f>ALPHA</f></c></row>)")}};
    const auto path = folder.file("whole.xlsx", b.bytes());
    auto opened = Workbook::open(path);
    ASSERT_TRUE(opened.ok());
    Workbook& book = *opened.value();
    book.queueReplace(0, {"alpha", "omega", false, true});
    book.queueReplace(0, {"=alpha", "=BETA", false, true});
    Collected changed;
    book.setCellListener(&changed);
    const auto counts = book.save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(describe(changed.cells),
              "S!A1: alpha -> omega\nS!C1: ALPHA -> omega\nS!E1: =ALPHA -> =BETA\n");
    EXPECT_EQ(counts.value().replacements, 3U);
    EXPECT_EQ(part(path, "xl/sharedStrings.xml"), testing::sst({"omega", "alphabet"}));
    const std::string sheet = part(path, "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<t>an alpha</t>"), std::string::npos);
    EXPECT_NE(sheet.find("<f>BETA</f>"), std::string::npos);
}

// Guards against a sheet that is read a second time (a shared formula changed after cells of
// its group went by) reporting its cells twice.
TEST(CellReports, SheetReadAgainReportsItsCellsOnce) {
    TempFolder folder;
    TestBook b;
    b.sheets = {{"S", worksheet(R"(<row r="1"><c r="A1"><f t="shared" ref="A1:C1" si="0">A2</f>)"
                                R"(<v>1</v></c><c r="B1"><f t="shared" si="0"/><v>1</v></c>)"
                                R"(<c r="C1"><f t="shared" si="0"/><v>1</v></c></row>)")}};
    const auto path = folder.file("group.xlsx", b.bytes());
    auto opened = Workbook::open(path);
    ASSERT_TRUE(opened.ok());
    opened.value()->queueReplace(0, {"B2", "Z2", true});
    Collected changed;
    opened.value()->setCellListener(&changed);
    ASSERT_TRUE(opened.value()->save().ok());
    EXPECT_EQ(describe(changed.cells), "S!B1: =B2 -> =Z2\n");
}

TEST(CellReports, FailedSaveReportsNothing) {
    TempFolder folder;
    const TestBook b = everyKind();
    const auto path = folder.file("kinds.xlsx", b.bytes());
    auto opened = Workbook::open(path);
    ASSERT_TRUE(opened.ok());
    Workbook& book = *opened.value();
    // The plain strings change before the formula that this makes invalid is met.
    book.queueReplace(0, {"alpha\"", "alpha"});
    book.queueReplace(0, {"alpha", "omega"});
    Collected heard;
    book.setCellListener(&heard);
    const auto counts = book.save();
    ASSERT_FALSE(counts.ok());
    EXPECT_EQ(counts.error().code, ErrorCode::InvalidFormula);
    EXPECT_TRUE(heard.cells.empty()) << describe(heard.cells);
    EXPECT_EQ(readFile(path), b.bytes());
}

} // namespace
} // namespace engine
