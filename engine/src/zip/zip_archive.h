// Reading a ZIP archive (APPNOTE 6.3.x): the central directory, local headers and entry data,
// stored or deflated, with Zip64 and data descriptors. Writing lives in zip_writer.h.
#pragma once

#include "engine/result.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace engine::zip {

/// One entry as its central directory record describes it.
struct EntryInfo {
    std::string name;         ///< as stored (UTF-8 or CP437 bytes, unchanged)
    std::uint16_t method = 0; ///< 0 stored, 8 deflated; any other: readable() is false
    std::uint16_t flags = 0;  ///< general purpose bit flag
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0, uncompressedSize = 0;
    std::uint16_t dosTime = 0, dosDate = 0;
    bool encrypted() const { return (flags & 1U) != 0; }
    /// True when readAll and readStream can inflate the entry: stored or deflated, not encrypted.
    bool readable() const { return !encrypted() && (method == 0 || method == 8); }

    // Bookkeeping of the reader, used by ZipWriter to copy the entry verbatim.
    std::uint64_t localHeaderOffset = 0; ///< offset of the local file header
    std::uint64_t dataOffset = 0;        ///< offset of the compressed data
    std::uint64_t entryEnd = 0;          ///< offset after the data and its data descriptor
    std::string centralRecord;           ///< the whole central directory record, verbatim
    std::string extraField;              ///< the central record's extra field, verbatim
    std::string comment;                 ///< the central record's file comment, verbatim
    std::uint16_t versionMadeBy = 0, versionNeeded = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
};

/// What a sink of ZipReader::readStreamUntil wants after a chunk.
enum class Reading { Continue, Stop };

/// Bounds on what one archive may hold; an archive beyond them fails with ResourceLimit.
struct Limits {
    std::uint64_t maxEntryBytes = 2ULL << 30;  ///< uncompressed size of one entry
    std::uint64_t maxTotalBytes = 16ULL << 30; ///< uncompressed size of all entries together
    std::uint64_t maxEntries = 100000;         ///< entries in the central directory
};

/// A ZIP archive open for reading. The file stays open until the reader is destroyed; every
/// read goes through positioned reads, so one reader may serve several threads at once.
class ZipReader {
public:
    /// Opens `path` and reads its central directory (the end record is searched from the end of
    /// the file, behind a comment of up to 64 KiB; Zip64 end records and extra fields are
    /// understood). Every local header is checked against its central record, and entries may
    /// not overlap each other or the central directory.
    /// Errors: NotFound, PermissionDenied, IoError; NotAWorkbook when no end record is found;
    /// Corrupt for inconsistent records (detail names the entry); ResourceLimit beyond `limits`.
    static Result<std::unique_ptr<ZipReader>> open(const std::filesystem::path& path,
                                                   Limits limits = {});
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    /// The entries in central directory order.
    const std::vector<EntryInfo>& entries() const;
    /// The index of the entry named `partName`. OPC part names compare ASCII-case-insensitively;
    /// a leading "/" on `partName` is ignored.
    std::optional<std::size_t> find(std::string_view partName) const;
    /// The archive comment of the end record, verbatim.
    const std::string& comment() const;
    /// The size of the archive file in bytes.
    std::uint64_t fileSize() const;
    /// What fstat said of the file this reader has open, taken when it was opened: the file
    /// that is read, whatever took its name since.
    const struct stat& fileStatus() const;
    /// Offset of the central directory; the bytes before it are the entries (and any junk).
    std::uint64_t centralDirectoryOffset() const;

    /// The whole entry, inflated; its size and CRC-32 are checked against the central record.
    /// Errors: PasswordProtected for an encrypted entry, UnsupportedFormat for another method,
    /// Corrupt for bad data or a CRC/size mismatch, ResourceLimit beyond the limits, IoError.
    Result<std::string> readAll(std::size_t index) const;
    /// Streams the inflated entry to `sink` in chunks of at most 256 KiB, checking size and CRC-32
    /// at the end like readAll. Stops at the first non-OK status `sink` returns and returns it.
    Status readStream(std::size_t index, const std::function<Status(std::string_view)>& sink) const;
    /// Like readStream, but `sink` may end the reading early by answering Reading::Stop (size
    /// and CRC-32 are then not checked). Returns true when the sink stopped it, false when the
    /// entry was read to its end and checked.
    Result<bool>
    readStreamUntil(std::size_t index,
                    const std::function<Result<Reading>(std::string_view)>& sink) const;
    /// Reads `size` raw bytes of the archive at `offset` (used to copy entries verbatim).
    Status readRaw(std::uint64_t offset, std::uint64_t size, std::string& out) const;

private:
    struct Impl;
    explicit ZipReader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

/// The CRC-32 (ISO 3309, as ZIP uses it) of `data`, continuing from `crc`.
std::uint32_t crc32(std::string_view data, std::uint32_t crc = 0);

} // namespace engine::zip
