// Tests of engine::Workbook on delimited text files made here and on those of the corpus of
// real files, read back by Python's csv module as the independent reader.
#include "delimited/delimited_workbook.h"

#include "../corpus_files.h"
#include "../workbook_test_support.h"
#include "engine/workbook.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

namespace engine::delimited {
namespace {

using testing::readFile;
using testing::TempFolder;
namespace fs = std::filesystem;

class Recorder : public CellListener {
public:
    std::vector<std::string> cells;
    void cell(const CellChange& c) override {
        cells.push_back(c.sheet + "!" + c.cell + "=" + c.before + ">" + c.after);
    }
};

Result<ReplaceCounts> replaceIn(const fs::path& file, const ReplaceRequest& request,
                                CellListener* listener = nullptr) {
    auto book = Workbook::open(file);
    if (!book) {
        return book.error();
    }
    book.value()->setCellListener(listener);
    book.value()->queueReplace(0, request);
    return book.value()->save();
}

struct FileCase {
    const char* name;
    std::string fileName;
    std::string bytes;
    ReplaceRequest request;
    std::string expected;
};

class DelimitedFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(DelimitedFile, ChangesOnlyTheMatchedFieldsInTheFilesOwnForm) {
    const FileCase& c = GetParam();
    TempFolder folder;
    const fs::path file = folder.file(c.fileName, c.bytes);
    auto counts = replaceIn(file, c.request);
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(readFile(file), c.expected);
    EXPECT_EQ(counts.value().cellsChanged > 0, c.expected != c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DelimitedFile,
    ::testing::Values(
        FileCase{"Utf8WithMark",
                 "a.csv",
                 "\xEF\xBB\xBFna\xC3\xAFve,x\r\n",
                 {"\xC3\x8F", "i", false},
                 "\xEF\xBB\xBFnaive,x\r\n"},
        FileCase{"Utf8WithoutMark",
                 "a.csv",
                 "\xC3\xA9t\xC3\xA9,b",
                 {"b", "\xC3\xA9", true},
                 "\xC3\xA9t\xC3\xA9,\xC3\xA9"},
        FileCase{"Windows1252",
                 "a.csv",
                 "caf\xE9,th\xE9\n",
                 {"th\xC3\xA9", "\xE2\x82\xAC", true},
                 "caf\xE9,\x80\n"},
        FileCase{"Utf16LittleEndian",
                 "a.txt",
                 std::string("\xFF\xFE"
                             "a\0\t\0b\0\r\0\n\0",
                             12),
                 {"B", "\xC3\xA4", false},
                 std::string("\xFF\xFE"
                             "a\0\t\0\xE4\0\r\0\n\0",
                             12)},
        FileCase{"Utf16BigEndian",
                 "a.tsv",
                 std::string("\xFE\xFF\0x\0,\0y", 8),
                 {"x,y", "z", true},
                 std::string("\xFE\xFF\0z", 4)},
        FileCase{"SemicolonsWhenTheFirstRecordHasNoComma",
                 "a.csv",
                 "a;b\n1,5;c\n",
                 {"1,5", "2", true},
                 "a;b\n2;c\n"},
        FileCase{
            "CommasWhenTheFirstRecordHasBoth", "a.CSV", "a;b,c\n", {"a;b", "x", true}, "x,c\n"},
        FileCase{"TabsInTextFiles", "a.prn", "a,b\tc\n", {"a,b", "d", true}, "d\tc\n"},
        FileCase{"NoFinalLineEndStaysSo", "a.csv", "a\r\nb", {"b", "c", true}, "a\r\nc"},
        FileCase{"WholeCell", "a.csv", "ab,abc\n", {"AB", "x", false, true}, "x,abc\n"},
        FileCase{"NothingMatched", "a.csv", "a,b\n", {"z", "y", false}, "a,b\n"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DelimitedWorkbook, NothingToChangeWritesNothing) {
    TempFolder folder;
    const fs::path file = folder.file("a.csv", "a,b\n");
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    auto counts = replaceIn(file, {"b", "b", true}); // replaced by itself
    ASSERT_TRUE(counts.ok());
    EXPECT_EQ(counts.value().cellsChanged, 0U);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

TEST(DelimitedWorkbook, FilesThatAreNotTextFailUntouched) {
    TempFolder folder;
    const std::string binary("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    auto opened = Workbook::open(folder.file("a.csv", binary));
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().code, ErrorCode::NotAWorkbook);
    EXPECT_NE(opened.error().message().find("not text"), std::string::npos);

    // A NUL far behind the head is found by the save, which leaves the file as it was.
    const std::string late = "x,y\n" + std::string(200000, 'a') + std::string(1, '\0') + "\n";
    const fs::path file = folder.file("b.txt", late);
    auto counts = replaceIn(file, {"x", "z", true});
    ASSERT_FALSE(counts.ok());
    EXPECT_EQ(counts.error().code, ErrorCode::NotAWorkbook);
    EXPECT_EQ(readFile(file), late);

    EXPECT_EQ(Workbook::open(folder.file("c.csv", std::string("\xFF\xFE\0\0", 4))).error().code,
              ErrorCode::UnsupportedFormat);
    EXPECT_EQ(Workbook::open(folder.file("d.dat", "a,b")).error().code, ErrorCode::NotAWorkbook);
}

TEST(DelimitedWorkbook, AReplacementTheEncodingCannotHoldFailsUntouched) {
    TempFolder folder;
    const std::string bytes = "caf\xE9,x\n";
    const fs::path file = folder.file("a.csv", bytes);
    auto counts = replaceIn(file, {"x", "\xE4\xB8\xAD", true});
    ASSERT_FALSE(counts.ok());
    EXPECT_EQ(counts.error().code, ErrorCode::Unencodable);
    EXPECT_NE(counts.error().detail.find("a!B1"), std::string::npos);
    EXPECT_EQ(readFile(file), bytes);
}

TEST(DelimitedWorkbook, BytesNotUtf8BeyondTheHeadMakeItWindows1252) {
    // The head is plain ASCII; the 0xE9 after it decides, and the match before it must be
    // read the same way.
    TempFolder folder;
    const std::string filler(100000, 'f');
    const std::string head = "x\n" + filler + "\ncaf\xE9\n";
    const fs::path file = folder.file("a.csv", head);
    auto counts = replaceIn(file, {"\xC3\xA9", "e", true});
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(readFile(file), "x\n" + filler + "\ncafe\n");
}

TEST(DelimitedWorkbook, LargeFilesChangeAcrossChunks) {
    TempFolder folder;
    std::string bytes, expected;
    for (int i = 0; i < 120000; ++i) {
        const std::string n = std::to_string(i);
        const std::string word = i % 7 == 0 ? "swap" : "keep";
        bytes += n + ",\"" + word + n + "\",plain\r\n";
        expected += n + ",\"" + (i % 7 == 0 ? "SWAP" : "keep") + n + "\",plain\r\n";
    }
    const fs::path file = folder.file("big.csv", bytes);
    auto counts = replaceIn(file, {"swap", "SWAP", true});
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, (120000U + 6) / 7);
    EXPECT_TRUE(readFile(file) == expected);
}

TEST(DelimitedWorkbook, DryRunSearchAndListenerNameTheCells) {
    TempFolder folder;
    const std::string bytes = "id,name\n007,Ann\n008,ann lee\n";
    const fs::path file = folder.file("People.csv", bytes);
    auto book = Workbook::open(file);
    ASSERT_TRUE(book.ok());
    ASSERT_EQ(book.value()->sheets().size(), 1U);
    EXPECT_EQ(book.value()->sheets()[0].name, "People");
    EXPECT_TRUE(book.value()->sheets()[0].hasCells);
    book.value()->queueReplace(0, {"ann", "Bo", false});
    Recorder listed;
    ASSERT_TRUE(book.value()->search(listed).ok());
    EXPECT_EQ(listed.cells,
              (std::vector<std::string>{"People!B2=Ann>Ann", "People!B3=ann lee>ann lee"}));
    Recorder changed;
    book.value()->setCellListener(&changed);
    auto dry = book.value()->dryRun();
    ASSERT_TRUE(dry.ok());
    EXPECT_EQ(dry.value().cellsChanged, 2U);
    EXPECT_EQ(readFile(file), bytes);
    auto saved = book.value()->save();
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(saved.value().replacements, 2U);
    EXPECT_EQ(changed.cells,
              (std::vector<std::string>{"People!B2=Ann>Bo", "People!B3=ann lee>Bo lee",
                                        "People!B2=Ann>Bo", "People!B3=ann lee>Bo lee"}));
    EXPECT_EQ(readFile(file), "id,name\n007,Bo\n008,Bo lee\n");
}

TEST(DelimitedWorkbook, LockFilesAndChangedFilesAreRefused) {
    TempFolder folder;
    const fs::path file = folder.file("a.csv", "a\n");
    folder.file(".~lock.a.csv#", "x");
    EXPECT_EQ(Workbook::open(file).error().code, ErrorCode::LockedByOtherProgram);
    fs::remove(folder.path() / ".~lock.a.csv#");
    auto book = Workbook::open(file);
    ASSERT_TRUE(book.ok());
    testing::writeFile(file, "a,b\n");
    book.value()->queueReplace(0, {"a", "b", true});
    EXPECT_EQ(book.value()->save().error().code, ErrorCode::Vanished);
    EXPECT_EQ(readFile(file), "a,b\n");
}

std::vector<fs::path> corpusTextFiles() {
    std::vector<fs::path> files;
    const fs::path where = corpus::folder();
    std::error_code ec;
    if (where.empty() || !fs::is_directory(where, ec)) {
        return files;
    }
    for (fs::recursive_directory_iterator it(where, ec), end; it != end; it.increment(ec)) {
        std::string ext = it->path().extension().string();
        for (char& ch : ext) {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        if (!ec && it->is_regular_file(ec) && (ext == ".csv" || ext == ".tsv")) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

const char* pythonEncoding(Encoding e) {
    switch (e) {
    case Encoding::Utf8:
        return "utf-8";
    case Encoding::Utf8Bom:
        return "utf-8-sig";
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        return "utf-16";
    case Encoding::Windows1252:
        return "cp1252";
    }
    return "";
}

TEST(DelimitedCorpus, UnmatchedFilesStayIdenticalAndMatchesChangeExactlyTheirFields) {
    const auto files = corpusTextFiles();
    if (files.empty()) {
        GTEST_SKIP() << "corpus of real files not found beside the project";
    }
    if (!fs::exists("/usr/bin/python3")) {
        GTEST_SKIP() << "python3 is needed to read the files back";
    }
    TempFolder folder;
    const fs::path script = fs::path(std::getenv("VARNOCLIFF_SOURCE_DIR")) / "tests" / "engine" /
                            "delimited" / "read_back_fields.py";
    std::size_t opened = 0, changed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string original = readFile(files[i]);
        const fs::path copy = folder.path() / ("f" + std::to_string(i) + ".csv");
        testing::writeFile(copy, original);
        auto book = Workbook::open(copy);
        if (!book) {
            // Only files that are not text (UTF-16 or UTF-32 without a mark) or UTF-32 fail.
            const auto code = book.error().code;
            EXPECT_TRUE(code == ErrorCode::NotAWorkbook || code == ErrorCode::UnsupportedFormat)
                << files[i] << ": " << book.error().message();
            continue;
        }
        ++opened;
        book.value()->queueReplace(0, {"\x01no such text", "x", true});
        ASSERT_TRUE(book.value()->save().ok()) << files[i];
        EXPECT_TRUE(readFile(copy) == original) << files[i];

        auto* text = dynamic_cast<DelimitedWorkbook*>(book.value().get());
        ASSERT_NE(text, nullptr);
        book.value()->queueReplace(0, {"e", "E#\"", true});
        auto counts = book.value()->save();
        ASSERT_TRUE(counts.ok()) << files[i] << ": " << counts.error().message();
        changed += counts.value().cellsChanged > 0 ? 1 : 0;
        const std::string command = "/usr/bin/python3 \"" + script.string() + "\" e 'E#\"' " +
                                    pythonEncoding(text->encoding()) + " '" +
                                    std::string(1, text->delimiter()) + "' \"" + files[i].string() +
                                    "\" \"" + copy.string() + "\" > \"" +
                                    (folder.path() / "out.txt").string() + "\" 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << files[i] << "\n"
                                                   << readFile(folder.path() / "out.txt");
    }
    EXPECT_GT(opened, files.size() / 2);
    EXPECT_GT(changed, opened / 2);
}

} // namespace
} // namespace engine::delimited
