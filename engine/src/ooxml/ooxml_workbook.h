// engine::Workbook for OOXML packages (.xlsx .xlsm .xltx .xltm .xlam, transitional and strict):
// finding the parts, running the queued replacements over them, saving changed parts only.
#pragma once

#include "engine/workbook.h"
#include "package/output_file.h"
#include "zip/zip_archive.h"
#include "zip/zip_writer.h"

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace engine::ooxml {

struct SheetContext;
class StructuredUses;
class Table;

class OoxmlWorkbook : public Workbook {
public:
    /// Reads the package structure of an open ZIP: content types, relationships, the sheet
    /// list. Errors: NotAWorkbook, UnsupportedFormat (.xlsb, OpenDocument), DigitallySigned,
    /// Corrupt.
    static Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& path,
                                                  std::unique_ptr<zip::ZipReader> zip,
                                                  const OpenOptions& options);

    const std::vector<SheetInfo>& sheets() const override { return m_infos; }
    void queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) override;
    Result<ReplaceCounts> save() override;
    Result<ReplaceCounts> dryRun() override;
    Status search(CellListener& listener) override;

private:
    struct Sheet {
        std::string partName;  // empty when the sheet has no cells
        std::size_t entry = 0; // its ZIP entry
        std::vector<std::string> tableParts;
        std::vector<ReplaceRequest> queue;
    };
    // The new contents of one entry: streamed and compressed (a sheet) or in memory.
    struct NewEntry {
        std::unique_ptr<zip::DeflateStream> stream;
        std::string bytes;
    };
    using ChangedEntries = std::map<std::size_t, NewEntry>; // by entry index
    struct QueueGroups;
    struct WorkbookParts;
    struct SheetOutcome;
    OoxmlWorkbook() = default;

    enum class Mode { Save, DryRun, Search };
    // The steps of save, dryRun and search. The cells noted (for a listener or a search) are
    // left in m_cells, in the order a listener receives them.
    Result<ReplaceCounts> run(Mode mode);
    // Hands m_cells to listener (nullptr: to nobody) and empties it.
    void deliverCells(CellListener* listener);
    // Sheets with the same queue share one result per shared string. `prepared` is empty when
    // no sheet has a request that can change anything.
    QueueGroups groupQueues() const;
    // Opens the package again after a save; before writing, checks that the file is still the
    // one opened and that no other program holds it.
    Status prepareToRun(bool write);
    // Styles, shared strings (with every queue applied, or searched for) and tables.
    Result<WorkbookParts> loadParts(const QueueGroups& groups, bool search) const;
    // What rewriting sheet `index` needs; applies its queue to the formulas of its tables
    // (unless searching).
    Result<SheetContext> contextFor(std::size_t index, const QueueGroups& groups,
                                    WorkbookParts& parts, bool search) const;
    // Every sheet with a queue, side by side where their work is independent; the outcomes by
    // sheet index, in sheet order. The error is the one the first failing sheet gives.
    Result<std::vector<std::pair<std::size_t, SheetOutcome>>>
    rewriteSheets(const QueueGroups& groups, WorkbookParts& parts, bool write, bool search,
                  bool noteCells) const;
    // Streams one sheet through a WorksheetRewriter, reading it again when its output had to
    // start over, and deflates the new sheet (on up to deflateJobs threads) when it changed
    // and `write` is set. With noteCells the sheet's changed (or found) cells are kept in the
    // outcome.
    Result<SheetOutcome> rewriteSheet(SheetContext context, std::size_t entry, bool write,
                                      unsigned deflateJobs, bool noteCells) const;
    // Notes the formulas of the tables of sheet `index` that changed (or, searching, match).
    void noteTableFormulas(std::size_t index, const QueueGroups& groups, const WorkbookParts& parts,
                           bool search);
    // After every sheet: checks structured references, writes the changed tables and shared
    // strings into `changed`. Returns whether any formula changed.
    Result<bool> finishParts(WorkbookParts& parts, StructuredUses& structured,
                             const std::vector<bool>& scanned, bool everySheetSame,
                             std::uint64_t blanked, bool formulasChanged,
                             ChangedEntries& changed) const;
    // The new package: changed entries deflated anew, removed ones left out, the others copied
    // as they are; then renamed over the original.
    Status writePackage(const ChangedEntries& changed, const std::set<std::size_t>& removed);
    // After a formula changed: the workbook part marked for full calculation, the
    // calculation chain (removed) and its relationship and content type.
    Status recalculateOnLoad(ChangedEntries& changed, std::set<std::size_t>& removed) const;
    // Structured references after the sheets were rewritten: those a replacement wrote must
    // name tables and columns that exist, and none may name a column a header cell renamed.
    // scanned: the sheets whose formulas were looked at.
    Status checkTables(const std::vector<std::pair<std::size_t, Table>>& tables,
                       StructuredUses& structured, const std::vector<bool>& scanned) const;

    std::filesystem::path m_path;
    OpenOptions m_options;
    std::unique_ptr<zip::ZipReader> m_zip;
    std::vector<SheetInfo> m_infos;
    std::vector<Sheet> m_sheets;
    std::string m_sharedStringsPart, m_stylesPart;
    std::string m_workbookPart, m_calcChainPart, m_calcChainId;
    /// The file as it was read; a save over any other file would lose that file's content.
    package::FileIdentity m_identity;
    std::vector<CellChange> m_cells;
};

} // namespace engine::ooxml
