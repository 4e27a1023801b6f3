// ASCII-only case handling: only A-Z change, so UTF-8 bytes and the locale never affect a
// part or stream name comparison.
#include "ascii.h"

#include <gtest/gtest.h>

namespace engine::text {
namespace {

struct CompareCase {
    std::string_view a;
    std::string_view b;
    bool equal;
};

class EqualsIgnoringAsciiCase : public ::testing::TestWithParam<CompareCase> {};

TEST_P(EqualsIgnoringAsciiCase, MatchesOnlyAsciiLetterCase) {
    EXPECT_EQ(equalsIgnoringAsciiCase(GetParam().a, GetParam().b), GetParam().equal);
    EXPECT_EQ(equalsIgnoringAsciiCase(GetParam().b, GetParam().a), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(
    Ascii, EqualsIgnoringAsciiCase,
    ::testing::Values(CompareCase{"xl/Workbook.XML", "xl/workbook.xml", true},
                      CompareCase{"", "", true}, CompareCase{"xml", "xm", false},
                      CompareCase{"[@-", "{`\r", false}, // neighbours of A-Z differ by 0x20 too
                      CompareCase{"\xC3\x89", "\xC3\xA9", false}, // É and é are not ASCII
                      CompareCase{"K", "\xE2\x84\xAA", false}));  // nor is KELVIN SIGN

TEST(AsciiLower, ChangesOnlyAtoZ) {
    std::string all;
    for (int c = 1; c < 256; ++c) {
        all += static_cast<char>(c);
    }
    const std::string lower = asciiLower(all);
    ASSERT_EQ(lower.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const char c = all[i];
        EXPECT_EQ(lower[i], c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) << "byte " << i + 1;
    }
}

TEST(StartsWithIgnoringAsciiCase, NeedsTheWholePrefix) {
    EXPECT_TRUE(startsWithIgnoringAsciiCase("_XMLSignatures/sig1.xml", "_xmlsignatures/"));
    EXPECT_FALSE(startsWithIgnoringAsciiCase("_xmlsig", "_xmlsignatures/"));
    EXPECT_FALSE(startsWithIgnoringAsciiCase("x_xmlsignatures/", "_xmlsignatures/"));
}

} // namespace
} // namespace engine::text
