// The program's own file-name patterns: case, "*" across dots, "?" as one character, ".*" at
// the end matching names without an extension, and no other special characters.
#include "filelist/file_pattern.h"

#include <QString>
#include <gtest/gtest.h>

namespace {

struct PatternCase {
    const char* name;
    const char* pattern;
    bool matches;
};

class FilePatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(FilePatternTest, MatchesAsTheProgramRulesSay) {
    const PatternCase& c = GetParam();
    EXPECT_EQ(filelist::matchesPattern(QString::fromUtf8(c.name), QString::fromUtf8(c.pattern)),
              c.matches)
        << c.name << " against " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FilePatternTest,
    testing::Values(
        // The folder command's default "xl*" and its case rules.
        PatternCase{"Book.xlsx", "*.xl*", true}, PatternCase{"BOOK.XLS", "*.xl*", true},
        PatternCase{"book.xl", "*.xl*", true}, PatternCase{"book.txt", "*.xl*", false},
        PatternCase{"xlsbook", "*.xl*", false}, PatternCase{"book.XLSM", "*.xLs*", true},
        // "*" spans dots; the extension is what follows the last dot only by the pattern.
        PatternCase{"report.2024.xls", "*.xls", true}, PatternCase{"book.xls.bak", "*.xls", false},
        PatternCase{"book.xlsx", "*.xls", false}, PatternCase{".hidden.xls", "*.xls", true},
        // "*.*" is every name, with or without a dot; a final ".*" may stand for nothing.
        PatternCase{"README", "*.*", true}, PatternCase{"a.b.c", "*.*", true},
        PatternCase{".profile", "*.*", true}, PatternCase{"book", "book.*", true},
        PatternCase{"book.xls", "book.*", true}, PatternCase{"books", "book.*", false},
        PatternCase{"README", "*.xl*", false},
        // "?" is exactly one character, also outside the Basic Multilingual Plane.
        PatternCase{"book1.xls", "book?.xls", true}, PatternCase{"book12.xls", "book?.xls", false},
        PatternCase{"book.xls", "book?.xls", false},
        PatternCase{"\xF0\x9F\x98\x80.xls", "?.xls", true},
        // Case-insensitive beyond ASCII.
        PatternCase{"\xC3\x89T\xC3\x89.XLS", "\xC3\xA9t\xC3\xA9.xls", true},
        // Brackets and other characters stand for themselves: no shell globbing.
        PatternCase{"a[1].xls", "a[1].xls", true}, PatternCase{"a1.xls", "a[1].xls", false},
        PatternCase{"a{b,c}.txt", "*{b,c}.txt", true}, PatternCase{"ab.txt", "a{b,c}.txt", false},
        // Several stars, and a name that makes a naive matcher backtrack without end.
        PatternCase{"aXbYc", "a*b*c", true}, PatternCase{"abc", "a*b*c", true},
        PatternCase{"acb", "a*b*c", false},
        PatternCase{"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*c", false}));

} // namespace
