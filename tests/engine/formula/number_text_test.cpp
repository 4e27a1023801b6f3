// Numbers as General text, and reading text back as a plain number.
#include "number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace engine::formula {
namespace {

struct GeneralCase {
    double value;
    std::string text;
};

class GeneralText : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralText, ShowsAsFormulaBar) {
    EXPECT_EQ(generalText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GeneralText,
    ::testing::Values(GeneralCase{0.1, "0.1"}, GeneralCase{1e20, "1E+20"},
                      GeneralCase{1.23456789012345e-05, "1.23456789012345E-05"},
                      GeneralCase{-0.0, "0"}, GeneralCase{0.0, "0"},
                      GeneralCase{123456789012345678.0, "1.23456789012346E+17"},
                      GeneralCase{123456789012345.0, "123456789012345"}, GeneralCase{1e15, "1E+15"},
                      GeneralCase{-42.5, "-42.5"}, GeneralCase{0.0001, "0.0001"},
                      GeneralCase{0.00001, "1E-05"}, GeneralCase{1.0 / 3.0, "0.333333333333333"},
                      GeneralCase{0.1 + 0.2, "0.3"}, GeneralCase{45000.5, "45000.5"},
                      GeneralCase{1e-300, "1E-300"},
                      GeneralCase{1.7976931348623157e308, "1.79769313486232E+308"},
                      GeneralCase{std::numeric_limits<double>::infinity(), "#NUM!"},
                      GeneralCase{std::nan(""), "#NUM!"}));

TEST(GeneralTextLocale, IgnoresTheCLocale) {
    // Qt applications run with the user's locale; a comma locale must not leak into files.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    }
    EXPECT_EQ(generalText(1.5), "1.5");
    EXPECT_EQ(readPlainNumber("1.5"), 1.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

struct ReadCase {
    std::string text;
    std::optional<double> value;
};

class ReadPlainNumber : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadPlainNumber, AcceptsOnlyLosslessNumbers) {
    EXPECT_EQ(readPlainNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadPlainNumber,
    ::testing::Values(
        ReadCase{"0", 0.0}, ReadCase{"42", 42.0}, ReadCase{"-42.5", -42.5}, ReadCase{"0.1", 0.1},
        ReadCase{".5", 0.5}, ReadCase{"5.", 5.0}, ReadCase{"1.50", 1.5}, ReadCase{"1E+20", 1e20},
        ReadCase{"1e5", 1e5}, ReadCase{"1.23456789012345E-05", 1.23456789012345e-05},
        ReadCase{"-0", 0.0}, ReadCase{"123456789012345", 123456789012345.0},
        ReadCase{"100000000000000000000", 1e20}, ReadCase{"0.000000000000000000001", 1e-21},
        ReadCase{"1234567890123456", std::nullopt}, ReadCase{"007", std::nullopt},
        ReadCase{"00.5", std::nullopt}, ReadCase{"+5", std::nullopt}, ReadCase{" 5", std::nullopt},
        ReadCase{"5 ", std::nullopt}, ReadCase{"1,000", std::nullopt}, ReadCase{"5%", std::nullopt},
        ReadCase{"$5", std::nullopt}, ReadCase{"1E", std::nullopt}, ReadCase{"1E+", std::nullopt},
        ReadCase{"E5", std::nullopt}, ReadCase{".", std::nullopt}, ReadCase{"-", std::nullopt},
        ReadCase{"", std::nullopt}, ReadCase{"1.2.3", std::nullopt},
        ReadCase{"1e400", std::nullopt}, ReadCase{"1e-400", std::nullopt},
        ReadCase{"0x10", std::nullopt}, ReadCase{"inf", std::nullopt},
        ReadCase{"nan", std::nullopt}, ReadCase{"1-2", std::nullopt}));

// What a number shows reads back as the same number.
TEST(NumberTextRoundTrip, GeneralTextReadsBack) {
    for (const double v :
         {0.1, 1e20, 1.23456789012345e-05, 123456789012345.0, -7.25, 3e-7, 45000.0, 1e300}) {
        const auto back = readPlainNumber(generalText(v));
        ASSERT_TRUE(back.has_value()) << generalText(v);
        EXPECT_EQ(generalText(*back), generalText(v));
    }
}

} // namespace
} // namespace engine::formula
