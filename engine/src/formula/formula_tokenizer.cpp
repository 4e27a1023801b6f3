// Formula tokenizer and well-formedness check. Works on bytes; non-ASCII characters can only
// appear in names, sheet names, strings and structured references, all of which it keeps whole.
#include "formula_tokenizer.h"

#include "reference_syntax.h"
#include "text_replace.h"

#include <algorithm>
#include <array>

namespace engine::formula {

namespace {

using namespace syntax;

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != asciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// Error literals (ECMA-376 Part 1, 18.17.2.4 and the error values Excel added since).
constexpr std::array<std::string_view, 16> kErrors = {
    "#NULL!", "#DIV/0!",  "#VALUE!",   "#REF!",        "#NAME?",    "#NUM!",
    "#N/A",   "#SPILL!",  "#CALC!",    "#FIELD!",      "#BLOCKED!", "#CONNECT!",
    "#BUSY!", "#PYTHON!", "#UNKNOWN!", "#GETTING_DATA"};

std::size_t matchError(std::string_view s, std::size_t i) {
    for (const std::string_view e : kErrors) {
        if (equalsIgnoringAsciiCase(s.substr(i, e.size()), e)) {
            return e.size();
        }
    }
    return 0;
}

// A bracketed part from s[i] == '[' to its matching "]"; inside, "'" escapes the next
// character (structured reference syntax). Sets closed to false when it runs to the end.
std::size_t matchBrackets(std::string_view s, std::size_t i, bool& closed) {
    int depth = 0;
    for (std::size_t j = i; j < s.size(); ++j) {
        if (s[j] == '\'') {
            ++j;
        } else if (s[j] == '[') {
            ++depth;
        } else if (s[j] == ']' && --depth == 0) {
            closed = true;
            return j + 1 - i;
        }
    }
    closed = false;
    return s.size() - i;
}

// A quoted sheet name from s[i] == '\'' to its closing quote ('' inside is a quote).
std::size_t matchQuoted(std::string_view s, std::size_t i, char quote, bool& closed) {
    for (std::size_t j = i + 1; j < s.size(); ++j) {
        if (s[j] == quote) {
            if (j + 1 < s.size() && s[j + 1] == quote) {
                ++j;
                continue;
            }
            closed = true;
            return j + 1 - i;
        }
    }
    closed = false;
    return s.size() - i;
}

std::size_t matchNumber(std::string_view s, std::size_t i) {
    std::size_t j = i;
    while (j < s.size() && isDigit(s[j])) {
        ++j;
    }
    if (j < s.size() && s[j] == '.') {
        ++j;
        while (j < s.size() && isDigit(s[j])) {
            ++j;
        }
    }
    if (j < s.size() && (s[j] == 'E' || s[j] == 'e')) {
        std::size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) {
            ++k;
        }
        if (k < s.size() && isDigit(s[k])) {
            while (k < s.size() && isDigit(s[k])) {
                ++k;
            }
            j = k;
        }
    }
    return j - i;
}

// Whether a number as the tokenizer reads it ("12.5", ".5", "1E+10") is 1E+308 or more, beyond
// the largest number a workbook holds (9.99999999999999E+307).
bool tooLargeForAWorkbook(std::string_view number) {
    std::size_t i = 0;
    long long power = -1; // the power of ten of the first significant digit
    bool significant = false;
    bool point = false;
    long long afterPoint = 0;
    for (; i < number.size() && (isDigit(number[i]) || number[i] == '.'); ++i) {
        if (number[i] == '.') {
            point = true;
            continue;
        }
        if (point) {
            ++afterPoint;
        }
        if (!significant && number[i] != '0') {
            significant = true;
            power = point ? -afterPoint : 0;
        } else if (significant && !point) {
            ++power;
        }
    }
    if (!significant) {
        return false; // zero, whatever its exponent
    }
    long long exponent = 0;
    if (i < number.size()) { // "E", a sign and digits
        ++i;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
            ++i;
        }
        for (; i < number.size(); ++i) {
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1'000'000'000LL);
        }
        exponent = negative ? -exponent : exponent;
    }
    return power + exponent >= 308;
}

