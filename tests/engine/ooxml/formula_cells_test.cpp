// Formulas: matched on "=" and the stored text without function prefixes; a changed formula is
// checked, loses its cached result and leaves its shared group; a result without "=" is typed
// as a constant.
#include "part_harness.h"

#include "formula/references.h"
#include "text/text_replace.h"

#include <gtest/gtest.h>

#include <random>

namespace engine::ooxml {
namespace {

using testing::SheetRun;
using testing::sheetXml;

struct FormulaCase {
    const char* name;
    std::string cells; ///< the <c> elements of row 1
    ReplaceRequest request;
    std::string expected;              ///< the cells afterwards (the same when nothing changes)
    std::size_t changed = 1;           ///< cells changed
    std::set<std::string> expand = {}; ///< shared groups written out as plain formulas
};

SheetRun runCells(const FormulaCase& c) {
    SheetRun run;
    std::vector<PreparedQueue> queues;
    queues.push_back(prepareQueue({c.request}));
    SheetContext context;
    context.sheetName = "S";
    context.queue = &queues[0];
    context.constants = constantsMayMatch({c.request});
    context.expandGroups = &c.expand;
    WorksheetRewriter rewriter(context, xml::Splicer::Mode::Emit);
    const std::string sheet = sheetXml(c.cells);
    // Small chunks: a formula and its cell are split across feeds.
    for (std::size_t at = 0; at < sheet.size() && run.status.ok(); at += 5) {
        run.status = rewriter.feed(std::string_view(sheet).substr(at, 5));
    }
    if (run.status.ok()) {
        run.status = rewriter.finish();
    }
    run.sheet = rewriter.output();
    run.counts = rewriter.counts();
    return run;
}

class FormulaCells : public ::testing::TestWithParam<FormulaCase> {};

TEST_P(FormulaCells, AreMatchedOnTheFormulaBarText) {
    const auto& c = GetParam();
    const auto run = runCells(c);
    ASSERT_TRUE(run.status.ok()) << run.status.error().message();
    EXPECT_EQ(run.sheet, sheetXml(c.expected));
    EXPECT_EQ(run.counts.cellsChanged, c.changed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormulaCells,
    ::testing::Values(
        FormulaCase{"CachedValueAndTypeGo",
                    R"(<c r="A1" s="3" t="str"><f>"ab"&amp;B1</f><v>abx</v></c>)",
                    {"ab", "c<d", true},
                    R"(<c r="A1" s="3"><f>"c&lt;d"&amp;B1</f></c>)"},
        FormulaCase{"LineBreaksKept",
                    R"(<c r="A1"><f>"a&#13;"&amp;B1</f></c>)",
                    {"B1", "B1&\"\n\"", true},
                    "<c r=\"A1\"><f>\"a&#13;\"&amp;B1&amp;\"\n\"</f></c>"},
        FormulaCase{"FunctionNameRenamed",
                    R"(<c r="A1"><f>SIN(B1)</f><v>0</v></c>)",
                    {"sin", "COS", false},
                    R"(<c r="A1"><f>COS(B1)</f></c>)"},
        FormulaCase{"EqualsSignIsPartOfTheText",
                    R"(<c r="A1"><f>B1</f><v>0</v></c>)",
                    {"=B", "=C", true},
                    R"(<c r="A1"><f>C1</f></c>)"},
        FormulaCase{"PrefixNotShownAndKept",
                    R"(<c r="A1"><f>_xlfn.CONCAT(B1,"x")</f><v>0</v></c>)",
                    {"=CONCAT(B1", "=CONCAT(C1", true},
                    R"(<c r="A1"><f>_xlfn.CONCAT(C1,"x")</f></c>)"},
        FormulaCase{"PrefixNotMatched",
                    R"(<c r="A1"><f>_xlfn.CONCAT(B1)</f><v>0</v></c>)",
                    {"xlfn", "y", false},
                    R"(<c r="A1"><f>_xlfn.CONCAT(B1)</f><v>0</v></c>)",
                    0},
        FormulaCase{"ResultNumberBecomesConstant",
                    R"(<c r="A1" t="str"><f>1+2</f><v>3</v></c>)",
                    {"=1+", "", true},
                    R"(<c r="A1"><v>2</v></c>)"},
        FormulaCase{"ResultTextBecomesInlineString",
                    R"(<c r="A1"><f>B1</f><v>0</v></c>)",
                    {"=", "'", true},
                    R"(<c r="A1" t="inlineStr"><is><t>'B1</t></is></c>)"},
        FormulaCase{"EmptyResultBlanks",
                    R"(<c r="A1" s="2"><f>B1</f><v>0</v></c>)",
                    {"=B1", "", true},
                    R"(<c r="A1" s="2"></c>)"},
        FormulaCase{"ArrayKeepsItsRange",
                    R"(<c r="A1"><f t="array" ref="A1:A2">B1:B2*2</f><v>2</v></c>)",
                    {"*2", "*3", true},
                    R"(<c r="A1"><f t="array" ref="A1:A2">B1:B2*3</f></c>)"},
        FormulaCase{
            "DataTableLeftAlone",
            R"(<c r="A1"><f t="dataTable" ref="A1:A2" dt2D="0" dtr="0" r1="B1"/><v>1</v></c>)",
            {"B1", "C1", true},
            R"(<c r="A1"><f t="dataTable" ref="A1:A2" dt2D="0" dtr="0" r1="B1"/><v>1</v></c>)",
            0},
        FormulaCase{"SharedMemberMatchedOnItsShiftedText",
                    R"(<c r="A1"><f t="shared" ref="A1:C1" si="0">D1*2</f><v>1</v></c>)"
                    R"(<c r="B1"><f t="shared" si="0"/><v>1</v></c>)"
                    R"(<c r="C1"><f t="shared" si="0"/><v>1</v></c>)",
                    {"E1", "Z9", true},
                    R"(<c r="A1"><f t="shared" ref="A1:C1" si="0">D1*2</f><v>1</v></c>)"
                    R"(<c r="B1"><f>Z9*2</f></c>)"
                    R"(<c r="C1"><f t="shared" si="0"/><v>1</v></c>)"},
        FormulaCase{
            "SharedGroupExpandedCellByCell",
            R"(<c r="A1"><f t="shared" ref="A1:C1" si="0" ca="1">D1*2</f><v>1</v></c>)"
            R"(<c r="B1"><x:f xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main" t="shared" si="0"/><v>1</v></c>)"
            R"(<c r="C1"><f t="shared" si="0"/><v>1</v></c>)",
            {"D1", "$D$1", true},
            R"(<c r="A1"><f ca="1">$D$1*2</f></c>)"
            R"(<c r="B1"><x:f xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">E1*2</x:f><v>1</v></c>)"
            R"(<c r="C1"><f>F1*2</f><v>1</v></c>)",
            1,
            {"0"}},
        FormulaCase{"SharedAttributesDroppedInAnyOrder",
                    R"(<c r="A1"><f si="0" ca="1" ref="A1:B1" t="shared">D1*2</f><v>1</v></c>)"
                    R"(<c r="B1"><f si="0" t="shared"/><v>1</v></c>)",
                    {"D1", "$D$1", true},
                    R"(<c r="A1"><f ca="1">$D$1*2</f></c>)"
                    R"(<c r="B1"><f>E1*2</f><v>1</v></c>)",
                    1,
                    {"0"}},
        FormulaCase{"ValueBeforeFormula",
                    R"(<c r="A1" t="str"><v>x</v><f>"ab"&amp;B1</f></c>)",
                    {"ab", "cd", true},
                    R"(<c r="A1"><f>"cd"&amp;B1</f></c>)"},
        FormulaCase{"ValueBeforeFormulaThatBecomesText",
                    R"(<c r="A1" t="str"><v>x</v><f>"ab"&amp;B1</f></c>)",
                    {"=", "", true},
                    R"(<c r="A1" t="inlineStr"><is><t>"ab"&amp;B1</t></is></c>)"},
        // The other cells of an array formula's range, or of a data table's, hold its results:
        // the formula bar shows them the formula, not the value.
        FormulaCase{"ResultsOfAnArrayFormulaAreNoConstants",
                    R"(<c r="A1"><f t="array" ref="A1:A2">C1:C2*2</f><v>10</v></c>)"
                    R"(<c r="B1"><v>10</v></c></row><row r="2"><c r="A2"><v>10</v></c>)"
                    R"(<c r="B2"><v>10</v></c></row><row r="3"><c r="A3"><v>10</v></c>)",
                    {"10", "11", true},
                    R"(<c r="A1"><f t="array" ref="A1:A2">C1:C2*2</f><v>10</v></c>)"
                    R"(<c r="B1"><v>11</v></c></row><row r="2"><c r="A2"><v>10</v></c>)"
                    R"(<c r="B2"><v>11</v></c></row><row r="3"><c r="A3"><v>11</v></c>)",
                    3},
        FormulaCase{"ResultsOfADataTableAreNoConstants",
                    R"(<c r="B1"><f t="dataTable" ref="B1:C1" dt2D="0" dtr="1" r1="A9"/>)"
                    R"(<v>10</v></c><c r="C1"><v>10</v></c><c r="D1"><v>10</v></c>)",
                    {"10", "11", true},
                    R"(<c r="B1"><f t="dataTable" ref="B1:C1" dt2D="0" dtr="1" r1="A9"/>)"
                    R"(<v>10</v></c><c r="C1"><v>10</v></c><c r="D1"><v>11</v></c>)"},
        // A picture in a cell: its value "#VALUE!" stands in for the picture, which it keeps.
        FormulaCase{
            "RichValueIsNoConstant",
            R"(<c r="A1" t="e" vm="1"><v>#VALUE!</v></c><c r="B1" t="e"><v>#VALUE!</v></c>)",
            {"#VALUE!", "x", true},
            R"(<c r="A1" t="e" vm="1"><v>#VALUE!</v></c>)"
            R"(<c r="B1" t="inlineStr"><is><t>x</t></is></c>)"},
        // A changed formula's rich result goes with its value.
        FormulaCase{"ChangedFormulaLosesItsRichValue",
                    R"(<c r="A1" s="2" t="e" vm="3"><f>_xlfn.IMAGE("a.png")</f><v>#VALUE!</v></c>)",
                    {"a.png", "b.png", true},
                    R"(<c r="A1" s="2"><f>_xlfn.IMAGE("b.png")</f></c>)"},
        // A call of a newer function that the replacement makes gets the prefix the file
        // needs, in every cell of a shared group.
        FormulaCase{"NewerFunctionGetsItsPrefix",
                    R"(<c r="A1"><f t="shared" ref="A1:B1" si="0">CONCATENATE(C1,D1)</f>)"
                    R"(<v>x</v></c><c r="B1"><f t="shared" si="0"/><v>x</v></c>)",
                    {"CONCATENATE", "CONCAT", true},
                    R"(<c r="A1"><f>_xlfn.CONCAT(C1,D1)</f></c>)"
                    R"(<c r="B1"><f>_xlfn.CONCAT(D1,E1)</f></c>)",
                    2},
        FormulaCase{"OtherSharedGroupStaysShared",
                    R"(<c r="A1"><f t="shared" ref="A1:B1" si="1">D1</f><v>1</v></c>)"
                    R"(<c r="B1"><f t="shared" si="1"/><v>1</v></c>)",
                    {"Q", "R", true},
                    R"(<c r="A1"><f t="shared" ref="A1:B1" si="1">D1</f><v>1</v></c>)"
                    R"(<c r="B1"><f t="shared" si="1"/><v>1</v></c>)",
                    0,
                    {"0"}}),
    [](const ::testing::TestParamInfo<FormulaCase>& p) { return std::string(p.param.name); });

struct RefusedFormula {
    const char* name;
    std::string cells;
    ReplaceRequest request;
    std::string reason; ///< part of the detail, after the cell's name
};

class RefusedFormulas : public ::testing::TestWithParam<RefusedFormula> {};

TEST_P(RefusedFormulas, FailNamingTheCell) {
    const auto& c = GetParam();
    const auto run = runCells({c.name, c.cells, c.request, {}, 0});
    ASSERT_FALSE(run.status.ok());
    EXPECT_EQ(run.status.error().code, ErrorCode::InvalidFormula);
    EXPECT_NE(run.status.error().detail.find("S!A1"), std::string::npos)
        << run.status.error().detail;
    EXPECT_NE(run.status.error().detail.find(c.reason), std::string::npos)
        << run.status.error().detail;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedFormulas,
    ::testing::Values(
        RefusedFormula{"UnbalancedParenthesis",
                       R"(<c r="A1"><f>SUM(B1:B2)</f></c>)",
                       {")", "", true},
                       "\"(\""},
        RefusedFormula{
            "UnclosedString", R"(<c r="A1"><f>"a"&amp;B1</f></c>)", {"\"&", "&", true}, ""},
        RefusedFormula{"TooLong",
                       R"(<c r="A1"><f>B1</f></c>)",
                       {"B1", "B1+" + std::string(9000, '1'), true},
                       ""},
        RefusedFormula{"OnlyEquals", R"(<c r="A1"><f>B1</f></c>)", {"B1", "", true}, ""},
        RefusedFormula{"ControlCharacter",
                       R"(<c r="A1"><f>"a"</f></c>)",
                       {"a", "\x01", true},
                       "control character"},
        RefusedFormula{"SemicolonBetweenArguments",
                       R"(<c r="A1"><f>SUM(B1,C1)</f><v>3</v></c>)",
                       {",", ";", true},
                       "\";\" stands outside an array constant"},
        RefusedFormula{"OperatorLeftWithoutValue",
                       R"(<c r="A1"><f>B1*0/2</f></c>)",
                       {"0", "", true},
                       "\"/\" has nothing before it"},
        RefusedFormula{"NameSplitBySpill",
                       R"(<c r="A1"><f>SUM(Feuil2!B2:B3)</f></c>)",
                       {"e", "E#", true},
                       "side by side"},
        RefusedFormula{"ArrayToConstant",
                       R"(<c r="A1"><f t="array" ref="A1:A2">B1</f></c>)",
                       {"=", "", true},
                       "array"}),
    [](const ::testing::TestParamInfo<RefusedFormula>& p) { return std::string(p.param.name); });

TEST(FormulaCells, ChangeInASharedGroupAsksForTheGroupToBeExpanded) {
    const FormulaCase c{"",
                        R"(<c r="A1"><f t="shared" ref="A1:B1" si="7">C1</f><v>1</v></c>)"
                        R"(<c r="B1"><f t="shared" si="7"/><v>1</v></c>)",
                        {"D1", "X1", true},
                        ""};
    std::vector<PreparedQueue> queues;
    queues.push_back(prepareQueue({c.request}));
    SheetContext context;
    context.sheetName = "S";
    context.queue = &queues[0];
    WorksheetRewriter rewriter(context, xml::Splicer::Mode::Discard);
    ASSERT_TRUE(rewriter.feed(sheetXml(c.cells)).ok());
    ASSERT_TRUE(rewriter.finish().ok());
    EXPECT_EQ(rewriter.groupsToExpand(), std::set<std::string>{"7"});
    EXPECT_TRUE(rewriter.formulasChanged());
    EXPECT_EQ(rewriter.counts().cellsChanged, 1U);
}

} // namespace
} // namespace engine::ooxml

