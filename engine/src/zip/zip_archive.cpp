// Reading a ZIP archive: the end records, the central directory, local headers and entry data.
// Every offset and size read from the file is checked before use, so hostile archives fail cleanly.
#include "zip/zip_archive.h"

#include "text/ascii.h"
#include "zip/zip_format.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace engine::zip {

using namespace format;

namespace {

constexpr std::size_t kChunk = std::size_t{256} * 1024;
// Deflate cannot expand data by more than about 1032:1 (RFC 1951 block limits), so a declared
// size beyond this ratio is a lie meant to make a reader reserve memory.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

Error corrupt(const std::string& detail) {
    return Error{ErrorCode::Corrupt, detail};
}

Error systemError(int error, const std::string& what) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return Error{ErrorCode::NotFound, what};
    case EACCES:
    case EPERM:
        return Error{ErrorCode::PermissionDenied, what};
    default:
        return Error{ErrorCode::IoError, what + ": " + std::strerror(error)};
    }
}

} // namespace

std::uint32_t crc32(std::string_view data, std::uint32_t crc) {
    // libdeflate's CRC-32 uses carry-less multiplication where the processor has it.
    return static_cast<std::uint32_t>(libdeflate_crc32(crc, data.data(), data.size()));
}

struct ZipReader::Impl {
    int fd = -1;
    std::string path;
    std::uint64_t fileSize = 0;
    struct stat fileStat {};
    std::uint64_t centralOffset = 0;
    Limits limits;
    std::vector<EntryInfo> entries;
    std::unordered_map<std::string, std::size_t> byName;
    std::string comment;

    ~Impl() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    Status read(std::uint64_t offset, std::uint64_t size, std::string& out) const {
        if (offset > fileSize || size > fileSize - offset) {
            return corrupt("a record lies beyond the end of the file");
        }
        out.resize(size);
        std::uint64_t done = 0;
        while (done < size) {
            const ssize_t got =
                ::pread(fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return systemError(errno, "reading " + path);
            }
            if (got == 0) {
                return Error{ErrorCode::Vanished, "the file became shorter while it was read"};
            }
            done += static_cast<std::uint64_t>(got);
        }
        return Unit{};
    }

    Status readEnd();
    Status readCentralDirectory(std::uint64_t count, std::uint64_t size);
    Status readLocalHeader(EntryInfo& entry) const;
};

namespace {

// Applies a Zip64 extended information field (APPNOTE 4.5.3): it holds, in this order, only the
// values whose 32-bit (16-bit for the disk) field is saturated.
bool applyZip64(std::string_view extra, bool wantUncompressed, bool wantCompressed, bool wantOffset,
                std::uint64_t& uncompressed, std::uint64_t& compressed, std::uint64_t& offset) {
    std::size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const std::uint16_t id = load16(extra.data() + pos);
        const std::size_t size = load16(extra.data() + pos + 2);
        if (pos + 4 + size > extra.size()) {
            return false;
        }
        if (id == kZip64ExtraId) {
            std::string_view field = extra.substr(pos + 4, size);
            auto take = [&field](std::uint64_t& value) {
                if (field.size() < 8) {
                    return false;
                }
                value = load64(field.data());
                field.remove_prefix(8);
                return true;
            };
            return (!wantUncompressed || take(uncompressed)) &&
                   (!wantCompressed || take(compressed)) && (!wantOffset || take(offset));
        }
        pos += 4 + size;
    }
    return !wantUncompressed && !wantCompressed && !wantOffset;
}

bool hasExtraField(std::string_view extra, std::uint16_t wanted) {
    std::size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const std::uint16_t id = load16(extra.data() + pos);
        const std::size_t size = load16(extra.data() + pos + 2);
        if (id == wanted) {
            return true;
        }
        pos += 4 + size;
    }
    return false;
}

} // namespace

