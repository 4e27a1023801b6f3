// Writing a new ZIP archive: verbatim copies of unchanged entries, freshly deflated changed
// ones, and a central directory that uses Zip64 only where a value does not fit.
#include "zip/zip_writer.h"

#include "zip/zip_format.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
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

// A zlib raw deflate stream (APPNOTE 4.4.5: ZIP entries hold no zlib header) whose output is
// kept in blocks that are never moved: growing one string would copy all of it each time its
// capacity doubled, which for a large sheet cost more than a tenth of a save.
class ZlibOutput {
public:
    explicit ZlibOutput(int level) {
        m_initialised =
            deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~ZlibOutput() {
        if (m_initialised) {
            deflateEnd(&m_stream);
        }
    }
    ZlibOutput(const ZlibOutput&) = delete;
    ZlibOutput& operator=(const ZlibOutput&) = delete;

    Status primeWith(std::string_view dictionary) {
        if (!m_initialised) {
            return Error{ErrorCode::IoError, "zlib could not start deflating"};
        }
        if (!dictionary.empty() &&
            deflateSetDictionary(&m_stream, reinterpret_cast<const Bytef*>(dictionary.data()),
                                 static_cast<uInt>(dictionary.size())) != Z_OK) {
            return Error{ErrorCode::IoError, "zlib could not take a dictionary"};
        }
        return Unit{};
    }
    // Deflates `chunk` with `flush` (Z_NO_FLUSH, Z_SYNC_FLUSH or Z_FINISH).
    Status deflateChunk(std::string_view chunk, int flush) {
        if (!m_initialised) {
            return Error{ErrorCode::IoError, "zlib could not start deflating"};
        }
        do {
            const auto size = static_cast<uInt>(std::min<std::size_t>(chunk.size(), 1U << 30));
            m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
            m_stream.avail_in = size;
            chunk.remove_prefix(size);
            const int step = chunk.empty() ? flush : Z_NO_FLUSH;
            for (;;) {
                m_stream.next_out = reinterpret_cast<Bytef*>(m_buffer.data());
                m_stream.avail_out = static_cast<uInt>(m_buffer.size());
                const int result = deflate(&m_stream, step);
                if (result == Z_STREAM_ERROR) {
                    return Error{ErrorCode::IoError, "zlib failed while deflating"};
                }
                keep(m_buffer.data(), m_buffer.size() - m_stream.avail_out);
                if (step == Z_FINISH ? result == Z_STREAM_END
                                     : m_stream.avail_in == 0 && m_stream.avail_out != 0) {
                    break;
                }
            }
        } while (!chunk.empty());
        return Unit{};
    }
    std::vector<std::string>& blocks() { return m_blocks; }
    std::uint64_t size() const { return m_size; }

private:
    void keep(const char* data, std::size_t n) {
        m_size += n;
        while (n != 0) {
            if (m_blocks.empty() || m_blocks.back().size() == m_blocks.back().capacity()) {
                const std::size_t previous = m_blocks.empty() ? 0 : m_blocks.back().capacity();
                m_blocks.emplace_back();
                m_blocks.back().reserve(std::clamp<std::size_t>(2 * previous, std::size_t{16} << 10,
                                                                std::size_t{4} << 20));
            }
            std::string& block = m_blocks.back();
            const std::size_t room = std::min(n, block.capacity() - block.size());
            block.append(data, room);
            data += room;
            n -= room;
        }
    }

    z_stream m_stream{};
    bool m_initialised = false;
    std::vector<std::string> m_blocks;
    std::uint64_t m_size = 0;
    std::array<char, std::size_t{64} * 1024> m_buffer{};
};

// Gives the memory of `s` back: assigning an empty string would keep its capacity.
void freeString(std::string& s) {
    std::string().swap(s);
}

// The bytes that parts held whole take in the whole process (DeflateStream::kWholeBudget).
std::atomic<std::uint64_t> g_heldWhole{0};

bool reserveWhole(std::uint64_t bytes) {
    if (g_heldWhole.fetch_add(bytes) + bytes <= DeflateStream::kWholeBudget) {
        return true;
    }
    g_heldWhole.fetch_sub(bytes);
    return false;
}

// One libdeflate compressor per thread and level: making one costs more than deflating a
// small part.
libdeflate_compressor* compressorFor(int level) {
    struct Compressors {
        std::array<libdeflate_compressor*, 13> byLevel{};
        ~Compressors() {
            for (auto* c : byLevel) {
                if (c != nullptr) {
                    libdeflate_free_compressor(c);
                }
            }
        }
    };
    thread_local Compressors compressors;
    auto*& c = compressors.byLevel.at(static_cast<std::size_t>(level));
    if (c == nullptr) {
        c = libdeflate_alloc_compressor(level);
    }
    return c;
}

// Deflates `input` at once with libdeflate into `out`.
Status deflateWhole(std::string_view input, int level, std::string& out) {
    libdeflate_compressor* compressor = compressorFor(level);
    if (compressor == nullptr) {
        return Error{ErrorCode::ResourceLimit, "no memory to start deflating"};
    }
    // XML shrinks to a fifth or less; the bound, about the input's size, only when it does not.
    for (const std::size_t room :
         {input.size() / 2 + 1024, libdeflate_deflate_compress_bound(compressor, input.size())}) {
        out.resize(room);
        const std::size_t n = libdeflate_deflate_compress(compressor, input.data(), input.size(),
                                                          out.data(), out.size());
        if (n != 0) {
            out.resize(n);
            out.shrink_to_fit();
            return Unit{};
        }
    }
    return Error{ErrorCode::IoError, "libdeflate failed while deflating"};
}

} // namespace

