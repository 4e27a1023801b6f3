// BIFF8 formulas (MS-XLS 2.5.198): the parsed tokens turned back into the text the formula bar
// shows, with the place of every string literal, and the one change this engine writes into
// them: new texts for string literals, with the jumps of IF and CHOOSE moved to match.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::xls {

/// What formulas refer to outside themselves: sheets, other workbooks, defined names.
struct FormulaNames {
    struct SupBook {
        enum Kind { Self, AddIn, External } kind = Self;
        std::string path; ///< of another workbook, as the SUPBOOK stores it
        std::vector<std::string> sheets;
        std::vector<std::string> externNames; ///< EXTERNNAME records that follow it
    };
    struct Xti {
        std::uint16_t supBook = 0;
        std::uint16_t first = 0;
        std::uint16_t last = 0;
    };
    std::vector<std::string> sheets; ///< this workbook's sheets, in order
    std::vector<SupBook> supBooks;
    std::vector<Xti> xti;           ///< EXTERNSHEET entries
    std::vector<std::string> names; ///< NAME records in order (PtgName counts from 1)
};

struct DecompiledFormula {
    std::string text; ///< without the leading "="
    struct Literal {
        std::size_t token = 0;          ///< offset of the PtgStr in the tokens
        std::size_t begin = 0, end = 0; ///< its content in text, between the quotes, quotes doubled
    };
    std::vector<Literal> literals;
};

/// The formula-bar text of tokens rgce (with rgcb, the data of array constants and memory
/// tokens that follow them) in the cell at row, col (0-based; relative tokens of shared
/// formulas count from it). Nothing when a token is unknown or malformed.
std::optional<DecompiledFormula> decompileFormula(std::string_view rgce, std::string_view rgcb,
                                                  const FormulaNames& names, std::uint16_t row,
                                                  std::uint16_t col);

/// rgce with the string literals at the given token offsets (those of a DecompiledFormula)
/// holding new texts, the other tokens copied, and every IF, CHOOSE and GOTO jump that passes
/// a changed literal moved by its change in size. Nothing when a text exceeds 255 characters.
std::optional<std::string>
replaceLiterals(std::string_view rgce,
                const std::vector<std::pair<std::size_t, std::u16string>>& literals);

} // namespace engine::xls
