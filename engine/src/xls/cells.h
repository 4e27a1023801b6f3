// The cells of one sheet substream (MS-XLS 2.4: LabelSst, Label, RString, Number, RK, MulRk,
// BoolErr, Formula with ShrFmla and Array): their formula-bar text, and the records that
// replace them when a queue changes that text.
#pragma once

#include "engine/replace_request.h"
#include "globals.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::xls {

class SheetCells {
public:
    SheetCells(const Globals& globals, std::size_t sheet);

    /// Lists every cell that a request of queue, each on its own, finds.
    Status search(const std::vector<ReplaceRequest>& queue, CellListener& listener);

    /// Applies queue to every cell, adding the changed records to changes and reporting each
    /// changed cell to listener (when not null) in row and column order. uniform: every sheet
    /// with cells has this queue, so changed shared strings change where they are.
    /// Errors: ProtectedSheet, ResultTooLong, InvalidFormula, UnsupportedFormat for a formula
    /// change other than inside its string literals, Corrupt.
    Status replace(const std::vector<ReplaceRequest>& queue, bool uniform, ChangeSet& changes,
                   ReplaceCounts& counts, CellListener* listener);

private:
    struct Impl;
    const Globals& m_globals;
    std::size_t m_sheet;
};

} // namespace engine::xls