Status ZipReader::Impl::readEnd() {
    if (fileSize < kEndSize) {
        return Error{ErrorCode::NotAWorkbook, "the file is too short to be a ZIP package"};
    }
    // The end record sits behind a comment of at most 65,535 bytes (APPNOTE 4.3.16).
    const std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, kEndSize + 0xffff);
    const std::uint64_t tailStart = fileSize - tailSize;
    std::string tail;
    if (auto status = read(tailStart, tailSize, tail); !status) {
        return status;
    }
    std::size_t found = std::string::npos;
    for (std::size_t pos = tail.size() - kEndSize + 1; pos-- > 0;) {
        if (load32(tail.data() + pos) != kEndSignature) {
            continue;
        }
        const std::size_t commentSize = load16(tail.data() + pos + 20);
        if (pos + kEndSize + commentSize <= tail.size()) {
            found = pos;
            break;
        }
    }
    if (found == std::string::npos) {
        return Error{ErrorCode::NotAWorkbook, "no ZIP end record was found"};
    }
    const char* end = tail.data() + found;
    const std::uint64_t endOffset = tailStart + found;
    const std::uint16_t disk = load16(end + 4);
    const std::uint16_t centralDisk = load16(end + 6);
    std::uint64_t count = load16(end + 10);
    std::uint64_t size = load32(end + 12);
    std::uint64_t offset = load32(end + 16);
    comment.assign(end + 22, load16(end + 20));
    std::uint64_t centralLimit = endOffset;

    const bool saturated = count == kMax16 || size == kMax32 || offset == kMax32 ||
                           disk == kMax16 || centralDisk == kMax16;
    if (endOffset >= kZip64LocatorSize) {
        std::string locator;
        if (auto status = read(endOffset - kZip64LocatorSize, kZip64LocatorSize, locator);
            !status) {
            return status;
        }
        if (load32(locator.data()) == kZip64LocatorSignature) {
            const std::uint64_t zip64Offset = load64(locator.data() + 8);
            std::string record;
            if (zip64Offset > endOffset - kZip64LocatorSize ||
                endOffset - kZip64LocatorSize - zip64Offset < kZip64EndSize) {
                return corrupt("the Zip64 end record lies outside the file");
            }
            if (auto status = read(zip64Offset, kZip64EndSize, record); !status) {
                return status;
            }
            if (load32(record.data()) != kZip64EndSignature) {
                return corrupt("the Zip64 end record is missing");
            }
            if (load32(record.data() + 16) != 0 || load32(record.data() + 20) != 0) {
                return Error{ErrorCode::UnsupportedFormat, "archives split over several disks"};
            }
            count = load64(record.data() + 32);
            size = load64(record.data() + 40);
            offset = load64(record.data() + 48);
            centralLimit = zip64Offset;
        } else if (saturated && (disk == kMax16 || centralDisk == kMax16)) {
            return corrupt("the Zip64 end record is missing");
        }
    }
    if (centralLimit == endOffset && (disk != 0 || centralDisk != 0)) {
        return Error{ErrorCode::UnsupportedFormat, "archives split over several disks"};
    }
    if (count > limits.maxEntries) {
        return Error{ErrorCode::ResourceLimit,
                     "the archive declares " + std::to_string(count) + " entries"};
    }
    if (offset > centralLimit || size > centralLimit - offset) {
        return corrupt("the central directory lies outside the file");
    }
    if (size / kCentralHeaderSize < count) {
        return corrupt("the central directory is too small for its entries");
    }
    centralOffset = offset;
    return readCentralDirectory(count, size);
}

