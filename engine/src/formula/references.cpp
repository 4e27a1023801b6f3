// Cell addresses and shifting the references of shared formulas.
#include "references.h"

#include "formula_tokenizer.h"
#include "reference_syntax.h"

#include <algorithm>

namespace engine::formula {

namespace {

using namespace syntax;

// Shifts one end; false when it leaves the sheet.
bool shiftEnd(RefEnd& end, std::int64_t rows, std::int64_t columns) {
    if (end.row != 0 && !end.rowAbsolute) {
        end.row += rows;
        if (end.row < 1 || end.row > kMaxRow) {
            return false;
        }
    }
    if (end.column != 0 && !end.columnAbsolute) {
        end.column += columns;
        if (end.column < 1 || end.column > kMaxColumn) {
            return false;
        }
    }
    return true;
}

void appendEnd(std::string& out, const RefEnd& end) {
    if (end.column != 0) {
        if (end.columnAbsolute) {
            out.push_back('$');
        }
        out += columnName(end.column);
    }
    if (end.row != 0) {
        if (end.rowAbsolute) {
            out.push_back('$');
        }
        out += std::to_string(end.row);
    }
}

void appendShifted(std::string& out, std::string_view reference, std::int64_t rows,
                   std::int64_t columns) {
    const std::size_t prefix = matchSheetPrefix(reference, 0);
    auto body = matchReferenceBody(reference, prefix);
    if (!body) {
        out += reference; // Sheet1!#REF!
        return;
    }
    out += reference.substr(0, prefix);
    const bool kept = shiftEnd(body->first, rows, columns) &&
                      (!body->last || shiftEnd(*body->last, rows, columns));
    if (!kept) {
        out += "#REF!";
        return;
    }
    appendEnd(out, body->first);
    if (body->last) {
        out.push_back(':');
        appendEnd(out, *body->last);
    }
}

} // namespace

std::optional<CellAddress> parseCellAddress(std::string_view a1) {
    const auto body = matchReferenceBody(a1, 0);
    if (!body || body->kind != RefKind::Cell || body->last || body->length != a1.size()) {
        return std::nullopt;
    }
    return CellAddress{body->first.row, body->first.column};
}

std::optional<CellRange> parseCellRange(std::string_view ref) {
    const auto body = matchReferenceBody(ref, 0);
    if (!body || body->kind != RefKind::Cell || body->length != ref.size()) {
        return std::nullopt;
    }
    const RefEnd last = body->last.value_or(body->first);
    return CellRange{{body->first.row, body->first.column}, {last.row, last.column}};
}

std::string formatCellAddress(CellAddress address) {
    return columnName(address.column) + (address.row > 0 ? std::to_string(address.row) : "");
}

// Every cell of a worksheet passes through here: one pass, no tokenizer.
std::optional<CellAddress> parseCellName(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    std::int64_t column = 0;
    const std::size_t columnBegin = i;
    for (; i < text.size() && isAsciiLetter(text[i]); ++i) {
        column = column * 26 + ((text[i] | 0x20) - 'a' + 1);
        if (column > kMaxColumn) {
            return std::nullopt;
        }
    }
    if (i == columnBegin) {
        return std::nullopt;
    }
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    std::int64_t row = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i])) {
            return std::nullopt;
        }
        row = row * 10 + (text[i] - '0');
        if (row > kMaxRow) {
            return std::nullopt;
        }
    }
    return CellAddress{row, column};
}

std::optional<CellRange> parseCellNameRange(std::string_view text) {
    const auto colon = text.find(':');
    const auto first = parseCellName(text.substr(0, colon));
    if (!first || first->row == 0) {
        return std::nullopt;
    }
    if (colon == std::string_view::npos) {
        return CellRange{*first, *first};
    }
    const auto last = parseCellName(text.substr(colon + 1));
    if (!last || last->row == 0) {
        return std::nullopt;
    }
    return CellRange{*first, *last};
}

std::string columnName(std::int64_t column) {
    std::string name;
    for (std::int64_t c = column; c > 0; c = (c - 1) / 26) {
        name.push_back(static_cast<char>('A' + (c - 1) % 26));
    }
    std::reverse(name.begin(), name.end());
    return name;
}

std::string shiftReferences(std::string_view formula, std::int64_t rowOffset,
                            std::int64_t columnOffset) {
    if (rowOffset == 0 && columnOffset == 0) {
        return std::string(formula);
    }
    std::string out;
    shiftReferences(formula, tokenize(formula), rowOffset, columnOffset, out);
    return out;
}

void shiftReferences(std::string_view formula, const std::vector<Token>& tokens,
                     std::int64_t rowOffset, std::int64_t columnOffset, std::string& out) {
    out.clear();
    out.reserve(formula.size() + 8);
    for (const Token& t : tokens) {
        const std::string_view text = formula.substr(t.offset, t.length);
        if (t.kind == TokenKind::Reference && (rowOffset != 0 || columnOffset != 0)) {
            appendShifted(out, text, rowOffset, columnOffset);
        } else {
            out += text;
        }
    }
}

std::vector<std::string> referencedSheets(std::string_view formula) {
    std::vector<std::string> sheets;
    if (formula.find('!') == std::string_view::npos) {
        return sheets;
    }
    for (const Token& t : tokenize(formula)) {
        if (t.kind != TokenKind::Reference && t.kind != TokenKind::Name) {
            continue;
        }
        const std::string_view text = formula.substr(t.offset, t.length);
        const std::size_t p = syntax::matchSheetPrefix(text, 0);
        if (p == 0 || text.front() == '[') {
            continue; // no prefix, or another workbook's
        }
        std::string names;
        if (text.front() == '\'') {
            // 'My sheet'! or 'Jan:Dec'!: a quote inside is written twice.
            for (std::size_t i = 1; i + 2 < p; ++i) {
                names += text[i];
                if (text[i] == '\'' && text[i + 1] == '\'') {
                    ++i;
                }
            }
        } else {
            names.assign(text.substr(0, p - 1));
        }
        if (names.find('[') != std::string::npos) {
            continue; // '[Book.xlsx]Sheet1'!: another workbook's
        }
        // No sheet name holds ":", so one splits the ends of a 3-D reference.
        const std::size_t colon = names.find(':');
        sheets.push_back(names.substr(0, colon));
        if (colon != std::string::npos) {
            sheets.push_back(names.substr(colon + 1));
        }
    }
    return sheets;
}

} // namespace engine::formula
