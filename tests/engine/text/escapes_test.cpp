// The _xHHHH_ escapes of stored cell text and UTF-16 lengths.
#include "text_replace.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace engine::text {
namespace {

struct EscapeCase {
    std::string stored;
    std::string text;
};

class DecodeEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(DecodeEscapes, GivesCharacters) {
    EXPECT_EQ(decodeEscapes(GetParam().stored), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeEscapes,
    ::testing::Values(EscapeCase{"plain text", "plain text"}, EscapeCase{"_x000D_", "\r"},
                      EscapeCase{"a_x000d_b", "a\rb"}, EscapeCase{"_x0041__x0042_", "AB"},
                      EscapeCase{"_x00e9_", "é"}, EscapeCase{"_x0041_0", "A0"},
                      EscapeCase{"_x041_", "_x041_"}, EscapeCase{"_X0041_", "_X0041_"},
                      EscapeCase{"_x0G41_", "_x0G41_"}, EscapeCase{"_x0041", "_x0041"},
                      EscapeCase{"__x0041_", "_A"}, EscapeCase{"_x005F_x0041_", "_x0041_"},
                      EscapeCase{"_xD83D__xDE00_", "😀"}, EscapeCase{"_xD800_", "\xED\xA0\x80"},
                      EscapeCase{"_xDE00__xD83D_", "\xED\xB8\x80\xED\xA0\xBD"},
                      EscapeCase{std::string("_x0000_"), std::string(1, '\0')}));

class EncodeEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EncodeEscapes, WritesWhatXmlCannotHold) {
    EXPECT_EQ(encodeEscapes(GetParam().text), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeEscapes,
    ::testing::Values(EscapeCase{"plain é 😀", "plain é 😀"}, EscapeCase{"_x000D_", "\r"},
                      EscapeCase{"\t\n", "\t\n"},
                      EscapeCase{"a_x0001_b", "a\x01"
                                              "b"},
                      EscapeCase{"_x001F_", "\x1F"},
                      EscapeCase{"_xFFFF__xFFFE_", "\xEF\xBF\xBF\xEF\xBF\xBE"},
                      EscapeCase{"_xD800_", "\xED\xA0\x80"}, EscapeCase{"_x005F_x0041_", "_x0041_"},
                      EscapeCase{"_x005F_x005F_x00zz_", "_x005F_x00zz_"},
                      EscapeCase{"_x00zz_", "_x00zz_"}, EscapeCase{"_x12_x000D_", "_x12\r"},
                      EscapeCase{"_x005F_x1234_x000D_", "_x1234\r"}, EscapeCase{"_ _x _", "_ _x _"},
                      EscapeCase{"_x0000_", std::string(1, '\0')}));

// decode(encode(s)) == s for every text, whatever mix of underscores, hex digits and
// characters that need escapes it holds.
TEST(EscapesRoundTrip, ExhaustiveShortTexts) {
    const std::vector<std::string> alphabet = {"_", "x", "0", "A", "\r"};
    std::vector<std::string> texts = {""};
    for (int length = 1; length <= 7; ++length) {
        std::vector<std::string> longer;
        for (const std::string& t : texts) {
            if (t.size() + 1 == static_cast<std::size_t>(length)) {
                for (const std::string& a : alphabet) {
                    longer.push_back(t + a);
                }
            }
        }
        texts.insert(texts.end(), longer.begin(), longer.end());
    }
    for (const std::string& t : texts) {
        ASSERT_EQ(decodeEscapes(encodeEscapes(t)), t) << "text of " << t.size() << " bytes";
    }
}

TEST(EscapesRoundTrip, RandomTexts) {
    const std::vector<std::string> alphabet = {"_",
                                               "x",
                                               "X",
                                               "0",
                                               "5",
                                               "F",
                                               "d",
                                               "g",
                                               "\r",
                                               "\x01",
                                               "\t",
                                               "\n",
                                               "é",
                                               "😀",
                                               "\xED\xA0\x80",
                                               "\xED\xBF\xBF",
                                               "\xEF\xBF\xBE",
                                               "\xFF",
                                               "_x",
                                               "_x0041_",
                                               "_xD83D_"};
    std::mt19937 random(20240607);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 24);
    std::string encodeBuffer = "left over";
    std::string decodeBuffer = "left over";
    for (int n = 0; n < 50000; ++n) {
        std::string text;
        for (int k = length(random); k > 0; --k) {
            text += alphabet[pick(random)];
        }
        if (text.find("\xED\xA0\x80\xED\xBF\xBF") != std::string::npos) {
            continue; // an encoded surrogate pair: see SurrogatePairBecomesCharacter
        }
        const std::string stored = encodeEscapes(text);
        ASSERT_EQ(decodeEscapes(stored), text);
        // The buffer versions give the same, whatever the buffer held before.
        encodeEscapes(text, encodeBuffer);
        ASSERT_EQ(encodeBuffer, stored);
        decodeEscapes(stored, decodeBuffer);
        ASSERT_EQ(decodeBuffer, text);
        for (const char ch : stored) {
            const auto b = static_cast<unsigned char>(ch);
            ASSERT_TRUE(b >= 0x20 || b == '\t' || b == '\n') << "control byte left in output";
        }
    }
}

// Arbitrary bytes (cell text of a damaged file) neither crash nor get lost.
TEST(EscapesRoundTrip, RandomBytes) {
    std::mt19937 random(99);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 40);
    for (int n = 0; n < 20000; ++n) {
        std::string text;
        for (int k = length(random); k > 0; --k) {
            text.push_back(static_cast<char>(byte(random)));
        }
        EXPECT_LE(utf16Length(text), text.size());
        (void)decodeEscapes(text);
        if (text.find("\xED") != std::string::npos) {
            continue; // may hold an encoded surrogate pair, see below
        }
        ASSERT_EQ(decodeEscapes(encodeEscapes(text)), text);
    }
}