Status StringSink::write(std::string_view bytes) {
    m_bytes.append(bytes);
    return Unit{};
}

// Blocks of one part deflated on several threads. Each block is deflated on its own, primed with
// the 32 KiB of input before it (deflate looks back no further, RFC 1951 3.2.5) and ended with a
// sync flush, which aligns it to a byte; the last block ends the stream. Joined end to end they
// form one stream, as parallel gzip tools make them.
class DeflateStream::Blocks {
public:
    Blocks(int level, unsigned jobs) : m_level(level), m_jobs(std::max(1U, jobs)) {}
    ~Blocks() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_helpers.clear(); // joins them
    }
    Blocks(const Blocks&) = delete;
    Blocks& operator=(const Blocks&) = delete;

    Status write(std::string_view chunk) {
        while (!chunk.empty()) {
            const std::size_t room = kDeflateBlockSize - m_current.size();
            const std::size_t take = std::min(room, chunk.size());
            m_current.append(chunk.substr(0, take));
            chunk.remove_prefix(take);
            if (m_current.size() == kDeflateBlockSize) {
                if (auto status = submit(false); !status) {
                    return status;
                }
            }
        }
        return Unit{};
    }

    // Deflates what is left as the last block, waits for every block and moves their output
    // to `blocks`.
    Status finish(std::vector<std::string>& blocks, std::uint64_t& size) {
        if (auto status = submit(true); !status) {
            return status;
        }
        while (runOne()) {
        }
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return m_finished == m_jobsMade.size(); });
        for (auto& job : m_jobsMade) {
            if (!job->status) {
                return job->status;
            }
            size += job->outputSize;
            for (auto& b : job->output) {
                blocks.push_back(std::move(b));
            }
        }
        return Unit{};
    }

private:
    struct Job {
        std::string input, dictionary;
        bool last = false;
        std::vector<std::string> output;
        std::uint64_t outputSize = 0;
        Status status = Unit{};
    };

    Status submit(bool last) {
        auto job = std::make_unique<Job>();
        job->dictionary = m_previousTail;
        constexpr std::size_t kWindow = std::size_t{32} << 10;
        m_previousTail.assign(m_current, m_current.size() - std::min(kWindow, m_current.size()),
                              kWindow);
        job->input = std::move(m_current);
        job->last = last;
        m_current.clear();
        m_current.reserve(last ? 0 : kDeflateBlockSize);
        if (m_jobs == 1) {
            deflateJob(*job);
            m_jobsMade.push_back(std::move(job));
            ++m_finished;
            return m_jobsMade.back()->status;
        }
        if (m_helpers.empty()) {
            for (unsigned i = 1; i < m_jobs; ++i) {
                m_helpers.emplace_back([this] { helperLoop(); });
            }
        }
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(job.get());
            m_jobsMade.push_back(std::move(job));
        }
        m_wake.notify_one();
        // Memory stays bounded: with more blocks waiting than threads, this thread deflates one
        // too instead of reading on.
        while (pendingCount() > m_jobs && runOne()) {
        }
        return Unit{};
    }

    std::size_t pendingCount() {
        std::lock_guard lock(m_mutex);
        return m_pending.size();
    }

    // Deflates one waiting block on this thread; false when none was waiting.
    bool runOne() {
        Job* job = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.empty()) {
                return false;
            }
            job = m_pending.front();
            m_pending.pop_front();
        }
        deflateJob(*job);
        {
            std::lock_guard lock(m_mutex);
            ++m_finished;
        }
        m_done.notify_all();
        return true;
    }

    void helperLoop() {
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_stopping || !m_pending.empty(); });
                if (m_stopping) {
                    return;
                }
            }
            runOne();
        }
    }

    void deflateJob(Job& job) const {
        ZlibOutput out(m_level);
        job.status = out.primeWith(job.dictionary);
        if (job.status) {
            job.status = out.deflateChunk(job.input, job.last ? Z_FINISH : Z_SYNC_FLUSH);
        }
        job.outputSize = out.size();
        job.output = std::move(out.blocks());
        freeString(job.input);
        freeString(job.dictionary);
    }

    int m_level;
    unsigned m_jobs;
    std::string m_current, m_previousTail;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::deque<Job*> m_pending;
    std::vector<std::unique_ptr<Job>> m_jobsMade;
    std::size_t m_finished = 0;
    bool m_stopping = false;
    std::vector<std::jthread> m_helpers;
};

