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
        if (!item.is_regular_file()) {
            continue;
        }
        std::string head = test_support::readFile(item.path()).substr(0, 4);
        if (head == std::string("PK\x03\x04", 4)) {
            files.push_back(item.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Whether the entries lie one after another from offset 0 in central directory order, with the
// central directory right behind them: only then is a copy expected to be byte-identical.
bool entriesAreContiguous(const ZipReader& zip) {
    std::uint64_t expected = 0;
    for (const auto& entry : zip.entries()) {
        if (entry.localHeaderOffset != expected) {
            return false;
        }
        expected = entry.entryEnd;
    }
    return expected == zip.centralDirectoryOffset();
}

TEST(ZipCorpus, EveryWorkbookCopiesToIdenticalBytes) {
    const fs::path folder = corpusFolder();
    if (folder.empty() || !fs::exists(folder)) {
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    }
    const std::vector<fs::path> files = zipFiles(folder);
    ASSERT_GT(files.size(), 1000U) << "the corpus should hold over a thousand ZIP workbooks";

    std::size_t identical = 0;
    std::size_t inflated = 0;
    for (std::size_t n = 0; n < files.size(); ++n) {
        const fs::path& path = files[n];
        auto reader = ZipReader::open(path);
        ASSERT_TRUE(reader) << path << ": " << reader.error().detail;
        const ZipReader& zip = *reader.value();
        StringSink sink;
        ZipWriter writer(sink);
        for (std::size_t i = 0; i < zip.entries().size(); ++i) {
            ASSERT_TRUE(writer.copyRaw(zip, i)) << path;
        }
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
    EXPECT_GT(inflated, 100U);
}

} // namespace

namespace {

// The first string item's text of a shared strings part becomes `text`; the position of the
// change is returned (npos when there is no plain <t> item).
std::size_t changeFirstString(std::string& xml, const std::string& text) {
    const std::size_t start = xml.find("<si><t>");
    if (start == std::string::npos) {
        return start;
    }
    const std::size_t end = xml.find("</t>", start);
    xml.replace(start + 7, end - (start + 7), text);
    return start;
}

// openpyxl, an independent reader, sees the changed string in the rewritten workbook and every
// other cell as it was; unzip tests every CRC; every other entry keeps its bytes.
TEST(ZipCorpus, RewrittenWorkbooksReadBackInOpenpyxl) {
    const fs::path folder = corpusFolder();
    if (folder.empty() || !fs::exists(folder / "xlsxwriter")) {
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    }
    if (std::system("/usr/bin/python3 -c 'import openpyxl' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3-openpyxl is not installed";
    }
    std::vector<fs::path> files;
    for (const auto& path : zipFiles(folder / "xlsxwriter")) {
        if (path.filename().string().rfind("shared_strings", 0) == 0 ||
            path.filename().string().rfind("rich_string", 0) == 0) {
            files.push_back(path);
        }
    }
    ASSERT_GE(files.size(), 5U);
    files.resize(5);

    test_support::TempFolder temp;
    std::string pairs;
    for (std::size_t n = 0; n < files.size(); ++n) {
        auto reader = ZipReader::open(files[n]);
        ASSERT_TRUE(reader) << files[n];
        const ZipReader& zip = *reader.value();
        const auto strings = zip.find("xl/sharedStrings.xml");
        ASSERT_TRUE(strings) << files[n];
        std::string xml = zip.readAll(*strings).value();
        ASSERT_NE(changeFirstString(xml, "varnocliff"), std::string::npos) << files[n];

        const fs::path output = temp / ("out" + std::to_string(n) + ".xlsx");
        StringSink sink;
        ZipWriter writer(sink);
        for (std::size_t i = 0; i < zip.entries().size(); ++i) {
            ASSERT_TRUE(i == *strings ? writer.addBytes(zip.entries()[i], xml)
                                      : writer.copyRaw(zip, i));
        }
        ASSERT_TRUE(writer.finish(zip));
        test_support::writeFile(output, sink.bytes());

        auto rewritten = ZipReader::open(output);
        ASSERT_TRUE(rewritten) << output;
        for (std::size_t i = 0; i < zip.entries().size(); ++i) {
            if (i == *strings) {
                continue;
            }
            const EntryInfo& a = zip.entries()[i];
            const EntryInfo& b = rewritten.value()->entries()[i];
            std::string before;
            std::string after;
            ASSERT_TRUE(zip.readRaw(a.localHeaderOffset, a.entryEnd - a.localHeaderOffset, before));
            ASSERT_TRUE(rewritten.value()->readRaw(b.localHeaderOffset,
                                                   b.entryEnd - b.localHeaderOffset, after));
            EXPECT_TRUE(before == after) << files[n] << " " << a.name;
        }
        const std::string unzip = "unzip -tqq '" + output.string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(unzip.c_str()), 0) << output;
        pairs += "('" + files[n].string() + "','" + output.string() + "'),";
    }

    // For each pair: the cells that differ all read "varnocliff" now, and at least one does.
    const std::string script =
        "import openpyxl, sys\n"
        "def cells(p):\n"
        "    b = openpyxl.load_workbook(p)\n"
        "    return {(s.title, c.coordinate): c.value for s in b.worksheets\n"
        "            for r in s.iter_rows() for c in r}\n"
        "for a, b in [" +
        pairs +
        "]:\n"
        "    x, y = cells(a), cells(b)\n"
        "    diff = [k for k in x if x[k] != y.get(k)]\n"
        "    if x.keys() != y.keys() or not diff or any(y[k] != 'varnocliff' for k in diff):\n"
        "        sys.exit('openpyxl reads ' + b + ' differently: ' + repr(diff[:3]))\n";
    const fs::path scriptFile = temp / "check.py";
    test_support::writeFile(scriptFile, script);
    const std::string command = "/usr/bin/python3 '" + scriptFile.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

} // namespace
