// The cell text rules, one table of cases run through every entry point: plain text, rich
// text runs, and text stored with _xHHHH_ escapes.
#include "text_replace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace engine::text {
namespace {

struct Case {
    const char* name;
    std::string input;
    std::string find;
    std::string replacement;
    bool matchCase;
    std::string expected; // the input when nothing matches
    std::size_t count;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << c.name;
}

const std::vector<Case>& cases() {
    static const std::vector<Case> table = {
        {"Simple", "alpha beta alpha", "alpha", "omega", false, "omega beta omega", 2},
        {"NoMatch", "alpha", "gamma", "x", false, "alpha", 0},
        {"EmptyFindMatchesNothing", "alpha", "", "x", false, "alpha", 0},
        {"EmptyInput", "", "a", "x", true, "", 0},
        {"FindLongerThanInput", "ab", "abc", "x", false, "ab", 0},
        {"WholeCellToEmpty", "alpha", "alpha", "", true, "", 1},
        {"OverlapLeftToRight", "aaa", "aa", "X", true, "Xa", 1},
        {"OverlapFour", "aaaa", "aa", "X", true, "XX", 2},
        {"ReplacementHoldsFind", "aba", "a", "aa", true, "aabaa", 2},
        {"ReplacementIsFindUpperCase", "abc abc", "abc", "ABC", false, "ABC ABC", 2},
        {"StarIsOrdinary", "a*b axb", "*", "-", true, "a-b axb", 1},
        {"StarPatternIsLiteral", "abc", "a*", "-", true, "abc", 0},
        {"QuestionIsOrdinary", "a?b acb", "a?b", "-", true, "- acb", 1},
        {"TildeIsOrdinary", "a~*b", "~*", "-", true, "a-b", 1},
        {"AsciiIgnoringCase", "Alpha ALPHA alpha", "aLpHa", "o", false, "o o o", 3},
        {"AsciiMatchCase", "Alpha ALPHA alpha", "alpha", "o", true, "Alpha ALPHA o", 1},
        {"SingleLetterIgnoringCase", "aAbA", "a", "-", false, "--b-", 3},
        {"LongNeedleIgnoringCase", "The Quick Brown Fox", "quick brown", "slow", false,
         "The slow Fox", 1},
        {"LongNeedleMatchCase", "the quick brown fox quick brown", "quick brown", "-", true,
         "the - fox -", 2},
        {"LongNeedleNearMiss", "quick browX quick brown", "quick brown", "-", true, "quick browX -",
         1},
        {"AsciiNeedleInNonAsciiText", "café ALPHA crème", "alpha", "omega", false,
         "café omega crème", 1},
        {"UmlautsIgnoringCase", "ÄÖÜ äöü", "äöü", "x", false, "x x", 2},
        {"UmlautsMatchCase", "ÄÖÜ äöü", "äöü", "x", true, "ÄÖÜ x", 1},
        {"GreekSigmaForms", "ΣΑΣ σας", "σας", "x", false, "x x", 2},
        {"GreekFinalSigmaFindsCapital", "ΟΔΟΣ", "ς", "x", false, "ΟΔΟx", 1},
        {"SharpSNotDoubleS", "STRASSE", "ß", "x", false, "STRASSE", 0},
        {"DoubleSNotSharpS", "straße", "ss", "x", false, "straße", 0},
        {"CapitalSharpSFoldsToSharpS", "straße", "ẞ", "ss", false, "strasse", 1},
        {"DottedCapitalIIsNotI", "İSTANBUL", "i", "x", false, "İSTANBUL", 0},
        {"DotlessIIsNotI", "ıi", "I", "x", false, "ıx", 1},
        {"DotlessIMatchesItself", "KIRIK ırmak", "ı", "x", false, "KIRIK xrmak", 1},
        {"KelvinSignFoldsToK", "5 \u212A = 5 K", "k", "kelvin", false, "5 kelvin = 5 kelvin", 2},
        {"KelvinSignFindsAsciiK", "kilo", "\u212A", "K", false, "Kilo", 1},
        {"LongSFoldsToS", "Meſs", "SS", "x", false, "Mex", 1},
        {"FourByteCharacters", "😀x😀X", "x", "-", false, "😀-😀-", 2},
        {"DeseretIgnoringCase", "\U00010400\U00010428", "\U00010428", "d", false, "dd", 2},
        {"CjkUntouchedByFolding", "漢字かな漢字", "漢字", "kanji", false, "kanjiかなkanji", 2},
        {"NonAsciiPrefixRestart", "éééf", "ééf", "x", false, "éx", 1},
        {"InvalidByteMatchesItself",
         "a\xFF"
         "b",
         "\xFF", "-", true, "a-b", 1},
        {"InvalidByteIgnoringCase",
         "A\xFF"
         "B",
         "a\xFF", "-", false, "-B", 1},
        {"TruncatedSequenceThenLetter",
         "\xC3"
         "b",
         "B", "-", false, "\xC3-", 1},
        {"ContinuationByteNeverSplitsCharacter", "é", "\xA9", "-", true, "é", 0},
        {"LoneLeadByteNeverSplitsCharacter", "é", "\xC3", "-", false, "é", 0},
    };
    return table;
}

// Boundaries where a rich text run may end: between characters, never inside one.
std::vector<std::size_t> characterBoundaries(const std::string& s) {
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            cuts.push_back(i);
        }
    }
    return cuts;
}

