// The ZIP writer: verbatim copies of unchanged entries, freshly deflated replacements, and end
// records with Zip64 only where needed; results checked by our reader and by Info-ZIP's unzip.
#include "zip/zip_writer.h"

#include "test_archive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

using namespace engine;
using namespace engine::zip;
using namespace engine::zip::test_support;

namespace {

std::string sheetXml(const std::string& word, int rows) {
    std::string xml = "<worksheet><sheetData>";
    for (int r = 1; r <= rows; ++r) {
        xml += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) +
               R"(" t="inlineStr"><is><t>)" + word + " " + std::to_string(r * 31 % 97) +
               "</t></is></c></row>";
    }
    return xml + "</sheetData></worksheet>";
}

std::unique_ptr<ZipReader> openArchive(const std::filesystem::path& path) {
    auto reader = ZipReader::open(path);
    EXPECT_TRUE(reader) << reader.error().detail;
    return reader ? std::move(reader.value()) : nullptr;
}

// Copies every entry of `source` verbatim except `replaced`, which gets `content`.
std::string rewrite(const ZipReader& source, std::optional<std::size_t> replaced,
                    const std::string& content) {
    StringSink sink;
    ZipWriter writer(sink);
    for (std::size_t i = 0; i < source.entries().size(); ++i) {
        auto status = i == replaced ? writer.addBytes(source.entries()[i], content)
                                    : writer.copyRaw(source, i);
        EXPECT_TRUE(status) << status.error().detail;
    }
    EXPECT_TRUE(writer.finish(source));
    return sink.bytes();
}

// `unzip -t` tests every entry's CRC with an independent implementation.
bool unzipAccepts(const std::filesystem::path& path) {
    const std::string command = "unzip -tqq '" + path.string() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const std::vector<TestEntry> kEntries{
    {"[Content_Types].xml", "<Types/>", 8, Descriptor::None},
    {"xl/sharedStrings.xml", sheetXml("alpha", 2000), 8, Descriptor::WithSignature},
    {"xl/worksheets/sheet1.xml", sheetXml("beta", 3000), 8, Descriptor::WithoutSignature},
    {"docProps/thumbnail.jpeg", std::string(3000, 'j'), 0, Descriptor::None, true},
    {"xl/worksheets/sheet2.xml", sheetXml("gamma", 10), 8, Descriptor::None, false, 0x0800,
     std::string("\x55\x54\x05\x00\x01\x12\x34\x56\x78", 9)}};

TEST(ZipWriter, CopyingEveryEntryGivesTheSameBytes) {
    TempFolder folder;
    const BuiltArchive archive = buildArchive(kEntries, "archive comment");
    writeFile(folder / "in.zip", archive.bytes);
    auto source = openArchive(folder / "in.zip");
    ASSERT_TRUE(source);
    const std::string copy = rewrite(*source, std::nullopt, "");
    EXPECT_TRUE(copy == archive.bytes);
}

class ZipWriterReplace : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ZipWriterReplace, ReplacingOneEntryKeepsTheOthersBytes) {
    const std::size_t replaced = GetParam();
    TempFolder folder;
    const BuiltArchive archive = buildArchive(kEntries, "kept comment");
    writeFile(folder / "in.zip", archive.bytes);
    auto source = openArchive(folder / "in.zip");
    ASSERT_TRUE(source);
    const std::string newContent = sheetXml("omega", 2500);
    writeFile(folder / "out.zip", rewrite(*source, replaced, newContent));

