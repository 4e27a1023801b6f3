// What a replacement asks and what it reports: the requests, the counts and the changed-cell
// listener. Its own header so that the format code below engine/workbook.h needs only these.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

/// One find/replace pair. Texts are UTF-8. An empty find text replaces nothing.
struct ReplaceRequest {
    std::string find;
    std::string replacement;
    bool matchCase = false;
    /// Match only cells whose whole text equals find (under matchCase), as "match entire cell
    /// contents" does; the whole text is then replaced.
    bool wholeCell = false;
};

/// What a listed cell is: an ordinary cell, a table's header cell whose change renames the
/// column, or a formula kept in a table part (a calculated column's formula).
enum class CellKind { Cell, TableHeader, TableFormula };

/// One cell as the formula bar shows it (formulas with their "="), before and after the queued
/// replacements. In a search-only listing after equals before.
struct CellChange {
    std::string sheet; ///< the sheet's name
    /// A1 address, no sheet and no "$"; for a table's calculated column formula the range of
    /// the column's data rows ("C2:C9"), which it is kept for.
    std::string cell;
    CellKind kind = CellKind::Cell;
    std::string before;
    std::string after;
};

/// Receives cells in sheet order, then row and column order within a sheet (a sheet's table
/// formulas after its cells).
class CellListener {
public:
    virtual ~CellListener() = default;
    virtual void cell(const CellChange& change) = 0;
};

struct ReplaceCounts {
    std::uint64_t replacements = 0; ///< occurrences replaced
    std::uint64_t cellsChanged = 0; ///< cells whose content changed
};

} // namespace engine