std::string joinRuns(const RunsResult& r) {
    std::string joined;
    for (const auto& run : r.runs) {
        if (run) {
            joined += *run;
        }
    }
    return joined;
}

class TextRules : public ::testing::TestWithParam<Case> {};

TEST_P(TextRules, PlainTextGivesExpectedResult) {
    const Case& c = GetParam();
    const Matcher matcher(c.find, c.matchCase);
    std::string out = "untouched";
    EXPECT_EQ(matcher.replaceAll(c.input, c.replacement, out), c.count);
    EXPECT_EQ(out, c.count == 0 ? std::string("untouched") : c.expected);
    EXPECT_EQ(matcher.contains(c.input), c.count != 0);

    const auto found = matcher.findAll(c.input);
    ASSERT_EQ(found.size(), c.count);
    std::size_t previousEnd = 0;
    for (const auto& [begin, end] : found) {
        EXPECT_LE(previousEnd, begin);
        EXPECT_LT(begin, end);
        EXPECT_LE(end, c.input.size());
        previousEnd = end;
    }
}

TEST_P(TextRules, RunsSplitAnywhereGiveSameText) {
    const Case& c = GetParam();
    const Matcher matcher(c.find, c.matchCase);
    const std::vector<std::size_t> cuts = characterBoundaries(c.input);
    // Every split into two runs and every split into three runs.
    std::vector<std::vector<std::size_t>> splits = {{}};
    for (const std::size_t a : cuts) {
        splits.push_back({a});
        for (const std::size_t b : cuts) {
            if (b > a) {
                splits.push_back({a, b});
            }
        }
    }
    for (const auto& split : splits) {
        std::vector<std::string_view> runs;
        std::size_t from = 0;
        for (const std::size_t cut : split) {
            runs.push_back(std::string_view(c.input).substr(from, cut - from));
            from = cut;
        }
        runs.push_back(std::string_view(c.input).substr(from));
        const auto result = replaceInRuns(runs, matcher, c.replacement);
        SCOPED_TRACE("runs: " + std::to_string(runs.size()) +
                     (split.empty() ? "" : " first cut " + std::to_string(split[0])));
        if (c.count == 0) {
            EXPECT_FALSE(result.has_value());
            continue;
        }
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->replacements, c.count);
        ASSERT_EQ(result->runs.size(), runs.size());
        EXPECT_EQ(joinRuns(*result), c.expected);
        for (std::size_t k = 0; k < runs.size(); ++k) {
            // A run that had text either keeps some or goes; none is left empty.
            if (result->runs[k]) {
                EXPECT_FALSE(result->runs[k]->empty()) << "run " << k;
            }
        }
    }
}

