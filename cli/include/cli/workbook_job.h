// The work on one workbook, through the same automation calls as the desktop program's run:
// a stand-in instance opens the file, the workbook operations replace one pair or every set on
// every sheet, then the workbook is saved in place (or only counted) and the instance quits.
#pragma once

#include "cli/job_runner.h"

#include <QString>
#include <string>
#include <vector>

namespace run::automation {
class ApplicationFactory;
}

namespace cli {

struct ReplacePair {
    std::string find; ///< UTF-8
    std::string replacement;
};

struct ReplacePlan {
    /// One pair from --find, or the sets: applied in order on each sheet, each to the result
    /// of the ones before.
    std::vector<ReplacePair> pairs;
    bool sets = false;
    bool matchCase = false;
    /// Count only; the file is not written.
    bool dryRun = false;
    /// Find texts match only whole cell texts.
    bool wholeCell = false;
    /// Keep the cells that change (or would) in the outcome.
    bool show = false;
    /// Search only: the cells holding a find text go into the outcome, as they are, and their
    /// number into cellsChanged; nothing is replaced or written.
    bool list = false;
};

/// Processes the workbook at path with an instance from factory: Changed when some cell
/// changed (or would, for a dry run; or was found, for a search), Unchanged when none did (the
/// file is then not written at all), Failed with the reason otherwise, the file left as it was.
FileOutcome processWorkbook(run::automation::ApplicationFactory& factory, const QString& path,
                            const ReplacePlan& plan);

} // namespace cli
