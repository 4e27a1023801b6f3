// Splitting formula text into tokens, and the well-formedness check every changed formula
// passes before it is written. Reference shifting is in references.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::formula {

/// What a token is. The formula text is the one stored in the file: no leading "=", English
/// function names, "," between arguments (ECMA-376 Part 1, 18.17).
enum class TokenKind {
    Number,              ///< 1, 1.5, .5, 1E+10
    String,              ///< "text", a quote inside written twice
    Boolean,             ///< TRUE, FALSE (not followed by "(")
    Error,               ///< #N/A, #REF!, #DIV/0! ...
    Reference,           ///< A1, $A$1:B2, A:A, $1:$3, with an optional prefix such as Sheet1!,
                         ///< 'My sheet'!, Sheet1:Sheet3!, [1]Sheet1!; also Sheet1!#REF!
    StructuredReference, ///< Table1[Column], Table1[[#Headers],[A]:[B]], [@Column]
    Function,            ///< a name directly followed by "(" (the parenthesis is its own token)
    Name,                ///< a defined name or other identifier, possibly with a sheet prefix
    OpenParen,
    CloseParen,
    OpenBrace,  ///< starts an array constant
    CloseBrace, ///< ends an array constant
    Separator,  ///< "," or ";"
    Operator,   ///< + - * / ^ & = <> < > <= >= % : ! # @
    Whitespace,
    Unknown, ///< anything else, kept byte for byte (a stray "]", an unclosed quoted name ...)
};

struct Token {
    TokenKind kind;
    std::size_t offset; ///< byte offset in the formula
    std::size_t length; ///< bytes
    /// False for a string, quoted sheet name or bracketed part that runs to the end of the
    /// text without its closing character.
    bool closed = true;
};

/// The tokens of formula, in order; together they cover every byte exactly once. Never fails:
/// text the tokenizer cannot place becomes Unknown tokens, and checkWellFormed reports it.
std::vector<Token> tokenize(std::string_view formula);
/// The same into `tokens` (cleared first), reusing its storage: for callers that tokenize
/// formula after formula.
void tokenize(std::string_view formula, std::vector<Token>& tokens);

/// Excel's limit on the length of a formula, in characters (UTF-16 code units).
inline constexpr std::size_t kMaxFormulaLength = 8192;
/// The longest text in quotes a formula may hold, in characters.
inline constexpr std::size_t kMaxFormulaTextLength = 255;

/// Nothing when formula (stored form, no leading "=") can be written to a workbook;
/// otherwise a short reason a person can act on, such as
/// "a \"(\" has no matching \")\"". Checked: parentheses, brackets and braces balanced and
/// properly nested, no array constant inside another, strings and quoted sheet names closed,
/// operators with the values they need and no two values side by side, ";" only inside an
/// array constant, texts in quotes of at most kMaxFormulaTextLength characters, numbers below
/// 1E+308 (the largest a workbook holds is 9.99999999999999E+307), not empty, at
/// most kMaxFormulaLength characters. It does not check
/// function names or argument counts.
std::optional<std::string> checkWellFormed(std::string_view formula);
/// The length part of checkWellFormed alone, for formulas whose structure is known to be sound.
std::optional<std::string> checkLength(std::string_view formula);

} // namespace engine::formula
