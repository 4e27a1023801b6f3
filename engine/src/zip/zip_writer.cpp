// Writing a new ZIP archive: verbatim copies of unchanged entries, freshly deflated changed
// ones, and a central directory that uses Zip64 only where a value does not fit.
#include "zip/zip_writer.h"

#include "zip/zip_format.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <vector>

namespace engine::zip {

using namespace format;

namespace {

constexpr std::uint64_t kCopyChunk = 1U << 20;
constexpr std::uint16_t kVersionDeflate = 20; // APPNOTE 4.4.3.2: deflate
constexpr std::uint16_t kVersionZip64 = 45;   // APPNOTE 4.4.3.2: Zip64

// What a central record needs besides its fixed fields.
struct CentralFields {
    std::uint16_t versionMadeBy, versionNeeded, flags, method, dosTime, dosDate;
    std::uint32_t crc;
    std::uint64_t compressedSize, uncompressedSize, offset;
    std::uint16_t internalAttributes;
    std::uint32_t externalAttributes;
    std::string_view name, extraWithoutZip64, comment;
};

// A central directory record (APPNOTE 4.3.12) with a Zip64 field holding just the values that
// do not fit in 32 bits.
std::string buildCentralRecord(const CentralFields& f) {
    std::string zip64;
    if (f.uncompressedSize >= kMax32) {
        append64(zip64, f.uncompressedSize);
    }
    if (f.compressedSize >= kMax32) {
        append64(zip64, f.compressedSize);
    }
    if (f.offset >= kMax32) {
        append64(zip64, f.offset);
    }
    std::string extra;
    if (!zip64.empty()) {
        append16(extra, kZip64ExtraId);
        append16(extra, static_cast<std::uint16_t>(zip64.size()));
        extra += zip64;
    }
    extra.append(f.extraWithoutZip64);
    std::string r;
    append32(r, kCentralHeaderSignature);
    append16(r, f.versionMadeBy);
    append16(r, zip64.empty() ? f.versionNeeded : std::max(f.versionNeeded, kVersionZip64));
    append16(r, f.flags);
    append16(r, f.method);
    append16(r, f.dosTime);
    append16(r, f.dosDate);
    append32(r, f.crc);
    append32(r, static_cast<std::uint32_t>(std::min<std::uint64_t>(f.compressedSize, kMax32)));
    append32(r, static_cast<std::uint32_t>(std::min<std::uint64_t>(f.uncompressedSize, kMax32)));
    append16(r, static_cast<std::uint16_t>(f.name.size()));
    append16(r, static_cast<std::uint16_t>(extra.size()));
    append16(r, static_cast<std::uint16_t>(f.comment.size()));
    append16(r, 0); // disk number start
    append16(r, f.internalAttributes);
    append32(r, f.externalAttributes);
    append32(r, static_cast<std::uint32_t>(std::min<std::uint64_t>(f.offset, kMax32)));
    r.append(f.name);
    r += extra;
    r.append(f.comment);
    return r;
}

} // namespace

Status StringSink::write(std::string_view bytes) {
    m_bytes.append(bytes);
    return Unit{};
}

struct DeflateStream::Impl {
    z_stream stream{};
    bool initialised = false;
    bool finished = false;
    // The output in blocks that are never moved: growing one string would copy all of it each
    // time its capacity doubled, which for a large sheet cost more than a tenth of a save.
    std::vector<std::string> blocks;
    std::uint64_t compressedSize = 0;
    std::array<char, std::size_t{64} * 1024> buffer{};

    void keep(const char* data, std::size_t n) {
        compressedSize += n;
        while (n != 0) {
            if (blocks.empty() || blocks.back().size() == blocks.back().capacity()) {
                const std::size_t previous = blocks.empty() ? 0 : blocks.back().capacity();
                blocks.emplace_back();
                blocks.back().reserve(std::clamp<std::size_t>(2 * previous, std::size_t{64} << 10,
                                                              std::size_t{4} << 20));
            }
            std::string& block = blocks.back();
            const std::size_t room = std::min(n, block.capacity() - block.size());
            block.append(data, room);
            data += room;
            n -= room;
        }
    }
    std::uint32_t crc = 0;
    std::uint64_t size = 0;

