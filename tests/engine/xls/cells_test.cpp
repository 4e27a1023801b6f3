// Every kind of .xls cell through the same replacement cases, on a workbook the test builds
// (make_xls.py, with xlwt): the cells read back with xlrd, the stream checked by check_xls.py.
#include "../workbook_test_support.h"
#include "engine/workbook.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>

namespace engine {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempFolder;

std::string script(const char* name) {
    return "/usr/bin/python3 \"" +
           (fs::path(std::getenv("VARNOCLIFF_SOURCE_DIR")) / "tests" / "engine" / "xls" / name)
               .string() +
           "\"";
}

// Cell -> "kind value", as check_xls.py cells prints them.
std::map<std::string, std::string> cells(const fs::path& file, const fs::path& report) {
    std::map<std::string, std::string> out;
    if (std::system((script("check_xls.py") + " cells \"" + file.string() + "\" > \"" +
                     report.string() + "\"")
                        .c_str()) != 0) {
        return out;
    }
    const std::string text = readFile(report);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        const std::size_t tab = line.find('\t');
        std::string rest = line.substr(tab + 1);
        rest[rest.find('\t')] = ' ';
        out[line.substr(0, tab)] = rest;
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

ReplaceRequest request(const char* find, const char* replacement, bool wholeCell = false) {
    return {find, replacement, true, wholeCell};
}

struct CellCase {
    const char* name;
    ReplaceRequest request;
    bool bothSheets; // else only "Data"
    std::optional<ErrorCode> error;
    std::map<std::string, std::string> changed; // cell -> "kind value", or "" when it goes
};

class XlsCells : public ::testing::TestWithParam<CellCase> {};

TEST_P(XlsCells, ChangeExactlyTheExpectedCells) {
    if (std::system("/usr/bin/python3 -c 'import xlrd, olefile, xlwt' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 with xlrd, olefile and xlwt is missing";
    }
    const CellCase& c = GetParam();
    TempFolder folder;
    const fs::path original = folder.path() / "original.xls";
    ASSERT_EQ(std::system((script("make_xls.py") + " \"" + original.string() + "\"").c_str()), 0);
    const fs::path copy = folder.path() / "copy.xls";
    fs::copy_file(original, copy);
    auto book = Workbook::open(copy);
    ASSERT_TRUE(book.ok()) << book.error().message();
    ASSERT_EQ(book.value()->sheets().size(), 2U);
    for (std::size_t s = 0; s < (c.bothSheets ? 2U : 1U); ++s) {
        book.value()->queueReplace(s, c.request);
    }
    const auto dry = book.value()->dryRun();
    const auto saved = book.value()->save();
    ASSERT_EQ(dry.ok(), saved.ok());
    if (c.error) {
        ASSERT_FALSE(saved.ok());
        EXPECT_EQ(saved.error().code, *c.error) << saved.error().message();
        EXPECT_EQ(readFile(copy), readFile(original));
        return;
    }
    ASSERT_TRUE(saved.ok()) << saved.error().message();
    EXPECT_EQ(saved.value().cellsChanged, c.changed.size());
    EXPECT_EQ(dry.value().cellsChanged, saved.value().cellsChanged);
    const fs::path report = folder.path() / "report.txt";
    EXPECT_EQ(std::system((script("check_xls.py") + " structure \"" + copy.string() + "\" > \"" +
                           report.string() + "\" 2>&1")
                              .c_str()),
              0)
        << readFile(report);
    auto expected = cells(original, report);
    ASSERT_FALSE(expected.empty());
    for (const auto& [cell, value] : c.changed) {
        if (value.empty()) {
            expected.erase(cell);
        } else {
            expected[cell] = value;
        }
    }
    EXPECT_EQ(cells(copy, report), expected);
}

// LibreOffice's CSV of the sheet, which it calculates again on opening.
std::string libreOfficeCsv(const fs::path& file, const fs::path& folder) {
    const std::string command =
        "HOME=\"" + folder.string() +
        "\" timeout 120 soffice --headless --convert-to "
        "'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' --outdir "
        "\"" +
        folder.string() + "\" \"" + file.string() + "\" > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        return "<soffice failed>";
    }
    return readFile(folder / (file.stem().string() + "-Data.csv"));
}

TEST(XlsCellsLibreOffice, ShowsTheReplacedTextsAndRecalculatedFormulas) {
    if (std::system("command -v soffice >/dev/null 2>&1") != 0 ||
        std::system("/usr/bin/python3 -c 'import xlwt' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "LibreOffice or python3 with xlwt is missing";
    }
    TempFolder folder;
    const fs::path original = folder.path() / "original.xls";
    ASSERT_EQ(std::system((script("make_xls.py") + " \"" + original.string() + "\"").c_str()), 0);
    const fs::path copy = folder.path() / "copy.xls";
    fs::copy_file(original, copy);
    {
        auto book = Workbook::open(copy);
        ASSERT_TRUE(book.ok());
        book.value()->queueReplace(0, request("alpha", "omega"));
        ASSERT_TRUE(book.value()->save().ok());
    }
    std::string expected = libreOfficeCsv(original, folder.path());
    for (auto at = expected.find("alpha"); at != std::string::npos;
         at = expected.find("alpha", at)) {
        expected.replace(at, 5, "omega");
    }
    ASSERT_NE(expected.find("omega beta"), std::string::npos) << expected;
    EXPECT_EQ(libreOfficeCsv(copy, folder.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XlsCells,
    ::testing::Values(
        // Shared strings (one of them rich), and a formula's texts in quotes: the formula keeps
        // its cached result until it is calculated again.
        CellCase{"Text",
                 request("alpha", "omega"),
                 false,
                 std::nullopt,
                 {{"Data!A1", "text omega beta"},
                  {"Data!A2", "text plain bold omega"},
                  {"Data!B1", "text omega"},
                  {"Data!B2", "text omega"},
                  {"Data!B3", "text omega"},
                  {"Data!A7", "text "}}},
        // Numbers on their General text, typed again: a number stays a number (an RK becomes
        // a NUMBER), anything else becomes a new shared string.
        CellCase{"NumberStaysNumber",
                 request("345", "999"),
                 false,
                 std::nullopt,
                 {{"Data!A3", "number 12999.0"}}},
        CellCase{"NumberBecomesText",
                 request("1234.", "1234,"),
                 false,
                 std::nullopt,
                 {{"Data!A4", "text 1234,5678"}}},
        CellCase{"DatesAreNotMatched", request("45000", "1"), false, std::nullopt, {}},
        CellCase{"Boolean", request("TRUE", "FALSE"), false, std::nullopt, {{"Data!A6", "bool 0"}}},
        CellCase{"WholeCell",
                 request("alpha", "x", true),
                 false,
                 std::nullopt,
                 {{"Data!B1", "text x"}, {"Data!B2", "text x"}, {"Data!B3", "text x"}}},
        CellCase{"EmptyResultBlanks",
                 request("alpha", "", true),
                 false,
                 std::nullopt,
                 {{"Data!B1", ""}, {"Data!B2", ""}, {"Data!B3", ""}}},
        // A sheet of its own: the shared string is added, not changed where it is.
        CellCase{
            "UnlockedCellOfProtectedSheet",
            request("beta", "gamma"),
            true,
            std::nullopt,
            {{"Data!A1", "text alpha gamma"}, {"Data!A7", "text "}, {"Locked!A2", "text gamma"}}},
        CellCase{"LockedCellOfProtectedSheet",
                 request("alpha", "omega"),
                 true,
                 ErrorCode::ProtectedSheet,
                 {}},
        CellCase{"FormulaOutsideItsTexts",
                 request("SUM", "MAX"),
                 false,
                 ErrorCode::UnsupportedFormat,
                 {}},
        CellCase{"FormulaTextTooLong",
                 request("x", std::string(300, 'y').c_str()),
                 false,
                 ErrorCode::InvalidFormula,
                 {}}),
    [](const ::testing::TestParamInfo<CellCase>& param) { return std::string(param.param.name); });

} // namespace
} // namespace engine

namespace engine {
namespace {

TEST(XlsBackup, KeepsTheOriginalBesideTheSavedWorkbookWhenAsked) {
    if (std::system("/usr/bin/python3 -c 'import xlwt' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 with xlwt is missing";
    }
    TempFolder folder;
    const fs::path copy = folder.path() / "book.xls";
    ASSERT_EQ(std::system((script("make_xls.py") + " \"" + copy.string() + "\"").c_str()), 0);
    const std::string before = readFile(copy);
    OpenOptions options;
    options.backupSuffix = ".orig";
    auto book = Workbook::open(copy, options);
    ASSERT_TRUE(book.ok());
    book.value()->queueReplace(0, {"alpha", "omega", true, false});
    ASSERT_TRUE(book.value()->save().ok());
    EXPECT_EQ(readFile(folder.path() / "book.xls.orig"), before);
    EXPECT_NE(readFile(copy), before);
}

} // namespace
} // namespace engine

namespace engine {
namespace {

struct Listed : CellListener {
    std::vector<std::string> cells;
    void cell(const CellChange& c) override {
        cells.push_back(c.sheet + "!" + c.cell + "=" + c.before +
                        (c.before == c.after ? "" : "->"));
    }
};

TEST(XlsSearch, ListsEveryMatchingCellInRowOrderAndWritesNothing) {
    if (std::system("/usr/bin/python3 -c 'import xlwt' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 with xlwt is missing";
    }
    TempFolder folder;
    const fs::path file = folder.path() / "book.xls";
    ASSERT_EQ(std::system((script("make_xls.py") + " \"" + file.string() + "\"").c_str()), 0);
    const std::string before = readFile(file);
    auto book = Workbook::open(file);
    ASSERT_TRUE(book.ok());
    // Each request on its own: "12345" finds the number, "beta" the locked sheet's cell too.
    for (std::size_t s = 0; s < 2; ++s) {
        book.value()->queueReplace(s, {"ALPHA", "x", false, false});
        book.value()->queueReplace(s, {"beta", "alpha", true, true});
        book.value()->queueReplace(s, {"12345", "x", true, false});
    }
    Listed listed;
    ASSERT_TRUE(book.value()->search(listed).ok());
    EXPECT_EQ(listed.cells, (std::vector<std::string>{
                                "Data!A1=alpha beta", "Data!B1=alpha", "Data!A2=plain bold alpha",
                                "Data!B2=alpha", "Data!A3=12345", "Data!B3=alpha",
                                "Data!A7==IF(A1=\"alpha beta\",\"alpha\",\"x\")", "Locked!A1=alpha",
                                "Locked!A2=beta"}));
    EXPECT_EQ(readFile(file), before);
}

} // namespace
} // namespace engine
