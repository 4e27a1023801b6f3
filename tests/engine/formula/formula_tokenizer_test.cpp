// Formula tokenizer and well-formedness check.
#include "formula_tokenizer.h"

#include <gtest/gtest.h>

#include <random>

#include <string>
#include <vector>

namespace engine::formula {
namespace {

const char* kindName(TokenKind kind) {
    switch (kind) {
    case TokenKind::Number:
        return "Num";
    case TokenKind::String:
        return "Str";
    case TokenKind::Boolean:
        return "Bool";
    case TokenKind::Error:
        return "Err";
    case TokenKind::Reference:
        return "Ref";
    case TokenKind::StructuredReference:
        return "SRef";
    case TokenKind::Function:
        return "Fn";
    case TokenKind::Name:
        return "Name";
    case TokenKind::OpenParen:
        return "(";
    case TokenKind::CloseParen:
        return ")";
    case TokenKind::OpenBrace:
        return "{";
    case TokenKind::CloseBrace:
        return "}";
    case TokenKind::Separator:
        return "Sep";
    case TokenKind::Operator:
        return "Op";
    case TokenKind::Whitespace:
        return "Ws";
    case TokenKind::Unknown:
        return "Unknown";
    }
    return "?";
}

// "Kind:text" for tokens with text of their own, the bare kind for punctuation.
std::vector<std::string> describe(std::string_view formula) {
    std::vector<std::string> out;
    std::size_t covered = 0;
    for (const Token& t : tokenize(formula)) {
        EXPECT_EQ(t.offset, covered) << "tokens must cover every byte in order";
        covered = t.offset + t.length;
        const std::string kind = kindName(t.kind);
        if (kind.size() == 1) {
            out.push_back(kind);
        } else {
            out.push_back(kind + ":" + std::string(formula.substr(t.offset, t.length)) +
                          (t.closed ? "" : "~"));
        }
    }
    EXPECT_EQ(covered, formula.size());
    return out;
}

struct TokenCase {
    const char* name;
    std::string formula;
    std::vector<std::string> tokens;
};

std::ostream& operator<<(std::ostream& os, const TokenCase& c) {
    return os << c.name;
}

class Tokenize : public ::testing::TestWithParam<TokenCase> {};

TEST_P(Tokenize, GivesTokens) {
    EXPECT_EQ(describe(GetParam().formula), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Tokenize,
    ::testing::Values(
        TokenCase{"FunctionAndRange", "SUM(A1:B2)", {"Fn:SUM", "(", "Ref:A1:B2", ")"}},
        TokenCase{
            "AbsoluteAndMixed", "$A$1+A$1-$A1", {"Ref:$A$1", "Op:+", "Ref:A$1", "Op:-", "Ref:$A1"}},
        TokenCase{
            "DoubledQuotes", "\"say \"\"hi\"\"\"&A1", {"Str:\"say \"\"hi\"\"\"", "Op:&", "Ref:A1"}},
        TokenCase{"StringHoldsReferenceAndParen", "\"A1(\"", {"Str:\"A1(\""}},
        TokenCase{"UnclosedString", "\"abc", {"Str:\"abc~"}},
        TokenCase{"QuotedSheetWithApostrophe",
                  "'O''Brien''s sheet'!B2*2",
                  {"Ref:'O''Brien''s sheet'!B2", "Op:*", "Num:2"}},
        TokenCase{"SheetPrefix", "Sheet1!A1:B2", {"Ref:Sheet1!A1:B2"}},
        TokenCase{"ThreeDimensional", "SUM(Jan:Dec!C3)", {"Fn:SUM", "(", "Ref:Jan:Dec!C3", ")"}},
        TokenCase{"ExternalWorkbook", "[1]Prices!$A$1", {"Ref:[1]Prices!$A$1"}},
        TokenCase{"ExternalName", "[1]!Rate", {"Name:[1]!Rate"}},
        TokenCase{"ExternalFunction", "[1]!Fn(1)", {"Fn:[1]!Fn", "(", "Num:1", ")"}},
        TokenCase{"SheetRefError", "Sheet2!#REF!+1", {"Ref:Sheet2!#REF!", "Op:+", "Num:1"}},
        TokenCase{"WholeColumnsAndRows",
                  "SUM(A:A,$B:$C,1:1,$2:$5)",
                  {"Fn:SUM", "(", "Ref:A:A", "Sep:,", "Ref:$B:$C", "Sep:,", "Ref:1:1", "Sep:,",
                   "Ref:$2:$5", ")"}},
        TokenCase{
            "StructuredReferences",
            "SUM(Sales[Amount])+Sales[[#Totals],[Tax]]",
            {"Fn:SUM", "(", "SRef:Sales[Amount]", ")", "Op:+", "SRef:Sales[[#Totals],[Tax]]"}},
        TokenCase{"StructuredEscapedBracket", "T[a']b]", {"SRef:T[a']b]"}},
        TokenCase{"ThisRow", "[@Price]*2", {"SRef:[@Price]", "Op:*", "Num:2"}},
        TokenCase{"UnclosedStructured", "T[[a]", {"SRef:T[[a]~"}},
        TokenCase{"ArrayConstant",
                  "{1,-2.5;\"a\",TRUE}",
                  {"{", "Num:1", "Sep:,", "Op:-", "Num:2.5", "Sep:;", "Str:\"a\"", "Sep:,",
                   "Bool:TRUE", "}"}},
        TokenCase{"ErrorLiterals",
                  "IF(A1=#N/A,#DIV/0!,#ref!)",
                  {"Fn:IF", "(", "Ref:A1", "Op:=", "Err:#N/A", "Sep:,", "Err:#DIV/0!", "Sep:,",
                   "Err:#ref!", ")"}},
        TokenCase{
            "Numbers", "1.5E+10+.5*1e-3", {"Num:1.5E+10", "Op:+", "Num:.5", "Op:*", "Num:1e-3"}},
        TokenCase{"FunctionThatLooksLikeCell", "LOG10(100)", {"Fn:LOG10", "(", "Num:100", ")"}},
        TokenCase{"NameBeyondLastColumn", "ABCD1+XFE1", {"Name:ABCD1", "Op:+", "Name:XFE1"}},
        TokenCase{"RowBeyondLastRow", "A1048577", {"Name:A1048577"}},
        TokenCase{"PrefixedFunction",
                  "_xlfn.CONCAT(A1,\"x\")",
                  {"Fn:_xlfn.CONCAT", "(", "Ref:A1", "Sep:,", "Str:\"x\"", ")"}},
        TokenCase{"DottedFunction",
                  "NORM.S.DIST(0,TRUE)",
                  {"Fn:NORM.S.DIST", "(", "Num:0", "Sep:,", "Bool:TRUE", ")"}},
        TokenCase{"TrueAsFunction", "TRUE()", {"Fn:TRUE", "(", ")"}},
        TokenCase{"Comparisons", "A1<>B1<=C1", {"Ref:A1", "Op:<>", "Ref:B1", "Op:<=", "Ref:C1"}},
        TokenCase{"IntersectionBySpace", "A1:C3 B2:D4", {"Ref:A1:C3", "Ws: ", "Ref:B2:D4"}},
        TokenCase{"SpillAndImplicit", "@A1#", {"Op:@", "Ref:A1", "Op:#"}},
        TokenCase{"NonAsciiName", "Umsatz_Ä*2", {"Name:Umsatz_Ä", "Op:*", "Num:2"}},
        TokenCase{"QuotedNonAsciiSheet", "'Übersicht'!A1", {"Ref:'Übersicht'!A1"}},
        TokenCase{"StrayBracket", "A1]", {"Ref:A1", "Unknown:]"}},
        TokenCase{"UnclosedQuotedSheet", "'abc!A1", {"Unknown:'abc!A1~"}}),
    [](const ::testing::TestParamInfo<TokenCase>& param) { return std::string(param.param.name); });

struct CheckCase {
    const char* name;
    std::string formula;
    std::string reason; // empty: well formed
};

std::ostream& operator<<(std::ostream& os, const CheckCase& c) {
    return os << c.name;
}

class CheckWellFormed : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckWellFormed, GivesReason) {
    const auto reason = checkWellFormed(GetParam().formula);
    EXPECT_EQ(reason.value_or(""), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckWellFormed,
    ::testing::Values(
        CheckCase{"Simple", "SUM(A1:B2)*2", ""}, CheckCase{"ParenInString", "\")\"&LEFT(A1,1)", ""},
        CheckCase{"BracketInSheetName", "'a]b'!A1+'c(d'!B2", ""},
        CheckCase{"Structured", "SUM(T[[#Data],[x]:[y]])", ""},
        CheckCase{"Array", "SUM({1,2;3,4})", ""},
        CheckCase{"MissingClose", "SUM(A1", "a \"(\" has no matching \")\""},
        CheckCase{"ExtraClose", "A1)", "a \")\" has no matching \"(\""},
        CheckCase{"CrossedNesting", "{1,(2}", "a \"}\" closes a \"(\""},
        CheckCase{"NestedArray", "{1,{2}}", "an array constant holds another array constant"},
        CheckCase{"UnclosedBrace", "{1,2", "a \"{\" has no matching \"}\""},
        CheckCase{"StrayCloseBrace", "1}", "a \"}\" has no matching \"{\""},
        CheckCase{"UnclosedString", "\"abc&A1", "a text in quotes is not closed"},
        CheckCase{"UnclosedSheet", "'Sheet 1!A1", "a sheet name in quotes is not closed"},
        CheckCase{"QuotedWithoutBang", "'Sheet 1'A1", "a name in quotes is not followed by \"!\""},
        CheckCase{"PrefixWithoutReference", "'Sheet 1'!+1",
                  "a sheet name is not followed by a reference or a name"},
        CheckCase{"UnclosedBracket", "T[x", "a \"[\" has no matching \"]\""},
        CheckCase{"StrayBracket", "A1]", "a \"]\" has no matching \"[\""},
        CheckCase{"Empty", "", "the formula is empty"},
        CheckCase{"Spaces", "  ", "the formula is empty"},
        // Operators and values in an order a spreadsheet program reads back.
        CheckCase{"SignsPercentAndImplicitIntersection", "-A1%%+@B1*--2", ""},
        CheckCase{"EmptyArguments", "IF(A1,,2)+NOW()+IF(,)", ""},
        CheckCase{"IntersectionAndUnion", "SUM(A1:C3 B2:D4,(A1,B1)) (C1)", ""},
        CheckCase{"SpillAndRangeOperator", "A1#*2+SUM(Sheet1!A1:INDEX(B:B,3))", ""},
        CheckCase{"CallThroughAnotherWorkbook", "[1]!Fn(\"a\",1)", ""},
        CheckCase{"LambdaCalledAtOnce", "_xlfn.LAMBDA(_xlpm.x,_xlpm.x+1)(2)", ""},
        CheckCase{"SemicolonBetweenArguments", "SUM(A1;B1)",
                  "a \";\" stands outside an array constant"},
        CheckCase{"TrailingOperator", "A1*", "a \"*\" has nothing after it"},
        CheckCase{"OperatorBeforeComma", "SUM(A1+,2)", "a \"+\" has nothing after it"},
        CheckCase{"OperatorBeforeClose", "(A1&)", "a \"&\" has nothing after it"},
        CheckCase{"OperatorBeforeBrace", "{1,-}", "a \"-\" has nothing after it"},
        CheckCase{"LeadingOperator", " *A1", "a \"*\" has nothing before it"},
        CheckCase{"LeadingEquals", "=A1", "a \"=\" has nothing before it"},
        CheckCase{"TwoOperators", "A1*/B1", "a \"/\" has nothing before it"},
        CheckCase{"PercentWithoutValue", "(%)", "a \"%\" has nothing before it"},
        CheckCase{"ValuesSideBySide", "A1\"x\"",
                  "two values stand side by side without an operator"},
        CheckCase{"LargestNumbers", "9.99999999999999E+307+1000E+304+0E+999+.5E+307+1E-400", ""},
        CheckCase{"NumberTooLarge", "A1*1E+308", "the number 1E+308 is too large for a workbook"},
        CheckCase{"NumberTooLargeWithoutExponent", "1" + std::string(308, '0') + ".5",
                  "the number 1" + std::string(308, '0') + ".5 is too large for a workbook"},
        CheckCase{"NumberTooLargeAfterPoint", "0.001E+311",
                  "the number 0.001E+311 is too large for a workbook"},
        CheckCase{"HugeExponent", "2E99999999999999999999999",
                  "the number 2E99999999999999999999999 is too large for a workbook"},
        CheckCase{"StrayCharacter", "A1|B1", "\"|\" cannot stand in a formula there"},
        CheckCase{"LoneDollar", "$+1", "\"$\" cannot stand in a formula there"},
        CheckCase{"NumberCalled", "1(2)", "two values stand side by side without an operator"}),
    [](const ::testing::TestParamInfo<CheckCase>& param) { return std::string(param.param.name); });

// count times piece, one after the other.
std::string repeated(std::string_view piece, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        s += piece;
    }
    return s;
}

TEST(CheckWellFormedLength, TextInQuotesHoldsAtMost255Characters) {
    const std::string atLimit = "\"" + std::string(253, 'a') + "\"\"\""; // 254 + 1
    const std::string wide = "\"" + repeated("é", 255) + "\"";           // two bytes, one character
    EXPECT_FALSE(checkWellFormed("LEN(" + atLimit + ")").has_value());
    EXPECT_FALSE(checkWellFormed(wide).has_value());
    EXPECT_EQ(checkWellFormed("A1&\"" + std::string(256, 'a') + "\"").value_or(""),
              "a text in quotes is longer than 255 characters");
    EXPECT_EQ(checkWellFormed(wide.substr(0, wide.size() - 1) + "x\"").value_or(""),
              "a text in quotes is longer than 255 characters");
}

TEST(CheckWellFormedLength, LimitIsInCharacters) {
    const std::string atLimit = "10" + repeated("+1", 4095);
    ASSERT_EQ(atLimit.size(), 8192u);
    EXPECT_FALSE(checkWellFormed(atLimit).has_value());
    EXPECT_EQ(checkWellFormed(atLimit + "+").value_or(""),
              "the formula is longer than 8,192 characters");
    // Over 8,192 bytes, but about 5,000 characters.
    const std::string text = "\"" + repeated("é", 250) + "\""; // two bytes, one character
    const std::string wide = text + repeated("&" + text, 19);
    ASSERT_GT(wide.size(), 8192u);
    EXPECT_FALSE(checkWellFormed(wide).has_value());
}

// Whatever the text, the tokens cover it exactly and the checks run to the end.
TEST(TokenizeRandom, CoversEveryByte) {
    const std::vector<std::string> pieces = {
        "A1", "$", ":",     "!",      "'", "\"", "[", "]", "{", "}", "(",    ")",      ",",
        ";",  "#", "#REF!", "Sheet1", "1", ".",  "E", "+", " ", "é", "\xFF", "_xlfn.", "@"};
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 20);
    for (int n = 0; n < 20000; ++n) {
        std::string formula;
        for (int k = length(random); k > 0; --k) {
            formula += pieces[pick(random)];
        }
        std::size_t covered = 0;
        for (const Token& t : tokenize(formula)) {
            ASSERT_EQ(t.offset, covered) << formula;
            ASSERT_GT(t.length, 0u) << formula;
            covered += t.length;
        }
        ASSERT_EQ(covered, formula.size()) << formula;
        (void)checkWellFormed(formula);
    }
}

// Hostile formula text (a worksheet may hold any <f>) must not make tokenizing quadratic:
// a million brackets or quotes finish at once.
TEST(TokenizeHostile, LongRunsStayLinear) {
    for (const char c : {'[', '\'', '"', '(', 'A', ':', '1'}) {
        const std::string formula(1000000, c);
        std::size_t covered = 0;
        for (const Token& t : tokenize(formula)) {
            covered += t.length;
        }
        EXPECT_EQ(covered, formula.size()) << c;
    }
    std::string mixed;
    for (int i = 0; i < 200000; ++i) {
        mixed += "[a'b";
    }
    EXPECT_TRUE(checkWellFormed(mixed).has_value());
}

} // namespace
} // namespace engine::formula
