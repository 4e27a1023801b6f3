// The work on one workbook: open it with the engine, queue every pair on every sheet with
// cells, then save in place or only count. Failures come back as the engine's reasons.
#pragma once

#include "cli/job_runner.h"

#include <QString>
#include <string>
#include <vector>

namespace cli {

struct ReplacePair {
    std::string find; ///< UTF-8
    std::string replacement;
};

struct ReplacePlan {
    /// Applied in order on each sheet, each to the result of the ones before.
    std::vector<ReplacePair> pairs;
    bool matchCase = false;
    /// Count only; the file is not written.
    bool dryRun = false;
};

/// Processes the workbook at path: Changed when some cell changed (or would, for a dry run),
/// Unchanged when none did (the file is then not written at all), Failed with the reason
/// otherwise, the file left as it was.
FileOutcome processWorkbook(const QString& path, const ReplacePlan& plan);

} // namespace cli
