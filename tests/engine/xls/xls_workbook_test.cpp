// engine::Workbook on .xls workbooks: every corpus .xls untouched by a run without matches,
// replacements read back by independent readers (check_xls.py: xlrd and olefile), and the
// files refused with their reasons.
#include "../corpus_files.h"
#include "../workbook_test_support.h"
#include "engine/workbook.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

namespace engine {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempFolder;

std::vector<fs::path> corpusXls() {
    std::vector<fs::path> out;
    for (const auto& f : corpus::spreadsheetFiles()) {
        std::string ext = f.extension().string();
        for (char& c : ext) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (ext == ".xls") {
            out.push_back(f);
        }
    }
    return out;
}

fs::path copyWritable(const fs::path& original, const fs::path& copy) {
    fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    return copy;
}

void queueAll(Workbook& book, const ReplaceRequest& request) {
    for (std::size_t s = 0; s < book.sheets().size(); ++s) {
        book.queueReplace(s, request);
    }
}

// Writes each reported cell as a line: sheet, cell, before, after, separated by tabs, with
// backslash, tab, CR and LF written as \\, \t, \r and \n.
class ChangeFile : public CellListener {
public:
    explicit ChangeFile(const fs::path& path) : m_out(path, std::ios::binary) {}
    void cell(const CellChange& c) override {
        m_out << escaped(c.sheet) << '\t' << c.cell << '\t' << escaped(c.before) << '\t'
              << escaped(c.after) << '\n';
        ++count;
    }
    static std::string escaped(const std::string& s) {
        std::string out;
        for (char ch : s) {
            switch (ch) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out.push_back(ch);
            }
        }
        return out;
    }
    std::size_t count = 0;

private:
    std::ofstream m_out;
};

std::string checker() {
    return "/usr/bin/python3 \"" +
           (fs::path(std::getenv("VARNOCLIFF_SOURCE_DIR")) / "tests" / "engine" / "xls" /
            "check_xls.py")
               .string() +
           "\"";
}

// The reasons a corpus .xls may be refused: it is encrypted, older than BIFF8, shared,
// damaged, or holds a formula that cannot be read.
const std::set<ErrorCode> kRefusals = {ErrorCode::PasswordProtected, ErrorCode::UnsupportedFormat,
                                       ErrorCode::Corrupt, ErrorCode::NotAWorkbook,
                                       ErrorCode::DigitallySigned};

TEST(XlsCorpus, NoMatchLeavesEveryWorkbookByteIdentical) {
    const auto files = corpusXls();
    if (files.empty()) {
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    }
    TempFolder folder;
    std::size_t opened = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path copy =
            copyWritable(files[i], folder.path() / ("book" + std::to_string(i) + ".xls"));
        auto book = Workbook::open(copy);
        if (!book) {
            EXPECT_TRUE(kRefusals.contains(book.error().code))
                << files[i] << ": " << book.error().message();
            continue;
        }
        ++opened;
        queueAll(*book.value(), {"no such text \x7f", "x", false, false});
        const auto dry = book.value()->dryRun();
        const auto saved = book.value()->save();
        if (!saved) {
            EXPECT_EQ(saved.error().code, ErrorCode::UnsupportedFormat)
                << files[i] << ": " << saved.error().message();
        } else {
            EXPECT_TRUE(dry.ok());
            EXPECT_EQ(saved.value().cellsChanged, 0U) << files[i];
        }
        EXPECT_TRUE(readFile(copy) == readFile(files[i])) << files[i] << " changed";
    }
    EXPECT_GT(opened, files.size() * 8 / 10);
}