std::size_t matchName(std::string_view s, std::size_t i) {
    std::size_t j = i;
    while (j < s.size() && isNameChar(s[j])) {
        ++j;
    }
    return j - i;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

std::vector<Token> tokenize(std::string_view formula) {
    std::vector<Token> tokens;
    tokenize(formula, tokens);
    return tokens;
}

void tokenize(std::string_view formula, std::vector<Token>& tokens) {
    const std::string_view s = formula;
    tokens.clear();
    tokens.reserve(formula.size() / 2 + 4); // most tokens are two characters or longer
    auto add = [&](TokenKind kind, std::size_t offset, std::size_t length, bool closed = true) {
        tokens.push_back(Token{kind, offset, length, closed});
        return offset + length;
    };
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        bool closed = true;
        if (isSpace(c)) {
            std::size_t j = i;
            while (j < s.size() && isSpace(s[j])) {
                ++j;
            }
            i = add(TokenKind::Whitespace, i, j - i);
            continue;
        }
        if (c == '"') {
            const std::size_t n = matchQuoted(s, i, '"', closed);
            i = add(TokenKind::String, i, n, closed);
            continue;
        }
        if (c == '\'' || c == '[' || c == '$' || isNameStart(c) || isDigit(c)) {
            if (const std::size_t p = matchSheetPrefix(s, i); p != 0) {
                const std::size_t j = i + p;
                if (const auto body = matchReferenceBody(s, j)) {
                    i = add(TokenKind::Reference, i, p + body->length);
                } else if (const std::size_t e = matchError(s, j);
                           e != 0 && equalsIgnoringAsciiCase(s.substr(j, e), "#REF!")) {
                    i = add(TokenKind::Reference, i, p + e);
                } else if (j < s.size() && isNameStart(s[j])) {
                    // [1]!Fn( calls a function of another workbook, as Fn( does.
                    const std::size_t n = matchName(s, j);
                    const bool call = j + n < s.size() && s[j + n] == '(';
                    i = add(call ? TokenKind::Function : TokenKind::Name, i, p + n);
                } else {
                    i = add(TokenKind::Unknown, i, p);
                }
                continue;
            }
            if (c == '\'') {
                const std::size_t n = matchQuoted(s, i, '\'', closed);
                i = add(TokenKind::Unknown, i, n, closed);
                continue;
            }
            if (c == '[') {
                const std::size_t n = matchBrackets(s, i, closed);
                i = add(TokenKind::StructuredReference, i, n, closed);
                continue;
            }
            if (const auto body = matchReferenceBody(s, i)) {
                i = add(TokenKind::Reference, i, body->length);
                continue;
            }
            if (isDigit(c)) {
                i = add(TokenKind::Number, i, matchNumber(s, i));
                continue;
            }
            if (c == '$') {
                i = add(TokenKind::Unknown, i, 1);
                continue;
            }
            const std::size_t n = matchName(s, i);
            const std::size_t j = i + n;
            if (j < s.size() && s[j] == '(') {
                i = add(TokenKind::Function, i, n);
            } else if (j < s.size() && s[j] == '[') {
                const std::size_t b = matchBrackets(s, j, closed);
                i = add(TokenKind::StructuredReference, i, n + b, closed);
            } else if (equalsIgnoringAsciiCase(s.substr(i, n), "TRUE") ||
                       equalsIgnoringAsciiCase(s.substr(i, n), "FALSE")) {
                i = add(TokenKind::Boolean, i, n);
            } else {
                i = add(TokenKind::Name, i, n);
            }
            continue;
        }
        if (c == '.' && i + 1 < s.size() && isDigit(s[i + 1])) {
            i = add(TokenKind::Number, i, matchNumber(s, i));
            continue;
        }
        if (c == '#') {
            const std::size_t e = matchError(s, i);
            i = e != 0 ? add(TokenKind::Error, i, e) : add(TokenKind::Operator, i, 1);
            continue;
        }
        switch (c) {
        case '(':
            i = add(TokenKind::OpenParen, i, 1);
            continue;
        case ')':
            i = add(TokenKind::CloseParen, i, 1);
            continue;
        case '{':
            i = add(TokenKind::OpenBrace, i, 1);
            continue;
        case '}':
            i = add(TokenKind::CloseBrace, i, 1);
            continue;
        case ',':
        case ';':
            i = add(TokenKind::Separator, i, 1);
            continue;
        case '<':
            i = add(TokenKind::Operator, i,
                    (i + 1 < s.size() && (s[i + 1] == '>' || s[i + 1] == '=')) ? 2 : 1);
            continue;
        case '>':
            i = add(TokenKind::Operator, i, (i + 1 < s.size() && s[i + 1] == '=') ? 2 : 1);
            continue;
        case '+':
        case '-':
        case '*':
        case '/':
        case '^':
        case '&':
        case '=':
        case '%':
        case ':':
        case '!':
        case '@':
            i = add(TokenKind::Operator, i, 1);
            continue;
        default:
            i = add(TokenKind::Unknown, i, 1);
            continue;
        }
    }
}