    auto result = openArchive(folder / "out.zip");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->comment(), "kept comment");
    ASSERT_EQ(result->entries().size(), kEntries.size());
    for (std::size_t i = 0; i < kEntries.size(); ++i) {
        const EntryInfo& before = source->entries()[i];
        const EntryInfo& after = result->entries()[i];
        EXPECT_EQ(after.name, before.name);
        EXPECT_EQ(after.dosTime, before.dosTime);
        EXPECT_EQ(after.dosDate, before.dosDate);
        EXPECT_EQ(after.externalAttributes, before.externalAttributes);
        auto content = result->readAll(i);
        ASSERT_TRUE(content) << after.name << ": " << content.error().detail;
        if (i == replaced) {
            EXPECT_TRUE(content.value() == newContent);
            EXPECT_EQ(after.method, 8);
            EXPECT_EQ(after.flags & 0x0808, before.flags & 0x0800) << "bit 3 cleared, UTF-8 kept";
            continue;
        }
        std::string beforeBytes;
        std::string afterBytes;
        ASSERT_TRUE(source->readRaw(before.localHeaderOffset,
                                    before.entryEnd - before.localHeaderOffset, beforeBytes));
        ASSERT_TRUE(result->readRaw(after.localHeaderOffset,
                                    after.entryEnd - after.localHeaderOffset, afterBytes));
        EXPECT_TRUE(afterBytes == beforeBytes) << after.name << " changed";
    }
    EXPECT_TRUE(unzipAccepts(folder / "out.zip"));
}

INSTANTIATE_TEST_SUITE_P(EveryPosition, ZipWriterReplace, ::testing::Range<std::size_t>(0, 5));

TEST(ZipWriter, ReplacementKeepsItsExtraFieldsButNotAStaleZip64Field) {
    TempFolder folder;
    writeFile(folder / "in.zip", buildArchive(kEntries).bytes);
    auto source = openArchive(folder / "in.zip");
    ASSERT_TRUE(source);
    writeFile(folder / "out.zip", rewrite(*source, 3, "small"));
    auto result = openArchive(folder / "out.zip");
    ASSERT_TRUE(result);
    const EntryInfo& entry = result->entries()[3];
    EXPECT_EQ(entry.extraField.find("\x01\x00", 0, 2), std::string::npos);
    EXPECT_LT(entry.compressedSize, format::kMax32);
    EXPECT_EQ(format::load32(entry.centralRecord.data() + 20), entry.compressedSize);
    EXPECT_TRUE(unzipAccepts(folder / "out.zip"));
}

TEST(ZipWriter, ManyEntriesGetAZip64EndRecordOnlyThen) {
    // 65,535 entries do not fit the 16-bit counts of the end record (APPNOTE 4.4.21).
    for (const std::size_t count : {std::size_t{100}, std::size_t{65535}}) {
        std::vector<TestEntry> entries;
        for (std::size_t i = 0; i < count; ++i) {
            entries.emplace_back("e" + std::to_string(i), "x", 0);
        }
        TempFolder folder;
        writeFile(folder / "in.zip", buildArchive(entries).bytes);
        auto source = openArchive(folder / "in.zip");
        ASSERT_TRUE(source);
        const std::string copy = rewrite(*source, 0, "replaced");
        const bool hasZip64End = copy.find("PK\x06\x06") != std::string::npos;
        EXPECT_EQ(hasZip64End, count >= 65535) << count;
        writeFile(folder / "out.zip", copy);
        auto result = openArchive(folder / "out.zip");
        ASSERT_TRUE(result);
        ASSERT_EQ(result->entries().size(), count);
        EXPECT_EQ(result->readAll(0).value(), "replaced");
        EXPECT_EQ(result->readAll(count - 1).value(), "x");
    }
}

// Writes at a fixed distance into a sparse file, as if gigabytes of entries came first.
class FarSink : public ByteSink {
public:
    FarSink(const std::filesystem::path& path, std::uint64_t base)
        : m_fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)), m_base(base) {}
    ~FarSink() override { ::close(m_fd); }
    FarSink(const FarSink&) = delete;
    FarSink& operator=(const FarSink&) = delete;
    Status write(std::string_view bytes) override {
        if (::pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(position())) !=
            static_cast<ssize_t>(bytes.size())) {
            return Error{ErrorCode::IoError, "pwrite"};
        }
        m_written += bytes.size();
        return Unit{};
    }
    std::uint64_t position() const override { return m_base + m_written; }

private:
    int m_fd;
    std::uint64_t m_base, m_written = 0;
};

