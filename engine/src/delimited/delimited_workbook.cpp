// DelimitedWorkbook: a save reads the file twice at most, the first time only up to the first
// field that changes, so that a file with nothing to change is never written and the bytes
// before the first change are copied without being read as fields again.
#include "delimited_workbook.h"

#include "delimited/field_rewriter.h"
#include "package/lock_files.h"
#include "package/output_file.h"
#include "text/ascii.h"
#include "text/replace_queue.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace engine::delimited {
namespace {

constexpr std::size_t kChunk = 1U << 20;
constexpr std::size_t kHead = 64U << 10;

class InputFile {
public:
    ~InputFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Status open(const std::filesystem::path& path) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd >= 0) {
            return Unit{};
        }
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return Error{ErrorCode::NotFound, path.string()};
        }
        if (error == EACCES || error == EPERM) {
            return Error{ErrorCode::PermissionDenied, path.string()};
        }
        return Error{ErrorCode::IoError, path.string() + ": " + std::strerror(error)};
    }
    // Fills out with up to size bytes; fewer only at the end of the file.
    Status read(std::size_t size, std::string& out) {
        out.resize(size);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::read(m_fd, out.data() + done, size - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return Error{ErrorCode::IoError, std::strerror(errno)};
            }
            if (got == 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        out.resize(done);
        return Unit{};
    }

private:
    int m_fd = -1;
};

// Reads the file in chunks: its byte order mark goes to `mark`, the rest, decoded, to `text`.
Status streamFile(const std::filesystem::path& path, Encoding encoding,
                  const std::function<Status(std::string_view)>& mark,
                  const std::function<Status(std::string_view, bool)>& text) {
    InputFile file;
    auto opened = file.open(path);
    if (!opened) {
        return opened;
    }
    Decoder decoder(encoding);
    std::string chunk, decoded;
    std::size_t markLeft = markLength(encoding);
    for (bool last = false; !last;) {
        auto got = file.read(kChunk, chunk);
        if (!got) {
            return got;
        }
        last = chunk.size() < kChunk;
        std::string_view bytes = chunk;
        if (markLeft > 0) {
            const std::size_t n = std::min(markLeft, bytes.size());
            auto s = mark(bytes.substr(0, n));
            if (!s) {
                return s;
            }
            bytes.remove_prefix(n);
            markLeft -= n;
        }
        decoded.clear();
        auto s = decoder.decode(bytes, last, decoded);
        if (s) {
            s = text(decoded, last);
        }
        if (!s) {
            return s;
        }
    }
    return Unit{};
}

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

bool isNotUtf8(const Error& e) {
    return e.code == ErrorCode::Corrupt && e.detail == kNotUtf8;
}

// The sheet a spreadsheet program shows for the file: its name without extension, cut to the
// 31 characters a sheet name may have.
std::string sheetNameOf(const std::filesystem::path& path) {
    std::string name = path.stem().string();
    std::size_t chars = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80 && ++chars > 31) {
            name.resize(i);
            break;
        }
    }
    return name;
}

} // namespace

char chooseDelimiter(const std::filesystem::path& path, std::string_view head) {
    if (text::asciiLower(path.extension().string()) != ".csv") {
        return '\t';
    }
    bool inQuotes = false;
    std::size_t commas = 0, semicolons = 0;
    for (const char c : head) {
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && (c == '\n' || c == '\r')) {
            break;
        } else if (!inQuotes) {
            commas += c == ',' ? 1 : 0;
            semicolons += c == ';' ? 1 : 0;
        }
    }
    return semicolons > 0 && commas == 0 ? ';' : ',';
}