TEST_P(TextRules, EscapedStoredTextGivesSameText) {
    const Case& c = GetParam();
    const Matcher matcher(c.find, c.matchCase);
    const std::string stored = encodeEscapes(c.input);
    const std::string decoded = decodeEscapes(stored);
    ASSERT_EQ(decoded, c.input);
    std::string out;
    ASSERT_EQ(matcher.replaceAll(decoded, c.replacement, out), c.count);
    if (c.count != 0) {
        EXPECT_EQ(decodeEscapes(encodeEscapes(out)), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TextRules, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& param) {
                             return std::string(param.param.name);
                         });

// Cell texts that hold escaped control characters match on the characters.
TEST(TextRulesEscapes, FindControlCharacterInStoredText) {
    const Matcher matcher("a\rb", true);
    std::string out;
    EXPECT_EQ(matcher.replaceAll(decodeEscapes("x a_x000D_b y"), "c", out), 1u);
    EXPECT_EQ(encodeEscapes(out), "x c y");
}

TEST(TextRulesEscapes, ReplacementWithLiteralEscapeIsProtected) {
    const Matcher matcher("key", false);
    std::string out;
    ASSERT_EQ(matcher.replaceAll("KEY", "_x0041_", out), 1u);
    EXPECT_EQ(encodeEscapes(out), "_x005F_x0041_");
}

struct RunsCase {
    const char* name;
    std::vector<std::string_view> runs;
    std::string find;
    std::string replacement;
    std::vector<std::optional<std::string>> expected;
};

std::ostream& operator<<(std::ostream& os, const RunsCase& c) {
    return os << c.name;
}

class Runs : public ::testing::TestWithParam<RunsCase> {};

TEST_P(Runs, EachRunGetsItsPart) {
    const RunsCase& c = GetParam();
    const Matcher matcher(c.find, false);
    const auto result = replaceInRuns(c.runs, matcher, c.replacement);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->runs, c.expected);
}

using R = std::optional<std::string>;
INSTANTIATE_TEST_SUITE_P(
    Table, Runs,
    ::testing::Values(
        RunsCase{"InsideOneRun", {"ab", "xalphay"}, "alpha", "omega", {R("ab"), R("xomegay")}},
        RunsCase{"SpanningTwoRuns", {"al", "pha beta"}, "alpha", "omega", {R("omega"), R(" beta")}},
        RunsCase{"SpanningThreeRunsMiddleGoes",
                 {"xal", "ph", "ay"},
                 "alpha",
                 "Z",
                 {R("xZ"), std::nullopt, R("y")}},
        RunsCase{"StartsAtRunBoundary", {"ab", "cd"}, "bc", "X", {R("aX"), R("d")}},
        RunsCase{
            "MatchStartsInSecondRun", {"a", "bc", "d"}, "cd", "X", {R("a"), R("bX"), std::nullopt}},
        RunsCase{"EmptyRunsKeepTheirPlace",
                 {"", "alpha", ""},
                 "ALPHA",
                 "omega",
                 {R(""), R("omega"), R("")}},
        RunsCase{
            "EmptyRunBeforeSpan", {"al", "", "pha"}, "alpha", "o", {R("o"), R(""), std::nullopt}},
        RunsCase{"EmptiedRunGoes", {"alpha", "!"}, "alpha", "", {std::nullopt, R("!")}},
        RunsCase{"OverlapAcrossRuns", {"a", "a", "a"}, "aa", "X", {R("X"), std::nullopt, R("a")}},
        RunsCase{"TwoMatchesTwoRuns", {"alpha al", "pha"}, "alpha", "o", {R("o o"), std::nullopt}},
        RunsCase{"NonAsciiSpan", {"Ä", "Öü"}, "äö", "x", {R("x"), R("ü")}}),
    [](const ::testing::TestParamInfo<RunsCase>& param) { return std::string(param.param.name); });

TEST(EqualsIgnoringCase, FoldsLikeTheMatcher) {
    EXPECT_TRUE(equalsIgnoringCase("", ""));
    EXPECT_TRUE(equalsIgnoringCase("Amount", "AMOUNT"));
    EXPECT_TRUE(equalsIgnoringCase("Größe", "GRÖẞE"));
    EXPECT_TRUE(equalsIgnoringCase("\u212Aelvin", "kelvin")); // lengths in bytes differ
    EXPECT_TRUE(equalsIgnoringCase("a\xFF", "A\xFF"));
    EXPECT_FALSE(equalsIgnoringCase("Amount", "Amounts"));
    EXPECT_FALSE(equalsIgnoringCase("Amounts", "Amount"));
    EXPECT_FALSE(equalsIgnoringCase("Straße", "STRASSE"));
    EXPECT_FALSE(equalsIgnoringCase("i", "İ"));
    EXPECT_FALSE(equalsIgnoringCase("\xFF", "\xFE"));
}

