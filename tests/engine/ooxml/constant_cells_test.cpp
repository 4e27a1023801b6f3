// Numbers, booleans and errors: matched on the text the formula bar shows, typed again after
// the replacement; numbers shown as dates are left alone.
#include "part_harness.h"

#include "ooxml/styles.h"

#include <gtest/gtest.h>

namespace engine::ooxml {
namespace {

using testing::sheetXml;

struct ConstantCase {
    const char* name;
    std::string cell; ///< the <c> element, at A1
    ReplaceRequest request;
    std::string expected; ///< the <c> element afterwards (the same when nothing changes)
};

// A styles part whose cell format 1 shows dates.
const std::string kStyles =
    "<styleSheet xmlns=\"" + testing::kMain +
    "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/></numFmts>"
    "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"14\"/>"
    "</cellXfs></styleSheet>";

class ConstantCells : public ::testing::TestWithParam<ConstantCase> {};

TEST_P(ConstantCells, AreMatchedOnTheirShownText) {
    const auto& c = GetParam();
    auto styles = Styles::parse(kStyles, "xl/styles.xml");
    ASSERT_TRUE(styles.ok());
    std::vector<PreparedQueue> queues;
    queues.push_back(prepareQueue({c.request}));
    SheetContext context;
    context.sheetName = "S";
    context.queue = &queues[0];
    context.styles = &styles.value();
    context.constants = constantsMayMatch({c.request});
    WorksheetRewriter rewriter(context, xml::Splicer::Mode::Emit);
    const std::string sheet = sheetXml(c.cell);
    ASSERT_TRUE(rewriter.feed(sheet).ok());
    ASSERT_TRUE(rewriter.finish().ok());
    EXPECT_EQ(rewriter.output(), sheetXml(c.expected));
    EXPECT_EQ(rewriter.counts().cellsChanged, c.cell == c.expected ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConstantCells,
    ::testing::Values(ConstantCase{"NumberStaysNumber",
                                   R"(<c r="A1" s="0"><v>1234.5</v></c>)",
                                   {"4.5", "9", true},
                                   R"(<c r="A1" s="0"><v>1239</v></c>)"},
                      ConstantCase{"NumberBecomesText",
                                   R"(<c r="A1"><v>100</v></c>)",
                                   {"1", "x", true},
                                   R"(<c r="A1" t="inlineStr"><is><t>x00</t></is></c>)"},
                      ConstantCase{"LeadingZeroMakesText",
                                   R"(<c r="A1"><v>10</v></c>)",
                                   {"1", "0", true},
                                   R"(<c r="A1" t="inlineStr"><is><t>00</t></is></c>)"},
                      ConstantCase{"NumberMatchedOnGeneralText",
                                   R"(<c r="A1"><v>1.0000000000000001E+20</v></c>)",
                                   {"E+20", "00", true},
                                   R"(<c r="A1"><v>100</v></c>)"},
                      ConstantCase{"FifteenDigitsShown",
                                   R"(<c r="A1"><v>123456789012345678</v></c>)",
                                   {"1.23456789012346", "7", true},
                                   R"(<c r="A1"><v>7E+17</v></c>)"},
                      ConstantCase{"EmptyNumberBlanks",
                                   R"(<c r="A1" s="0"><v>0.1</v></c>)",
                                   {"0.1", "", true},
                                   R"(<c r="A1" s="0"></c>)"},
                      ConstantCase{"CustomDateFormatNotMatched",
                                   R"(<c r="A1" s="1"><v>45000</v></c>)",
                                   {"45", "x", true},
                                   R"(<c r="A1" s="1"><v>45000</v></c>)"},
                      ConstantCase{"BuiltInDateFormatNotMatched",
                                   R"(<c r="A1" s="2"><v>45000</v></c>)",
                                   {"45", "x", true},
                                   R"(<c r="A1" s="2"><v>45000</v></c>)"},
                      ConstantCase{"BooleanToText",
                                   R"(<c r="A1" t="b"><v>1</v></c>)",
                                   {"TRUE", "yes", true},
                                   R"(<c r="A1" t="inlineStr"><is><t>yes</t></is></c>)"},
                      ConstantCase{"BooleanIgnoringCase",
                                   R"(<c r="A1" t="b"><v>1</v></c>)",
                                   {"true", "false", false},
                                   R"(<c r="A1" t="b"><v>0</v></c>)"},
                      ConstantCase{"TextToBoolean",
                                   R"(<c r="A1"><v>5</v></c>)",
                                   {"5", "TRUE", true},
                                   R"(<c r="A1" t="b"><v>1</v></c>)"},
                      ConstantCase{"ErrorToError",
                                   R"(<c r="A1" t="e"><v>#N/A</v></c>)",
                                   {"N/A", "REF!", true},
                                   R"(<c r="A1" t="e"><v>#REF!</v></c>)"},
                      ConstantCase{"ErrorToText",
                                   R"(<c r="A1" t="e"><v>#N/A</v></c>)",
                                   {"#", "", true},
                                   R"(<c r="A1" t="inlineStr"><is><t>N/A</t></is></c>)"},
                      ConstantCase{"LetterOutsideTheShownTextsSkips",
                                   R"(<c r="A1"><v>12</v></c>)",
                                   {"x12", "y", false},
                                   R"(<c r="A1"><v>12</v></c>)"},
                      ConstantCase{"FormulaResultNotMatched",
                                   R"(<c r="A1"><f>6*2</f><v>12</v></c>)",
                                   {"12", "13", true},
                                   R"(<c r="A1"><f>6*2</f><v>12</v></c>)"}),
    [](const ::testing::TestParamInfo<ConstantCase>& p) { return std::string(p.param.name); });

TEST(ConstantCells, PreCheckKnowsWhichFindTextsCanMatch) {
    EXPECT_TRUE(constantsMayMatch({{"1.5", "", true}}));
    EXPECT_TRUE(constantsMayMatch({{"true", "", false}}));
    EXPECT_FALSE(constantsMayMatch({{"true", "", true}}));
    EXPECT_TRUE(constantsMayMatch({{"#BLOCKED!", "", true}}));
    EXPECT_FALSE(constantsMayMatch({{"alpha", "", false}, {"", "", false}}));
    EXPECT_TRUE(constantsMayMatch({{"alpha", "", false}, {"E+", "", true}}));
    // "ſ" folds onto "s", which FALSE holds.
    EXPECT_TRUE(constantsMayMatch({{"ſ", "", false}}));
    EXPECT_FALSE(constantsMayMatch({{"ſ", "", true}}));
}

} // namespace
} // namespace engine::ooxml
