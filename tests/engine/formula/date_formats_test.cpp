// Date and time number formats.
#include "date_formats.h"

#include <gtest/gtest.h>

#include <string>

namespace engine::formula {
namespace {

TEST(BuiltInDateFormat, IdsOfDatesAndTimes) {
    for (int id = 0; id < 200; ++id) {
        const bool expected = (id >= 14 && id <= 22) || (id >= 27 && id <= 36) ||
                              (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
        EXPECT_EQ(isBuiltInDateFormat(id), expected) << id;
    }
}

struct CodeCase {
    std::string code;
    bool date;
};

class DateFormatCode : public ::testing::TestWithParam<CodeCase> {};

TEST_P(DateFormatCode, Detects) {
    EXPECT_EQ(isDateFormatCode(GetParam().code), GetParam().date) << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateFormatCode,
    ::testing::Values(
        CodeCase{"General", false}, CodeCase{"general", false}, CodeCase{"0.00", false},
        CodeCase{"#,##0.00;[Red]-#,##0.00", false}, CodeCase{"0.00E+00", false},
        CodeCase{"@", false}, CodeCase{"0%", false}, CodeCase{"[Red]0", false},
        CodeCase{"[Magenta]0;[Green]-0", false}, CodeCase{"0 \"days\"", false},
        CodeCase{"#,##0 \\h", false}, CodeCase{"_-* #,##0_-;-* #,##0_-", false},
        CodeCase{"[$EUR-x-euro2] #,##0.00", false}, CodeCase{"[>=100]0;0.0", false},
        CodeCase{"\"Sums: \"General", false}, CodeCase{"", false}, CodeCase{"yyyy-mm-dd", true},
        CodeCase{"d/m/yy", true}, CodeCase{"DD.MM.YYYY", true}, CodeCase{"h:mm", true},
        CodeCase{"h:mm AM/PM", true}, CodeCase{"[h]:mm:ss", true}, CodeCase{"[mm]:ss", true},
        CodeCase{"[ss].0", true}, CodeCase{"mmm-yy", true}, CodeCase{"[$-409]mmmm d, yyyy", true},
        CodeCase{"[Red]dd/mm/yyyy", true}, CodeCase{"0;yyyy", true}, CodeCase{"\"Date: \"d", true},
        CodeCase{"hh\"h\"", true}, CodeCase{"a/p", true}, CodeCase{"[$-41E]d/m/bbbb", true},
        CodeCase{"[$-41E]bb", true}, CodeCase{"0 \"b\"", false},
        CodeCase{"[$-411]ggge\"年\"m\"月\"d\"日\"", true}));

TEST(DateTimeFormat, CustomCodeDecides) {
    EXPECT_TRUE(isDateTimeFormat(14, std::nullopt));
    EXPECT_FALSE(isDateTimeFormat(2, std::nullopt));
    EXPECT_FALSE(isDateTimeFormat(14, std::string_view("0.00")));
    EXPECT_TRUE(isDateTimeFormat(164, std::string_view("dd/mm/yyyy")));
    EXPECT_FALSE(isDateTimeFormat(164, std::string_view("#,##0")));
}

} // namespace
} // namespace engine::formula