// Text never holds a high surrogate followed by a low one in their three-byte forms
// (decoding makes them one character), so the round trip may join such a pair.
TEST(EscapesRoundTrip, SurrogatePairBecomesCharacter) {
    EXPECT_EQ(encodeEscapes("\xED\xA0\xBD\xED\xB8\x80"), "_xD83D__xDE00_");
    EXPECT_EQ(decodeEscapes(encodeEscapes("\xED\xA0\xBD\xED\xB8\x80")), "😀");
}

struct LengthCase {
    std::string text;
    std::size_t units;
};

class Utf16Length : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Utf16Length, CountsCodeUnits) {
    EXPECT_EQ(utf16Length(GetParam().text), GetParam().units);
}

INSTANTIATE_TEST_SUITE_P(Table, Utf16Length,
                         ::testing::Values(LengthCase{"", 0}, LengthCase{"abc", 3},
                                           LengthCase{"é€", 2}, LengthCase{"😀", 2},
                                           LengthCase{"a😀b", 4}, LengthCase{"\xFF\xFE", 2},
                                           LengthCase{"\xED\xA0\x80", 1},
                                           LengthCase{"\xF0\x9F\x98", 3}));

struct SpaceCase {
    std::string text;
    bool preserve;
};

class NeedsSpacePreserve : public ::testing::TestWithParam<SpaceCase> {};

TEST_P(NeedsSpacePreserve, WhenReadersWouldTrim) {
    EXPECT_EQ(needsSpacePreserve(GetParam().text), GetParam().preserve) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, NeedsSpacePreserve,
                         ::testing::Values(SpaceCase{"", false}, SpaceCase{"a b", false},
                                           SpaceCase{"é", false}, SpaceCase{" a", true},
                                           SpaceCase{"a ", true}, SpaceCase{"a  b", true},
                                           SpaceCase{"a\tb", true}, SpaceCase{"a\nb", true},
                                           SpaceCase{"a\rb", true}, SpaceCase{" ", true}));

} // namespace
} // namespace engine::text
