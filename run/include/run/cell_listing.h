// The cells that a run would change, or in which its find texts are found, for every file of a
// list, without a window: what a window shows before anything is written. Goes through the same
// automation calls as the run; writes nothing.
#pragma once

#include "engine/workbook.h"
#include "run/automation.h"

#include <optional>
#include <string>
#include <vector>

namespace run {

struct FindReplacePair {
    std::string find; ///< UTF-8
    std::string replacement;
};

struct ListingOptions {
    bool matchCase = false;
    /// Find texts match only cells whose whole text they are (LookAt 1).
    bool wholeCell = false;
    /// Found: every cell in which some find text is found, as it is, each pair looked for on
    /// its own. Changes: every cell the run would change, before and after, the pairs applied
    /// in order on each sheet as the run applies them.
    enum class Show { Found, Changes };
    Show show = Show::Found;
};

/// The listing of one file: its cells in sheet, row and column order, or why it could not be
/// read (then it has no cells).
struct FileCells {
    std::string path;
    std::vector<engine::CellChange> cells;
    std::optional<Failure> failure;
};

/// Lists the cells of the workbook at path (opened in a new instance from factory, which quits
/// before this returns).
FileCells listFileCells(automation::ApplicationFactory& factory, const std::string& path,
                        const std::vector<FindReplacePair>& pairs, const ListingOptions& options);

/// listFileCells for every file, in list order; a file that fails is listed with its reason
/// and the others are still read.
std::vector<FileCells> listCells(automation::ApplicationFactory& factory,
                                 const std::vector<std::string>& files,
                                 const std::vector<FindReplacePair>& pairs,
                                 const ListingOptions& options);

} // namespace run
