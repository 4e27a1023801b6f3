// OdsWorkbook: open reads the package and the sheet names; save and dryRun stream content.xml
// through a ContentRewriter and write the package anew with only content.xml changed.
#include "ods_workbook.h"

#include "content_rewriter.h"
#include "package/lock_files.h"
#include "package/output_file.h"
#include "text/ascii.h"
#include "zip/zip_writer.h"

#include <algorithm>

namespace engine::ods {
namespace {

const char* const kStopReading = "stop reading";

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

} // namespace

bool isOpenDocument(const zip::ZipReader& zip) {
    return !zip.find("[Content_Types].xml") && (zip.find("mimetype") || zip.find("content.xml"));
}

Result<std::unique_ptr<Workbook>> OdsWorkbook::open(const std::filesystem::path& path,
                                                    std::unique_ptr<zip::ZipReader> zip,
                                                    const OpenOptions& options) {
    std::unique_ptr<OdsWorkbook> book(new OdsWorkbook());
    book->m_path = path;
    book->m_options = options;
    if (!fileIdentity(path, book->m_modified, book->m_size)) {
        return Error{ErrorCode::Vanished, path.string()};
    }
    if (const auto mimetype = zip->find("mimetype")) {
        auto type = zip->readAll(*mimetype);
        if (!type) {
            return type.error();
        }
        const std::string& t = type.value();
        if (t.starts_with("application/vnd.oasis.opendocument.") &&
            t != "application/vnd.oasis.opendocument.spreadsheet" &&
            t != "application/vnd.oasis.opendocument.spreadsheet-template") {
            return Error{ErrorCode::NotAWorkbook, "an OpenDocument file of type " + t};
        }
    }
    // Encryption is per entry, described in the manifest (ODF 1.3 Part 2, 3.4); signatures
    // live in META-INF/*signatures*.xml, and any edit would break them.
    for (const auto& e : zip->entries()) {
        if (text::startsWithIgnoringAsciiCase(e.name, "META-INF/") &&
            e.name.find("signatures") != std::string::npos) {
            return Error{ErrorCode::DigitallySigned, {}};
        }
        if (e.encrypted()) {
            return Error{ErrorCode::PasswordProtected, {}};
        }
    }
    if (const auto manifest = zip->find("META-INF/manifest.xml")) {
        auto bytes = zip->readAll(*manifest);
        if (!bytes) {
            return bytes.error();
        }
        if (bytes.value().find("encryption-data") != std::string::npos) {
            return Error{ErrorCode::PasswordProtected, {}};
        }
    }
    const auto content = zip->find("content.xml");
    if (!content) {
        return Error{ErrorCode::NotAWorkbook, "an OpenDocument package without content.xml"};
    }
    book->m_content = *content;
    SheetLister lister;
    xml::Scanner scanner(lister);
    Status status = zip->readStream(
        *content, [&](std::string_view chunk) -> Status { return scanner.feed(chunk, false); });
    if (status) {
        status = scanner.feed({}, true);
    }
    if (!status) {
        return Error{status.error().code, "content.xml: " + status.error().detail};
    }
    for (auto& name : lister.names) {
        book->m_infos.push_back({name, true});
        book->m_names.push_back(std::move(name));
    }
    book->m_queues.resize(book->m_infos.size());
    book->m_zip = std::move(zip);
    return std::unique_ptr<Workbook>(std::move(book));
}

void OdsWorkbook::queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) {
    if (sheetIndex < m_queues.size()) {
        m_queues[sheetIndex].push_back(request);
    }
}

void OdsWorkbook::clearQueues() {
    for (auto& queue : m_queues) {
        queue.clear();
    }
}

Result<ReplaceCounts> OdsWorkbook::run(Run kind, CellListener* listener) {
    std::vector<text::ReplaceQueue> queues(m_queues.size());
    bool any = false;
    for (std::size_t i = 0; i < m_queues.size(); ++i) {
        for (const auto& r : m_queues[i]) {
            if (!r.find.empty()) {
                queues[i].add(r.find, r.replacement, r.matchCase, r.wholeCell);
                any = true;
            }
        }
    }
    if (!any) {
        return ReplaceCounts{};
    }
    if (!m_zip) {
        auto reopened = zip::ZipReader::open(m_path);
        if (!reopened) {
            return reopened.error();
        }
        m_zip = std::move(reopened.value());
    }
    if (kind == Run::Save) {
        std::filesystem::file_time_type modified;
        std::uintmax_t size = 0;
        if (!fileIdentity(m_path, modified, size) || modified != m_modified || size != m_size) {
            return Error{ErrorCode::Vanished, m_path.string()};
        }
        if (m_options.honourLockFiles) {
            auto locked = package::checkLockFiles(m_path);
            if (!locked) {
                return locked.error();
            }
        }
    }

    const auto mode = kind == Run::Search ? ContentRewriter::Mode::Search
                      : kind == Run::Save ? ContentRewriter::Mode::Write
                                          : ContentRewriter::Mode::Count;
    auto splicerMode = xml::Splicer::Mode::Deferred;
    std::unique_ptr<zip::DeflateStream> stream;
    ReplaceCounts counts;
    for (;;) {
        ContentRewriter rewriter(queues, m_names, mode, splicerMode, listener);
        stream = std::make_unique<zip::DeflateStream>(zip::kRewriteDeflateLevel);
        Status status = m_zip->readStream(m_content, [&](std::string_view chunk) -> Status {
            auto fed = rewriter.feed(chunk);
            if (!fed) {
                return fed;
            }
            if (rewriter.outputLost()) {
                return Error{ErrorCode::IoError, kStopReading};
            }
            if (!rewriter.output().empty()) {
                auto written = stream->write(rewriter.output());
                rewriter.output().clear();
                return written;
            }
            return Unit{};
        });
        if (!status && status.error().detail == kStopReading) {
            splicerMode = xml::Splicer::Mode::Emit; // a late change: read again, writing
            continue;
        }
        if (status) {
            status = rewriter.finish();
        }
        if (!status) {
            const auto& e = status.error();
            if (e.code == ErrorCode::Corrupt || e.code == ErrorCode::ResourceLimit) {
                return Error{e.code, "content.xml: " + e.detail};
            }
            return e;
        }
        counts = rewriter.counts();
        if (kind != Run::Save || !rewriter.changed()) {
            return counts;
        }
        auto written = stream->write(rewriter.output());
        if (written) {
            written = stream->finish();
        }
        if (!written) {
            return written.error();
        }
        break;
    }

    // The mimetype entry, first, stored and without extra field, is copied as it is, as is
    // every entry but content.xml; the manifest needs no change (sizes are listed only for
    // encrypted entries).
    const zip::ZipReader& source = *m_zip;
    auto saved = package::replaceFileAtomically(m_path, [&](package::OutputFile& out) -> Status {
        zip::ZipWriter writer(out);
        const auto& entries = source.entries();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Status s = i == m_content ? writer.addDeflated(entries[i], *stream)
                                      : writer.copyRaw(source, i);
            if (!s) {
                return s;
            }
        }
        return writer.finish(source);
    });
    if (!saved) {
        return saved.error();
    }
    m_zip.reset();
    fileIdentity(m_path, m_modified, m_size);
    return counts;
}

} // namespace engine::ods
