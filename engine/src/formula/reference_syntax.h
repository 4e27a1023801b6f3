// The A1 reference grammar shared by the tokenizer and the reference shifter.
// Internal to the formula library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace engine::formula::syntax {

inline constexpr std::int64_t kMaxRow = 1048576;
inline constexpr std::int64_t kMaxColumn = 16384;

/// One end of a reference; a part is 0 when the reference has none (A:A has no rows).
struct RefEnd {
    std::int64_t column = 0;
    bool columnAbsolute = false;
    std::int64_t row = 0;
    bool rowAbsolute = false;
};

enum class RefKind { Cell, Columns, Rows };

struct ReferenceBody {
    RefKind kind;
    RefEnd first;
    std::optional<RefEnd> last; ///< always set for Columns and Rows
    std::size_t length;
};

/// A cell (A1, $A$1), a cell range (A1:B2), whole columns (A:C) or whole rows (1:3) at s[i],
/// within the sheet's bounds and not followed by a character that would make it part of a
/// name or a function call.
std::optional<ReferenceBody> matchReferenceBody(std::string_view s, std::size_t i);

/// The length of a sheet prefix at s[i] ending in "!" (Sheet1!, 'My sheet'!, Sheet1:Sheet3!,
/// [1]Sheet1!, [1]!), or 0.
std::size_t matchSheetPrefix(std::string_view s, std::size_t i);

inline bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool isNameStart(char c) {
    return isAsciiLetter(c) || c == '_' || c == '\\' || static_cast<unsigned char>(c) >= 0x80;
}
inline bool isNameChar(char c) {
    return isNameStart(c) || isDigit(c) || c == '.' || c == '?';
}

} // namespace engine::formula::syntax