TEST(ZipWriter, OffsetsBeyondFourGibibytesUseZip64) {
    TempFolder folder;
    writeFile(folder / "in.zip", buildArchive(kEntries, "far").bytes);
    auto source = openArchive(folder / "in.zip");
    ASSERT_TRUE(source);
    {
        FarSink sink(folder / "far.zip", 5ULL << 30);
        ZipWriter writer(sink);
        ASSERT_TRUE(writer.copyRaw(*source, 0));
        ASSERT_TRUE(writer.addBytes(source->entries()[1], "replaced"));
        for (std::size_t i = 2; i < kEntries.size(); ++i) {
            ASSERT_TRUE(writer.copyRaw(*source, i));
        }
        ASSERT_TRUE(writer.finish(*source));
    }
    auto result = openArchive(folder / "far.zip");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->comment(), "far");
    EXPECT_GE(result->centralDirectoryOffset(), 5ULL << 30);
    ASSERT_EQ(result->entries().size(), kEntries.size());
    for (std::size_t i = 0; i < kEntries.size(); ++i) {
        EXPECT_GE(result->entries()[i].localHeaderOffset, 5ULL << 30);
        auto content = result->readAll(i);
        ASSERT_TRUE(content) << content.error().detail;
        EXPECT_TRUE(content.value() == (i == 1 ? "replaced" : kEntries[i].content));
    }
}

TEST(ZipWriter, NothingCanBeAddedAfterFinish) {
    TempFolder folder;
    writeFile(folder / "in.zip", buildArchive({{"a", "a"}}).bytes);
    auto source = openArchive(folder / "in.zip");
    ASSERT_TRUE(source);
    StringSink sink;
    ZipWriter writer(sink);
    ASSERT_TRUE(writer.copyRaw(*source, 0));
    ASSERT_TRUE(writer.finish(*source));
    EXPECT_FALSE(writer.copyRaw(*source, 0));
    EXPECT_FALSE(writer.addBytes(source->entries()[0], "b"));
}

class DeflateStreamLevel : public ::testing::TestWithParam<int> {};

TEST_P(DeflateStreamLevel, ChunkedInputGivesZlibOutputOfThatLevel) {
    const std::string text = sheetXml("delta", 20000);
    DeflateStream stream(GetParam());
    for (std::size_t at = 0; at < text.size(); at += 7777) {
        ASSERT_TRUE(stream.write(std::string_view(text).substr(at, 7777)));
    }
    ASSERT_TRUE(stream.finish());
    EXPECT_EQ(stream.uncompressedSize(), text.size());
    EXPECT_EQ(stream.crc32(), ::crc32(0, reinterpret_cast<const Bytef*>(text.data()),
                                      static_cast<uInt>(text.size())));
    std::string compressed;
    for (const std::string& block : stream.compressedBlocks()) {
        compressed += block;
    }
    EXPECT_EQ(compressed.size(), stream.compressedSize());
    EXPECT_EQ(compressed, rawDeflate(text, GetParam()));
    EXPECT_FALSE(stream.write("late"));
}

INSTANTIATE_TEST_SUITE_P(DefaultAndRewrite, DeflateStreamLevel,
                         ::testing::Values(kDefaultDeflateLevel, kRewriteDeflateLevel, 1));

// zlib's inflate, independent of the reader's: the whole stream must be one valid raw deflate
// stream ending exactly where the data ends.
std::string rawInflate(const std::string& compressed, std::size_t expected) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
    std::string out(expected + 1, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0U) << "bytes after the end of the stream";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

std::string joined(const DeflateStream& stream) {
    std::string compressed;
    for (const std::string& block : stream.compressedBlocks()) {
        compressed += block;
    }
    EXPECT_EQ(compressed.size(), stream.compressedSize());
    return compressed;
}

// Every way a part may be deflated: in blocks on three threads, on one, and held whole.
enum class Way { Blocks, OneThread, Whole };
struct DeflateCase {
    Way way;
    std::size_t size;
};

class DeflateStreamWays : public ::testing::TestWithParam<DeflateCase> {};

