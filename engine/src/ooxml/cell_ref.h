// A1-style cell references (ECMA-376 Part 1, 18.18.62 ST_Ref) as row and column numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine::ooxml {

/// Row and column, both 1-based; 0 means unknown.
struct CellRef {
    std::uint32_t row = 0;
    std::uint32_t col = 0;
};

/// "B12" -> {12, 2}; the row may be missing ("B" -> {0, 2}). Nothing when it is not a reference.
std::optional<CellRef> parseCellRef(std::string_view text);
/// {12, 2} -> "B12".
std::string cellName(CellRef ref);

struct CellRange {
    CellRef first, last;
};
/// "A1:D10" or "A1" (one cell).
std::optional<CellRange> parseRange(std::string_view text);

} // namespace engine::ooxml
