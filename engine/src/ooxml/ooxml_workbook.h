// engine::Workbook for OOXML packages (.xlsx .xlsm .xltx .xltm .xlam, transitional and strict):
// finding the parts, running the queued replacements over them, saving changed parts only.
#pragma once

#include "engine/workbook.h"
#include "zip/zip_archive.h"
#include "zip/zip_writer.h"

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace engine::ooxml {

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
    OoxmlWorkbook() = default;
    Result<ReplaceCounts> run(bool write);
    // After a formula changed: the workbook part marked for full calculation, the
    // calculation chain (removed) and its relationship and content type.
    Status recalculateOnLoad(std::map<std::size_t, NewEntry>& changed,
                             std::set<std::size_t>& removed) const;
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
    std::filesystem::file_time_type m_modified{};
    std::uintmax_t m_size = 0;
};

} // namespace engine::ooxml
