// The A1 reference grammar (ECMA-376 Part 1, 18.17.2 formula syntax: A1-style references,
// sheet prefixes and external workbook indexes).
#include "reference_syntax.h"

namespace engine::formula::syntax {

namespace {

// [$]letters, at most three, up to XFD.
std::size_t matchColumn(std::string_view s, std::size_t i, std::int64_t& column, bool& absolute) {
    std::size_t j = i;
    absolute = j < s.size() && s[j] == '$';
    if (absolute) {
        ++j;
    }
    const std::size_t start = j;
    std::int64_t value = 0;
    while (j < s.size() && isAsciiLetter(s[j]) && j - start < 4) {
        value = value * 26 + ((s[j] | 0x20) - 'a' + 1);
        ++j;
    }
    if (j == start || j - start > 3 || value > kMaxColumn) {
        return 0;
    }
    column = value;
    return j - i;
}

// [$]digits, 1 to 1048576, no leading zero.
std::size_t matchRow(std::string_view s, std::size_t i, std::int64_t& row, bool& absolute) {
    std::size_t j = i;
    absolute = j < s.size() && s[j] == '$';
    if (absolute) {
        ++j;
    }
    const std::size_t start = j;
    std::int64_t value = 0;
    while (j < s.size() && isDigit(s[j]) && j - start < 8) {
        value = value * 10 + (s[j] - '0');
        ++j;
    }
    if (j == start || s[start] == '0' || value > kMaxRow || (j < s.size() && isDigit(s[j]))) {
        return 0;
    }
    row = value;
    return j - i;
}

std::size_t matchCell(std::string_view s, std::size_t i, RefEnd& end) {
    const std::size_t c = matchColumn(s, i, end.column, end.columnAbsolute);
    if (c == 0) {
        return 0;
    }
    const std::size_t r = matchRow(s, i + c, end.row, end.rowAbsolute);
    return r == 0 ? 0 : c + r;
}

// What may follow a reference: an operator, separator, parenthesis, space or the end.
bool endsReference(std::string_view s, std::size_t i) {
    if (i >= s.size()) {
        return true;
    }
    const char c = s[i];
    return !(isNameChar(c) || c == '(' || c == '[' || c == '!' || c == '$' || c == '\'' ||
             c == '"');
}

} // namespace

std::optional<ReferenceBody> matchReferenceBody(std::string_view s, std::size_t i) {
    RefEnd first;
    RefEnd last;
    if (const std::size_t a = matchCell(s, i, first); a != 0) {
        if (i + a < s.size() && s[i + a] == ':') {
            if (const std::size_t b = matchCell(s, i + a + 1, last);
                b != 0 && endsReference(s, i + a + 1 + b)) {
                return ReferenceBody{RefKind::Cell, first, last, a + 1 + b};
            }
        }
        if (endsReference(s, i + a)) {
            return ReferenceBody{RefKind::Cell, first, std::nullopt, a};
        }
        return std::nullopt;
    }
    if (const std::size_t a = matchColumn(s, i, first.column, first.columnAbsolute);
        a != 0 && i + a < s.size() && s[i + a] == ':') {
        if (const std::size_t b = matchColumn(s, i + a + 1, last.column, last.columnAbsolute);
            b != 0 && endsReference(s, i + a + 1 + b)) {
            return ReferenceBody{RefKind::Columns, first, last, a + 1 + b};
        }
    }
    first = RefEnd{};
    last = RefEnd{};
    if (const std::size_t a = matchRow(s, i, first.row, first.rowAbsolute);
        a != 0 && i + a < s.size() && s[i + a] == ':') {
        if (const std::size_t b = matchRow(s, i + a + 1, last.row, last.rowAbsolute);
            b != 0 && endsReference(s, i + a + 1 + b)) {
            return ReferenceBody{RefKind::Rows, first, last, a + 1 + b};
        }
    }
    return std::nullopt;
}

std::size_t matchSheetPrefix(std::string_view s, std::size_t i) {
    std::size_t j = i;
    if (j < s.size() && s[j] == '[') {
        // External workbook: [1] or [Book1.xlsx]. Stopping at the next "[" keeps the
        // tokenizer linear on text full of brackets.
        const std::size_t close = s.find_first_of("[]", j + 1);
        if (close == std::string_view::npos || s[close] != ']' || close == j + 1) {
            return 0;
        }
        j = close + 1;
        if (j < s.size() && s[j] == '!') {
            return j + 1 - i;
        }
    }
    if (j < s.size() && s[j] == '\'') {
        for (++j; j < s.size(); ++j) {
            if (s[j] == '\'') {
                if (j + 1 < s.size() && s[j + 1] == '\'') {
                    ++j;
                    continue;
                }
                break;
            }
        }
        if (j >= s.size() || j + 1 >= s.size() || s[j + 1] != '!') {
            return 0;
        }
        return j + 2 - i;
    }
    auto sheetName = [&](std::size_t k) {
        if (k >= s.size() || !isNameStart(s[k])) {
            return k;
        }
        while (k < s.size() && (isNameStart(s[k]) || isDigit(s[k]) || s[k] == '.')) {
            ++k;
        }
        return k;
    };
    std::size_t k = sheetName(j);
    if (k == j) {
        return 0;
    }
    if (k < s.size() && s[k] == ':') {
        const std::size_t m = sheetName(k + 1);
        if (m != k + 1 && m < s.size() && s[m] == '!') {
            return m + 1 - i;
        }
        return 0;
    }
    if (k < s.size() && s[k] == '!') {
        return k + 1 - i;
    }
    return 0;
}

} // namespace engine::formula::syntax
