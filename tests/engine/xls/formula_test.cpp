// Formula tokens decompiled to the formula bar's text, and string literals rewritten with the
// IF and CHOOSE jumps that pass them.
#include "xls/bytes.h"
#include "xls/formula.h"

#include <gtest/gtest.h>

namespace engine::xls {
namespace {

std::string hex(std::string_view h) {
    std::string out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
        if (h[i] == ' ') {
            --i;
            continue;
        }
        out.push_back(static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

FormulaNames names() {
    FormulaNames n;
    n.sheets = {"Sheet1", "My Sheet"};
    n.supBooks.push_back({FormulaNames::SupBook::Self, {}, {}, {}});
    n.supBooks.push_back(
        {FormulaNames::SupBook::External, "C:\\data\\Book2.xls", {"Prices"}, {"Costs"}});
    n.supBooks.push_back({FormulaNames::SupBook::AddIn, {}, {}, {"_xlfn.IFERROR"}});
    n.xti = {{0, 1, 1}, {0, 0, 1}, {1, 0, 0}, {2, 0, 0}, {0, 0xFFFE, 0xFFFE}};
    n.names = {"Rate"};
    return n;
}

struct Case {
    const char* name;
    const char* rgce;
    const char* rgcb;
    const char* text;
};

class Decompile : public ::testing::TestWithParam<Case> {};

TEST_P(Decompile, GivesTheFormulaBarText) {
    const auto f = decompileFormula(hex(GetParam().rgce), hex(GetParam().rgcb), names(), 4, 2);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, Decompile,
    ::testing::Values(
        Case{"Function", "25 0000 0100 00c0 01c0 42 01 0400", "", "SUM(A1:B2)"},
        Case{"Absolute", "44 0200 0100", "", "$B$3"},
        Case{"MixedColumn", "44 0200 0180", "", "$B3"},
        Case{"WholeColumns", "25 0000 ffff 00c0 01c0", "", "A:B"},
        Case{"Literal", "17 03 00 61 22 62", "", "\"a\"\"b\""},
        Case{"WideLiteral", "17 02 01 2d4e 8765", "", "\"\xe4\xb8\xad\xe6\x96\x87\""},
        Case{"SheetWithSpace", "5a 0000 0000 00c0", "", "'My Sheet'!A1"},
        Case{"SheetRange", "5b 0100 0000 0100 0000 0000", "", "'Sheet1:My Sheet'!$A$1:$A$2"},
        Case{"OtherWorkbook", "5a 0200 0000 0000", "", "'C:\\data\\[Book2.xls]Prices'!$A$1"},
        Case{"OtherWorkbooksName", "39 0200 0100 0000", "", "'C:\\data\\Book2.xls'!Costs"},
        Case{"DeletedSheet", "5a 0400 0000 0000", "", "#REF!"},
        Case{"Operators", "1e0100 1e0200 03 15 1e0300 14 05", "", "(1+2)*3%"},
        Case{"UnaryMinus", "44 0000 00c0 13", "", "-A1"},
        Case{"Spaces", "1e0100 19 40 00 02 1e0200 03", "", "1+  2"},
        Case{"Name", "23 01000000", "", "Rate"},
        Case{"AddInFunction", "39 0300 0100 0000 44 0000 00c0 1e0000 42 03 ff00", "",
             "IFERROR(A1,0)"},
        Case{"ArrayConstant", "60 00000000000000",
             "01 0100 01 000000000000f03f 02 0100 00 61 04 01 00000000000000 10 2a 00000000000000",
             "{1,\"a\";TRUE,#N/A}"},
        Case{"SharedRelative", "4c 0100 ffc0", "", "B6"},
        Case{"If",
             "44 0000 00c0 17 01 00 78 0b 19 02 0a00 17 03 00 796573 19 08 0c00 17 02 00 6e6f "
             "19 08 0300 42 03 0100",
             "", "IF(A1=\"x\",\"yes\",\"no\")"},
        Case{"Numbers", "1f 000000000000f83f 1d 01 1c 07 42 03 0100", "", "IF(1.5,TRUE,#DIV/0!)"}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

TEST(Decompile, UnknownTokensAndBrokenStacksGiveNothing) {
    for (const char* rgce :
         {"18 01 00000000", "1e0100 03", "1e0100 1e0200", "44 0000", "42 01 ffff"}) {
        EXPECT_FALSE(decompileFormula(hex(rgce), "", names(), 0, 0).has_value()) << rgce;
    }
}

TEST(Decompile, LiteralsAreLocatedInTheText) {
    const auto f = decompileFormula(hex("17 01 00 61 17 03 00 62 22 63 08"), "", names(), 0, 0);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->text, "\"a\"&\"b\"\"c\"");
    ASSERT_EQ(f->literals.size(), 2U);
    EXPECT_EQ(f->literals[0].token, 0U);
    EXPECT_EQ(f->text.substr(f->literals[0].begin, f->literals[0].end - f->literals[0].begin), "a");
    EXPECT_EQ(f->literals[1].token, 4U);
    EXPECT_EQ(f->text.substr(f->literals[1].begin, f->literals[1].end - f->literals[1].begin),
              "b\"\"c");
}

// IF(A1="x","yes","no"): the IF jump passes the true branch, the first GOTO the false branch.
const char* const kIf =
    "44 0000 00c0 17 01 00 78 0b 19 02 0a00 17 03 00 796573 19 08 0c00 17 02 00 6e6f 19 08 0300 "
    "42 03 0100";

TEST(ReplaceLiterals, MovesTheJumpsThatPassTheChangedText) {
    const std::string rgce = hex(kIf);
    const auto longerTrue = replaceLiterals(rgce, {{14, u"yes!!"}});
    ASSERT_TRUE(longerTrue.has_value());
    EXPECT_EQ(longerTrue->size(), rgce.size() + 2);
    EXPECT_EQ(load16(longerTrue->data() + 12), 12); // IF: past the longer true branch
    EXPECT_EQ(load16(longerTrue->data() + 24), 12); // GOTO after it: unchanged
    const auto longerFalse = replaceLiterals(rgce, {{24, u"nope"}});
    ASSERT_TRUE(longerFalse.has_value());
    EXPECT_EQ(load16(longerFalse->data() + 12), 10);
    EXPECT_EQ(load16(longerFalse->data() + 22), 14);
    EXPECT_EQ(load16(longerFalse->data() + 33), 3);
    const auto f = decompileFormula(*longerFalse, "", names(), 0, 0);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->text, "IF(A1=\"x\",\"yes\",\"nope\")");
    // A text that needs 16 bits per character takes the wide form.
    const auto wide = replaceLiterals(rgce, {{5, u"\u4e2d"}});
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ((*wide)[7], '\1');
    EXPECT_EQ(load16(wide->data() + 13), 10);
}

TEST(ReplaceLiterals, MovesEveryChooseOffsetAfterTheChange) {
    // CHOOSE(1,"a","b")
    const std::string rgce = hex("1e0100 19 04 0200 0600 0e00 1600 17 01 00 61 19 08 0b00 17 01 00 "
                                 "62 19 08 0300 42 03 6400");
    const auto out = replaceLiterals(rgce, {{13, u"abc"}});
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(load16(out->data() + 7), 6);
    EXPECT_EQ(load16(out->data() + 9), 16);
    EXPECT_EQ(load16(out->data() + 11), 24);
    EXPECT_EQ(load16(out->data() + 21), 11);
}

TEST(ReplaceLiterals, RefusesATextOver255Characters) {
    EXPECT_FALSE(replaceLiterals(hex(kIf), {{14, std::u16string(256, u'a')}}).has_value());
    EXPECT_TRUE(replaceLiterals(hex(kIf), {{14, std::u16string(255, u'a')}}).has_value());
}

} // namespace
} // namespace engine::xls
