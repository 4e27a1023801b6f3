// Telling ZIP packages, encrypted packages, legacy compound files and other files apart, on
// built files and on the corpus of real workbooks (skipped when absent).
#include "package/file_kind.h"

#include "../zip/test_archive.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace engine;
using namespace engine::package;
using engine::zip::test_support::buildArchive;
using engine::zip::test_support::TempFolder;
using engine::zip::test_support::writeFile;
namespace fs = std::filesystem;

namespace {

// A compound file (MS-CFB 2.2) of 512-byte sectors: header, one FAT sector, one directory
// sector holding the given stream names.
std::string compoundFile(const std::vector<std::string>& names) {
    using namespace engine::zip::format;
    std::string header;
    header.append("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.append(16, '\0');
    append16(header, 0x3E);
    append16(header, 3);
    append16(header, 0xFFFE);
    append16(header, 9); // sector shift
    append16(header, 6); // mini sector shift
    header.append(6, '\0');
    append32(header, 0); // directory sectors (0 for version 3)
    append32(header, 1); // FAT sectors
    append32(header, 1); // first directory sector
    append32(header, 0);
    append32(header, 0x1000);
    append32(header, 0xFFFFFFFE); // no mini FAT
    append32(header, 0);
    append32(header, 0xFFFFFFFE); // no DIFAT sectors
    append32(header, 0);
    append32(header, 0); // the FAT is in sector 0
    while (header.size() < 512) {
        append32(header, 0xFFFFFFFF);
    }
    std::string fat;
    append32(fat, 0xFFFFFFFD); // sector 0 holds the FAT
    append32(fat, 0xFFFFFFFE); // sector 1: the directory, one sector long
    while (fat.size() < 512) {
        append32(fat, 0xFFFFFFFF);
    }
    std::string directory;
    for (const auto& name : names) {
        std::string entry;
        for (char c : name) {
            append16(entry, static_cast<std::uint16_t>(c));
        }
        entry.resize(64, '\0');
        append16(entry, static_cast<std::uint16_t>(2 * name.size() + 2));
        entry.push_back(name == "Root Entry" ? 5 : 2);
        entry.resize(128, '\0');
        directory += entry;
    }
    directory.resize(512, '\0');
    return header + fat + directory;
}

struct KindCase {
    const char* label;
    std::string bytes;
    FileKind kind;
};

void PrintTo(const KindCase& value, std::ostream* out) {
    *out << value.label;
}

class SniffFile : public ::testing::TestWithParam<KindCase> {};

TEST_P(SniffFile, TellsTheKind) {
    TempFolder folder;
    writeFile(folder / "file", GetParam().bytes);
    auto kind = sniffFile(folder / "file");
    ASSERT_TRUE(kind) << kind.error().detail;
    EXPECT_EQ(kind.value(), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SniffFile,
    ::testing::Values(
        KindCase{"Zip", buildArchive({{"a.xml", "<a/>"}}).bytes, FileKind::Zip},
        KindCase{"EmptyZip", buildArchive({}).bytes, FileKind::Zip},
        KindCase{"EmptyFile", "", FileKind::Other},
        KindCase{"Text", "a,b,c\n1,2,3\n", FileKind::Other},
        KindCase{"EncryptedPackage",
                 compoundFile({"Root Entry", "EncryptionInfo", "EncryptedPackage"}),
                 FileKind::EncryptedOoxml},
        KindCase{"LegacyWorkbook", compoundFile({"Root Entry", "Workbook"}),
                 FileKind::LegacyCompound},
        KindCase{"OnlyOneOfTheTwoStreams", compoundFile({"Root Entry", "EncryptionInfo"}),
                 FileKind::LegacyCompound},
        KindCase{"DamagedCompoundFile",
                 compoundFile({"Root Entry", "EncryptionInfo", "EncryptedPackage"}).substr(0, 600),
                 FileKind::LegacyCompound}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(SniffFileCorpus, RealEncryptedAndLegacyWorkbooks) {
    const char* source = std::getenv("VARNOCLIFF_SOURCE_DIR");
    const fs::path corpus =
        source == nullptr ? fs::path() : fs::path(source) / ".." / "shared" / "corpus";
    if (corpus.empty() || !fs::exists(corpus)) {
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    }
    for (const char* name : {"excelize/encryptAES.xlsx", "excelize/encryptSHA1.xlsx",
                             "calamine/pass_protected.xlsx"}) {
        auto kind = sniffFile(corpus / name);
        ASSERT_TRUE(kind) << name;
        EXPECT_EQ(kind.value(), FileKind::EncryptedOoxml) << name;
    }
    std::size_t legacy = 0;
    for (const auto& item : fs::recursive_directory_iterator(corpus)) {
        if (item.path().extension() != ".xls") {
            continue;
        }
        auto kind = sniffFile(item.path());
        ASSERT_TRUE(kind) << item.path();
        EXPECT_EQ(kind.value(), FileKind::LegacyCompound) << item.path();
        ++legacy;
    }
    EXPECT_GT(legacy, 300U);
}

// Fault: a FIFO named as a workbook blocked the run for ever in open(). Special files are
// refused at once, without waiting for a writer.
TEST(SniffFile, FifoIsRefusedWithoutBlocking) {
    TempFolder folder;
    const auto fifo = folder / "pipe.xlsx";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto sniffing = std::async(std::launch::async, [&] { return sniffFile(fifo); });
    if (sniffing.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Let the blocked open return, so that the test can end.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        sniffing.wait();
        ::close(writer);
        FAIL() << "opening a FIFO blocked";
    }
    auto kind = sniffing.get();
    ASSERT_FALSE(kind);
    EXPECT_EQ(kind.error().code, ErrorCode::NotAWorkbook);
    EXPECT_NE(kind.error().detail.find("not a regular file"), std::string::npos);
}

TEST(SniffFile, MissingFileIsNotFound) {
    TempFolder folder;
    auto kind = sniffFile(folder / "missing");
    ASSERT_FALSE(kind);
    EXPECT_EQ(kind.error().code, ErrorCode::NotFound);
}

} // namespace