namespace engine::ooxml {
namespace {

TEST(SharedGroups, FindTextsThatShiftsCannotMatch) {
    const struct {
        const char* find;
        bool safe;
    } cases[] = {
        {"alpha", true},
        {"Sales Amount", true},
        {",", true},
        {"SUMX(", true},
        {"Ärger", true},
        {"\xC5\xBFtop", true},
        {"AB", false},
        {"B2", false},
        {"(A", false},
        {"Sum(", false},
        {"$A", false},
        {"#REF", false},
        {"x!", false},
        {"A:", false},
        {"alpha B", false},
        // The Kelvin sign folds onto "k": three letters.
        {"\xE2\x84\xAA"
         "AB",
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shiftsCannotCreateMatches({{c.find, "x", false}}), c.safe) << c.find;
    }
    EXPECT_FALSE(shiftsCannotCreateMatches({{"alpha", "x", true}, {"B", "x", true}}));
}

// The property the skip rests on: for a find text that passes, a shifted formula holds a match
// exactly when the original does. Random formulas of references (some shifted off the sheet),
// names, functions and strings.
TEST(SharedGroups, ShiftingNeverMakesOrBreaksASafeMatch) {
    const std::vector<std::string> pieces = {
        "A1",    "$B$2",   "C3:D4", "E:E",       "5:6",    "XFD1",  "Sheet1!A1", "'My alpha'!B2",
        "alpha", "ALPHA1", "SUMX(", "\"alpha\"", "ALP",    "HA",    "+",         "&",
        ",",     ")",      " ",     "Sales",     "Amount", "$AL$1", "PHA2",      "IF(",
    };
    // Some of them fail the rule: a rule that let them through would be caught here.
    const std::vector<std::string> finds = {"alpha", "Sales Amount", "SUMX(", ",",  "PHA2 ",
                                            "AL",    "B2",           "(A",    "$A", "L$"};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(1, 8);
    std::uniform_int_distribution<std::int64_t> offset(-3, 20000);
    std::size_t compared = 0;
    for (int n = 0; n < 20000; ++n) {
        std::string formula;
        for (int i = length(random); i > 0; --i) {
            formula += pieces[pick(random)];
        }
        const std::string shifted =
            formula::shiftReferences(formula, offset(random), offset(random) % 40);
        for (const auto& find : finds) {
            if (!shiftsCannotCreateMatches({{find, "", false}})) {
                continue;
            }
            for (const bool matchCase : {true, false}) {
                const text::Matcher matcher(find, matchCase);
                ASSERT_EQ(matcher.contains(formula), matcher.contains(shifted))
                    << find << " in " << formula << " / " << shifted;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 100000U);
}

} // namespace
} // namespace engine::ooxml

namespace engine::ooxml {
namespace {

TEST(SharedGroups, PairsWhoseEditsCommuteWithShifts) {
    const struct {
        const char* find;
        const char* replacement;
        bool commute;
    } cases[] = {
        {"alpha", "omega", true},
        {"Sales Amount", "Revenue Total", true},
        {"\xC3\x84rger", "\xC3\x96lung", true},
        {"alpha", "", false},         // the neighbours would join
        {"alpha", "abc", false},      // a column has up to three letters
        {"alpha", "omega ab", false}, // ... and so does a run inside
        {"alpha", " omega", false},   // a space at an end parts the neighbours
        {"alpha", "omega ", false},
        {"alpha", "omega1", false},
        {",", "omega", false},
        {"alpha", "x!", false},
        {"SUMX(", "omega", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(editsCommuteWithShifts({{c.find, c.replacement, false}}), c.commute)
            << c.find << " -> " << c.replacement;
    }
}

// The property the rest of a group's taking its first cell's new formula rests on: for pairs
// that pass, editing a shifted formula gives the shifted edited formula. Pairs that fail are
// run too, to show that the check has teeth.
TEST(SharedGroups, EditingAndShiftingCommuteForPassingPairs) {
    const std::vector<std::string> pieces = {
        "A1",
        "$B$2",
        "C3:D4",
        "E:E",
        "5:6",
        "XFD1",
        "Sheet1!A1",
        "'My alpha'!B2",
        "alpha",
        "ALPHA1",
        "alphaB",
        "B7",
        "\"alpha\"",
        "ALP",
        "HA",
        "+",
        "&",
        ",",
        ")",
        " ",
        "Sales",
        "Amount",
        "$AL$1",
        "IF(",
        "\xC3\x84rger",
        "C",
    };
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"alpha", "omega"},
        {"Sales Amount", "Net Revenue"},
        {"alpha", "\xC3\x96lung"},
        {"Amount", "Totals"},
        {"alpha", ""},
        {"alpha", "ab"},
        {"alpha", "omega "},
        {",", "omega"},
        {"Sales", "S1"},
    };
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(1, 8);
    std::uniform_int_distribution<std::int64_t> offset(-3, 20000);
    std::size_t compared = 0, failingPairsDiffered = 0;
    std::string scratch;
    FormulaEdit direct, shiftedEdit;
    for (int n = 0; n < 20000; ++n) {
        std::string formula;
        for (int i = length(random); i > 0; --i) {
            formula += pieces[pick(random)];
        }
        const std::int64_t rows = offset(random), columns = offset(random) % 40;
        const std::string shifted = formula::shiftReferences(formula, rows, columns);
        for (const auto& [find, replacement] : pairs) {
            const bool commute = editsCommuteWithShifts({{find, replacement, false}});
            const PreparedQueue queue = prepareQueue({{find, replacement, false}});
            editFormula(formula, queue, scratch, direct);
            editFormula(shifted, queue, scratch, shiftedEdit);
            const bool same =
                direct.replacements == shiftedEdit.replacements &&
                (direct.replacements == 0 ||
                 formula::shiftReferences(direct.stored, rows, columns) == shiftedEdit.stored);
            if (commute) {
                ASSERT_TRUE(same) << find << " -> " << replacement << " in " << formula
                                  << " shifted " << rows << "," << columns;
                ++compared;
            } else if (!same) {
                ++failingPairsDiffered;
            }
        }
    }
    EXPECT_GT(compared, 50000U);
    EXPECT_GT(failingPairsDiffered, 100U);
}

} // namespace
} // namespace engine::ooxml
