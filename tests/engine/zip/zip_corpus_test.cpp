// Every ZIP workbook of the corpus of real workbooks (found through VARNOCLIFF_SOURCE_DIR;
// skipped when absent) opens, copies to identical bytes, and, for a sample, inflates with
// matching CRCs.
#include "zip/zip_writer.h"

#include "test_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace engine;
using namespace engine::zip;
namespace fs = std::filesystem;

namespace {

fs::path corpusFolder() {
    const char* source = std::getenv("VARNOCLIFF_SOURCE_DIR");
    return source == nullptr ? fs::path() : fs::path(source) / ".." / "shared" / "corpus";
}

std::vector<fs::path> zipFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& item : fs::recursive_directory_iterator(folder, error)) {
        if (!item.is_regular_file())
            continue;
        std::string head = test_support::readFile(item.path()).substr(0, 4);
        if (head == std::string("PK\x03\x04", 4))
            files.push_back(item.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Whether the entries lie one after another from offset 0 in central directory order, with the
// central directory right behind them: only then is a copy expected to be byte-identical.
bool entriesAreContiguous(const ZipReader& zip) {
    std::uint64_t expected = 0;
    for (const auto& entry : zip.entries()) {
        if (entry.localHeaderOffset != expected)
            return false;
        expected = entry.entryEnd;
    }
    return expected == zip.centralDirectoryOffset();
}

TEST(ZipCorpus, EveryWorkbookCopiesToIdenticalBytes) {
    const fs::path folder = corpusFolder();
    if (folder.empty() || !fs::exists(folder))
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    const std::vector<fs::path> files = zipFiles(folder);
    ASSERT_GT(files.size(), 1000u) << "the corpus should hold over a thousand ZIP workbooks";

    std::size_t identical = 0, inflated = 0;
    for (std::size_t n = 0; n < files.size(); ++n) {
        const fs::path& path = files[n];
        auto reader = ZipReader::open(path);
        ASSERT_TRUE(reader) << path << ": " << reader.error().detail;
        const ZipReader& zip = *reader.value();
        StringSink sink;
        ZipWriter writer(sink);
        for (std::size_t i = 0; i < zip.entries().size(); ++i)
            ASSERT_TRUE(writer.copyRaw(zip, i)) << path;
        ASSERT_TRUE(writer.finish(zip)) << path;
        if (entriesAreContiguous(zip)) {
            ASSERT_TRUE(sink.bytes() == test_support::readFile(path))
                << path << " copied differently";
            ++identical;
        }
        // Every seventh workbook is inflated whole: CRC and size of each entry checked.
        if (n % 7 == 0) {
            for (std::size_t i = 0; i < zip.entries().size(); ++i) {
                auto content = zip.readAll(i);
                ASSERT_TRUE(content)
                    << path << " " << zip.entries()[i].name << ": " << content.error().detail;
            }
            ++inflated;
        }
    }
    // A few real files hold their entries in another order than their central directory.
    EXPECT_GT(identical, files.size() * 99 / 100);
    EXPECT_GT(inflated, 100u);
}

} // namespace
