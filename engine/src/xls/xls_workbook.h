// engine::Workbook for legacy .xls workbooks (BIFF8 in a compound file): open reads the
// globals and the sheet list; save and dryRun walk each sheet's records, change the cells
// that the queue changes and write the Workbook stream again in place.
#pragma once

#include "engine/workbook.h"
#include "globals.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine::xls {

class XlsWorkbook final : public Workbook {
public:
    /// Opens a compound file that Workbook::open found at path. Errors: the refusals of a
    /// .xls (encrypted, password to modify, signed, rights-managed, shared, Excel 5.0/95 and
    /// older, both Book and Workbook streams), NotAWorkbook for a compound file without a
    /// workbook, Corrupt.
    static Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& path,
                                                  const OpenOptions& options);

    const std::vector<SheetInfo>& sheets() const override { return m_globals.sheets; }
    void queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) override;
    Result<ReplaceCounts> save() override;
    Result<ReplaceCounts> dryRun() override;
    Status search(CellListener& listener) override;

private:
    XlsWorkbook() = default;
    Result<ReplaceCounts> run(bool write);
    /// Reads the globals again from the bytes the last save wrote, if it wrote any.
    Status readWritten();

    std::filesystem::path m_path;
    OpenOptions m_options;
    std::filesystem::file_time_type m_modified;
    std::uintmax_t m_size = 0;
    Globals m_globals;
    std::optional<std::string> m_written;
    std::vector<std::vector<ReplaceRequest>> m_queues;
};

/// Why a file that is neither a compound file nor a ZIP package is not a workbook this engine
/// reads, when its name ends in .xls: HTML or XML saved under that name, text, or an Excel
/// 2-4 workbook. Nothing when the content says none of these.
std::optional<Error> describeNonCompoundXls(const std::filesystem::path& path);

} // namespace engine::xls
