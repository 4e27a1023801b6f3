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
/// The zlib level of a rewritten part too large to be held whole (see DeflateStream::forRewrite).
/// On worksheet XML, level 5 takes about half the time of level 6 for output about 1.5% larger
/// (level 4: a third less time again, but 7% to 9% larger).
inline constexpr int kRewriteDeflateLevel = 5;
/// The libdeflate levels of rewritten parts held whole. On worksheet XML, libdeflate's level 4
/// takes a third of the time of zlib's level 6 for output 4% to 8% larger (its level 5: 40% of
/// the time, no larger); on shared strings level 4 gives 10% more and level 5 8% to 11% more,
/// so whole parts written at once (strings, tables) take level 6, 30% faster than zlib's 6 for
/// output within 5% of it.
inline constexpr int kWholeSheetLevel = 4;
inline constexpr int kWholePartLevel = 6;
/// The input of each block when a part is deflated on several threads.
inline constexpr std::size_t kDeflateBlockSize = std::size_t{1} << 20;

/// Raw deflate (RFC 1951) into memory, with the CRC-32 and size of the input.
class DeflateStream {
public:
    /// zlib at `level` (0-9) on the calling thread: the same bytes as zlib's own stream.
    explicit DeflateStream(int level = kDefaultDeflateLevel);
    /// zlib at `level` in blocks of kDeflateBlockSize, deflated on up to `jobs` threads at once
    /// (the calling thread included): each block is primed with the 32 KiB of input before it
    /// and ends with a sync flush, so the blocks join into one stream. jobs 1 is the constructor
    /// above.
    DeflateStream(int level, unsigned jobs);
    /// For a rewritten part of about `sizeHint` bytes: held whole and deflated at once with
    /// libdeflate at `wholeLevel` while the process holds at most kWholeBudget bytes that way;
    /// a part that does not fit is deflated like DeflateStream(kRewriteDeflateLevel, jobs).
    static std::unique_ptr<DeflateStream> forRewrite(unsigned jobs, std::uint64_t sizeHint,
                                                     int wholeLevel = kWholeSheetLevel);
    /// `content`, deflated at once with libdeflate at `level` without being copied.
    /// Errors: ResourceLimit, IoError.
    static Result<std::unique_ptr<DeflateStream>> deflateAll(std::string_view content,
                                                             int level = kWholePartLevel);
    /// What all parts held whole at once may take, so that memory stays bounded whatever the
    /// number of jobs.
    static constexpr std::uint64_t kWholeBudget = std::uint64_t{96} << 20;

    ~DeflateStream();
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    /// Compresses `chunk`. Errors: IoError when the deflater fails, after finish() too.
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
    class Blocks;
    struct Unstarted {};
    explicit DeflateStream(Unstarted);
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
    /// Deflates `content` (with libdeflate at kWholePartLevel), then adds it like addDeflated.
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
