// The workbook engine's public API: open a workbook file, queue replacements per sheet,
// save in place. Standard C++ only; everything about file formats is behind this header.
#pragma once

#include "engine/replace_request.h"
#include "engine/result.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace engine {

struct SheetInfo {
    std::string name;
    /// Worksheets and macro sheets have cells; chart and dialog sheets do not.
    bool hasCells = false;
};

struct OpenOptions {
    /// Refuse to open when another program holds the workbook ("~$name", ".~lock.name#").
    bool honourLockFiles = true;
    /// Threads that save() and dryRun() may use for this workbook at once: its sheets
    /// rewritten side by side, a large part deflated in blocks. 0: one per core. The result
    /// reads back the same whatever the number; only the compressed bytes may differ.
    unsigned jobs = 0;
    /// When not empty, save() keeps the original file beside the saved one under its name
    /// followed by this suffix ("book.xlsx.orig"), made just before the new file takes the
    /// original's place, with its time stamps and permissions. An existing file of that name
    /// fails the save (IoError) and is left as it is. Nothing is made when nothing changed or
    /// the save failed.
    std::string backupSuffix;
};

class Workbook {
public:
    virtual ~Workbook() = default;

    /// Opens the workbook at path for reading: checks format, encryption, signature and lock
    /// files, and reads the list of sheets. Touches nothing on disk.
    static Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& path,
                                                  const OpenOptions& options = {});

    /// Sheets in workbook order (every sheet, including those without cells).
    virtual const std::vector<SheetInfo>& sheets() const = 0;

    /// Queues a replacement on the cells of sheet sheetIndex (0-based). Queued replacements
    /// apply at save in the order they were queued, with the same result as applying them
    /// one after the other. Touches nothing on disk.
    virtual void queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) = 0;

    /// Applies the queued replacements and saves in place: a new file beside the original,
    /// flushed, renamed over it, permissions kept. Nothing is written when nothing changed.
    /// On failure the original is byte-for-byte as it was and no temporary file is left.
    /// The queue is empty afterwards.
    virtual Result<ReplaceCounts> save() = 0;

    /// Counts what save() would change, writing nothing. The queue is kept.
    virtual Result<ReplaceCounts> dryRun() = 0;

    /// Reports each cell that the next save() or dryRun() changes (or would change) to
    /// listener, before that call returns; nullptr reports nothing. The listener must outlive
    /// the call. A failed save may have reported cells before it failed.
    void setCellListener(CellListener* listener) { m_cellListener = listener; }

    /// Lists every cell whose text holds the find text of a queued request (or, with
    /// wholeCell, equals it), as it is, writing nothing and keeping the queue. Each request is
    /// looked for on its own, not after the ones before it. Errors as dryRun().
    virtual Status search(CellListener& listener);

protected:
    CellListener* cellListener() const { return m_cellListener; }

private:
    CellListener* m_cellListener = nullptr;
};

} // namespace engine
