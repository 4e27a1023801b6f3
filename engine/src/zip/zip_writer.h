// Writing a new ZIP archive from an existing one: unchanged entries copied as they are,
// changed entries deflated anew. Reading lives in zip_archive.h.
#pragma once

#include "zip/zip_archive.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine::zip {

/// Where ZipWriter puts the bytes of the new archive: package::OutputFile for a file, or a
/// string in memory.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    /// Appends `bytes`. Errors: DiskFull, IoError, ...
    virtual Status write(std::string_view bytes) = 0;
    /// Bytes written so far.
    virtual std::uint64_t position() const = 0;
};

/// A ByteSink that keeps the bytes in memory.
class StringSink : public ByteSink {
public:
    Status write(std::string_view bytes) override;
    std::uint64_t position() const override { return m_bytes.size(); }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

/// zlib's default level, the one Excel's files are usually written at.
inline constexpr int kDefaultDeflateLevel = 6;
/// The level rewritten workbook parts are deflated at. On worksheet XML, level 5 takes about
/// half the time of level 6 for output about 1.5% larger (level 4: a third less time again,
/// but 7% to 9% larger): the rewriting is bound by deflating, and a few percent of size is
/// worth half of that time.
inline constexpr int kRewriteDeflateLevel = 5;

/// Raw deflate (RFC 1951) into memory at the given zlib level (0-9), with the CRC-32 and size
/// of the input.
class DeflateStream {
public:
    explicit DeflateStream(int level = kDefaultDeflateLevel);
    ~DeflateStream();
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    /// Compresses `chunk`. Errors: IoError when zlib fails, ResourceLimit after finish().
    Status write(std::string_view chunk);
    /// Ends the stream; the compressed data is complete afterwards.
    Status finish();
    /// The compressed data, in the order written: the blocks end to end.
    const std::vector<std::string>& compressedBlocks() const;
    std::uint64_t compressedSize() const;
    std::uint32_t crc32() const;
    std::uint64_t uncompressedSize() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Writes a new archive to `out`, entry by entry, then the central directory with finish().
/// Unchanged entries are copied as raw bytes (local header, data and data descriptor), which a
/// general ZIP library does not promise: libzip, for one, rebuilds local headers and drops data
/// descriptors, and the program promises that every untouched entry stays byte-for-byte as it was.
class ZipWriter {
public:
    explicit ZipWriter(ByteSink& out);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    /// Copies entry `index` of `source` verbatim: local header, data and data descriptor; its
    /// central record is later written verbatim except for the local header offset (and Zip64
    /// when the new offset needs it). Errors: IoError, Corrupt, and whatever the sink returns.
    Status copyRaw(const ZipReader& source, std::size_t index);
    /// Adds an entry with the name, time, flags (bit 3 cleared: sizes are in the local header),
    /// attributes, comment and extra fields of `like` (Zip64 extra fields are dropped and
    /// rewritten when needed), compressed with method 8 from `data`, which must be finished.
    Status addDeflated(const EntryInfo& like, const DeflateStream& data);
    /// Deflates `content` at kRewriteDeflateLevel, then adds it like addDeflated.
    Status addBytes(const EntryInfo& like, std::string_view content);
    /// Writes the central directory in the order the entries were added, the end record (with
    /// Zip64 end records only when counts or offsets need them) and the archive comment of
    /// `source`. No entry may be added afterwards.
    Status finish(const ZipReader& source);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace engine::zip
