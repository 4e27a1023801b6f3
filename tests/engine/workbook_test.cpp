// engine::Workbook on small packages built for each case: sheet kinds, what save writes and
// what it leaves alone, per-sheet queues, table headers, protected sheets, refused files.
#include "engine/workbook.h"
#include "ooxml/worksheet.h"
#include "package/sys_calls.h"
#include "workbook_test_support.h"
#include "zip/zip_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace engine {
namespace {

using testing::part;
using testing::readFile;
using testing::sst;
using testing::TempFolder;
using testing::TestBook;
using testing::worksheet;

std::string sharedCell(const std::string& ref, int index, const std::string& style = "") {
    return "<c r=\"" + ref + "\"" + (style.empty() ? "" : " s=\"" + style + "\"") + " t=\"s\"><v>" +
           std::to_string(index) + "</v></c>";
}

std::unique_ptr<Workbook> openOk(const std::filesystem::path& path) {
    auto book = Workbook::open(path);
    EXPECT_TRUE(book.ok()) << book.error().message();
    return book.ok() ? std::move(book.value()) : nullptr;
}

void queueAll(Workbook& book, const ReplaceRequest& request) {
    for (std::size_t i = 0; i < book.sheets().size(); ++i) {
        book.queueReplace(i, request);
    }
}

TEST(Workbook, SheetsComeInWorkbookOrderWithTheirKinds) {
    TestBook b;
    b.sheets = {{"Data", worksheet("")},
                {"Chart", "<chartsheet xmlns=\"" + testing::kMainNs + "\"/>", "chartsheet"},
                {"Dialog", "<dialogsheet xmlns=\"" + testing::kMainNs + "\"/>"},
                {"Macro",
                 "<xm:macrosheet xmlns:xm=\"http://schemas.microsoft.com/office/excel/2006/main\" "
                 "xmlns=\"" +
                     testing::kMainNs + "\"><sheetData/></xm:macrosheet>",
                 "macrosheet"}};
    TempFolder folder;
    auto book = openOk(folder.file("kinds.xlsm", b.bytes()));
    ASSERT_TRUE(book);
    ASSERT_EQ(book->sheets().size(), 4U);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"Data", true}, {"Chart", false}, {"Dialog", false}, {"Macro", true}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(book->sheets()[i].name, expected[i].first);
        EXPECT_EQ(book->sheets()[i].hasCells, expected[i].second) << expected[i].first;
    }
}

TEST(Workbook, NothingToChangeWritesNothing) {
    TestBook b;
    b.sheets = {{"S", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>")}};
    b.sharedStrings = sst({"alpha"});
    TempFolder folder;
    const auto path = folder.file("same.xlsx", b.bytes());
    struct stat before {};
    ::stat(path.c_str(), &before);
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"gamma", "delta", false});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok());
    EXPECT_EQ(counts.value().cellsChanged, 0U);
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the file was replaced";
    EXPECT_EQ(readFile(path), b.bytes());
}

// Fault: a shared string that no cell shows was matched and rewritten, so the file got a new
// inode while the report said "unchanged". Each row: the sheet's cells over the strings
// {"beta", "alpha"}, where "alpha" is shown by no cell.
class StringsNoCellShows : public ::testing::TestWithParam<std::string> {};

TEST_P(StringsNoCellShows, AreNotMatchedAndTheFileIsNotWritten) {
    TestBook b;
    b.sheets = {{"S", worksheet(GetParam())}};
    b.sharedStrings = sst({"beta", "alpha"});
    TempFolder folder;
    const auto path = folder.file("unused.xlsx", b.bytes());
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"alpha", "omega", false});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 0U);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the file was written";
    EXPECT_EQ(readFile(path), b.bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StringsNoCellShows,
    ::testing::Values("<row r=\"1\">" + sharedCell("A1", 0) + "</row>",
                      // The second cell of an array formula's range holds its result.
                      "<row r=\"1\"><c r=\"A1\"><f t=\"array\" ref=\"A1:A2\">B1:B2</f>"
                      "<v>0</v></c></row><row r=\"2\">" +
                          sharedCell("A2", 1) + "</row>"));

TEST(Workbook, SaveRewritesOnlyTheChangedPartsAndDryRunWritesNothing) {
    TestBook b;
    b.sheets = {{"S", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + sharedCell("B1", 1) +
                                "<c r=\"C1\" t=\"inlineStr\"><is><t>beta</t></is></c></row>")},
                {"T", worksheet("<row r=\"1\">" + sharedCell("A1", 1) + "</row>")}};
    b.sharedStrings = sst({"alpha", "beta"});
    TempFolder folder;
    const auto path = folder.file("book.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"BETA", "omega", false});

    const auto dry = book->dryRun();
    ASSERT_TRUE(dry.ok()) << dry.error().message();
    EXPECT_EQ(readFile(path), b.bytes());
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 3U);
    EXPECT_EQ(counts.value().replacements, 3U);
    EXPECT_EQ(dry.value().cellsChanged, counts.value().cellsChanged);
    EXPECT_EQ(dry.value().replacements, counts.value().replacements);

    // One queue on every sheet: the string changes where it is, so sheet T is untouched.
    EXPECT_EQ(part(path, "xl/sharedStrings.xml"), sst({"alpha", "omega"}));
    EXPECT_EQ(part(path, "xl/worksheets/sheet2.xml"), b.sheets[1].xml);
    EXPECT_NE(part(path, "xl/worksheets/sheet1.xml").find("<t>omega</t>"), std::string::npos);

    auto before = zip::ZipReader::open(folder.file("original.xlsx", b.bytes()));
    auto after = zip::ZipReader::open(path);
    ASSERT_TRUE(before.ok() && after.ok());
    const auto& oldEntries = before.value()->entries();
    const auto& newEntries = after.value()->entries();
    ASSERT_EQ(oldEntries.size(), newEntries.size());
    for (std::size_t i = 0; i < oldEntries.size(); ++i) {
        EXPECT_EQ(oldEntries[i].name, newEntries[i].name);
        const bool edited = oldEntries[i].name == "xl/sharedStrings.xml" ||
                            oldEntries[i].name == "xl/worksheets/sheet1.xml";
        std::string a, c;
        ASSERT_TRUE(before.value()
                        ->readRaw(oldEntries[i].dataOffset, oldEntries[i].compressedSize, a)
                        .ok());
        ASSERT_TRUE(
            after.value()->readRaw(newEntries[i].dataOffset, newEntries[i].compressedSize, c).ok());
        EXPECT_EQ(a == c, !edited) << oldEntries[i].name;
        if (edited) {
            EXPECT_EQ(newEntries[i].method, 8) << oldEntries[i].name;
        }
    }
}