TEST(RunsNoMatch, GivesNothing) {
    const Matcher matcher("zeta", false);
    EXPECT_FALSE(replaceInRuns({"alpha", "beta"}, matcher, "x").has_value());
    EXPECT_FALSE(replaceInRuns({}, matcher, "x").has_value());
}

// A find text longer than the matcher's inline buffer of start offsets.
TEST(MatcherLongFind, NonAsciiFindOfManyCharacters) {
    std::string find;
    for (int i = 0; i < 70; ++i) {
        find += "é";
    }
    const std::string input = "x" + find + find + "é";
    const Matcher matcher(find, false);
    std::string out;
    EXPECT_EQ(matcher.replaceAll(input, "-", out), 2u);
    EXPECT_EQ(out, "x--é");
}

struct WholeCase {
    const char* name;
    std::string input;
    std::string find;
    bool matchCase;
    bool matches;
};

class MatcherWholeText : public ::testing::TestWithParam<WholeCase> {};

// Whole-text matching goes through every entry point: one match spanning the input, or none.
TEST_P(MatcherWholeText, MatchesOnlyTheWholeInput) {
    const auto& c = GetParam();
    const Matcher matcher(c.find, c.matchCase, true);
    EXPECT_EQ(matcher.contains(c.input), c.matches);
    const auto found = matcher.findAll(c.input);
    std::string out = "untouched";
    const std::size_t count = matcher.replaceAll(c.input, "X", out);
    if (c.matches) {
        ASSERT_EQ(found.size(), 1U);
        EXPECT_EQ(found[0], std::make_pair(std::size_t{0}, c.input.size()));
        EXPECT_EQ(count, 1U);
        EXPECT_EQ(out, "X");
    } else {
        EXPECT_TRUE(found.empty());
        EXPECT_EQ(count, 0U);
        EXPECT_EQ(out, "untouched");
    }
    // Runs: the whole text goes to the first run, the others are emptied.
    const std::size_t half = c.input.size() / 2;
    const auto runs = replaceInRuns(
        {std::string_view(c.input).substr(0, half), std::string_view(c.input).substr(half)},
        matcher, "X");
    EXPECT_EQ(runs.has_value(), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MatcherWholeText,
    ::testing::Values(WholeCase{"Equal", "alpha", "alpha", true, true},
                      WholeCase{"Prefix", "alphabet", "alpha", false, false},
                      WholeCase{"Suffix", "an alpha", "alpha", false, false},
                      WholeCase{"Twice", "alphaalpha", "alpha", false, false},
                      WholeCase{"CaseIgnored", "ALPHA", "alpha", false, true},
                      WholeCase{"CaseMatched", "ALPHA", "alpha", true, false},
                      WholeCase{"FoldingChangesByteLength", "\u212Aelvin", "kelvin", false, true},
                      WholeCase{"NonAsciiFind", "ÄÖÜ", "äöü", false, true},
                      WholeCase{"EmptyInput", "", "alpha", false, false},
                      WholeCase{"SpaceAround", " alpha ", "alpha", false, false}),
    [](const ::testing::TestParamInfo<WholeCase>& p) { return std::string(p.param.name); });

TEST(MatcherMove, MovedMatcherKeepsWorkingAndSourceMatchesNothing) {
    Matcher a("alpha", false);
    Matcher b(std::move(a));
    EXPECT_TRUE(b.contains("ALPHA"));
    Matcher c("zeta", true);
    c = std::move(b);
    EXPECT_TRUE(c.contains("alpha"));
    EXPECT_FALSE(a.contains("alpha")); // NOLINT(bugprone-use-after-move): moved-from is safe
}

} // namespace
} // namespace engine::text
