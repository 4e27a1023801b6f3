// engine::Workbook for delimited text (.csv .tsv .txt .prn): one sheet whose cells are the
// fields, every field text, rewritten in place in its own encoding.
#pragma once

#include "delimited/text_encoding.h"
#include "engine/workbook.h"
#include "package/single_pass_workbook.h"

#include <filesystem>
#include <string>
#include <vector>

namespace engine::delimited {

/// The delimiter of a file: a comma for .csv, or a semicolon when the first record holds
/// semicolons and no comma (as where the list separator is ";"); a tab for anything else.
/// head: the decoded start of the file.
char chooseDelimiter(const std::filesystem::path& path, std::string_view head);

class DelimitedWorkbook : public package::SinglePassWorkbook {
public:
    /// Reads the head of the file: its encoding and delimiter, and whether it is text at all.
    /// Errors: NotFound, PermissionDenied, IoError; NotAWorkbook for binary data;
    /// UnsupportedFormat for UTF-32.
    static Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& path,
                                                  const OpenOptions& options);

    const std::vector<SheetInfo>& sheets() const override { return m_infos; }
    void queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) override;

    Encoding encoding() const { return m_encoding; }
    char delimiter() const { return m_delimiter; }

private:
    DelimitedWorkbook() = default;
    Result<ReplaceCounts> run(Run kind, CellListener* listener) override;
    void clearQueues() override;
    Result<ReplaceCounts> runOnce(Run kind, CellListener* listener);

    std::filesystem::path m_path;
    OpenOptions m_options;
    std::vector<SheetInfo> m_infos;
    std::vector<ReplaceRequest> m_queue;
    Encoding m_encoding = Encoding::Utf8;
    char m_delimiter = ',';
    std::filesystem::file_time_type m_modified{};
    std::uintmax_t m_size = 0;
};

} // namespace engine::delimited