Status ZipReader::Impl::readCentralDirectory(std::uint64_t count, std::uint64_t size) {
    std::string directory;
    if (auto status = read(centralOffset, size, directory); !status) {
        return status;
    }
    entries.reserve(static_cast<std::size_t>(count));
    std::uint64_t total = 0;
    std::size_t pos = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (pos + kCentralHeaderSize > directory.size() ||
            load32(directory.data() + pos) != kCentralHeaderSignature) {
            return corrupt("central directory record " + std::to_string(i + 1) + " is damaged");
        }
        const char* r = directory.data() + pos;
        const std::size_t nameSize = load16(r + 28);
        const std::size_t extraSize = load16(r + 30);
        const std::size_t commentSize = load16(r + 32);
        const std::size_t recordSize = kCentralHeaderSize + nameSize + extraSize + commentSize;
        if (pos + recordSize > directory.size()) {
            return corrupt("central directory record " + std::to_string(i + 1) + " is cut off");
        }
        EntryInfo entry;
        entry.versionMadeBy = load16(r + 4);
        entry.versionNeeded = load16(r + 6);
        entry.flags = load16(r + 8);
        entry.method = load16(r + 10);
        entry.dosTime = load16(r + 12);
        entry.dosDate = load16(r + 14);
        entry.crc32 = load32(r + 16);
        entry.compressedSize = load32(r + 20);
        entry.uncompressedSize = load32(r + 24);
        entry.internalAttributes = load16(r + 36);
        entry.externalAttributes = load32(r + 38);
        entry.localHeaderOffset = load32(r + 42);
        entry.name.assign(r + kCentralHeaderSize, nameSize);
        entry.extraField.assign(r + kCentralHeaderSize + nameSize, extraSize);
        entry.comment.assign(r + kCentralHeaderSize + nameSize + extraSize, commentSize);
        entry.centralRecord.assign(r, recordSize);
        if (!applyZip64(entry.extraField, entry.uncompressedSize == kMax32,
                        entry.compressedSize == kMax32, entry.localHeaderOffset == kMax32,
                        entry.uncompressedSize, entry.compressedSize, entry.localHeaderOffset)) {
            return corrupt("the Zip64 field of " + entry.name + " is damaged");
        }
        if (load16(r + 34) != 0 && load16(r + 34) != kMax16) {
            return Error{ErrorCode::UnsupportedFormat, "archives split over several disks"};
        }
        if (entry.uncompressedSize > limits.maxEntryBytes) {
            return Error{ErrorCode::ResourceLimit, entry.name + " declares " +
                                                       std::to_string(entry.uncompressedSize) +
                                                       " bytes"};
        }
        total += entry.uncompressedSize;
        if (total > limits.maxTotalBytes) {
            return Error{ErrorCode::ResourceLimit, "the entries declare more than " +
                                                       std::to_string(limits.maxTotalBytes) +
                                                       " bytes together"};
        }
        if (auto status = readLocalHeader(entry); !status) {
            return status;
        }
        // Two entries of one name (OPC part names ignore ASCII case) are read differently by
        // different programs, first or last copy: which one a user sees cannot be told.
        if (!byName.emplace(text::asciiLower(entry.name), entries.size()).second) {
            return corrupt("two entries are named " + entry.name);
        }
        entries.push_back(std::move(entry));
        pos += recordSize;
    }

    // Entries may not share bytes: a later copy would duplicate them, and overlapping entries
    // are a known way to make small archives inflate to huge ones.
    std::vector<const EntryInfo*> byOffset;
    byOffset.reserve(entries.size());
    for (const auto& entry : entries) {
        byOffset.push_back(&entry);
    }
    std::sort(byOffset.begin(), byOffset.end(), [](const EntryInfo* a, const EntryInfo* b) {
        return a->localHeaderOffset < b->localHeaderOffset;
    });
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        const std::uint64_t limit =
            i + 1 < byOffset.size() ? byOffset[i + 1]->localHeaderOffset : centralOffset;
        if (byOffset[i]->entryEnd > limit) {
            return corrupt(byOffset[i]->name + " overlaps another entry");
        }
    }
    return Unit{};
}

Status ZipReader::Impl::readLocalHeader(EntryInfo& entry) const {
    std::string header;
    if (entry.localHeaderOffset > centralOffset ||
        centralOffset - entry.localHeaderOffset < kLocalHeaderSize) {
        return corrupt("the local header of " + entry.name + " lies outside the entries");
    }
    if (auto status = read(entry.localHeaderOffset, kLocalHeaderSize, header); !status) {
        return status;
    }
    const char* h = header.data();
    if (load32(h) != kLocalHeaderSignature) {
        return corrupt("the local header of " + entry.name + " is missing");
    }
    const std::size_t nameSize = load16(h + 26);
    const std::size_t extraSize = load16(h + 28);
    std::string variable;
    if (auto status =
            read(entry.localHeaderOffset + kLocalHeaderSize, nameSize + extraSize, variable);
        !status) {
        return status;
    }
    if (std::string_view(variable).substr(0, nameSize) != entry.name) {
        return corrupt("the local header of " + entry.name + " names another entry");
    }
    if (load16(h + 8) != entry.method) {
        return corrupt("the local header of " + entry.name + " has another compression method");
    }
    const std::string_view localExtra = std::string_view(variable).substr(nameSize);
    const bool localZip64 = hasExtraField(localExtra, kZip64ExtraId);
    const bool descriptor = (load16(h + 6) & kFlagDataDescriptor) != 0;
    if (!descriptor) {
        std::uint64_t uncompressed = load32(h + 22);
        std::uint64_t compressed = load32(h + 18);
        std::uint64_t unused = 0;
        // A local Zip64 field holds both sizes whenever either is saturated (APPNOTE 4.5.3).
        const bool saturated = uncompressed == kMax32 || compressed == kMax32;
        if (saturated &&
            !applyZip64(localExtra, true, true, false, uncompressed, compressed, unused)) {
            return corrupt("the Zip64 field of " + entry.name + " is damaged");
        }
        if (load32(h + 14) != entry.crc32 || uncompressed != entry.uncompressedSize ||
            compressed != entry.compressedSize) {
            return corrupt("the local header of " + entry.name +
                           " disagrees with the central directory");
        }
    }
    entry.dataOffset = entry.localHeaderOffset + kLocalHeaderSize + nameSize + extraSize;
    if (entry.dataOffset > centralOffset ||
        entry.compressedSize > centralOffset - entry.dataOffset) {
        return corrupt("the data of " + entry.name + " lies outside the entries");
    }
    entry.entryEnd = entry.dataOffset + entry.compressedSize;
    if (descriptor) {
        // The data descriptor (APPNOTE 4.3.9) may or may not start with its signature, and holds
        // 8-byte sizes when the local header has a Zip64 field. Each reading is tried against
        // the central record, so only the layout that matches is taken.
        std::string bytes;
        const std::uint64_t available = std::min<std::uint64_t>(centralOffset - entry.entryEnd, 24);
        if (auto status = read(entry.entryEnd, available, bytes); !status) {
            return status;
        }
        auto matches = [&](std::size_t start, bool wide) {
            const std::size_t size = 4 + (wide ? 16 : 8);
            if (start + size > bytes.size()) {
                return std::size_t{0};
            }
            const char* d = bytes.data() + start;
            const std::uint64_t compressed = wide ? load64(d + 4) : load32(d + 4);
            const std::uint64_t uncompressed = wide ? load64(d + 12) : load32(d + 8);
            return load32(d) == entry.crc32 && compressed == entry.compressedSize &&
                           uncompressed == entry.uncompressedSize
                       ? start + size
                       : std::size_t{0};
        };
        const bool signature =
            bytes.size() >= 4 && load32(bytes.data()) == kDataDescriptorSignature;
        std::size_t length = 0;
        for (bool wide : {localZip64, !localZip64}) {
            if (length == 0 && signature) {
                length = matches(4, wide);
            }
            if (length == 0) {
                length = matches(0, wide);
            }
        }
        if (length == 0) {
            return corrupt("the data descriptor of " + entry.name +
                           " disagrees with the central directory");
        }
        entry.entryEnd += length;
    }
    return Unit{};
}

