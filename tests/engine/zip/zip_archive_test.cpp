// The ZIP reader on archives built byte by byte: every layout of headers and descriptors reads
// back, and every kind of damage or lie fails with a clear code instead of a crash or a hang.
#include "zip/zip_archive.h"

#include "test_archive.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace engine;
using namespace engine::zip;
using namespace engine::zip::test_support;

namespace {

std::string sampleText(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i) {
        text += "<c r=\"A" + std::to_string(i) + "\"><v>" + std::to_string(i * 7919 % 1000) +
                "</v></c>";
    }
    text.resize(size);
    return text;
}

struct Layout {
    const char* label;
    std::uint16_t method;
    Descriptor descriptor;
    bool zip64;
    bool zip64End;
    std::string comment;
};

void PrintTo(const Layout& value, std::ostream* out) {
    *out << value.label;
}

class ZipReaderLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(ZipReaderLayout, ReadsEveryEntryBack) {
    const Layout& layout = GetParam();
    const std::vector<TestEntry> entries{
        {"[Content_Types].xml", "<Types/>", layout.method, layout.descriptor, layout.zip64},
        {"xl/worksheets/sheet1.xml", sampleText(700000), layout.method, layout.descriptor,
         layout.zip64},
        {"xl/empty.bin", "", layout.method, layout.descriptor, layout.zip64}};
    TempFolder folder;
    writeFile(folder / "a.zip", buildArchive(entries, layout.comment, layout.zip64End).bytes);

    auto reader = ZipReader::open(folder / "a.zip");
    ASSERT_TRUE(reader) << reader.error().detail;
    const ZipReader& zip = *reader.value();
    ASSERT_EQ(zip.entries().size(), entries.size());
    EXPECT_EQ(zip.comment(), layout.comment);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const EntryInfo& info = zip.entries()[i];
        EXPECT_EQ(info.name, entries[i].name);
        EXPECT_EQ(info.method, layout.method);
        EXPECT_EQ(info.uncompressedSize, entries[i].content.size());
        auto content = zip.readAll(i);
        ASSERT_TRUE(content) << info.name << ": " << content.error().detail;
        EXPECT_TRUE(content.value() == entries[i].content) << info.name;

