// XlsWorkbook: reading the globals substream, walking sheets cell by cell, and writing the
// changed records back with every offset that points into the stream moved to match.
#include "xls_workbook.h"

#include "bytes.h"
#include "cells.h"
#include "layout.h"
#include "package/output_file.h"
#include "unicode_string.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace engine::xls {
namespace {

constexpr std::size_t kMinimumStream = 4096;

bool fileIdentity(const std::filesystem::path& path, std::filesystem::file_time_type& modified,
                  std::uintmax_t& size) {
    std::error_code ec;
    modified = std::filesystem::last_write_time(path, ec);
    if (ec) {
        return false;
    }
    size = std::filesystem::file_size(path, ec);
    return !ec;
}

Result<std::string> readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return Error{ErrorCode::IoError, path.string()};
    }
    const auto size = static_cast<std::size_t>(in.tellg());
    std::string bytes(size, '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) {
        return Error{ErrorCode::IoError, path.string()};
    }
    return bytes;
}

bool sameQueue(const std::vector<ReplaceRequest>& a, const std::vector<ReplaceRequest>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ReplaceRequest& x, const ReplaceRequest& y) {
                          return x.find == y.find && x.replacement == y.replacement &&
                                 x.matchCase == y.matchCase && x.wholeCell == y.wholeCell;
                      });
}

} // namespace

std::optional<Error> describeNonCompoundXls(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.size() >= 4 && static_cast<unsigned char>(head[0]) == 0x09 &&
        (head[1] == 0x00 || head[1] == 0x02 || head[1] == 0x04 || head[1] == 0x08)) {
        return Error{ErrorCode::UnsupportedFormat, "an Excel 2.x-4.0 workbook (BIFF2-4)"};
    }
    std::string_view text = head;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    while (!text.empty() &&
           (text[0] == ' ' || text[0] == '\t' || text[0] == '\r' || text[0] == '\n')) {
        text.remove_prefix(1);
    }
    if (text.starts_with("<")) {
        if (head.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos &&
            head.find("<html") == std::string::npos && head.find("<HTML") == std::string::npos) {
            return Error{ErrorCode::UnsupportedFormat,
                         "an XML Spreadsheet 2003 file named .xls, not a binary workbook"};
        }
        return Error{ErrorCode::UnsupportedFormat,
                     "a web page (HTML or XML) named .xls, not a binary workbook"};
    }
    if (head.empty()) {
        return std::nullopt;
    }
    const bool textual = std::all_of(head.begin(), head.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 || c == '\t' || c == '\r' || c == '\n';
    });
    if (textual) {
        return Error{ErrorCode::UnsupportedFormat, "a text file named .xls, not a binary workbook"};
    }
    return std::nullopt;
}

Result<std::unique_ptr<Workbook>> XlsWorkbook::open(const std::filesystem::path& path,
                                                    const OpenOptions& options) {
    std::unique_ptr<XlsWorkbook> book(new XlsWorkbook());
    book->m_path = path;
    if (!fileIdentity(path, book->m_modified, book->m_size)) {
        return Error{ErrorCode::Vanished, path.string()};
    }
    auto bytes = readWholeFile(path);
    if (!bytes) {
        return bytes.error();
    }
    auto globals = Globals::read(std::move(bytes.value()));
    if (!globals) {
        return globals.error();
    }
    book->m_globals = std::move(globals.value());
    book->m_queues.assign(book->m_globals.sheets.size(), {});
    book->m_options = options;
    return std::unique_ptr<Workbook>(std::move(book));
}

void XlsWorkbook::queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) {
    if (sheetIndex < m_queues.size()) {
        m_queues[sheetIndex].push_back(request);
    }
}

Result<ReplaceCounts> XlsWorkbook::save() {
    auto result = run(true);
    for (auto& q : m_queues) {
        q.clear();
    }
    return result;
}

Result<ReplaceCounts> XlsWorkbook::dryRun() {
    return run(false);
}

Status XlsWorkbook::search(CellListener& listener) {
    if (auto status = readWritten(); !status) {
        return status;
    }
    for (std::size_t s = 0; s < m_globals.sheets.size(); ++s) {
        if (m_queues[s].empty() || !m_globals.sheets[s].hasCells) {
            continue;
        }
        auto status = SheetCells(m_globals, s).search(m_queues[s], listener);
        if (!status) {
            return status;
        }
    }
    return Unit{};
}

Status XlsWorkbook::readWritten() {
    if (!m_written) {
        return Unit{};
    }
    auto globals = Globals::read(std::move(*m_written));
    m_written.reset();
    if (!globals) {
        return globals.error();
    }
    m_globals = std::move(globals.value());
    return Unit{};
}

Result<ReplaceCounts> XlsWorkbook::run(bool write) {
    if (auto status = readWritten(); !status) {
        return status.error();
    }
    // With one queue for every sheet, a changed shared string is changed where it is;
    // otherwise each sheet's changed strings are added and only its cells point at them.
    bool uniform = true;
    const std::vector<ReplaceRequest>* first = nullptr;
    for (std::size_t s = 0; s < m_globals.sheets.size(); ++s) {
        if (!m_globals.sheets[s].hasCells) {
            continue;
        }
        if (first == nullptr) {
            first = &m_queues[s];
        } else if (!sameQueue(*first, m_queues[s])) {
            uniform = false;
        }
    }
    ReplaceCounts counts;
    ChangeSet changes(m_globals.strings);
    for (std::size_t s = 0; s < m_globals.sheets.size(); ++s) {
        if (m_queues[s].empty() || !m_globals.sheets[s].hasCells) {
            continue;
        }
        auto status =
            SheetCells(m_globals, s).replace(m_queues[s], uniform, changes, counts, cellListener());
        if (!status) {
            return status.error();
        }
    }
    if (!write || (changes.edits.empty() && !changes.stringsChanged)) {
        return counts;
    }
    std::filesystem::file_time_type modified;
    std::uintmax_t size = 0;
    if (!fileIdentity(m_path, modified, size) || modified != m_modified || size != m_size) {
        return Error{ErrorCode::Vanished, m_path.string()};
    }
    auto laidOut = layOut(m_globals, changes);
    if (!laidOut) {
        return laidOut.error();
    }
    std::string& data = laidOut.value();
    if (data.size() < kMinimumStream) {
        data.resize(kMinimumStream, '\0'); // never moves into the mini stream
    }
    auto file = m_globals.file.withStream(m_globals.workbookEntry, data);
    if (!file) {
        return file.error();
    }
    auto saved = package::replaceFileAtomically(
        m_path, [&](package::OutputFile& out) -> Status { return out.write(file.value()); },
        package::ReplaceOptions{m_options.backupSuffix});
    if (!saved) {
        return saved.error();
    }
    // A later run starts from what was written, read again when it comes.
    fileIdentity(m_path, m_modified, m_size);
    m_written = std::move(file.value());
    return counts;
}

} // namespace engine::xls
