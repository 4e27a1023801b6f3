// Simple case folding of single code points, against CaseFolding.txt status C and S.
#include "case_folding.h"

#include <gtest/gtest.h>

namespace engine::text {
namespace {

struct FoldCase {
    char32_t from;
    char32_t to;
};

class FoldSimple : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldSimple, MapsCodePoint) {
    EXPECT_EQ(static_cast<std::uint32_t>(foldSimple(GetParam().from)),
              static_cast<std::uint32_t>(GetParam().to));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FoldSimple,
    ::testing::Values(FoldCase{U'A', U'a'}, FoldCase{U'z', U'z'}, FoldCase{U'@', U'@'},
                      FoldCase{U'[', U'['}, FoldCase{U'Ä', U'ä'}, FoldCase{U'ä', U'ä'},
                      FoldCase{U'Σ', U'σ'}, FoldCase{U'ς', U'σ'}, FoldCase{U'ß', U'ß'},
                      FoldCase{U'ẞ', U'ß'}, FoldCase{U'İ', U'İ'}, FoldCase{U'ı', U'ı'},
                      FoldCase{U'\u212A', U'k'}, FoldCase{U'ſ', U's'}, FoldCase{U'Ω', U'ω'},
                      FoldCase{U'\u2126', U'ω'}, FoldCase{U'Ａ', U'ａ'},
                      FoldCase{U'\U00010400', U'\U00010428'},
                      FoldCase{U'\U0001E900', U'\U0001E922'}, FoldCase{U'漢', U'漢'},
                      FoldCase{char32_t{0x10FFFF}, char32_t{0x10FFFF}},
                      FoldCase{char32_t{0x1100FF}, char32_t{0x1100FF}}));

TEST(FoldTargets, OnlyKAndSReceiveNonAsciiFoldings) {
    for (int c = 1; c < 0x80; ++c) {
        EXPECT_EQ(isFoldTargetOfNonAscii(static_cast<char>(c)), c == 'k' || c == 's') << c;
    }
}

// The matcher's ASCII path looks for exactly these two code points (C5 BF and E2 84 AA).
TEST(FoldTargets, OnlyLongSAndKelvinFoldIntoAscii) {
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (foldSimple(c) < 0x80) {
            EXPECT_TRUE(c == 0x017F || c == 0x212A) << static_cast<std::uint32_t>(c);
        }
    }
}

} // namespace
} // namespace engine::text
