// Rich text and phonetic runs: which runs keep their text and formatting, which go, and that
// every byte outside the changed text stays as it was.
#include "part_harness.h"

#include <gtest/gtest.h>

namespace engine::ooxml {
namespace {

using testing::readCells;
using testing::runSheet;
using testing::sheetXml;
using testing::sstXml;

const std::string kSharedCell = R"(<c r="A1" t="s"><v>0</v></c>)";

struct RunCase {
    const char* name;
    std::string si;
    ReplaceRequest request;
    std::vector<std::string> runs; ///< the runs' texts afterwards
    std::string mustKeep;          ///< bytes that must still be there
    std::string mustLose;          ///< bytes that must be gone
};

class RichRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(RichRuns, KeepRunsAndFormatting) {
    const auto& c = GetParam();
    const auto run = runSheet(sheetXml(kSharedCell), sstXml({c.si}), {c.request});
    ASSERT_TRUE(run.status.ok()) << run.status.error().message();
    ASSERT_TRUE(run.strings.has_value());
    const auto cells = readCells(*run.strings, run.sheet);
    EXPECT_EQ(cells.runs.at(0), c.runs) << *run.strings;
    if (!c.mustKeep.empty()) {
        EXPECT_NE(run.strings->find(c.mustKeep), std::string::npos) << *run.strings;
    }
    if (!c.mustLose.empty()) {
        EXPECT_EQ(run.strings->find(c.mustLose), std::string::npos) << *run.strings;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RichRuns,
    ::testing::Values(
        RunCase{"InsideOneRun",
                R"(<r><rPr><b/></rPr><t>alpha</t></r><r><t> beta</t></r>)",
                {"lph", "LPH", true},
                {"aLPHa", " beta"},
                "<r><rPr><b/></rPr><t>aLPHa</t></r>",
                ""},
        RunCase{"SpanningRunsGoesToFirst",
                R"(<r><rPr><b/></rPr><t>abc</t></r><r><rPr><i/></rPr><t>def</t></r>)",
                {"cd", "XY", true},
                {"abXY", "ef"},
                "<rPr><i/></rPr><t>ef</t>",
                ""},
        RunCase{"RunLeftEmptyGoes",
                R"(<r><t>ab</t></r><r><rPr><i/></rPr><t>cd</t></r><r><t>ef</t></r>)",
                {"bcde", "-", true},
                {"a-", "f"},
                "",
                "<i/>"},
        RunCase{"PhoneticRunsOfChangedStringGo",
                R"(<t>漢字</t><rPh sb="0" eb="2"><t>かんじ</t></rPh><phoneticPr fontId="1"/>)",
                {"字", "X", true},
                {"漢X"},
                R"(<phoneticPr fontId="1"/>)",
                "<rPh"},
        RunCase{"PreserveAddedOnlyWhereNeeded",
                R"(<r><t>a</t></r><r><t>b</t></r>)",
                {"a", "a ", true},
                {"a ", "b"},
                R"(<t xml:space="preserve">a </t></r><r><t>b</t>)",
                ""}),
    [](const ::testing::TestParamInfo<RunCase>& p) { return std::string(p.param.name); });

TEST(RichText, PhoneticRunsOfUnchangedStringsStay) {
    const std::string si = R"(<t>漢字</t><rPh sb="0" eb="2"><t>かんじ</t></rPh>)";
    const std::string sst = sstXml({si, "<t>other</t>"});
    const auto run = runSheet(sheetXml(kSharedCell + R"(<c r="B1" t="s"><v>1</v></c>)"), sst,
                              {{"other", "x", true}});
    ASSERT_TRUE(run.status.ok());
    ASSERT_TRUE(run.strings.has_value());
    EXPECT_NE(run.strings->find(si), std::string::npos);
}

TEST(RichText, PhoneticTextIsNotCellText) {
    const std::string sst = sstXml({R"(<t>漢字</t><rPh sb="0" eb="2"><t>かんじ</t></rPh>)"});
    const auto run = runSheet(sheetXml(kSharedCell), sst, {{"かんじ", "x", true}});
    ASSERT_TRUE(run.status.ok());
    EXPECT_EQ(run.counts.replacements, 0U);
    EXPECT_FALSE(run.strings.has_value());
}

TEST(Splice, OnlyTheChangedTextDiffers) {
    // Odd but valid XML around the cell: prefixes, attribute order, quotes, comments, CDATA,
    // character references. All of it must come out as it went in.
    const std::string prefix =
        "<?xml version=\"1.0\"?>\r\n<!-- keep -->\n<x:worksheet xmlns:x=\"" + testing::kMain +
        "\" xmlns:mc='urn:mc' mc:Ignorable='x14ac'><x:sheetData><x:row r='1' spans='1:2'>";
    const std::string cellA =
        "<x:c s='2' r='A1' t='inlineStr'><x:is><x:t>k&#101;ep</x:t></x:is></x:c>";
    const std::string cellBHead = "<x:c r=\"B1\"   t=\"inlineStr\" ><x:is><x:t>";
    const std::string cellBTail = "</x:t></x:is></x:c>";
    const std::string suffix = "</x:row></x:sheetData><!-- tail --></x:worksheet>\r\n";
    const std::string sheet =
        prefix + cellA + cellBHead + "<![CDATA[old]]> &amp; old" + cellBTail + suffix;

    for (std::size_t chunk : {1U, 3U, 64U, 100000U}) {
        const auto run = runSheet(sheet, {}, {{"old", "new", true}}, chunk);
        ASSERT_TRUE(run.status.ok()) << run.status.error().message();
        EXPECT_EQ(run.sheet, prefix + cellA + cellBHead + "new &amp; new" + cellBTail + suffix)
            << "chunk " << chunk;
        EXPECT_EQ(run.counts.replacements, 2U);
    }
}

TEST(Splice, NothingChangedMeansNoOutput) {
    const std::string sheet = sheetXml(R"(<c r="A1" t="inlineStr"><is><t>same</t></is></c>)");
    const auto run = runSheet(sheet, {}, {{"same", "same", true}});
    ASSERT_TRUE(run.status.ok());
    EXPECT_EQ(run.counts.cellsChanged, 0U);
    EXPECT_EQ(run.sheet, sheet);
}

TEST(Splice, FormulaResultsAreNotMatched) {
    // Only the formula text is matched, never the last result it left in <v>.
    const std::string cells =
        R"(<c r="D1" t="str"><f>"a"&amp;"b"</f><v>ab</v></c>)"
        R"(<c r="E1" t="s"><f>A1</f><v>0</v></c><c r="F1"><f>1+1</f><v>2</v></c>)";
    const auto run = runSheet(sheetXml(cells), sstXml({"<t>xy</t>"}),
                              {{"ab", "9", true}, {"xy", "z", true}, {"2", "z", true}});
    ASSERT_TRUE(run.status.ok());
    EXPECT_EQ(run.counts.cellsChanged, 0U);
    EXPECT_EQ(run.sheet, sheetXml(cells));
}

TEST(SharedStrings, AbsurdIndexFailsNamingTheCell) {
    const auto run = runSheet(sheetXml(R"(<c r="C7" t="s"><v>99999999999</v></c>)"),
                              sstXml({"<t>a</t>"}), {{"a", "b", true}});
    ASSERT_FALSE(run.status.ok());
    EXPECT_EQ(run.status.error().code, ErrorCode::Corrupt);
    EXPECT_NE(run.status.error().detail.find("Sheet1!C7"), std::string::npos);
}

TEST(SharedStrings, BlankedCellsLowerTheCount) {
    const std::string sheet = sheetXml(R"(<c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>0</v></c>)"
                                       R"(<c r="C1" t="s"><v>1</v></c>)");
    const auto run = runSheet(sheet, sstXml({"<t>gone</t>", "<t>kept</t>"}), {{"gone", "", true}});
    ASSERT_TRUE(run.status.ok());
    ASSERT_TRUE(run.strings.has_value());
    EXPECT_NE(run.strings->find(R"(count="0")"), std::string::npos) << *run.strings;
    EXPECT_EQ(run.counts.cellsChanged, 2U);
}

TEST(Worksheet, CellsWithoutReferencesAreNamedByPosition) {
    const std::string sheet = sheetXml(R"(<c t="inlineStr"><is><t>a</t></is></c>)"
                                       R"(<c t="inlineStr"><is><t>b</t></is></c>)");
    const auto run = runSheet(sheet, {}, {{"b", std::string(40000, 'x'), true}});
    ASSERT_FALSE(run.status.ok());
    EXPECT_EQ(run.status.error().detail, "Sheet1!B1");
}

} // namespace
} // namespace engine::ooxml