        std::string streamed;
        std::size_t largestChunk = 0;
        auto status = zip.readStream(i, [&](std::string_view chunk) -> Status {
            largestChunk = std::max(largestChunk, chunk.size());
            streamed.append(chunk);
            return Unit{};
        });
        ASSERT_TRUE(status) << status.error().detail;
        EXPECT_TRUE(streamed == entries[i].content);
        EXPECT_LE(largestChunk, 256U * 1024U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ZipReaderLayout,
    ::testing::Values(
        Layout{"Deflated", 8, Descriptor::None, false, false, ""},
        Layout{"Stored", 0, Descriptor::None, false, false, ""},
        Layout{"DescriptorWithSignature", 8, Descriptor::WithSignature, false, false, ""},
        Layout{"DescriptorWithoutSignature", 8, Descriptor::WithoutSignature, false, false, ""},
        Layout{"StoredWithDescriptor", 0, Descriptor::WithSignature, false, false, ""},
        Layout{"Zip64Fields", 8, Descriptor::None, true, true, ""},
        Layout{"Zip64Descriptor", 8, Descriptor::WithSignature, true, false, ""},
        Layout{"Zip64DescriptorWithoutSignature", 8, Descriptor::WithoutSignature, true, true, ""},
        // A comment that itself holds an end record signature must not fool the
        // search from the end.
        Layout{"LongComment", 8, Descriptor::None, false, false,
               std::string(40000, 'c') + "PK\x05\x06" + std::string(25000, 'd')}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(ZipReader, FindComparesPartNamesIgnoringAsciiCaseAndLeadingSlash) {
    TempFolder folder;
    writeFile(folder / "a.zip",
              buildArchive({{"xl/workbook.xml", "w"}, {"xl/_rels/workbook.xml.rels", "r"}}).bytes);
    auto reader = ZipReader::open(folder / "a.zip");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader.value()->find("xl/workbook.xml"), 0U);
    EXPECT_EQ(reader.value()->find("/XL/Workbook.XML"), 0U);
    EXPECT_EQ(reader.value()->find("xl/_rels/workbook.xml.rels"), 1U);
    EXPECT_EQ(reader.value()->find("xl/workbook.xm"), std::nullopt);
    EXPECT_EQ(reader.value()->find("//xl/workbook.xml"), std::nullopt);
}

TEST(ZipReader, StreamStopsAtTheFirstFailingSinkStatus) {
    TempFolder folder;
    writeFile(folder / "a.zip", buildArchive({{"big.xml", sampleText(2000000)}}).bytes);
    auto reader = ZipReader::open(folder / "a.zip");
    ASSERT_TRUE(reader);
    int calls = 0;
    auto status = reader.value()->readStream(0, [&](std::string_view) -> Status {
        ++calls;
        return Error{ErrorCode::DiskFull, "sink"};
    });
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().code, ErrorCode::DiskFull);
    EXPECT_EQ(calls, 1);
}

// A damage: a function that spoils the bytes of a valid archive, and the code expected.
struct Damage {
    const char* label;
    std::function<void(BuiltArchive&)> spoil;
    ErrorCode open;                  ///< expected from open (Corrupt ... or, when opening works,
    std::optional<ErrorCode> read{}; ///< the code expected from reading entry 0)
    Limits limits{};
};

void PrintTo(const Damage& value, std::ostream* out) {
    *out << value.label;
}

class ZipReaderDamage : public ::testing::TestWithParam<Damage> {};

void put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    format::store32(bytes.data() + offset, value);
}
void put16(std::string& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<char>(value & 0xff);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

TEST_P(ZipReaderDamage, FailsWithAClearCode) {
    const Damage& damage = GetParam();
    BuiltArchive archive = buildArchive(
        {{"xl/sharedStrings.xml", sampleText(50000)}, {"xl/styles.xml", sampleText(3000)}});
    damage.spoil(archive);
    TempFolder folder;
    writeFile(folder / "a.zip", archive.bytes);
    auto reader = ZipReader::open(folder / "a.zip", damage.limits);
    if (!damage.read) {
        ASSERT_FALSE(reader) << "opened although damaged";
        EXPECT_EQ(reader.error().code, damage.open) << reader.error().detail;
        EXPECT_FALSE(reader.error().detail.empty());
        return;
    }
    ASSERT_TRUE(reader) << reader.error().detail;
    auto content = reader.value()->readAll(0);
    ASSERT_FALSE(content) << "read although damaged";
    EXPECT_EQ(content.error().code, *damage.read) << content.error().detail;
}

const std::size_t kCentralCompressedSize = 20, kCentralUncompressedSize = 24,
                  kCentralOffsetField = 42, kEndCount = 10, kEndOffsetField = 16;

INSTANTIATE_TEST_SUITE_P(
    Damages, ZipReaderDamage,
    ::testing::Values(
        Damage{"Empty", [](BuiltArchive& a) { a.bytes.clear(); }, ErrorCode::NotAWorkbook},
        Damage{"NoEndRecord", [](BuiltArchive& a) { a.bytes.resize(a.endOffset); },
               ErrorCode::NotAWorkbook},
        Damage{"TruncatedInTheEntries", [](BuiltArchive& a) { a.bytes.erase(100, 2000); },
               ErrorCode::Corrupt},
        Damage{"CentralDirectoryOutsideTheFile",
               [](BuiltArchive& a) { put32(a.bytes, a.endOffset + kEndOffsetField, 0x7fffffff); },
               ErrorCode::Corrupt},
        Damage{"LocalHeaderOffsetBeyondTheEntries",
               [](BuiltArchive& a) {
                   put32(a.bytes, a.centralOffsets[1] + kCentralOffsetField,
                         static_cast<std::uint32_t>(a.centralOffset - 10));
               },
               ErrorCode::Corrupt},
        Damage{"EntriesOverlap",
               [](BuiltArchive& a) {
                   // The first entry's data is declared to run into the second entry.
                   const std::uint32_t size = format::load32(a.bytes.data() + 18) + 40;
                   put32(a.bytes, 18, size);
                   put32(a.bytes, a.centralOffsets[0] + kCentralCompressedSize, size);
               },
               ErrorCode::Corrupt},
        Damage{"LocalNameDiffers", [](BuiltArchive& a) { a.bytes[30] = 'X'; }, ErrorCode::Corrupt},
        Damage{"LocalSizeDiffers", [](BuiltArchive& a) { put32(a.bytes, 22, 12345); },
               ErrorCode::Corrupt},
        Damage{"AbsurdEntryCount",
               [](BuiltArchive& a) {
                   put16(a.bytes, a.endOffset + kEndCount, 60000);
                   put16(a.bytes, a.endOffset + kEndCount - 2, 60000);
               },
               ErrorCode::Corrupt},
        Damage{"MoreEntriesThanTheLimit", [](BuiltArchive&) {}, ErrorCode::ResourceLimit,
               std::nullopt, Limits{2ULL << 30, 16ULL << 30, 1}},
        Damage{"EntryOverTheLimit", [](BuiltArchive&) {}, ErrorCode::ResourceLimit, std::nullopt,
               Limits{10000, 16ULL << 30, 100000}},
        Damage{"TotalOverTheLimit", [](BuiltArchive&) {}, ErrorCode::ResourceLimit, std::nullopt,
               Limits{2ULL << 30, 52000, 100000}},
        Damage{"DeclaredSizeFarBeyondTheData",
               [](BuiltArchive& a) {
                   // A ZIP bomb's lie: 1.5 GiB declared for a few kilobytes of data.
                   put32(a.bytes, 22, 0x60000000);
                   put32(a.bytes, a.centralOffsets[0] + kCentralUncompressedSize, 0x60000000);
               },
               ErrorCode::Corrupt, ErrorCode::Corrupt},
        Damage{"DeclaredSizeSmallerThanTheData",
               [](BuiltArchive& a) {
                   put32(a.bytes, 22, 1000);
                   put32(a.bytes, a.centralOffsets[0] + kCentralUncompressedSize, 1000);
               },
               ErrorCode::Corrupt, ErrorCode::Corrupt},
        Damage{"CrcMismatch",
               [](BuiltArchive& a) {
                   put32(a.bytes, 14, 0x12345678);
                   put32(a.bytes, a.centralOffsets[0] + 16, 0x12345678);
               },
               ErrorCode::Corrupt, ErrorCode::Corrupt},
        Damage{"CompressedDataDamaged",
               [](BuiltArchive& a) {
                   for (std::size_t i = 60; i < 400; ++i) {
                       a.bytes[i] = static_cast<char>(0xff);
                   }
               },
               ErrorCode::Corrupt, ErrorCode::Corrupt},
        Damage{"CompressedSizeCutsTheStream",
               [](BuiltArchive& a) {
                   // The same shorter size everywhere, so that only inflating notices.
                   const std::uint32_t size = format::load32(a.bytes.data() + 18) / 2;
                   put32(a.bytes, 18, size);
                   put32(a.bytes, a.centralOffsets[0] + kCentralCompressedSize, size);
               },
               ErrorCode::Corrupt, ErrorCode::Corrupt},
        Damage{"Encrypted",
               [](BuiltArchive& a) {
                   put16(a.bytes, 6, 1);
                   put16(a.bytes, a.centralOffsets[0] + 8, 1);
               },
               ErrorCode::Corrupt, ErrorCode::PasswordProtected},
        Damage{"UnknownMethod",
               [](BuiltArchive& a) {
                   put16(a.bytes, 8, 14);
                   put16(a.bytes, a.centralOffsets[0] + 10, 14);
               },
               ErrorCode::Corrupt, ErrorCode::UnsupportedFormat}),
    [](const auto& test) { return std::string(test.param.label); });

// Fault: with two entries of one name the first was edited while other readers show the last.
TEST(ZipReader, TwoEntriesOfOneNameAreCorrupt) {
    for (const char* second : {"xl/styles.xml", "XL/Styles.XML"}) {
        BuiltArchive archive =
            buildArchive({{"xl/styles.xml", sampleText(300)}, {second, sampleText(200)}});
        TempFolder folder;
        writeFile(folder / "a.zip", archive.bytes);
        auto reader = ZipReader::open(folder / "a.zip");
        ASSERT_FALSE(reader) << second;
        EXPECT_EQ(reader.error().code, ErrorCode::Corrupt);
        EXPECT_NE(reader.error().detail.find("two entries"), std::string::npos);
    }
}

TEST(ZipReader, MissingFileIsNotFound) {
    TempFolder folder;
    auto reader = ZipReader::open(folder / "missing.xlsx");
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().code, ErrorCode::NotFound);
}

TEST(ZipReader, DescriptorThatDisagreesIsCorrupt) {
    BuiltArchive archive =
        buildArchive({{"a.xml", sampleText(5000), 8, Descriptor::WithSignature}});
    // The descriptor's CRC follows its signature at the end of the data.
    const std::size_t descriptor = archive.centralOffset - 16;
    put32(archive.bytes, descriptor + 4, 0xdeadbeef);
    TempFolder folder;
    writeFile(folder / "a.zip", archive.bytes);
    auto reader = ZipReader::open(folder / "a.zip");
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().code, ErrorCode::Corrupt);
}

} // namespace