TEST(Workbook, BackupIsKeptOnlyForAChangedFile) {
    TestBook b;
    b.sheets = {{"S", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>")}};
    b.sharedStrings = sst({"alpha"});
    TempFolder folder;
    const auto path = folder.file("book.xlsx", b.bytes());
    for (const char* find : {"gamma", "alpha"}) {
        OpenOptions options;
        options.backupSuffix = ".orig";
        auto book = Workbook::open(path, options);
        ASSERT_TRUE(book.ok());
        queueAll(*book.value(), {find, "omega", false});
        ASSERT_TRUE(book.value()->save().ok());
        EXPECT_EQ(std::filesystem::exists(folder.path() / "book.xlsx.orig"), find[0] == 'a')
            << find;
    }
    EXPECT_EQ(readFile(folder.path() / "book.xlsx.orig"), b.bytes());
    EXPECT_EQ(part(path, "xl/sharedStrings.xml"), sst({"omega"}));
}

TEST(Workbook, SecondSaveWorksOnTheSavedFile) {
    TestBook b;
    b.sheets = {{"S", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>")}};
    b.sharedStrings = sst({"alpha"});
    TempFolder folder;
    const auto path = folder.file("twice.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"alpha", "beta", true});
    ASSERT_TRUE(book->save().ok());
    queueAll(*book, {"beta", "gamma", true});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 1U);
    EXPECT_EQ(part(path, "xl/sharedStrings.xml"), sst({"gamma"}));
}

TEST(Workbook, SheetsWithDifferentQueuesKeepTheirOwnText) {
    TestBook b;
    b.sheets = {{"One", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>")},
                {"Two", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>")},
                {"Three", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>")}};
    b.sharedStrings = sst({"alpha"});
    TempFolder folder;
    const auto path = folder.file("queues.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    book->queueReplace(0, {"alpha", "one", true});
    book->queueReplace(2, {"alpha", "three", true});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 2U);

    // The original string stays for sheet Two; the others point at appended strings.
    const std::string strings = part(path, "xl/sharedStrings.xml");
    EXPECT_NE(strings.find("uniqueCount=\"3\""), std::string::npos) << strings;
    EXPECT_NE(strings.find("<si><t>alpha</t></si><si><t>one</t></si><si><t>three</t></si>"),
              std::string::npos)
        << strings;
    EXPECT_NE(part(path, "xl/worksheets/sheet1.xml").find("<v>1</v>"), std::string::npos);
    EXPECT_EQ(part(path, "xl/worksheets/sheet2.xml"), b.sheets[1].xml);
    EXPECT_NE(part(path, "xl/worksheets/sheet3.xml").find("<v>2</v>"), std::string::npos);
}

std::string table(const std::vector<std::string>& columns) {
    std::string t = "<table xmlns=\"" + testing::kMainNs +
                    "\" id=\"1\" name=\"Table1\" displayName=\"Table1\" ref=\"A1:" +
                    std::string(1, static_cast<char>('A' + columns.size() - 1)) +
                    "3\"><autoFilter ref=\"A1:B3\"/><tableColumns count=\"" +
                    std::to_string(columns.size()) + "\">";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        t += "<tableColumn id=\"" + std::to_string(i + 1) + "\" name=\"" + columns[i] + "\"/>";
    }
    return t + "</tableColumns></table>";
}

// Table1 with columns Name and Price, Price calculated by formula.
std::string priceTableWithFormula(const std::string& formula) {
    std::string columns = table({"Name", "Price"});
    const std::string plain = "<tableColumn id=\"2\" name=\"Price\"/>";
    columns.replace(columns.find(plain), plain.size(),
                    "<tableColumn id=\"2\" name=\"Price\"><calculatedColumnFormula>" + formula +
                        "</calculatedColumnFormula></tableColumn>");
    return columns;
}

struct HeaderCase {
    const char* name;
    ReplaceRequest request;
    std::vector<std::string> columnsAfter; ///< empty: the save fails
};

class TableHeaders : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(TableHeaders, RenameTheirColumnOrFail) {
    const auto& c = GetParam();
    TestBook b;
    b.sheets = {{"S",
                 worksheet("<row r=\"1\">" + sharedCell("A1", 0) + sharedCell("B1", 1) +
                           "</row><row r=\"2\">" + sharedCell("A2", 0) + "</row>"),
                 "worksheet", table({"Name", "Price"})}};
    b.sharedStrings = sst({"Name", "Price"});
    TempFolder folder;
    const auto path = folder.file("table.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, c.request);
    const auto counts = book->save();
    if (c.columnsAfter.empty()) {
        ASSERT_FALSE(counts.ok());
        EXPECT_EQ(counts.error().code, ErrorCode::TableHeaderConflict);
        EXPECT_NE(counts.error().detail.find("Table1"), std::string::npos);
        EXPECT_EQ(readFile(path), b.bytes());
        return;
    }
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(part(path, "xl/tables/table1.xml"), table(c.columnsAfter));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableHeaders,
    ::testing::Values(HeaderCase{"HeaderRenamed", {"Price", "Cost", true}, {"Name", "Cost"}},
                      HeaderCase{
                          "EscapedName", {"Price", "a&b\nc", true}, {"Name", "a&amp;b_x000a_c"}},
                      HeaderCase{"SameNameIgnoringCaseFails", {"Price", "NAME", true}, {}},
                      HeaderCase{"EmptyNameFails", {"Price", "", true}, {}}),
    [](const ::testing::TestParamInfo<HeaderCase>& p) { return std::string(p.param.name); });

// A renamed column must not leave a structured reference behind: formulas that the queue
// rewrites follow the new name, and one on a sheet the queue does not reach fails the save.
TEST(TableHeaders, StructuredReferencesFollowOrFailTheSave) {
    TestBook b;
    const std::string columns = priceTableWithFormula("Table1[[#This Row],[Price]]*2");
    b.sheets = {{"S",
                 worksheet("<row r=\"1\">" + sharedCell("A1", 0) + sharedCell("B1", 1) + "</row>"),
                 "worksheet", columns},
                {"Other", worksheet("<row r=\"1\"><c r=\"A1\"><f>SUM(Table1[Price])</f>"
                                    "<v>3</v></c></row>")}};
    b.sharedStrings = sst({"Name", "Price"});
    TempFolder folder;
    const auto path = folder.file("refs.xlsx", b.bytes());

    auto book = openOk(path);
    ASSERT_TRUE(book);
    book->queueReplace(0, {"Price", "Cost", true}); // not sheet Other
    const auto refused = book->save();
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, ErrorCode::InvalidFormula);
    EXPECT_NE(refused.error().detail.find("Other!A1: the formula refers to column \"Price\""),
              std::string::npos)
        << refused.error().detail;
    EXPECT_EQ(readFile(path), b.bytes());

    book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"Price", "Cost", true});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 2U);
    EXPECT_NE(
        part(path, "xl/worksheets/sheet2.xml").find("<c r=\"A1\"><f>SUM(Table1[Cost])</f></c>"),
        std::string::npos);
    const std::string tablePart = part(path, "xl/tables/table1.xml");
    EXPECT_NE(tablePart.find("name=\"Cost\"><calculatedColumnFormula>Table1[[#This "
                             "Row],[Cost]]*2</calculatedColumnFormula>"),
              std::string::npos)
        << tablePart;
}

struct ProtectionCase {
    const char* name;
    std::string protection; ///< after sheetData
    std::string style;      ///< of the cell that matches
    bool fails;
};

class ProtectedSheets : public ::testing::TestWithParam<ProtectionCase> {};

TEST_P(ProtectedSheets, RefuseToChangeLockedCells) {
    const auto& c = GetParam();
    TestBook b;
    b.sheets = {{"Guarded", worksheet("<row r=\"1\">" + sharedCell("A1", 0, c.style) +
                                          sharedCell("B1", 1) + "</row>",
                                      c.protection)}};
    b.sharedStrings = sst({"alpha", "other"});
    b.styles = "<styleSheet xmlns=\"" + testing::kMainNs +
               "\"><cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"0\" "
               "applyProtection=\"1\"><protection locked=\"0\"/></xf></cellXfs></styleSheet>";
    TempFolder folder;
    const auto path = folder.file("guarded.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"alpha", "omega", true});
    const auto counts = book->save();
    if (c.fails) {
        ASSERT_FALSE(counts.ok());
        EXPECT_EQ(counts.error().code, ErrorCode::ProtectedSheet);
        EXPECT_NE(counts.error().detail.find("Guarded"), std::string::npos);
        EXPECT_EQ(readFile(path), b.bytes());
    } else {
        ASSERT_TRUE(counts.ok()) << counts.error().message();
        EXPECT_EQ(counts.value().cellsChanged, 1U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtectedSheets,
    ::testing::Values(
        ProtectionCase{"LockedByDefault", "<sheetProtection sheet=\"1\"/>", "", true},
        ProtectionCase{"LockedFormat", "<sheetProtection sheet=\"true\"/>", "0", true},
        ProtectionCase{"UnlockedFormat", "<sheetProtection sheet=\"1\"/>", "1", false},
        ProtectionCase{"NotProtected", "<sheetProtection sheet=\"0\"/>", "", false},
        ProtectionCase{"NoProtection", "", "", false}),
    [](const ::testing::TestParamInfo<ProtectionCase>& p) { return std::string(p.param.name); });

TEST(ProtectedSheets, NothingToChangeIsNoObstacle) {
    TestBook b;
    b.sheets = {{"Guarded", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>",
                                      "<sheetProtection sheet=\"1\"/>")},
                {"Open", worksheet("<row r=\"1\">" + sharedCell("A1", 1) + "</row>")}};
    b.sharedStrings = sst({"alpha", "beta"});
    TempFolder folder;
    const auto path = folder.file("guarded.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"beta", "omega", true});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 1U);
}

struct RefusedCase {
    const char* name;
    std::string bytes;
    const char* fileName;
    ErrorCode code;
};

TestBook signedBook(bool byFolder) {
    TestBook b;
    b.sheets = {{"S", worksheet("")}};
    if (byFolder) {
        b.extra = {{"_xmlsignatures/sig1.xml", "<Signature/>"}};
    } else {
        b.packageRelsExtra =
            "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/package/2006/"
            "relationships/digital-signature/origin\" Target=\"_xmlsignatures/origin.sigs\"/>";
    }
    return b;
}

std::string binaryWorkbook() {
    return testing::makeZip(
        {{"[Content_Types].xml",
          R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Override PartName="/xl/workbook.bin" ContentType="application/vnd.ms-excel.sheet.binary.macroEnabled.main"/></Types>)"},
         {"_rels/.rels",
          R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.bin"/></Relationships>)"},
         {"xl/workbook.bin", "binary"}});
}

std::string wordDocument() {
    return testing::makeZip(
        {{"[Content_Types].xml",
          R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>)"},
         {"_rels/.rels",
          R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)"},
         {"word/document.xml", "<document/>"}});
}

std::string truncatedBook() {
    TestBook b;
    b.sheets = {{"S", worksheet("")}};
    std::string bytes = b.bytes();
    return bytes.substr(0, bytes.size() / 2);
}

std::string brokenSheet() {
    TestBook b;
    b.sheets = {{"S", "<worksheet xmlns=\"" + testing::kMainNs +
                          "\"><sheetData><row><c t=\"inlineStr\"><is><t>a</t></is></c><row>"}};
    return b.bytes();
}

class RefusedFiles : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedFiles, FailWithAReasonAndStayUntouched) {
    const auto& c = GetParam();
    TempFolder folder;
    const auto path = folder.file(c.fileName, c.bytes);
    auto book = Workbook::open(path);
    if (book.ok()) {
        // Some damage only shows when the parts are read.
        queueAll(*book.value(), {"a", "b", false});
        const auto counts = book.value()->save();
        ASSERT_FALSE(counts.ok());
        EXPECT_EQ(counts.error().code, c.code) << counts.error().message();
    } else {
        EXPECT_EQ(book.error().code, c.code) << book.error().message();
    }
    EXPECT_EQ(readFile(path), c.bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedFiles,
    ::testing::Values(
        RefusedCase{"SignedByFolder", signedBook(true).bytes(), "s.xlsx",
                    ErrorCode::DigitallySigned},
        RefusedCase{"SignedByRelationship", signedBook(false).bytes(), "s.xlsx",
                    ErrorCode::DigitallySigned},
        RefusedCase{"Binary", binaryWorkbook(), "b.xlsb", ErrorCode::UnsupportedFormat},
        RefusedCase{"WordDocument", wordDocument(), "w.xlsx", ErrorCode::NotAWorkbook},
        RefusedCase{"PlainText", "just some text", "t.xlsx", ErrorCode::NotAWorkbook},
        RefusedCase{"BinaryBytesInText", std::string("a,b\n\0\x01", 6), "t.csv",
                    ErrorCode::NotAWorkbook},
        // A compound file header with nothing valid behind it: .xls files are read now.
        RefusedCase{"DamagedCompound",
                    std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'),
                    "old.xls", ErrorCode::Corrupt},
        RefusedCase{"TruncatedZip", truncatedBook(), "cut.xlsx", ErrorCode::NotAWorkbook},
        RefusedCase{"BrokenSheetXml", brokenSheet(), "broken.xlsx", ErrorCode::Corrupt}),
    [](const ::testing::TestParamInfo<RefusedCase>& p) { return std::string(p.param.name); });

// Fault: a damaged sheet passed as "unchanged" when nothing in it could match. Each case is
// looked at with a find text the sheet holds and one it does not; both must fail as damaged.
struct DamagedSheet {
    const char* name;
    std::string bytes;
};

std::string withSheet(const std::string& xml) {
    TestBook b;
    b.sheets = {{"S", xml}};
    b.sharedStrings = sst({"alpha"});
    return b.bytes();
}

std::string sheetWithBadChecksum() {
    const std::string sheet =
        worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "<c r=\"B1\"><v>12345</v></c></row>");
    std::string bytes = withSheet(sheet);
    // The stored part's bytes change after its CRC-32 was recorded.
    const auto at = bytes.find("12345");
    bytes[at] = '9';
    return bytes;
}

class DamagedSheets : public ::testing::TestWithParam<std::tuple<DamagedSheet, const char*>> {};

TEST_P(DamagedSheets, FailAsDamagedWhetherOrNotTheyHoldAMatch) {
    const auto& [c, find] = GetParam();
    TempFolder folder;
    const auto path = folder.file("damaged.xlsx", c.bytes);
    // The damage may show when the workbook is opened or only when its sheets are read.
    auto book = Workbook::open(path);
    std::optional<Error> error;
    if (!book.ok()) {
        error = book.error();
    } else {
        queueAll(*book.value(), {find, "omega", false});
        const auto counts = book.value()->save();
        ASSERT_FALSE(counts.ok()) << "passed as unchanged";
        error = counts.error();
    }
    EXPECT_EQ(error->code, ErrorCode::Corrupt) << error->message();
    EXPECT_NE(error->message().find("damaged: xl/worksheets/sheet1.xml"), std::string::npos)
        << error->message();
    EXPECT_EQ(readFile(path), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedSheets,
    ::testing::Combine(
        ::testing::Values(
            DamagedSheet{"BadChecksum", sheetWithBadChecksum()},
            DamagedSheet{"Doctype",
                         withSheet("<!DOCTYPE worksheet []>" +
                                   worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>"))},
            DamagedSheet{"WrongRoot", withSheet("<html><body>alpha</body></html>")},
            DamagedSheet{"Text", withSheet("alpha is not a sheet at all")},
            DamagedSheet{"Binary", withSheet(std::string("\x00\x01\xfe\xffPK\x03\x04alpha", 13))},
            DamagedSheet{"Empty", withSheet("")}),
        ::testing::Values("alpha", "absent")),
    [](const auto& p) {
        return std::string(std::get<0>(p.param).name) + "_" + std::get<1>(p.param);
    });

TEST(Workbook, LockFileOfAnotherProgramRefusesTheWorkbook) {
    TestBook b;
    b.sheets = {{"S", worksheet("")}};
    TempFolder folder;
    const auto path = folder.file("budget.xlsx", b.bytes());
    folder.file("~$budget.xlsx", "owner");
    auto book = Workbook::open(path);
    ASSERT_FALSE(book.ok());
    EXPECT_EQ(book.error().code, ErrorCode::LockedByOtherProgram);
    EXPECT_NE(book.error().detail.find("~$budget.xlsx"), std::string::npos);
}

TEST(Workbook, InlineStringTypeSpelledWithReferencesIsStillFound) {
    // Sheets are parsed only when they may hold a change; the quick look for inline strings
    // must not miss a type written with a character reference.
    TestBook b;
    b.sheets = {{"S", worksheet("<row r=\"1\"><c r=\"A1\" t=\"inline&#83;tr\"><is><t>alpha</t>"
                                "</is></c></row>")}};
    TempFolder folder;
    const auto path = folder.file("disguised.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"alpha", "omega", true});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 1U);
    EXPECT_NE(part(path, "xl/worksheets/sheet1.xml").find("<t>omega</t>"), std::string::npos);
}

TEST(Workbook, NumbersAreFoundInSheetsWithoutStrings) {
    // The quick look that skips sheets must not skip one whose numbers can match.
    TestBook b;
    b.sheets = {{"S", worksheet("<row r=\"1\"><c r=\"A1\"><v>2024</v></c></row>")}};
    b.sharedStrings = sst({"text"});
    TempFolder folder;
    const auto path = folder.file("numbers.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"2024", "2025", true});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 1U);
    EXPECT_NE(part(path, "xl/worksheets/sheet1.xml").find("<v>2025</v>"), std::string::npos);
}

TEST(Workbook, FileChangedAfterOpenIsNotOverwritten) {
    TestBook b;
    b.sheets = {{"S", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>")}};
    b.sharedStrings = sst({"alpha"});
    TempFolder folder;
    const auto path = folder.file("moving.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    std::filesystem::remove(path);
    queueAll(*book, {"alpha", "omega", true});
    const auto counts = book->save();
    ASSERT_FALSE(counts.ok());
    EXPECT_EQ(counts.error().code, ErrorCode::Vanished);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// The other program's save of OtherSaveLands: staged, then renamed over the workbook with the
// old modification time when the run's save first looks at the file.
struct OtherSave {
    static inline std::filesystem::path staged, target;
    static inline timespec times[2]{};
    static inline int (*realStat)(const char*, struct stat*) = nullptr;
    static int statAfterTheOtherSave(const char* path, struct stat* info) {
        if (!staged.empty()) {
            ::utimensat(AT_FDCWD, staged.c_str(), times, 0);
            std::filesystem::rename(staged, target);
            staged.clear();
        }
        return realStat(path, info);
    }
};

// Fault: another program that saved (new file + rename) while a run was working on the same
// workbook lost its save, because the save compared the file it found when it began writing,
// not the file it had read. The other save keeps the old size and modification time.
TEST(Workbook, SaveOfAnotherProgramDuringTheRunIsNotOverwritten) {
    TestBook b;
    b.sheets = {{"S", worksheet("<row r=\"1\">" + sharedCell("A1", 0) + "</row>")}};
    b.sharedStrings = sst({"alpha"});
    TempFolder folder;
    const auto path = folder.file("shared.xlsx", b.bytes());
    struct stat original {};
    ASSERT_EQ(::stat(path.c_str(), &original), 0);
    std::string theirs = b.bytes();
    theirs.replace(theirs.find("alpha"), 5, "theta");

    auto book = openOk(path);
    ASSERT_TRUE(book);
    OtherSave::target = path;
    OtherSave::staged = folder.file(".theirs", theirs);
    OtherSave::times[0] = original.st_atim;
    OtherSave::times[1] = original.st_mtim;
    const package::SysCalls saved = package::sysCalls();
    OtherSave::realStat = saved.stat;
    package::sysCalls().stat = OtherSave::statAfterTheOtherSave;
    queueAll(*book, {"alpha", "omega", true});
    const auto counts = book->save();
    package::sysCalls() = saved;
    ASSERT_TRUE(OtherSave::staged.empty()) << "the other save did not happen";
    ASSERT_FALSE(counts.ok()) << "the other program's save was overwritten";
    EXPECT_EQ(counts.error().code, ErrorCode::Vanished);
    EXPECT_EQ(readFile(path), theirs);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "a temporary file was left";
}

TEST(Workbook, LargeSheetChangedLateIsWrittenWhole) {
    // Beyond the bound of held bytes, the first pass gives up its output and the sheet is
    // read again; the result must be the same as for a small sheet.
    std::string rows;
    std::size_t row = 1;
    while (rows.size() < ooxml::WorksheetRewriter::kDeferredLimit) {
        rows += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) +
                "\" t=\"inlineStr\"><is><t>filler text</t></is></c></row>";
        ++row;
    }
    rows += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) +
            "\" t=\"inlineStr\"><is><t>needle</t></is></c></row>";
    TestBook b;
    b.sheets = {{"Big", worksheet(rows)}};
    TempFolder folder;
    const auto path = folder.file("big.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"needle", "pin", true});
    // The cell is reported once, although the sheet was read twice.
    struct Count : CellListener {
        std::vector<std::string> cells;
        void cell(const CellChange& c) override { cells.push_back(c.cell + " " + c.after); }
    } heard;
    book->setCellListener(&heard);
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 1U);
    EXPECT_EQ(heard.cells, std::vector<std::string>{"A" + std::to_string(row) + " pin"});
    std::string expected = b.sheets[0].xml;
    expected.replace(expected.rfind("needle"), 6, "pin");
    EXPECT_TRUE(part(path, "xl/worksheets/sheet1.xml") == expected);
}

const std::string kCalcChainRel = "<Relationship Id=\"rId50\" Type=\"" + testing::kRelNs +
                                  "/calcChain\" Target=\"calcChain.xml\"/>";
const std::string kCalcChainType =
    R"(<Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/>)";

// A sheet with a formula in A1 and a number in B1, and a calculation chain naming A1.
TestBook formulaBook(const std::string& workbookExtra) {
    TestBook b;
    b.sheets = {{"S", worksheet(R"(<row r="1"><c r="A1" t="str"><f>"ab"&amp;C1</f><v>ab</v></c>)"
                                R"(<c r="B1"><v>7</v></c></row>)")}};
    b.workbookExtra = workbookExtra;
    b.workbookRelsExtra = kCalcChainRel;
    b.typesExtra = kCalcChainType;
    b.extra = {{"xl/calcChain.xml",
                "<calcChain xmlns=\"" + testing::kMainNs + "\"><c r=\"A1\" i=\"1\"/></calcChain>"}};
    return b;
}

struct RecalculationCase {
    const char* name;
    std::string workbookExtra; ///< after <sheets> in the workbook part
    std::string expected;      ///< the same afterwards
};

class Recalculation : public ::testing::TestWithParam<RecalculationCase> {};

TEST_P(Recalculation, ChangedFormulaMarksTheWorkbookAndDropsTheChain) {
    const auto& c = GetParam();
    const TestBook b = formulaBook(c.workbookExtra);
    TempFolder folder;
    const auto path = folder.file("book.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"ab", "cd", true});
    const auto dry = book->dryRun();
    ASSERT_TRUE(dry.ok()) << dry.error().message();
    EXPECT_EQ(dry.value().cellsChanged, 1U);
    EXPECT_EQ(readFile(path), b.bytes());
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 1U);

    EXPECT_EQ(part(path, "xl/worksheets/sheet1.xml"),
              worksheet(R"(<row r="1"><c r="A1"><f>"cd"&amp;C1</f></c>)"
                        R"(<c r="B1"><v>7</v></c></row>)"));
    EXPECT_EQ(part(path, "xl/workbook.xml").find("</sheets>" + c.expected + "</workbook>") !=
                  std::string::npos,
              true)
        << part(path, "xl/workbook.xml");
    EXPECT_EQ(part(path, "xl/calcChain.xml"), "<no part xl/calcChain.xml>");
    const std::string rels = part(path, "xl/_rels/workbook.xml.rels");
    EXPECT_EQ(rels.find("calcChain"), std::string::npos);
    EXPECT_NE(rels.find("worksheets/sheet1.xml"), std::string::npos);
    const std::string types = part(path, "[Content_Types].xml");
    EXPECT_EQ(types.find("calcChain"), std::string::npos);
    EXPECT_NE(types.find("/xl/workbook.xml"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Recalculation,
    ::testing::Values(
        RecalculationCase{"ElementAdded", "", R"(<calcPr fullCalcOnLoad="1"/>)"},
        RecalculationCase{"ElementAddedBeforeLaterSiblings", "<extLst/>",
                          R"(<calcPr fullCalcOnLoad="1"/><extLst/>)"},
        RecalculationCase{"AttributeAdded", R"(<definedNames/><calcPr calcId="191029"/>)",
                          R"(<definedNames/><calcPr calcId="191029" fullCalcOnLoad="1"/>)"},
        RecalculationCase{"AttributeSet", R"(<calcPr fullCalcOnLoad="0" calcId="1"/>)",
                          R"(<calcPr fullCalcOnLoad="1" calcId="1"/>)"}),
    [](const ::testing::TestParamInfo<RecalculationCase>& p) { return std::string(p.param.name); });

TEST(Recalculation, ConstantChangeKeepsTheChain) {
    const TestBook b = formulaBook("");
    TempFolder folder;
    const auto path = folder.file("book.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"7", "8", true});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 1U);
    EXPECT_EQ(part(path, "xl/calcChain.xml"), b.extra[0].second);
    EXPECT_EQ(part(path, "xl/workbook.xml").find("calcPr"), std::string::npos);
}

TEST(Recalculation, InvalidFormulaFailsTheFileNamingTheCell) {
    TestBook b = formulaBook("");
    TempFolder folder;
    const auto path = folder.file("book.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"7", "8", true});     // a constant that would change...
    queueAll(*book, {"\"ab", "ab", true}); // ...and a formula left with an open string
    const auto counts = book->save();
    ASSERT_FALSE(counts.ok());
    EXPECT_EQ(counts.error().code, ErrorCode::InvalidFormula);
    EXPECT_NE(counts.error().detail.find("S!A1"), std::string::npos) << counts.error().detail;
    EXPECT_EQ(readFile(path), b.bytes());
}

// A formula may name only sheets the workbook has (in any case), or a sheet it named already.
TEST(Recalculation, FormulaNamingAMissingSheetFailsTheFile) {
    TestBook b;
    const std::string columns = priceTableWithFormula("'My Data'!B1*2");
    b.sheets = {{"S",
                 worksheet("<row r=\"1\">" + sharedCell("A1", 0) + sharedCell("B1", 1) +
                           "<c r=\"C1\"><f>SUM('My Data'!A1:A3)+Gone!A1</f><v>3</v></c>"
                           "<c r=\"D1\"><f>'It''s'!A1</f><v>3</v></c></row>"),
                 "worksheet", columns},
                {"My Data", worksheet("")},
                {"It's", worksheet("")}};
    b.sharedStrings = sst({"Name", "Price"});
    TempFolder folder;
    const auto path = folder.file("book.xlsx", b.bytes());
    const auto run = [&](const ReplaceRequest& request) {
        auto book = openOk(path);
        EXPECT_TRUE(book);
        if (!book) {
            return Result<ReplaceCounts>(Error{ErrorCode::IoError, "not opened"});
        }
        queueAll(*book, request);
        return book->save();
    };

    // Another sheet of the workbook, in another case, and a sheet named before as well.
    auto counts = run({"SUM('My Data'", "SUM('MY DATA'", true});
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    counts = run({"A1:A3)+Gone", "A1:A2)+Gone", true});
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_NE(part(path, "xl/worksheets/sheet1.xml").find("SUM('MY DATA'!A1:A2)+Gone!A1"),
              std::string::npos);

    // A sheet the workbook does not have, in a cell and in a table's column formula.
    for (const auto& [request, where] :
         {std::pair{ReplaceRequest{"It''s", "Its", true}, std::string("S!D1")},
          std::pair{ReplaceRequest{"My Data", "Data", true},
                    std::string("calculatedColumnFormula of column \"Price\"")}}) {
        const std::string before = readFile(path);
        counts = run(request);
        ASSERT_FALSE(counts.ok()) << request.find;
        EXPECT_EQ(counts.error().code, ErrorCode::InvalidFormula);
        const std::string sheet = request.find == "It''s" ? "Its" : "Data";
        EXPECT_NE(counts.error().detail.find(where + ": the formula would refer to sheet \"" +
                                             sheet + "\", which the workbook does not have"),
                  std::string::npos)
            << counts.error().detail;
        EXPECT_EQ(readFile(path), before);
    }
}

TEST(SharedFormulas, ChangeAfterTheFirstCellExpandsTheWholeGroup) {
    // B1 changes after A1, the master, has been passed: the sheet is written again with
    // every cell of the group holding its own formula.
    TestBook b;
    b.sheets = {{"S", worksheet(R"(<row r="1"><c r="A1"><f t="shared" ref="A1:C1" si="0">A2</f>)"
                                R"(<v>1</v></c><c r="B1"><f t="shared" si="0"/><v>1</v></c>)"
                                R"(<c r="C1"><f t="shared" si="0"/><v>1</v></c></row>)")}};
    TempFolder folder;
    const auto path = folder.file("book.xlsx", b.bytes());
    auto book = openOk(path);
    ASSERT_TRUE(book);
    queueAll(*book, {"B2", "Z2", true});
    const auto counts = book->save();
    ASSERT_TRUE(counts.ok()) << counts.error().message();
    EXPECT_EQ(counts.value().cellsChanged, 1U);
    EXPECT_EQ(part(path, "xl/worksheets/sheet1.xml"),
              worksheet(R"(<row r="1"><c r="A1"><f>A2</f><v>1</v></c><c r="B1"><f>Z2</f></c>)"
                        R"(<c r="C1"><f>C2</f><v>1</v></c></row>)"));
}

} // namespace
} // namespace engine

namespace engine {
namespace {

// Rows of shared strings (alternating a matching and a plain one), inline strings and
// formulas, about `bytes` long.
std::string mixedRows(std::size_t bytes) {
    std::string rows;
    for (std::size_t r = 1; rows.size() < bytes; ++r) {
        const std::string n = std::to_string(r);
        rows += "<row r=\"" + n + "\">" + sharedCell("A" + n, static_cast<int>(r % 2)) +
                "<c r=\"B" + n + "\" t=\"inlineStr\"><is><t>alpha " + n + "</t></is></c><c r=\"C" +
                n + "\"><f>IF(A" + n + "=\"alpha\",1,0)</f><v>0</v></c><c r=\"D" + n + "\"><v>" +
                n + "</v></c></row>";
    }
    return rows;
}

std::filesystem::path saveWithJobs(TempFolder& folder, const std::string& name,
                                   const TestBook& book, unsigned jobs, ReplaceCounts& counts) {
    const auto path = folder.file(name, book.bytes());
    OpenOptions options;
    options.jobs = jobs;
    auto opened = Workbook::open(path, options);
    EXPECT_TRUE(opened.ok()) << opened.error().message();
    if (opened.ok()) {
        queueAll(*opened.value(), {"alpha", "omega", true});
        auto saved = opened.value()->save();
        EXPECT_TRUE(saved.ok()) << saved.error().message();
        if (saved.ok()) {
            counts = saved.value();
        }
    }
    return path;
}

struct JobsCase {
    const char* name;
    std::vector<std::size_t> sheetBytes; ///< the size of each sheet's XML; 0: no match in it
};

class Jobs : public ::testing::TestWithParam<JobsCase> {};

// Several sheets are rewritten side by side, one large sheet is deflated in blocks on several
// threads; either way the workbook must read back as the one-thread save does.
TEST_P(Jobs, ParallelSaveReadsBackLikeTheSingleThreadOne) {
    TestBook b;
    for (std::size_t i = 0; i < GetParam().sheetBytes.size(); ++i) {
        const std::size_t bytes = GetParam().sheetBytes[i];
        b.sheets.emplace_back("Sheet" + std::to_string(i + 1),
                              worksheet(bytes == 0 ? "<row r=\"1\"><c r=\"A1\"><v>5</v></c></row>"
                                                   : mixedRows(bytes)));
    }
    b.sharedStrings = sst({"plain", "alpha and alpha"});
    b.extra = {{"docProps/custom.xml", "<Properties>alpha stays</Properties>"}};
    TempFolder folder;
    ReplaceCounts one, many;
    const auto single = saveWithJobs(folder, "one.xlsx", b, 1, one);
    const auto parallel = saveWithJobs(folder, "many.xlsx", b, 4, many);
    EXPECT_EQ(one.cellsChanged, many.cellsChanged);
    EXPECT_EQ(one.replacements, many.replacements);
    EXPECT_GT(one.cellsChanged, 0U);

    auto original = zip::ZipReader::open(folder.file("original.xlsx", b.bytes()));
    auto a = zip::ZipReader::open(single);
    auto c = zip::ZipReader::open(parallel);
    ASSERT_TRUE(original.ok() && a.ok() && c.ok());
    const auto& entries = original.value()->entries();
    ASSERT_EQ(a.value()->entries().size(), entries.size());
    ASSERT_EQ(c.value()->entries().size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e1 = a.value()->entries()[i];
        const auto& e2 = c.value()->entries()[i];
        ASSERT_EQ(e1.name, e2.name);
        auto content1 = a.value()->readAll(i);
        auto content2 = c.value()->readAll(i);
        ASSERT_TRUE(content1.ok() && content2.ok()) << e1.name;
        EXPECT_TRUE(content1.value() == content2.value()) << e1.name << " reads back differently";
        // An entry the one-thread save kept must be kept byte for byte by the other too.
        std::string before, raw1, raw2;
        ASSERT_TRUE(
            original.value()->readRaw(entries[i].dataOffset, entries[i].compressedSize, before));
        ASSERT_TRUE(a.value()->readRaw(e1.dataOffset, e1.compressedSize, raw1));
        ASSERT_TRUE(c.value()->readRaw(e2.dataOffset, e2.compressedSize, raw2));
        EXPECT_EQ(raw1 == before, raw2 == before) << e1.name;
        if (GetParam().sheetBytes.size() > 1 && e1.name == "xl/worksheets/sheet2.xml") {
            EXPECT_EQ(raw2, before) << "a sheet without a match is copied as it was";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Jobs,
    ::testing::Values(
        // One sheet of several deflate blocks' size, with four threads for it alone.
        JobsCase{"OneLargeSheet", {zip::kDeflateBlockSize * 3 + 1000}},
        // Sheets side by side, one without a match, one of more than a block.
        JobsCase{"ManySheets", {20000, 0, 300000, zip::kDeflateBlockSize + 5, 1000, 70000}}),
    [](const ::testing::TestParamInfo<JobsCase>& p) { return std::string(p.param.name); });

class FailingWorker : public ::testing::TestWithParam<std::size_t> {};

// A sheet that refuses the change (protected) among sheets rewritten side by side: the save
// fails naming that sheet, whichever thread had it, and the file stays as it was.
TEST_P(FailingWorker, LeavesTheOriginalUntouched) {
    TestBook b;
    for (std::size_t i = 0; i < 5; ++i) {
        b.sheets.emplace_back(
            "Sheet" + std::to_string(i + 1),
            worksheet(mixedRows(40000), i == GetParam() ? "<sheetProtection sheet=\"1\"/>" : ""));
    }
    b.sharedStrings = sst({"plain", "alpha"});
    for (unsigned jobs : {1U, 3U}) {
        TempFolder folder;
        const auto path = folder.file("book.xlsx", b.bytes());
        OpenOptions options;
        options.jobs = jobs;
        auto book = Workbook::open(path, options);
        ASSERT_TRUE(book.ok());
        queueAll(*book.value(), {"alpha", "omega", true});
        const auto saved = book.value()->save();
        ASSERT_FALSE(saved.ok()) << "jobs " << jobs;
        EXPECT_EQ(saved.error().code, ErrorCode::ProtectedSheet);
        EXPECT_NE(saved.error().detail.find("Sheet" + std::to_string(GetParam() + 1)),
                  std::string::npos)
            << saved.error().detail;
        EXPECT_TRUE(readFile(path) == b.bytes()) << "jobs " << jobs;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                                std::filesystem::directory_iterator()),
                  1)
            << "no temporary file is left";
    }
}

INSTANTIATE_TEST_SUITE_P(FirstMiddleLast, FailingWorker, ::testing::Values(0U, 2U, 4U));

} // namespace
} // namespace engine
