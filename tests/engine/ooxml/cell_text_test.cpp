// The replacement rules through every kind of cell text: one table of cases, each run as a
// shared string, an inline string, and both again as rich text split into two runs.
#include "part_harness.h"

#include "xml/xml_text.h"

#include <gtest/gtest.h>

namespace engine::ooxml {
namespace {

using testing::readCells;
using testing::runSheet;
using testing::sheetXml;
using testing::sstXml;

enum class Kind { Shared, Inline, SharedRuns, InlineRuns };

struct Case {
    const char* name;
    std::string stored; ///< the cell text as decoded characters
    std::vector<ReplaceRequest> queue;
    std::string expected;                 ///< the cell text afterwards ("" = blank cell)
    std::size_t replacements;             ///< 0: nothing changes
    ErrorCode error = ErrorCode::IoError; ///< IoError here means: no failure expected
};

// The cell text as stored in a <t>: escapes, then XML.
std::string stored(const std::string& text) {
    std::string out;
    xml::appendEscapedText(out, engine::text::encodeEscapes(text));
    return out;
}

// Splits text into two runs at a character boundary near the middle.
std::pair<std::string, std::string> halves(const std::string& text) {
    std::size_t cut = text.size() / 2;
    while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return {text.substr(0, cut), text.substr(cut)};
}

std::string content(Kind kind, const std::string& text) {
    if (kind == Kind::Shared || kind == Kind::Inline) {
        return "<t>" + stored(text) + "</t>";
    }
    auto [a, b] = halves(text);
    return "<r><rPr><b/></rPr><t>" + stored(a) + "</t></r><r><t>" + stored(b) + "</t></r>";
}

const std::string kLong(40000, 'x');

const std::vector<Case>& cases() {
    static const std::vector<Case> table = {
        {"Simple", "alpha beta alpha", {{"alpha", "omega", false}}, "omega beta omega", 2},
        {"NoMatch", "alpha", {{"gamma", "x", false}}, "alpha", 0},
        {"EmptyFindReplacesNothing", "alpha", {{"", "x", false}}, "alpha", 0},
        {"IgnoringCase", "Alpha ALPHA", {{"alpha", "b", false}}, "b b", 2},
        {"MatchCase", "Alpha alpha", {{"alpha", "b", true}}, "Alpha b", 1},
        {"NonAsciiFolding", "Ärger ÄRGER", {{"ärger", "x", false}}, "x x", 2},
        {"GreekSigmaForms", "ΣΊΣΥΦΟΣ", {{"σίσυφος", "ok", false}}, "ok", 1},
        {"NoRescanOfInserted", "aba", {{"a", "aa", true}}, "aabaa", 2},
        {"LeftToRightWithoutOverlap", "aaa", {{"aa", "X", true}}, "Xa", 1},
        {"WildcardsAreOrdinary", "a*b a?b", {{"*", "-", true}, {"?", "+", true}}, "a-b a+b", 2},
        {"QueueAppliesInOrder", "ab", {{"a", "b", true}, {"b", "c", true}}, "cc", 3},
        {"XmlSpecialCharacters", "a&b<c>", {{"&", "<&>", true}}, "a<&>b<c>", 1},
        {"CarriageReturnEscapeDecoded", "line\rend", {{"line\rend", "ok", true}}, "ok", 1},
        {"CarriageReturnWritten", "axb", {{"x", "\r", true}}, "a\rb", 1},
        {"LiteralEscapeTextFound", "say _x0041_", {{"_x0041_", "A", true}}, "say A", 1},
        {"LiteralEscapeTextWritten", "say A", {{"A", "_x0041_", true}}, "say _x0041_", 1},
        {"EdgeSpacesKept", "x", {{"x", "  two  ", true}}, "  two  ", 1},
        {"LineBreakKept", "a b", {{" ", "\n", true}}, "a\nb", 1},
        {"EmptyResultBlanksCell", "alpha", {{"alpha", "", true}}, "", 1},
        {"TooLongFails", "ab", {{"a", kLong, true}}, "", 1, ErrorCode::ResultTooLong},
        {"ExactlyTheLimit",
         "a",
         {{"a", std::string(32767, 'y'), true}},
         std::string(32767, 'y'),
         1},
        {"AstralCharactersCountTwice",
         "a",
         {{"a", std::string(16384 * 2, 'y') + "😀", true}},
         "",
         1,
         ErrorCode::ResultTooLong},
    };
    return table;
}

class CellText : public ::testing::TestWithParam<std::tuple<Kind, Case>> {};

TEST_P(CellText, ReplacesAsTheRulesSay) {
    const auto& [kind, c] = GetParam();
    const bool shared = kind == Kind::Shared || kind == Kind::SharedRuns;
    const std::string sst = shared ? sstXml({content(kind, c.stored)}) : std::string();
    const std::string cell =
        shared ? R"(<c r="A1" s="3" t="s"><v>0</v></c>)"
               : R"(<c r="A1" s="3" t="inlineStr"><is>)" + content(kind, c.stored) + "</is></c>";
    const std::string sheet = sheetXml(cell);

    const auto run = runSheet(sheet, sst, c.queue);
    if (c.error != ErrorCode::IoError) {
        ASSERT_FALSE(run.status.ok());
        EXPECT_EQ(run.status.error().code, c.error);
        EXPECT_NE(run.status.error().detail.find("Sheet1!A1"), std::string::npos)
            << run.status.error().detail;
        return;
    }
    ASSERT_TRUE(run.status.ok()) << run.status.error().message();
    EXPECT_EQ(run.counts.replacements, c.replacements);
    EXPECT_EQ(run.counts.cellsChanged, c.replacements == 0 ? 0U : 1U);
    if (c.replacements == 0) {
        EXPECT_EQ(run.sheet, sheet);
        EXPECT_FALSE(run.strings.has_value());
        return;
    }
    const auto cells = readCells(run.strings.value_or(sst), run.sheet);
    ASSERT_EQ(cells.cells.size(), 1U);
    EXPECT_EQ(cells.cells[0], c.expected);
    if (c.expected.empty()) {
        // A blank cell keeps its style and loses its type and value.
        EXPECT_NE(run.sheet.find(R"(<c r="A1" s="3">)"), std::string::npos) << run.sheet;
        EXPECT_EQ(run.sheet.find("<v>"), std::string::npos);
        EXPECT_EQ(run.sheet.find("<is>"), std::string::npos);
    }
    if (engine::text::needsSpacePreserve(c.expected)) {
        const std::string& part = shared ? *run.strings : run.sheet;
        EXPECT_NE(part.find(R"(xml:space="preserve")"), std::string::npos) << part;
    }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<Kind, Case>>& info) {
    static const char* kinds[] = {"Shared", "Inline", "SharedRuns", "InlineRuns"};
    return std::string(kinds[static_cast<int>(std::get<0>(info.param))]) + "_" +
           std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(EveryKind, CellText,
                         ::testing::Combine(::testing::Values(Kind::Shared, Kind::Inline,
                                                              Kind::SharedRuns, Kind::InlineRuns),
                                            ::testing::ValuesIn(cases())),
                         caseName);

} // namespace
} // namespace engine::ooxml