    Status run(int flush) {
        for (;;) {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = static_cast<uInt>(buffer.size());
            const int result = deflate(&stream, flush);
            if (result == Z_STREAM_ERROR) {
                return Error{ErrorCode::IoError, "zlib failed while deflating"};
            }
            keep(buffer.data(), buffer.size() - stream.avail_out);
            if (flush == Z_FINISH ? result == Z_STREAM_END
                                  : stream.avail_in == 0 && stream.avail_out != 0) {
                return Unit{};
            }
        }
    }
};

DeflateStream::DeflateStream(int level) : m_impl(std::make_unique<Impl>()) {
    // Raw deflate: negative window bits, as ZIP entries hold no zlib header (APPNOTE 4.4.5).
    m_impl->initialised =
        deflateInit2(&m_impl->stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

DeflateStream::~DeflateStream() {
    if (m_impl->initialised) {
        deflateEnd(&m_impl->stream);
    }
}

Status DeflateStream::write(std::string_view chunk) {
    if (!m_impl->initialised) {
        return Error{ErrorCode::IoError, "zlib could not start deflating"};
    }
    if (m_impl->finished) {
        return Error{ErrorCode::IoError, "data written after the end of a deflate stream"};
    }
    m_impl->crc = zip::crc32(chunk, m_impl->crc);
    m_impl->size += chunk.size();
    while (!chunk.empty()) {
        const auto size = static_cast<uInt>(std::min<std::size_t>(chunk.size(), 1U << 30));
        m_impl->stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
        m_impl->stream.avail_in = size;
        if (auto status = m_impl->run(Z_NO_FLUSH); !status) {
            return status;
        }
        chunk.remove_prefix(size);
    }
    return Unit{};
}

Status DeflateStream::finish() {
    if (!m_impl->initialised) {
        return Error{ErrorCode::IoError, "zlib could not start deflating"};
    }
    if (m_impl->finished) {
        return Unit{};
    }
    m_impl->stream.next_in = nullptr;
    m_impl->stream.avail_in = 0;
    if (auto status = m_impl->run(Z_FINISH); !status) {
        return status;
    }
    m_impl->finished = true;
    return Unit{};
}

const std::vector<std::string>& DeflateStream::compressedBlocks() const {
    return m_impl->blocks;
}
std::uint64_t DeflateStream::compressedSize() const {
    return m_impl->compressedSize;
}
std::uint32_t DeflateStream::crc32() const {
    return m_impl->crc;
}
std::uint64_t DeflateStream::uncompressedSize() const {
    return m_impl->size;
}

struct ZipWriter::Impl {
    ByteSink& out;
    std::vector<std::string> central;
    bool finished = false;

    Status checkOpen() const {
        if (finished) {
            return Error{ErrorCode::IoError, "an entry was added after the end of the archive"};
        }
        return Unit{};
    }
};

ZipWriter::ZipWriter(ByteSink& out) : m_impl(std::make_unique<Impl>(Impl{out, {}, false})) {}
ZipWriter::~ZipWriter() = default;

Status ZipWriter::copyRaw(const ZipReader& source, std::size_t index) {
    if (auto status = m_impl->checkOpen(); !status) {
        return status;
    }
    if (index >= source.entries().size()) {
        return Error{ErrorCode::NotFound, "entry " + std::to_string(index)};
    }
    const EntryInfo& e = source.entries()[index];
    const std::uint64_t offset = m_impl->out.position();
    // Unchanged entries are copied as compressed bytes, headers and descriptors included:
    // re-deflating them or rebuilding their headers would change bytes no replacement asked for.
    std::string chunk;
    for (std::uint64_t at = e.localHeaderOffset; at < e.entryEnd;) {
        const std::uint64_t size = std::min<std::uint64_t>(kCopyChunk, e.entryEnd - at);
        if (auto status = source.readRaw(at, size, chunk); !status) {
            return status;
        }
        if (auto status = m_impl->out.write(chunk); !status) {
            return status;
        }
        at += size;
    }
    std::string record = e.centralRecord;
    const bool wasZip64Offset = load32(record.data() + 42) == kMax32;
    if (!wasZip64Offset && offset < kMax32) {
        store32(record.data() + 42, static_cast<std::uint32_t>(offset));
    } else if (offset != e.localHeaderOffset) {
        record = buildCentralRecord({e.versionMadeBy, e.versionNeeded, e.flags, e.method, e.dosTime,
                                     e.dosDate, e.crc32, e.compressedSize, e.uncompressedSize,
                                     offset, e.internalAttributes, e.externalAttributes, e.name,
                                     withoutExtraField(e.extraField, kZip64ExtraId), e.comment});
    }
    m_impl->central.push_back(std::move(record));
    return Unit{};
}

Status ZipWriter::addDeflated(const EntryInfo& like, const DeflateStream& data) {
    if (auto status = m_impl->checkOpen(); !status) {
        return status;
    }
    const std::uint64_t offset = m_impl->out.position();
    // Sizes go into the local header, so no data descriptor; the data is not encrypted.
    const auto flags = static_cast<std::uint16_t>(
        like.flags & ~(kFlagDataDescriptor | kFlagEncrypted | kFlagStrongEncryption));
    const std::string extra = withoutExtraField(like.extraField, kZip64ExtraId);
    const std::uint64_t compressed = data.compressedSize();
    const std::uint64_t uncompressed = data.uncompressedSize();
    const bool zip64 = compressed >= kMax32 || uncompressed >= kMax32;
    const std::uint16_t versionNeeded =
        std::max<std::uint16_t>(like.versionNeeded, zip64 ? kVersionZip64 : kVersionDeflate);

    std::string local;
    append32(local, kLocalHeaderSignature);
    append16(local, versionNeeded);
    append16(local, flags);
    append16(local, 8);
    append16(local, like.dosTime);
    append16(local, like.dosDate);
    append32(local, data.crc32());
    append32(local, zip64 ? kMax32 : static_cast<std::uint32_t>(compressed));
    append32(local, zip64 ? kMax32 : static_cast<std::uint32_t>(uncompressed));
    append16(local, static_cast<std::uint16_t>(like.name.size()));
    append16(local, static_cast<std::uint16_t>(extra.size() + (zip64 ? 20 : 0)));
    local += like.name;
    if (zip64) {
        // A local Zip64 field holds both sizes (APPNOTE 4.5.3).
        append16(local, kZip64ExtraId);
        append16(local, 16);
        append64(local, uncompressed);
        append64(local, compressed);
    }
    local += extra;
    if (local.size() - kLocalHeaderSize - like.name.size() > kMax16) {
        return Error{ErrorCode::ResourceLimit,
                     "the extra fields of " + like.name + " are too long"};
    }
    if (auto status = m_impl->out.write(local); !status) {
        return status;
    }
    for (const std::string& block : data.compressedBlocks()) {
        if (auto status = m_impl->out.write(block); !status) {
            return status;
        }
    }
    m_impl->central.push_back(
        buildCentralRecord({like.versionMadeBy, versionNeeded, flags, 8, like.dosTime, like.dosDate,
                            data.crc32(), compressed, uncompressed, offset, like.internalAttributes,
                            like.externalAttributes, like.name, extra, like.comment}));
    return Unit{};
}

Status ZipWriter::addBytes(const EntryInfo& like, std::string_view content) {
    DeflateStream stream(kRewriteDeflateLevel);
    if (auto status = stream.write(content); !status) {
        return status;
    }
    if (auto status = stream.finish(); !status) {
        return status;
    }
    return addDeflated(like, stream);
}

Status ZipWriter::finish(const ZipReader& source) {
    if (auto status = m_impl->checkOpen(); !status) {
        return status;
    }
    m_impl->finished = true;
    const std::uint64_t start = m_impl->out.position();
    for (const auto& record : m_impl->central) {
        if (auto status = m_impl->out.write(record); !status) {
            return status;
        }
    }
    const std::uint64_t size = m_impl->out.position() - start;
    const std::uint64_t count = m_impl->central.size();
    const bool zip64 = count >= kMax16 || start >= kMax32 || size >= kMax32;

    std::string end;
    if (zip64) {
        const std::uint64_t zip64Offset = m_impl->out.position();
        append32(end, kZip64EndSignature); // APPNOTE 4.3.14
        append64(end, kZip64EndSize - 12);
        append16(end, kVersionZip64);
        append16(end, kVersionZip64);
        append32(end, 0);
        append32(end, 0);
        append64(end, count);
        append64(end, count);
        append64(end, size);
        append64(end, start);
        append32(end, kZip64LocatorSignature); // APPNOTE 4.3.15
        append32(end, 0);
        append64(end, zip64Offset);
        append32(end, 1);
    }
    const std::string& comment = source.comment();
    append32(end, kEndSignature); // APPNOTE 4.3.16
    append16(end, 0);
    append16(end, 0);
    append16(end, static_cast<std::uint16_t>(std::min<std::uint64_t>(count, kMax16)));
    append16(end, static_cast<std::uint16_t>(std::min<std::uint64_t>(count, kMax16)));
    append32(end, static_cast<std::uint32_t>(std::min<std::uint64_t>(size, kMax32)));
    append32(end, static_cast<std::uint32_t>(std::min<std::uint64_t>(start, kMax32)));
    append16(end, static_cast<std::uint16_t>(comment.size()));
    end += comment;
    return m_impl->out.write(end);
}

} // namespace engine::zip
