// Cell addresses and shifting shared formulas' references.
#include "references.h"

#include <gtest/gtest.h>

#include <string>

namespace engine::formula {
namespace {

struct ShiftCase {
    const char* name;
    std::string master;
    std::int64_t rows;
    std::int64_t columns;
    std::string expected;
};

std::ostream& operator<<(std::ostream& os, const ShiftCase& c) {
    return os << c.name;
}

class ShiftReferences : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(ShiftReferences, GivesMemberFormula) {
    const ShiftCase& c = GetParam();
    EXPECT_EQ(shiftReferences(c.master, c.rows, c.columns), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShiftReferences,
    ::testing::Values(
        ShiftCase{"Relative", "A1*2", 3, 1, "B4*2"},
        ShiftCase{"NoOffset", "SUM(A1:B2)+'x y'!C3", 0, 0, "SUM(A1:B2)+'x y'!C3"},
        ShiftCase{"Absolute", "$A$1+B1", 4, 2, "$A$1+D5"},
        ShiftCase{"MixedColumnAbsolute", "$A1", 2, 5, "$A3"},
        ShiftCase{"MixedRowAbsolute", "A$1", 2, 5, "F$1"},
        ShiftCase{"Range", "SUM(A1:B2)", 1, 1, "SUM(B2:C3)"},
        ShiftCase{"RangeHalfAbsolute", "SUM($A$1:A1)", 9, 0, "SUM($A$1:A10)"},
        ShiftCase{"WholeColumnsIgnoreRows", "SUM(A:B)", 100, 2, "SUM(C:D)"},
        ShiftCase{"WholeColumnsAbsolute", "SUM($A:$A)", 100, 2, "SUM($A:$A)"},
        ShiftCase{"WholeRowsIgnoreColumns", "SUM(1:1)", 2, 100, "SUM(3:3)"},
        ShiftCase{"WholeRowsMixed", "SUM($1:2)", 2, 0, "SUM($1:4)"},
        ShiftCase{"OtherSheet", "Data!B2+'My ''Data'''!B2", 1, 0, "Data!B3+'My ''Data'''!B3"},
        ShiftCase{"ExternalAndThreeD", "[1]S!A1+SUM(Jan:Dec!A1)", 0, 1, "[1]S!B1+SUM(Jan:Dec!B1)"},
        ShiftCase{"StringUntouched", "\"A1\"&A1", 1, 0, "\"A1\"&A2"},
        ShiftCase{"NamesAndFunctionsUntouched", "LOG10(Rate)+Tbl[Col]+ABCD1", 5, 5,
                  "LOG10(Rate)+Tbl[Col]+ABCD1"},
        ShiftCase{"ColumnPastZ", "Z1", 0, 1, "AA1"},
        ShiftCase{"ToLastColumn", "XFC1", 0, 1, "XFD1"},
        ShiftCase{"OffLastColumn", "XFD1+1", 0, 1, "#REF!+1"},
        ShiftCase{"OffFirstRow", "A2", -2, 0, "#REF!"},
        ShiftCase{"OffLastRow", "Data!A1048576", 1, 0, "Data!#REF!"},
        ShiftCase{"RangeOneEndOff", "SUM(A1:A1048576)", 1, 0, "SUM(#REF!)"},
        ShiftCase{"NegativeOffset", "C3-B$2", -1, -1, "B2-A$2"},
        ShiftCase{"ExistingRefError", "Sheet1!#REF!+A1", 1, 0, "Sheet1!#REF!+A2"},
        ShiftCase{"SpacesAndLowerCase", "sum( a1 , b$2 )", 1, 1, "sum( B2 , C$2 )"}),
    [](const ::testing::TestParamInfo<ShiftCase>& param) { return std::string(param.param.name); });

TEST(CellAddress, ParsesAndFormats) {
    EXPECT_EQ(parseCellAddress("B7"), (CellAddress{7, 2}));
    EXPECT_EQ(parseCellAddress("$XFD$1048576"), (CellAddress{1048576, 16384}));
    EXPECT_EQ(parseCellAddress("aa10"), (CellAddress{10, 27}));
    for (const char* bad : {"", "A", "7", "A0", "XFE1", "A1048577", "A1:B2", "A1 ", "1A"}) {
        EXPECT_FALSE(parseCellAddress(bad).has_value()) << bad;
    }
    EXPECT_EQ(formatCellAddress({1048576, 16384}), "XFD1048576");
    EXPECT_EQ(formatCellAddress({3, 52}), "AZ3");
}

TEST(CellRange, ParsesRefAttribute) {
    EXPECT_EQ(parseCellRange("H7:H11"), (CellRange{{7, 8}, {11, 8}}));
    EXPECT_EQ(parseCellRange("B2"), (CellRange{{2, 2}, {2, 2}}));
    for (const char* bad : {"", "A:A", "1:2", "H7:", "H7:H", "Sheet1!A1", "A1:B2:C3"}) {
        EXPECT_FALSE(parseCellRange(bad).has_value()) << bad;
    }
}

// A cell's "r" attribute and a table's "ref" keep the leniency the worksheet reader has always
// had: a missing row, leading zeros; what is off the sheet or trails the digits still fails.
TEST(CellName, ReadsWorksheetAttributesLeniently) {
    EXPECT_EQ(parseCellName("B7"), (CellAddress{7, 2}));
    EXPECT_EQ(parseCellName("$b$007"), (CellAddress{7, 2}));
    EXPECT_EQ(parseCellName("XFD"), (CellAddress{0, 16384}));
    for (const char* bad : {"", "7", "$", "XFE1", "A1048577", "A1:B2", "A1 ", "A$1$"}) {
        EXPECT_FALSE(parseCellName(bad).has_value()) << bad;
    }
    EXPECT_EQ(formatCellAddress({0, 28}), "AB");
    EXPECT_EQ(parseCellNameRange("A01:d10"), (CellRange{{1, 1}, {10, 4}}));
    EXPECT_EQ(parseCellNameRange("C3"), (CellRange{{3, 3}, {3, 3}}));
    for (const char* bad : {"", "A:A", "A1:B", "B:B2", "A1:", "A1:B2:C3"}) {
        EXPECT_FALSE(parseCellNameRange(bad).has_value()) << bad;
    }
}

TEST(CellAddress, ColumnNamesRoundTrip) {
    for (std::int64_t column = 1; column <= 16384; ++column) {
        const auto parsed = parseCellAddress(columnName(column) + "1");
        ASSERT_TRUE(parsed.has_value()) << column;
        ASSERT_EQ(parsed->column, column);
    }
}

TEST(ReferencedSheets, NamesTheSheetsOfThisWorkbookAFormulaUses) {
    using V = std::vector<std::string>;
    EXPECT_EQ(referencedSheets("SUM(A1:B2)*Rate"), V{});
    EXPECT_EQ(referencedSheets("Sheet1!A1+'My sheet'!B2:C3*'It''s'!C3+Sheet1!Rate"),
              (V{"Sheet1", "My sheet", "It's", "Sheet1"}));
    EXPECT_EQ(referencedSheets("SUM(Jan:Dec!C3)+SUM('Q 1:Q 4'!A:A)+Data!#REF!"),
              (V{"Jan", "Dec", "Q 1", "Q 4", "Data"}));
    // Another workbook's sheets and names, and text in quotes, are not this workbook's.
    EXPECT_EQ(referencedSheets("[1]Sheet9!A1+[1]!Rate+'[Book.xlsx]S'!A1&\"Gone!A1\""), V{});
}

} // namespace
} // namespace engine::formula