ZipReader::ZipReader(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ZipReader::~ZipReader() = default;

Result<std::unique_ptr<ZipReader>> ZipReader::open(const std::filesystem::path& path,
                                                   Limits limits) {
    auto impl = std::make_unique<Impl>();
    impl->path = path.string();
    impl->limits = limits;
    // Non-blocking, so that a FIFO that took the file's name cannot hang the open.
    impl->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (impl->fd < 0) {
        return systemError(errno, impl->path);
    }
    struct stat info {};
    if (::fstat(impl->fd, &info) != 0) {
        return systemError(errno, impl->path);
    }
    if (!S_ISREG(info.st_mode)) {
        return Error{ErrorCode::NotAWorkbook, impl->path + " is not a regular file"};
    }
    impl->fileSize = static_cast<std::uint64_t>(info.st_size);
    impl->fileStat = info;
    if (auto status = impl->readEnd(); !status) {
        return status.error();
    }
    return std::unique_ptr<ZipReader>(new ZipReader(std::move(impl)));
}

const std::vector<EntryInfo>& ZipReader::entries() const {
    return m_impl->entries;
}
const std::string& ZipReader::comment() const {
    return m_impl->comment;
}
std::uint64_t ZipReader::fileSize() const {
    return m_impl->fileSize;
}
const struct stat& ZipReader::fileStatus() const {
    return m_impl->fileStat;
}
std::uint64_t ZipReader::centralDirectoryOffset() const {
    return m_impl->centralOffset;
}

std::optional<std::size_t> ZipReader::find(std::string_view partName) const {
    if (!partName.empty() && partName.front() == '/') {
        partName.remove_prefix(1);
    }
    const auto it = m_impl->byName.find(text::asciiLower(partName));
    if (it == m_impl->byName.end()) {
        return std::nullopt;
    }
    return it->second;
}

Status ZipReader::readRaw(std::uint64_t offset, std::uint64_t size, std::string& out) const {
    return m_impl->read(offset, size, out);
}

Status ZipReader::readStream(std::size_t index,
                             const std::function<Status(std::string_view)>& sink) const {
    auto read = readStreamUntil(index, [&sink](std::string_view chunk) -> Result<Reading> {
        if (auto status = sink(chunk); !status) {
            return status.error();
        }
        return Reading::Continue;
    });
    if (!read) {
        return read.error();
    }
    return Unit{};
}

Result<bool>
ZipReader::readStreamUntil(std::size_t index,
                           const std::function<Result<Reading>(std::string_view)>& sink) const {
    if (index >= m_impl->entries.size()) {
        return Error{ErrorCode::NotFound, "entry " + std::to_string(index)};
    }
    const EntryInfo& entry = m_impl->entries[index];
    if (entry.encrypted()) {
        return Error{ErrorCode::PasswordProtected, entry.name + " is encrypted"};
    }
    if (entry.method != 0 && entry.method != 8) {
        return Error{ErrorCode::UnsupportedFormat,
                     entry.name + " uses compression method " + std::to_string(entry.method)};
    }
    if (entry.uncompressedSize > m_impl->limits.maxEntryBytes) {
        return Error{ErrorCode::ResourceLimit, entry.name + " is too large"};
    }
    if (entry.method == 0 && entry.compressedSize != entry.uncompressedSize) {
        return corrupt(entry.name + " is stored with two different sizes");
    }
    if (entry.method == 8 && entry.uncompressedSize / kMaxDeflateRatio > entry.compressedSize + 1) {
        return corrupt(entry.name + " declares a size its data cannot have");
    }

    std::uint32_t crc = 0;
    std::uint64_t produced = 0;
    std::string input;
    bool stopped = false;
    auto deliver = [&](std::string_view bytes) -> Status {
        produced += bytes.size();
        if (produced > entry.uncompressedSize) {
            return corrupt(entry.name + " inflates beyond its declared size");
        }
        crc = crc32(bytes, crc);
        auto answer = sink(bytes);
        if (!answer) {
            return answer.error();
        }
        stopped = answer.value() == Reading::Stop;
        return Unit{};
    };

    std::uint64_t offset = entry.dataOffset;
    const std::uint64_t end = entry.dataOffset + entry.compressedSize;
    if (entry.method == 0) {
        while (offset < end) {
            const std::uint64_t size = std::min<std::uint64_t>(kChunk, end - offset);
            if (auto status = m_impl->read(offset, size, input); !status) {
                return status.error();
            }
            offset += size;
            if (auto status = deliver(input); !status) {
                return status.error();
            }
            if (stopped) {
                return true;
            }
        }
    } else {
        // ISA-L's inflate reads deflate about three times as fast as zlib's, and streams.
        auto state = std::make_unique<inflate_state>();
        isal_inflate_init(state.get());
        // Sized to the entry: a workbook holds many small parts, and filling a full chunk for
        // each one would cost more than inflating it.
        std::string output(static_cast<std::size_t>(std::clamp<std::uint64_t>(
                               entry.uncompressedSize, std::uint64_t{4096}, kChunk)),
                           '\0');
        while (state->block_state != ISAL_BLOCK_FINISH) {
            if (state->avail_in == 0) {
                if (offset >= end) {
                    return corrupt(entry.name + " is cut off");
                }
                const std::uint64_t size = std::min<std::uint64_t>(kChunk, end - offset);
                if (auto status = m_impl->read(offset, size, input); !status) {
                    return status.error();
                }
                offset += size;
                state->next_in = reinterpret_cast<std::uint8_t*>(input.data());
                state->avail_in = static_cast<std::uint32_t>(input.size());
            }
            const std::uint32_t inputBefore = state->avail_in;
            state->next_out = reinterpret_cast<std::uint8_t*>(output.data());
            state->avail_out = static_cast<std::uint32_t>(output.size());
            if (isal_inflate(state.get()) != ISAL_DECOMP_OK) {
                return corrupt(entry.name + " has damaged compressed data");
            }
            const std::size_t got = output.size() - state->avail_out;
            if (got == 0 && state->avail_in == inputBefore &&
                state->block_state != ISAL_BLOCK_FINISH) {
                return corrupt(entry.name + " has damaged compressed data");
            }
            if (got > 0) {
                if (auto status = deliver(std::string_view(output.data(), got)); !status) {
                    return status.error();
                }
                if (stopped) {
                    return true;
                }
            }
        }
    }
    if (produced != entry.uncompressedSize) {
        return corrupt(entry.name + " is shorter than its declared size");
    }
    if (crc != entry.crc32) {
        return corrupt(entry.name + " fails its CRC-32 check");
    }
    return false;
}

Result<std::string> ZipReader::readAll(std::size_t index) const {
    std::string content;
    if (index < m_impl->entries.size()) {
        content.reserve(static_cast<std::size_t>(
            std::min<std::uint64_t>(m_impl->entries[index].uncompressedSize, 64U << 20)));
    }
    auto status = readStream(index, [&content](std::string_view chunk) -> Status {
        content.append(chunk);
        return Unit{};
    });
    if (!status) {
        return status.error();
    }
    return content;
}

} // namespace engine::zip