TEST_P(DeflateStreamWays, InflatesToExactlyTheInput) {
    const auto [way, size] = GetParam();
    std::string text = sheetXml("epsilon", static_cast<int>(size / 60 + 1));
    text.resize(size);
    std::unique_ptr<DeflateStream> stream =
        way == Way::Whole       ? DeflateStream::forRewrite(1, size / 3)
        : way == Way::OneThread ? std::make_unique<DeflateStream>(kRewriteDeflateLevel, 1)
                                : std::make_unique<DeflateStream>(kRewriteDeflateLevel, 3);
    // Chunks that do not divide the block size, so blocks are filled across writes.
    for (std::size_t at = 0; at < text.size(); at += 100003) {
        ASSERT_TRUE(stream->write(std::string_view(text).substr(at, 100003)));
    }
    ASSERT_TRUE(stream->finish());
    EXPECT_EQ(stream->uncompressedSize(), text.size());
    EXPECT_EQ(stream->crc32(), ::crc32(0, reinterpret_cast<const Bytef*>(text.data()),
                                       static_cast<uInt>(text.size())));
    const std::string compressed = joined(*stream);
    EXPECT_EQ(rawInflate(compressed, text.size()), text);
    // Blocks are primed with the input before them, so splitting costs almost nothing.
    EXPECT_LE(compressed.size(), rawDeflate(text, kRewriteDeflateLevel).size() * 21 / 20 + 64);
    EXPECT_FALSE(stream->write("late"));
}

INSTANTIATE_TEST_SUITE_P(EmptyOneByteOneBlockAndMore, DeflateStreamWays,
                         ::testing::Values(DeflateCase{Way::Blocks, 0}, DeflateCase{Way::Blocks, 1},
                                           DeflateCase{Way::Blocks, kDeflateBlockSize},
                                           DeflateCase{Way::Blocks, kDeflateBlockSize + 1},
                                           DeflateCase{Way::Blocks, 7 * kDeflateBlockSize + 12345},
                                           DeflateCase{Way::OneThread, 0},
                                           DeflateCase{Way::OneThread, 3 * kDeflateBlockSize + 1},
                                           DeflateCase{Way::Whole, 0}, DeflateCase{Way::Whole, 1},
                                           DeflateCase{Way::Whole, 3 * kDeflateBlockSize + 1}));

TEST(DeflateStream, PartsBeyondTheBudgetForWholePartsAreStreamedWithZlib) {
    // `small` reserves a little, `large` the rest of the budget: `late` cannot be held whole
    // from the start, `small` not once it outgrows what it reserved. Both then stream through
    // zlib, whose output is known exactly (libdeflate's would differ).
    auto small = DeflateStream::forRewrite(1, 10);
    const std::uint64_t rest = DeflateStream::kWholeBudget * 16 / 17 - 8192;
    auto large = DeflateStream::forRewrite(1, rest);
    auto late = DeflateStream::forRewrite(1, 1000);
    const std::string text = sheetXml("zeta", 40000);
    for (auto* s : {small.get(), late.get()}) {
        ASSERT_TRUE(s->write(text));
        ASSERT_TRUE(s->finish());
        EXPECT_EQ(joined(*s), rawDeflate(text, kRewriteDeflateLevel));
    }
    ASSERT_TRUE(large->write(text));
    ASSERT_TRUE(large->finish());
    EXPECT_NE(joined(*large), rawDeflate(text, kRewriteDeflateLevel));
    EXPECT_EQ(rawInflate(joined(*large), text.size()), text);
}

TEST(DeflateStream, DeflateAllCompressesWithinATenthOfZlibLevelSix) {
    const std::string text = sheetXml("eta", 30000);
    auto stream = DeflateStream::deflateAll(text);
    ASSERT_TRUE(stream);
    const std::string compressed = joined(*stream.value());
    EXPECT_EQ(rawInflate(compressed, text.size()), text);
    EXPECT_LE(compressed.size(), rawDeflate(text, 6).size() * 11 / 10);
}

} // namespace
