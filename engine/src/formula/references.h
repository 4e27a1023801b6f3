// Cell addresses and the shifting of references that turns a shared formula's master text
// into the formula of another cell of its group. Tokenizing is in formula_tokenizer.h.
#pragma once

#include "formula_tokenizer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::formula {

/// A cell position, both parts 1-based: row 1..1048576, column 1..16384 (A..XFD).
struct CellAddress {
    std::int64_t row = 0;
    std::int64_t column = 0;
    friend bool operator==(const CellAddress&, const CellAddress&) = default;
};

/// The address of an A1-style cell name such as "B7" or "$B$7" (the "r" attribute of a cell,
/// or one end of a shared formula's "ref"); nothing when it is not one or is off the sheet.
std::optional<CellAddress> parseCellAddress(std::string_view a1);

/// A range such as "H7:H11" (a shared or array formula's "ref") as its first and last cell;
/// a single cell "H7" gives the same cell twice. Nothing when it is neither. The ends are
/// returned as written, not reordered.
struct CellRange {
    CellAddress first;
    CellAddress last;
    friend bool operator==(const CellRange&, const CellRange&) = default;
};
std::optional<CellRange> parseCellRange(std::string_view ref);

/// "B7" for {7, 2}; a row of 0 (unknown, see parseCellName) gives the letters alone, "B".
std::string formatCellAddress(CellAddress address);

/// The position a worksheet cell's "r" attribute gives, read as the worksheets need it: letters
/// in either case, "$" allowed, leading zeros in the row, and the row may be missing ("B" gives
/// row 0, unknown, for the row element to tell). Nothing when there are no letters, something
/// else follows, or it is off the sheet. Formula text goes through parseCellAddress instead.
std::optional<CellAddress> parseCellName(std::string_view text);
/// A table's "ref" ("A1:D10", or "A1" for one cell), each end read by parseCellName and
/// needing its row.
std::optional<CellRange> parseCellNameRange(std::string_view text);

/// The column letters of a 1-based column: 1 -> "A", 28 -> "AB", 16384 -> "XFD".
std::string columnName(std::int64_t column);

/// The formula of the cell rowOffset rows below and columnOffset columns right of a shared
/// formula's master (ECMA-376 Part 1, 18.3.1.40, shared formulas), given the master's stored
/// formula text: every relative row and column of every reference moves by the offset, parts
/// written with "$" stay. Covers cells, ranges, whole columns (A:A) and whole rows (1:1), with
/// or without a sheet or workbook prefix. Text in strings, names, function names and
/// structured references is untouched. A reference that a shift moves off the sheet becomes
/// #REF! (keeping its sheet prefix). Everything else is copied byte for byte.
std::string shiftReferences(std::string_view formula, std::int64_t rowOffset,
                            std::int64_t columnOffset);

/// The names of the sheets of this workbook that formula (stored form) refers to by a prefix:
/// "Sheet1" of Sheet1!A1 and of Sheet1!Rate, "My sheet" of 'My sheet'!A1, "It's" of
/// 'It''s'!A1, both ends of Sheet1:Sheet3!A1, in order, repeats included. References into other
/// workbooks ([1]Sheet1!A1, [1]!Name) are left out.
std::vector<std::string> referencedSheets(std::string_view formula);
/// The same into `out`, from the formula's tokens (tokenize(formula)): a shared formula's
/// master is tokenized once for all the cells of its group.
void shiftReferences(std::string_view formula, const std::vector<Token>& tokens,
                     std::int64_t rowOffset, std::int64_t columnOffset, std::string& out);

} // namespace engine::formula