std::optional<std::string> checkLength(std::string_view formula) {
    if (engine::text::utf16Length(formula) > kMaxFormulaLength) {
        return std::string("the formula is longer than 8,192 characters");
    }
    return std::nullopt;
}

namespace {

// Operators and values in an order a spreadsheet program can read back, so that no replacement
// writes a formula the program would have to remove when it opens the file: no operator
// without a value on each side it needs ("A1*", "*A1", "A1*/B1", "SUM(A1+,2)"), no two values
// side by side without an operator or a space between them, and ";" only between the rows of
// an array constant (in the file, arguments are always separated by ","). Empty arguments of a
// function ("IF(A1,,2)") are allowed; function names and argument counts are not checked.
std::optional<std::string> checkOrder(std::string_view formula, const std::vector<Token>& tokens) {
    bool wantValue = true; // at the start, after "(", "{", ",", ";" and operators
    bool afterOperator = false;
    std::string_view lastOperator;
    bool spaceBefore = false;
    bool afterCall = false; // a "(" here opens arguments
    bool inArray = false;   // array constants neither nest nor hold "(", as checked before
    const auto nothingAfter = [&] {
        return std::string("a \"") + std::string(lastOperator) + "\" has nothing after it";
    };
    for (const Token& t : tokens) {
        const std::string_view text = formula.substr(t.offset, t.length);
        if (t.kind == TokenKind::Whitespace) {
            spaceBefore = true;
            continue;
        }
        switch (t.kind) {
        case TokenKind::Number:
        case TokenKind::String:
        case TokenKind::Boolean:
        case TokenKind::Error:
        case TokenKind::Reference:
        case TokenKind::StructuredReference:
        case TokenKind::Name:
        case TokenKind::Function:
        case TokenKind::OpenBrace:
            // A space between two values is the intersection operator.
            if (!wantValue && !spaceBefore) {
                return std::string("two values stand side by side without an operator");
            }
            if (t.kind == TokenKind::OpenBrace) {
                inArray = true;
                wantValue = true;
            } else {
                wantValue = false;
            }
            afterOperator = false;
            break;
        case TokenKind::OpenParen:
            // Right after a function's name it opens the arguments, and right after ")" it
            // calls what the parentheses gave (LAMBDA(x,x+1)(2)); elsewhere it starts a value.
            if (!wantValue && !spaceBefore && !afterCall) {
                return std::string("two values stand side by side without an operator");
            }
            wantValue = true;
            afterOperator = false;
            break;
        case TokenKind::CloseParen:
        case TokenKind::CloseBrace:
        case TokenKind::Separator:
            if (afterOperator) {
                return nothingAfter();
            }
            if (t.kind == TokenKind::Separator) {
                if (text == ";" && !inArray) {
                    return std::string("a \";\" stands outside an array constant");
                }
                wantValue = true;
            } else {
                inArray = inArray && t.kind != TokenKind::CloseBrace;
                wantValue = false;
            }
            break;
        case TokenKind::Operator:
            if (text == "%" || text == "#") {
                // After a value: percent, and the spill range of a reference.
                if (wantValue) {
                    return std::string("a \"") + std::string(text) + "\" has nothing before it";
                }
                break;
            }
            if (text == "+" || text == "-" || text == "@") {
                // Signs and the implicit intersection also stand before a value.
                if (text == "@" && !wantValue && !spaceBefore) {
                    return std::string("two values stand side by side without an operator");
                }
            } else if (wantValue) {
                return std::string("a \"") + std::string(text) + "\" has nothing before it";
            }
            wantValue = true;
            afterOperator = true;
            lastOperator = text;
            break;
        case TokenKind::Unknown:
            return std::string("\"") + std::string(text) + "\" cannot stand in a formula there";
        case TokenKind::Whitespace:
            break;
        }
        spaceBefore = false;
        afterCall = t.kind == TokenKind::Function || t.kind == TokenKind::CloseParen;
    }
    if (afterOperator) {
        return nothingAfter();
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> checkWellFormed(std::string_view formula) {
    if (auto why = checkLength(formula)) {
        return why;
    }
    bool onlySpace = true;
    for (const char c : formula) {
        onlySpace = onlySpace && isSpace(c);
    }
    if (onlySpace) {
        return std::string("the formula is empty");
    }
    // Reused from call to call: a save checks every formula it changes.
    thread_local std::vector<Token> tokens;
    thread_local std::vector<char> open;
    tokenize(formula, tokens);
    open.clear();
    for (const Token& t : tokens) {
        const std::string_view text = formula.substr(t.offset, t.length);
        switch (t.kind) {
        case TokenKind::Number:
            if (tooLargeForAWorkbook(text)) {
                return "the number " + std::string(text) + " is too large for a workbook";
            }
            break;
        case TokenKind::String: {
            if (!t.closed) {
                return std::string("a text in quotes is not closed");
            }
            // A quote inside is written twice and counts once.
            const std::string_view inner = text.substr(1, text.size() - 2);
            std::size_t doubled = 0;
            for (std::size_t at = inner.find("\"\""); at != std::string_view::npos;
                 at = inner.find("\"\"", at + 2)) {
                ++doubled;
            }
            if (engine::text::utf16Length(inner) - doubled > kMaxFormulaTextLength) {
                return std::string("a text in quotes is longer than 255 characters");
            }
            break;
        }
        case TokenKind::StructuredReference:
            if (!t.closed) {
                return std::string("a \"[\" has no matching \"]\"");
            }
            break;
        case TokenKind::Unknown:
            if (t.closed && text.size() > 1 && text.back() == '!') {
                return std::string("a sheet name is not followed by a reference or a name");
            }
            if (text[0] == '\'') {
                if (!t.closed) {
                    return std::string("a sheet name in quotes is not closed");
                }
                return std::string("a name in quotes is not followed by \"!\"");
            }
            if (text[0] == ']') {
                return std::string("a \"]\" has no matching \"[\"");
            }
            if (text[0] == '[') {
                return std::string("a \"[\" has no matching \"]\"");
            }
            break;
        case TokenKind::OpenParen:
            open.push_back('(');
            break;
        case TokenKind::OpenBrace:
            for (const char o : open) {
                if (o == '{') {
                    return std::string("an array constant holds another array constant");
                }
            }
            open.push_back('{');
            break;
        case TokenKind::CloseParen:
            if (open.empty() || open.back() != '(') {
                return std::string(open.empty() ? "a \")\" has no matching \"(\""
                                                : "a \")\" closes an array constant's \"{\"");
            }
            open.pop_back();
            break;
        case TokenKind::CloseBrace:
            if (open.empty() || open.back() != '{') {
                return std::string(open.empty() ? "a \"}\" has no matching \"{\""
                                                : "a \"}\" closes a \"(\"");
            }
            open.pop_back();
            break;
        default:
            break;
        }
    }
    if (!open.empty()) {
        return std::string(open.back() == '(' ? "a \"(\" has no matching \")\""
                                              : "a \"{\" has no matching \"}\"");
    }
    return checkOrder(formula, tokens);
}

} // namespace engine::formula
