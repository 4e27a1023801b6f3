// Golden tests over the corpus of real workbooks: a replacement that matches nothing leaves
// every file byte-identical, and on a sample a replacement that matches changes exactly the
// expected cells (read back by openpyxl) while every entry not edited keeps its bytes.
#include "corpus_files.h"
#include "engine/workbook.h"
#include "workbook_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace engine {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempFolder;

std::string lowerExtension(const fs::path& p) {
    std::string e = p.extension().string();
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

std::vector<fs::path> corpusWorkbooks() {
    static const std::set<std::string> kinds = {".xlsx", ".xlsm", ".xltx", ".xltm", ".xlam"};
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(corpus::folder(), ec), end; it != end;
         it.increment(ec)) {
        if (it->is_regular_file() && kinds.count(lowerExtension(it->path())) != 0) {
            out.push_back(it->path());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

void queueAll(Workbook& book, const ReplaceRequest& request) {
    for (std::size_t i = 0; i < book.sheets().size(); ++i) {
        book.queueReplace(i, request);
    }
}

TEST(Corpus, NoMatchLeavesEveryWorkbookByteIdentical) {
    const auto files = corpusWorkbooks();
    if (files.empty()) {
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    }
    ASSERT_GT(files.size(), 1000U);
    TempFolder folder;
    std::size_t opened = 0;
    for (const auto& original : files) {
        const fs::path copy = folder.path() / "book.xlsx";
        fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
        auto book = Workbook::open(copy);
        if (!book.ok()) {
            EXPECT_EQ(book.error().code, ErrorCode::PasswordProtected)
                << original << ": " << book.error().message();
            continue;
        }
        ++opened;
        queueAll(*book.value(), {"\x01no such text\x02", "x", false});
        const auto counts = book.value()->save();
        ASSERT_TRUE(counts.ok()) << original << ": " << counts.error().message();
        EXPECT_EQ(counts.value().cellsChanged, 0U) << original;
        EXPECT_TRUE(readFile(copy) == readFile(original)) << original << " changed";
    }
    EXPECT_GT(opened, 1000U);
}

// Entries whose bytes may change when cells change; a changed formula also marks the workbook
// for recalculation and drops the calculation chain with its relationship and content type.
bool editable(const std::string& name) {
    return name.find("sharedStrings") != std::string::npos || name == "xl/workbook.xml" ||
           name == "xl/_rels/workbook.xml.rels" || name == "[Content_Types].xml" ||
           name.find("worksheets/") != std::string::npos ||
           name.find("macrosheets/") != std::string::npos ||
           name.find("tables/") != std::string::npos;
}

bool isCalcChain(const zip::EntryInfo& e) {
    return e.name == "xl/calcChain.xml";
}

// Every entry keeps its name and order (the calculation chain may go); an entry that is not
// editable keeps its local header, data and data descriptor byte for byte.
void expectUntouchedEntries(const fs::path& before, const fs::path& after) {
    auto a = zip::ZipReader::open(before);
    auto b = zip::ZipReader::open(after);
    ASSERT_TRUE(a.ok() && b.ok()) << after;
    auto ea = a.value()->entries();
    const auto& eb = b.value()->entries();
    if (std::none_of(eb.begin(), eb.end(), isCalcChain)) {
        ea.erase(std::remove_if(ea.begin(), ea.end(), isCalcChain), ea.end());
    }
    ASSERT_EQ(ea.size(), eb.size()) << after;
    for (std::size_t i = 0; i < ea.size(); ++i) {
        EXPECT_EQ(ea[i].name, eb[i].name);
        if (editable(ea[i].name)) {
            continue;
        }
        std::string x, y;
        ASSERT_TRUE(
            a.value()
                ->readRaw(ea[i].localHeaderOffset, ea[i].entryEnd - ea[i].localHeaderOffset, x)
                .ok());
        ASSERT_TRUE(
            b.value()
                ->readRaw(eb[i].localHeaderOffset, eb[i].entryEnd - eb[i].localHeaderOffset, y)
                .ok());
        EXPECT_TRUE(x == y) << after << ": entry " << ea[i].name << " changed";
    }
}

// A copy of a corpus workbook that the test may change: the corpus files are read-only.
void copyWritable(const fs::path& original, const fs::path& copy) {
    fs::copy_file(original, copy);
    fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
}

// After a formula changed: the calculation chain is gone with its relationship and content
// type, and the workbook asks for a full calculation when it is opened.
void expectCalculationReset(const fs::path& copy) {
    auto after = zip::ZipReader::open(copy);
    ASSERT_TRUE(after.ok());
    EXPECT_FALSE(after.value()->find("xl/calcChain.xml").has_value());
    EXPECT_EQ(testing::part(copy, "xl/_rels/workbook.xml.rels").find("calcChain"),
              std::string::npos);
    EXPECT_EQ(testing::part(copy, "[Content_Types].xml").find("calcChain"), std::string::npos);
    EXPECT_NE(testing::part(copy, "xl/workbook.xml").find(R"(fullCalcOnLoad="1")"),
              std::string::npos);
}

TEST(Corpus, ReplacementChangesExactlyTheExpectedCells) {
    const auto files = corpusWorkbooks();
    if (files.empty()) {
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    }
    if (!fs::exists("/usr/bin/python3")) {
        GTEST_SKIP() << "python3 with openpyxl is needed to read the workbooks back";
    }
    // A sample across the sources and creating programs, and files with rich text, inline
    // strings, tables, protection, strict namespaces and escapes.
    std::vector<fs::path> sample;
    for (std::size_t i = 0; i < files.size(); i += 23) {
        sample.push_back(files[i]);
    }
    for (const char* name :
         {"xlsxwriter/rich_string01.xlsx", "calamine/rph.xlsx", "poi/45544.xlsx",
          "phpspreadsheet/reader-xlsx/double_attr_drawing.xlsx", "poi/56644.xlsx",
          "phpspreadsheet/reader-xlsx/issue.4248.xlsx", "xlsxwriter/escapes03.xlsx",
          "poi/54084 - Greek - beyond BMP.xlsx", "phpspreadsheet/misc/Table/TableFormulae.xlsx"}) {
        if (fs::exists(corpus::folder() / name)) {
            sample.push_back(corpus::folder() / name);
        }
    }

    TempFolder folder;
    std::string command =
        "/usr/bin/python3 \"" +
        (fs::path(std::getenv("VARNOCLIFF_SOURCE_DIR")) / "tests" / "engine" / "read_back_cells.py")
            .string() +
        "\" e 'E#' 1";
    std::size_t changedFiles = 0;
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < sample.size(); ++i) {
        const fs::path copy = folder.path() / ("book" + std::to_string(i) + ".xlsx");
        copyWritable(sample[i], copy);
        auto book = Workbook::open(copy);
        if (!book.ok()) {
            continue;
        }
        // Lower-case "e" with match case: no number, boolean or error shows it, so only text
        // constants and formulas change, which is what the reader below models.
        queueAll(*book.value(), {"e", "E#", true});
        const auto counts = book.value()->save();
        if (!counts.ok()) {
            // Refusing is allowed only for the reasons the rules give, and leaves the file.
            const auto code = counts.error().code;
            EXPECT_TRUE(code == ErrorCode::ProtectedSheet ||
                        code == ErrorCode::TableHeaderConflict || code == ErrorCode::InvalidFormula)
                << sample[i] << ": " << counts.error().message();
            EXPECT_TRUE(readFile(copy) == readFile(sample[i]));
            continue;
        }
        changedFiles += counts.value().cellsChanged > 0 ? 1 : 0;
        expectUntouchedEntries(sample[i], copy);
        command += " \"" + sample[i].string() + "\" \"" + copy.string() + "\"";
        ++pairs;
    }
    // Some are refused: "#" leaves names in formulas unreadable ("Sheet1!A2" would become
    // "ShE#E#t1!A2").
    EXPECT_GT(changedFiles, sample.size() / 4);
    command += " > \"" + (folder.path() / "read_back.txt").string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    const std::string report = readFile(folder.path() / "read_back.txt");
    EXPECT_EQ(status, 0) << report;
    // One summary line per workbook read back: the reader really looked at each of them.
    std::size_t lines = 0;
    for (auto at = report.find("cells changed:"); at != std::string::npos;
         at = report.find("cells changed:", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, pairs) << report;
}

// Values that only look like constants: pictures in cells ("#VALUE!" stands in for them) and
// the results of array formulas. Replacing their text changes nothing, so the files stay as
// they were.
TEST(Corpus, RichValuesAndArrayResultsAreNoConstants) {
    struct Case {
        const char* file;
        ReplaceRequest request;
    };
    const std::vector<Case> cases = {
        {"phpspreadsheet/reader-xlsx/drawing_in_cell.xlsx", {"#VALUE!", "x", true}},
        {"calamine/pictures_in_cell_and_over_cell.xlsx", {"VALUE", "V", false}},
        {"calamine/picture_richdata.xlsx", {"#VALUE!", "", true}},
        {"xlsxwriter/array_formula04.xlsx", {"0", "9", true}},
    };
    std::size_t found = 0;
    for (const auto& c : cases) {
        const fs::path original = corpus::folder() / c.file;
        if (!fs::exists(original)) {
            continue;
        }
        ++found;
        TempFolder folder;
        const fs::path copy = folder.path() / "book.xlsx";
        copyWritable(original, copy);
        auto book = Workbook::open(copy);
        ASSERT_TRUE(book.ok()) << c.file << ": " << book.error().message();
        queueAll(*book.value(), c.request);
        const auto counts = book.value()->save();
        ASSERT_TRUE(counts.ok()) << c.file << ": " << counts.error().message();
        EXPECT_EQ(counts.value().cellsChanged, 0U) << c.file;
        EXPECT_TRUE(readFile(copy) == readFile(original)) << c.file;
    }
    if (found == 0) {
        GTEST_SKIP() << "corpus of real workbooks not found beside the project";
    }
}

TEST(Corpus, SharedFormulaGroupIsWrittenOutCellByCell) {
    const fs::path original = corpus::folder() / "poi" / "shared_formulas.xlsx";
    if (!fs::exists(original) || !fs::exists("/usr/bin/python3")) {
        GTEST_SKIP() << "the corpus workbook or python3 with openpyxl is missing";
    }
    TempFolder folder;
    const fs::path copy = folder.path() / "book.xlsx";
    copyWritable(original, copy);
    auto book = Workbook::open(copy);
    ASSERT_TRUE(book.ok()) << book.error().message();
    // A2:A41 share "=B2" shifted down the column; "B3" matches the members A3 and A30:A39,
    // which come after A2 and the unchanged member A2..A29 have passed.
    queueAll(*book.value(), {"B3", "C3", true});
    const auto dry = book.value()->dryRun();
    ASSERT_TRUE(dry.ok()) << dry.error().message();
    const auto counts = book.value()->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 11U);
    EXPECT_EQ(dry.value().cellsChanged, counts.value().cellsChanged);

    const std::string sheet = testing::part(copy, "xl/worksheets/sheet1.xml");
    EXPECT_EQ(sheet.find("t=\"shared\""), std::string::npos) << "the group was not expanded";
    EXPECT_NE(sheet.find("<c r=\"A3\"><f>C3</f></c>"), std::string::npos)
        << "a changed cell kept its cached value or type";
    EXPECT_NE(sheet.find("<c r=\"A4\" t=\"str\"><f>B4</f><v>"), std::string::npos)
        << "an unchanged member lost its value or did not get its own formula";
    expectCalculationReset(copy);
    EXPECT_NE(testing::part(copy, "xl/workbook.xml")
                  .find(R"(<calcPr calcId="124519" fullCalcOnLoad="1"/>)"),
              std::string::npos);
    expectUntouchedEntries(original, copy);

    // openpyxl gives every member of a shared group its own formula: each must be the
    // original's with the replacement made.
    const std::string command =
        "/usr/bin/python3 \"" +
        (fs::path(std::getenv("VARNOCLIFF_SOURCE_DIR")) / "tests" / "engine" / "read_back_cells.py")
            .string() +
        "\" B3 C3 1 \"" + original.string() + "\" \"" + copy.string() + "\" > \"" +
        (folder.path() / "read_back.txt").string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    const std::string report = readFile(folder.path() / "read_back.txt");
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find("cells changed: 11"), std::string::npos) << report;
}

// Golden cases over real workbooks with formulas: array formulas, newer functions, tables with
// calculated columns and structured references, a calculation chain. Each is checked three
// ways: the bytes the engine writes, an independent reading by openpyxl (every formula of
// before with the replacement made, cached values of changed cells gone, arrays keeping their
// range, table columns named after their header cells), and LibreOffice, where installed,
// which loads and recalculates the workbook: every cell must show what it showed before
// except the cells the case names.
struct FormulaCase {
    const char* file;
    const char* find;
    const char* replacement;
    std::size_t cellsChanged;
    /// part -> text the part must hold after the save
    std::vector<std::pair<const char*, const char*>> written;
    /// "Sheet!A1=value" LibreOffice must show; every other cell shows what it did before.
    std::vector<const char*> values;
    bool loadOnly = false; ///< this LibreOffice lacks a function the workbook uses
};

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (const char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

TEST(Corpus, FormulaReplacementsReadBackAndRecalculate) {
    if (!fs::exists(corpus::folder() / "poi" / "xlookup.xlsx") || !fs::exists("/usr/bin/python3")) {
        GTEST_SKIP() << "the corpus of real workbooks or python3 with openpyxl is missing";
    }
    const std::vector<FormulaCase> cases = {
        // An array formula over A1:A3: the range stays, the first cell's value goes.
        {"xlsxwriter/array_formula01.xlsx",
         "B1:C1",
         "B3:C3",
         1,
         {{"xl/worksheets/sheet1.xml",
           R"(<c r="A1"><f t="array" ref="A1:A3">SUM(B3:C3*B2:C2)</f></c>)"}},
         {}},
        // A dynamic array of a newer function: the stored prefix stays, the text type goes.
        {"poi/xlookup.xlsx",
         "(B2,",
         "(B7,",
         1,
         {{"xl/worksheets/sheet1.xml",
           R"(<c r="C2" cm="1"><f t="array" ref="C2:D2">_xlfn.XLOOKUP(B7,B5:B14,C5:D14)</f></c>)"}},
         {},
         true},
        // A header cell renames its table column; the calculated column's formulas in the
        // cells and in the table part follow, and the results do not change.
        {"phpspreadsheet/misc/Table/TableFormulae.xlsx",
         "% Commission",
         "Rate",
         7,
         {{"xl/tables/table1.xml", R"(name="Rate")"},
          {"xl/tables/table1.xml",
           "<calculatedColumnFormula>DeptSales[[#This Row],[Sales\u00a0Amount]]*"
           "DeptSales[[#This Row],[Rate]]</calculatedColumnFormula>"},
          {"xl/worksheets/sheet1.xml",
           "<c r=\"E2\" s=\"6\"><f>DeptSales[[#This Row],[Sales\u00a0Amount]]*"
           "DeptSales[[#This Row],[Rate]]</f></c>"}},
         {"Sheet1!D1=Rate"}},
        // The same over a real workbook of five sheets: 3,798 formulas on another sheet than
        // the table refer to the renamed column.
        {"poi/StructuredRefs-lots-with-lookups.xlsx",
         "valueA",
         "valueX",
         3799,
         {{"xl/tables/table1.xml", R"(name="valueX")"}},
         {"Query!C1=valueX"}},
    };
    const fs::path script =
        fs::path(std::getenv("VARNOCLIFF_SOURCE_DIR")) / "tests" / "engine" / "check_formulas.py";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path original = corpus::folder() / c.file;
        TempFolder folder;
        const fs::path copy = folder.path() / "book.xlsx";
        copyWritable(original, copy);
        auto book = Workbook::open(copy);
        ASSERT_TRUE(book.ok()) << book.error().message();
        queueAll(*book.value(), {c.find, c.replacement, true});
        const auto dry = book.value()->dryRun();
        ASSERT_TRUE(dry.ok()) << dry.error().message();
        const auto counts = book.value()->save();
        ASSERT_TRUE(counts.ok()) << counts.error().message();
        EXPECT_EQ(counts.value().cellsChanged, c.cellsChanged);
        EXPECT_EQ(dry.value().cellsChanged, counts.value().cellsChanged);

        for (const auto& [name, text] : c.written) {
            EXPECT_NE(testing::part(copy, name).find(text), std::string::npos)
                << name << " lacks " << text;
        }
        expectCalculationReset(copy);
        expectUntouchedEntries(original, copy);

        std::string command = "/usr/bin/python3 " + quoted(script.string()) + " " + quoted(c.find) +
                              " " + quoted(c.replacement) + " 1 " + quoted(original.string()) +
                              " " + quoted(copy.string()) + " --libreoffice " +
                              quoted(folder.path().string());
        if (c.loadOnly) {
            command += " --load-only";
        }
        if (!c.values.empty()) {
            command += " --values";
            for (const char* v : c.values) {
                command += " " + quoted(v);
            }
        }
        command += " > " + quoted((folder.path() / "report.txt").string()) + " 2>&1";
        const int status = std::system(command.c_str());
        const std::string report = readFile(folder.path() / "report.txt");
        EXPECT_EQ(status, 0) << report;
        EXPECT_NE(report.find("formula cells changed: "), std::string::npos) << report;
    }
}

// A replacement that would leave a structured reference pointing nowhere fails the file, which
// keeps its bytes, and the message names the formula.
TEST(Corpus, BrokenStructuredReferencesFailTheFile) {
    const fs::path original =
        corpus::folder() / "phpspreadsheet" / "misc" / "Table" / "TableFormulae.xlsx";
    if (!fs::exists(original)) {
        GTEST_SKIP() << "the corpus of real workbooks is missing";
    }
    const struct {
        const char* find;
        const char* replacement;
        const char* message;
    } cases[] = {
        // "DeptSales" becomes "DeptRevenue" in the formulas, but no table has that name.
        {"Sales", "Revenue",
         R"(Sheet1!E2: the formula would refer to table "DeptRevenue", which the workbook does not have)"},
        // The header and E8 change, but the defined name CommissionTotal keeps the old name.
        {"Commission Amount", "Fee",
         R"(defined name CommissionTotal: the formula refers to column "Commission Amount" of table "DeptSales", which the replacement renames in its header cell)"},
        {"DeptSales[Commission Amount]", "DeptSales[Nope]",
         R"(Sheet1!E8: the formula would refer to column "Nope" of table "DeptSales", which the table does not have)"},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const fs::path copy = folder.path() / "book.xlsx";
        copyWritable(original, copy);
        auto book = Workbook::open(copy);
        ASSERT_TRUE(book.ok());
        queueAll(*book.value(), {c.find, c.replacement, true});
        const auto dry = book.value()->dryRun();
        const auto counts = book.value()->save();
        ASSERT_FALSE(dry.ok()) << c.find;
        ASSERT_FALSE(counts.ok()) << c.find;
        EXPECT_EQ(counts.error().code, ErrorCode::InvalidFormula);
        EXPECT_NE(counts.error().message().find(c.message), std::string::npos)
            << counts.error().message();
        EXPECT_TRUE(readFile(copy) == readFile(original)) << c.find;
    }
}

} // namespace
} // namespace engine