TEST(XlsCorpus, ReplacementChangesExactlyTheExpectedCells) {
    const auto files = corpusXls();
    if (files.empty() ||
        std::system("/usr/bin/python3 -c 'import xlrd, olefile' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the corpus or python3 with xlrd and olefile (tools/install-deps.sh "
                        "--for-tests) is missing";
    }
    TempFolder folder;
    std::string command = checker() + " pair";
    std::size_t pairs = 0, changedFiles = 0;
    for (std::size_t i = 0; i < files.size(); i += 5) {
        const fs::path copy =
            copyWritable(files[i], folder.path() / ("book" + std::to_string(i) + ".xls"));
        auto book = Workbook::open(copy);
        if (!book) {
            continue;
        }
        const fs::path changes = folder.path() / ("changes" + std::to_string(i) + ".tsv");
        ChangeFile listener(changes);
        book.value()->setCellListener(&listener);
        // Lower-case "e" with match case: no number, boolean or error shows it, so only text
        // and formulas change; "#" keeps the result from reading as anything but text.
        queueAll(*book.value(), {"e", "E#", true, false});
        const auto saved = book.value()->save();
        if (!saved) {
            const auto code = saved.error().code;
            EXPECT_TRUE(code == ErrorCode::UnsupportedFormat || code == ErrorCode::ProtectedSheet ||
                        code == ErrorCode::InvalidFormula)
                << files[i] << ": " << saved.error().message();
            EXPECT_TRUE(readFile(copy) == readFile(files[i])) << files[i] << " changed";
            continue;
        }
        EXPECT_EQ(saved.value().cellsChanged, listener.count) << files[i];
        changedFiles += saved.value().cellsChanged > 0 ? 1 : 0;
        command += " \"" + files[i].string() + "\" \"" + copy.string() + "\" \"" +
                   changes.string() + "\" e E#";
        ++pairs;
    }
    EXPECT_GT(changedFiles, pairs / 3);
    command += " > \"" + (folder.path() / "report.txt").string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    const std::string report = readFile(folder.path() / "report.txt");
    EXPECT_EQ(status, 0) << report;
    // One line per pair: the checks ran on each (or the original was one they cannot vouch for).
    const auto countLines = [&](const std::string& start) {
        std::size_t n = 0;
        for (auto at = report.find(start); at != std::string::npos;
             at = report.find(start, at + 1)) {
            n += at == 0 || report[at - 1] == '\n' ? 1 : 0;
        }
        return n;
    };
    EXPECT_EQ(countLines("ok:") + countLines("skipped:"), pairs) << report;
    EXPECT_LE(countLines("skipped:"), pairs / 10) << report;
}

struct Refusal {
    const char* file;
    ErrorCode code;
    const char* reason;
};

class XlsRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(XlsRefusal, FailsWithItsReasonAndLeavesTheFile) {
    const fs::path original = corpus::folder() / GetParam().file;
    if (!fs::exists(original)) {
        GTEST_SKIP() << "corpus file missing";
    }
    TempFolder folder;
    const fs::path copy = copyWritable(original, folder.path() / "book.xls");
    auto book = Workbook::open(copy);
    ASSERT_FALSE(book.ok());
    EXPECT_EQ(book.error().code, GetParam().code);
    EXPECT_NE(book.error().message().find(GetParam().reason), std::string::npos)
        << book.error().message();
    EXPECT_TRUE(readFile(copy) == readFile(original));
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, XlsRefusal,
    ::testing::Values(
        Refusal{"poi/xor-encryption-abc.xls", ErrorCode::PasswordProtected, "FILEPASS"},
        Refusal{"poi/password.xls", ErrorCode::PasswordProtected, "FILEPASS"},
        Refusal{"calamine/biff5_write.xls", ErrorCode::UnsupportedFormat, "BIFF5"},
        Refusal{"poi/SimpleWithPageBreaks.xls", ErrorCode::UnsupportedFormat, "Book and Workbook"},
        Refusal{"poi/49931.xls", ErrorCode::UnsupportedFormat, "shared workbook"}));

TEST(XlsRefusal, ContentThatIsNoBinaryWorkbookFailsByWhatItIs) {
    TempFolder folder;
    const struct {
        const char* content;
        const char* reason;
    } cases[] = {
        {"<html><body><table><tr><td>1</td></tr></table></body></html>", "web page"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?><Workbook "
         "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"/>",
         "XML Spreadsheet 2003"},
        {"a,b\n1,2\n", "text file"},
        {std::string("\x09\x00\x04\x00\x02\x00\x10\x00", 8).c_str(), "BIFF2"},
    };
    for (const auto& c : cases) {
        const std::string bytes = std::string(c.reason) == "BIFF2"
                                      ? std::string("\x09\x00\x04\x00\x02\x00\x10\x00", 8)
                                      : std::string(c.content);
        const fs::path file = folder.file("book.xls", bytes);
        auto book = Workbook::open(file);
        ASSERT_FALSE(book.ok()) << c.reason;
        EXPECT_EQ(book.error().code, ErrorCode::UnsupportedFormat) << c.reason;
        EXPECT_NE(book.error().message().find(c.reason), std::string::npos)
            << book.error().message();
        EXPECT_EQ(readFile(file), bytes);
    }
}

} // namespace
} // namespace engine

namespace engine {
namespace {

// The independent checks must fail on what they are there to catch: a file the engine wrote,
// then broken in one place at a time.
TEST(XlsCheck, EachCheckCatchesItsFault) {
    const fs::path original = corpus::folder() / "poi/12843-2.xls";
    if (!fs::exists(original) ||
        std::system("/usr/bin/python3 -c 'import xlrd, olefile' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the corpus or python3 with xlrd and olefile is missing";
    }
    TempFolder folder;
    const fs::path copy = copyWritable(original, folder.path() / "book.xls");
    {
        auto book = Workbook::open(copy);
        ASSERT_TRUE(book.ok()) << book.error().message();
        // Long enough for a string to continue in a CONTINUE record, width byte and all.
        queueAll(*book.value(), {"e", std::string(200, 'E'), true, false});
        const auto saved = book.value()->save();
        ASSERT_TRUE(saved.ok()) << saved.error().message();
        ASSERT_GT(saved.value().cellsChanged, 0U);
    }
    const auto run = [&](const std::string& args) {
        const fs::path report = folder.path() / "report.txt";
        const int status =
            std::system((checker() + " " + args + " > \"" + report.string() + "\" 2>&1").c_str());
        return std::make_pair(status, readFile(report));
    };
    const auto good = run("structure \"" + copy.string() + "\"");
    EXPECT_EQ(good.first, 0) << good.second;
    const struct {
        const char* kind;
        const char* message;
    } faults[] = {
        {"bof", "which is no BOF"}, {"width", "has no width byte"}, {"extsst", "EXTSST bucket 0"}};
    for (const auto& fault : faults) {
        const fs::path broken = folder.path() / (std::string(fault.kind) + ".xls");
        const auto made = run(std::string("corrupt ") + fault.kind + " \"" + copy.string() +
                              "\" \"" + broken.string() + "\"");
        ASSERT_EQ(made.first, 0) << made.second;
        const auto checked = run("structure \"" + broken.string() + "\"");
        EXPECT_NE(checked.first, 0) << fault.kind;
        EXPECT_NE(checked.second.find(fault.message), std::string::npos) << checked.second;
    }
}

} // namespace
} // namespace engine
