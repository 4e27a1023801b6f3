// Runs the per-file work over a list of files on a number of threads, never two pieces of work
// on the same file at once, and hands the outcomes back in list order. Knows nothing about
// workbooks: the work is a function, and an outcome carries the cells it listed as they came.
#pragma once

#include "engine/workbook.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cli {

/// What happened to one file.
struct FileOutcome {
    enum class Status { Changed, Unchanged, Failed };
    Status status = Status::Unchanged;
    std::uint64_t replacements = 0;
    std::uint64_t cellsChanged = 0;
    /// The stable name of the failure's kind (cli/README.md lists them); empty otherwise.
    QString code;
    /// Why the file failed, for a person to act on; empty otherwise.
    QString reason;
    /// The cells listed for the file (--show, --list), in sheet, row and column order.
    std::vector<engine::CellChange> cells;
};

/// The work for the file at a position of the list. Called on any of the runner's threads.
using FileWork = std::function<FileOutcome(std::size_t index)>;

struct RunCallbacks {
    /// Each outcome, exactly once, in list order, as soon as it and all before it are known.
    std::function<void(std::size_t index, const FileOutcome& outcome)> finishedInOrder;
    /// After each file, with the number of files finished so far.
    std::function<void(std::size_t finished, std::size_t total)> progress;
};

/// Runs work for every index of keys on up to jobs threads (the calling thread is one of
/// them) and returns the outcomes in list order. Entries with equal keys (the same file listed
/// twice) run one after the other in list order, never at the same time; otherwise files start
/// in list order as threads come free. Keys must be taken before the run: a save replaces a
/// file, so its inode changes. A work function that throws counts as a failure of that file.
/// The callbacks are called one at a time, never concurrently.
std::vector<FileOutcome> runJobs(const std::vector<std::string>& keys, int jobs,
                                 const FileWork& work, const RunCallbacks& callbacks = {});

} // namespace cli