Result<std::unique_ptr<Workbook>> DelimitedWorkbook::open(const std::filesystem::path& path,
                                                          const OpenOptions& options) {
    std::unique_ptr<DelimitedWorkbook> book(new DelimitedWorkbook());
    book->m_path = path;
    book->m_options = options;
    InputFile file;
    auto opened = file.open(path);
    if (!opened) {
        return opened.error();
    }
    std::string head;
    auto got = file.read(kHead, head);
    if (!got) {
        return got.error();
    }
    if (!fileIdentity(path, book->m_modified, book->m_size)) {
        return Error{ErrorCode::Vanished, path.string()};
    }
    auto encoding = encodingOfHead(head);
    if (!encoding) {
        return encoding.error();
    }
    book->m_encoding = encoding.value();
    const bool whole = head.size() < kHead;
    const std::string_view body = std::string_view(head).substr(markLength(book->m_encoding));
    std::string decoded;
    auto checked = Decoder(book->m_encoding).decode(body, whole, decoded);
    if (!checked && isNotUtf8(checked.error())) {
        book->m_encoding = Encoding::Windows1252;
        decoded.clear();
        checked = Decoder(book->m_encoding).decode(body, whole, decoded);
    }
    if (!checked) {
        return checked.error();
    }
    book->m_delimiter = chooseDelimiter(path, decoded);
    book->m_infos.push_back({sheetNameOf(path), true});
    return std::unique_ptr<Workbook>(std::move(book));
}

void DelimitedWorkbook::queueReplace(std::size_t sheetIndex, const ReplaceRequest& request) {
    if (sheetIndex == 0) {
        m_queue.push_back(request);
    }
}

void DelimitedWorkbook::clearQueues() {
    m_queue.clear();
}

Result<ReplaceCounts> DelimitedWorkbook::run(Run kind, CellListener* listener) {
    auto result = runOnce(kind, listener);
    // Bytes that are not UTF-8 further on than the head: the whole file is Windows-1252, and
    // what was matched so far was read wrongly.
    if (!result && isNotUtf8(result.error()) && m_encoding == Encoding::Utf8) {
        m_encoding = Encoding::Windows1252;
        result = runOnce(kind, listener);
    }
    return result;
}

Result<ReplaceCounts> DelimitedWorkbook::runOnce(Run kind, CellListener* listener) {
    text::ReplaceQueue queue;
    for (const auto& r : m_queue) {
        if (!r.find.empty()) {
            queue.add(r.find, r.replacement, r.matchCase, r.wholeCell);
        }
    }
    if (queue.empty()) {
        return ReplaceCounts{};
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

    FieldRewriter::Options options;
    options.delimiter = m_delimiter;
    options.queue = &queue;
    options.encoding = m_encoding;
    options.sheetName = m_infos.front().name;
    options.mode = kind == Run::Save     ? FieldRewriter::Mode::Find
                   : kind == Run::Search ? FieldRewriter::Mode::Search
                                         : FieldRewriter::Mode::Count;
    options.listener = kind == Run::Save ? nullptr : listener;
    FieldRewriter finder(options);
    auto ignoreMark = [](std::string_view) -> Status { return Unit{}; };
    auto scanned =
        streamFile(m_path, m_encoding, ignoreMark, [&](std::string_view text, bool last) -> Status {
            return finder.feed(text, last);
        });
    if (!scanned) {
        return scanned.error();
    }
    if (kind != Run::Save || !finder.stopped()) {
        return finder.counts();
    }

    options.mode = FieldRewriter::Mode::Emit;
    options.listener = listener;
    options.startOffset = finder.stopOffset();
    options.startPosition = finder.stopPosition();
    FieldRewriter writer(options);
    std::string encoded;
    auto saved = package::replaceFileAtomically(m_path, [&](package::OutputFile& out) -> Status {
        return streamFile(
            m_path, m_encoding, [&](std::string_view mark) { return out.write(mark); },
            [&](std::string_view text, bool last) -> Status {
                auto fed = writer.feed(text, last);
                if (!fed) {
                    return fed;
                }
                encoded.clear();
                // Only changed fields can hold characters the encoding lacks, and the
                // rewriter refused those already.
                (void)encode(m_encoding, writer.output(), encoded);
                writer.output().clear();
                return out.write(encoded);
            });
    });
    if (!saved) {
        return saved.error();
    }
    fileIdentity(m_path, m_modified, m_size);
    return writer.counts();
}

} // namespace engine::delimited
