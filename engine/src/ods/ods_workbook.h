// engine::Workbook for OpenDocument spreadsheets (.ods, .ots): the sheets of content.xml,
// rewritten in place; every other entry of the package is copied as it was.
#pragma once

#include "engine/workbook.h"
#include "package/single_pass_workbook.h"
#include "zip/zip_archive.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace engine::ods {

/// True when the package is an OpenDocument document: a "mimetype" entry or a content.xml
/// without the [Content_Types].xml of OOXML.
bool isOpenDocument(const zip::ZipReader& zip);

class OdsWorkbook : public package::SinglePassWorkbook {
public:
    /// Checks the package (media type, encryption, signatures) and lists the sheets.
    /// Errors: NotAWorkbook (another OpenDocument type, no content.xml), PasswordProtected,
    /// DigitallySigned, Corrupt, ResourceLimit.
    static Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& path,
                                                  std::unique_ptr<zip::ZipReader> zip,
                                                  const OpenOptions& options);

    const std::vector<SheetInfo>& sheets() const override { return m_infos; }
    void queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) override;

private:
    OdsWorkbook() = default;
    Result<ReplaceCounts> run(Run kind, CellListener* listener) override;
    void clearQueues() override;

    std::filesystem::path m_path;
    OpenOptions m_options;
    std::unique_ptr<zip::ZipReader> m_zip;
    std::size_t m_content = 0; // the entry of content.xml
    std::vector<SheetInfo> m_infos;
    std::vector<std::string> m_names;
    std::vector<std::vector<ReplaceRequest>> m_queues;
    std::filesystem::file_time_type m_modified{};
    std::uintmax_t m_size = 0;
};

} // namespace engine::ods