struct DeflateStream::Impl {
    int level = kDefaultDeflateLevel;
    unsigned jobs = 1;
    // Held whole until finish(): the input and the bytes reserved for it (0 when not held).
    bool whole = false;
    int wholeLevel = kWholeSheetLevel;
    std::string input;
    std::uint64_t reserved = 0;
    // Otherwise streamed through zlib on this thread, or in blocks on several.
    std::unique_ptr<ZlibOutput> stream;
    std::unique_ptr<Blocks> blocks;

    bool finished = false;
    std::vector<std::string> output;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;

    ~Impl() { release(); }
    void release() {
        g_heldWhole.fetch_sub(reserved);
        reserved = 0;
    }
    void startStreaming() {
        if (jobs > 1) {
            blocks = std::make_unique<Blocks>(level, jobs);
        } else {
            stream = std::make_unique<ZlibOutput>(level);
        }
    }
    Status streamChunk(std::string_view chunk) {
        return blocks ? blocks->write(chunk) : stream->deflateChunk(chunk, Z_NO_FLUSH);
    }
    // A part that outgrew what was reserved for it: more if the budget allows, else streamed.
    Status grow(std::size_t needed) {
        const std::uint64_t more = std::max<std::uint64_t>(needed, input.size() / 2);
        if (reserveWhole(more)) {
            reserved += more;
            input.reserve(reserved);
            return Unit{};
        }
        whole = false;
        startStreaming();
        auto status = streamChunk(input);
        freeString(input);
        release();
        return status;
    }
};

DeflateStream::DeflateStream(Unstarted) : m_impl(std::make_unique<Impl>()) {}

DeflateStream::DeflateStream(int level) : DeflateStream(level, 1) {}

DeflateStream::DeflateStream(int level, unsigned jobs) : m_impl(std::make_unique<Impl>()) {
    m_impl->level = level;
    m_impl->jobs = std::max(1U, jobs);
    m_impl->startStreaming();
}

std::unique_ptr<DeflateStream> DeflateStream::forRewrite(unsigned jobs, std::uint64_t sizeHint,
                                                         int wholeLevel) {
    std::unique_ptr<DeflateStream> s(new DeflateStream(Unstarted{}));
    Impl& impl = *s->m_impl;
    impl.level = kRewriteDeflateLevel;
    impl.jobs = std::max(1U, jobs);
    impl.wholeLevel = wholeLevel;
    // A rewritten part is about as large as the part it replaces.
    const std::uint64_t want = sizeHint + sizeHint / 16 + 4096;
    if (reserveWhole(want)) {
        impl.whole = true;
        impl.reserved = want;
        impl.input.reserve(want);
    } else {
        impl.startStreaming();
    }
    return s;
}

Result<std::unique_ptr<DeflateStream>> DeflateStream::deflateAll(std::string_view content,
                                                                 int level) {
    std::unique_ptr<DeflateStream> s(new DeflateStream(Unstarted{}));
    Impl& impl = *s->m_impl;
    impl.crc = static_cast<std::uint32_t>(libdeflate_crc32(0, content.data(), content.size()));
    impl.size = content.size();
    impl.output.emplace_back();
    if (auto status = deflateWhole(content, level, impl.output.back()); !status) {
        return status.error();
    }
    impl.compressedSize = impl.output.back().size();
    impl.finished = true;
    return s;
}

DeflateStream::~DeflateStream() = default;

Status DeflateStream::write(std::string_view chunk) {
    Impl& impl = *m_impl;
    if (impl.finished) {
        return Error{ErrorCode::IoError, "data written after the end of a deflate stream"};
    }
    impl.crc = static_cast<std::uint32_t>(libdeflate_crc32(impl.crc, chunk.data(), chunk.size()));
    impl.size += chunk.size();
    if (impl.whole) {
        if (impl.input.size() + chunk.size() > impl.reserved) {
            if (auto status = impl.grow(chunk.size()); !status) {
                return status;
            }
        }
        if (impl.whole) {
            impl.input.append(chunk);
            return Unit{};
        }
    }
    return impl.streamChunk(chunk);
}

Status DeflateStream::finish() {
    Impl& impl = *m_impl;
    if (impl.finished) {
        return Unit{};
    }
    Status status = Unit{};
    if (impl.whole) {
        impl.output.emplace_back();
        status = deflateWhole(impl.input, impl.wholeLevel, impl.output.back());
        impl.compressedSize = impl.output.back().size();
        freeString(impl.input);
        impl.release();
    } else if (impl.blocks) {
        status = impl.blocks->finish(impl.output, impl.compressedSize);
        impl.blocks.reset();
    } else {
        status = impl.stream->deflateChunk({}, Z_FINISH);
        impl.compressedSize = impl.stream->size();
        impl.output = std::move(impl.stream->blocks());
        impl.stream.reset();
    }
    if (!status) {
        return status;
    }
    impl.finished = true;
    return Unit{};
}

const std::vector<std::string>& DeflateStream::compressedBlocks() const {
    return m_impl->output;
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
    auto stream = DeflateStream::deflateAll(content);
    if (!stream) {
        return stream.error();
    }
    return addDeflated(like, *stream.value());
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
