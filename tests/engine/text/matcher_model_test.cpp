// The matcher's search strategies (byte search, ASCII folding, unit search) against a plain
// model: decode both texts into code points, fold them, scan left to right.
#include "text_replace.h"

#include "case_folding.h"
#include "utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace engine::text {
namespace {

using Matches = std::vector<std::pair<std::size_t, std::size_t>>;

Matches modelFindAll(std::string_view input, std::string_view find, bool matchCase) {
    std::vector<char32_t> units;
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < input.size();) {
        const utf8::Unit u = utf8::decode(input, i);
        units.push_back(matchCase ? u.value : foldSimple(u.value));
        offsets.push_back(i);
        i += u.length;
    }
    offsets.push_back(input.size());
    std::vector<char32_t> pattern;
    for (std::size_t i = 0; i < find.size();) {
        const utf8::Unit u = utf8::decode(find, i);
        pattern.push_back(matchCase ? u.value : foldSimple(u.value));
        i += u.length;
    }
    Matches found;
    if (pattern.empty()) {
        return found;
    }
    for (std::size_t i = 0; i + pattern.size() <= units.size();) {
        if (std::equal(pattern.begin(), pattern.end(), units.begin() + i)) {
            found.emplace_back(offsets[i], offsets[i + pattern.size()]);
            i += pattern.size();
        } else {
            ++i;
        }
    }
    return found;
}

TEST(MatcherModel, RandomTextsAgreeWithModel) {
    const std::vector<std::string> pieces = {
        "a", "A", "b", "k", "K",    "\u212A", "s",    "S", "ſ", "é",  "É",  "ß",
        "ẞ", "Σ", "ς", "σ", "\xFF", "\xC3",   "\xA9", "😀", " ", "ab", "kS", "aa"};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> inputLength(0, 30);
    std::uniform_int_distribution<int> findLength(1, 5);
    for (int n = 0; n < 20000; ++n) {
        std::string input;
        for (int k = inputLength(random); k > 0; --k) {
            input += pieces[pick(random)];
        }
        std::string find;
        for (int k = findLength(random); k > 0; --k) {
            find += pieces[pick(random)];
        }
        for (const bool matchCase : {false, true}) {
            const Matcher matcher(find, matchCase);
            const Matches expected = modelFindAll(input, find, matchCase);
            ASSERT_EQ(matcher.findAll(input), expected)
                << "find of " << find.size() << " bytes, matchCase " << matchCase;
            ASSERT_EQ(matcher.contains(input), !expected.empty());
        }
    }
}

} // namespace
} // namespace engine::text
