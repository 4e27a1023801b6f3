// Lock files of spreadsheet programs beside a workbook.
#include "package/lock_files.h"

#include "../zip/test_archive.h"

#include <gtest/gtest.h>

using namespace engine;
using engine::zip::test_support::TempFolder;
using engine::zip::test_support::writeFile;

namespace {

struct LockCase {
    const char* label;
    std::string workbook;
    std::string besideIt; ///< empty: nothing beside the workbook
    bool locked;
};

void PrintTo(const LockCase& value, std::ostream* out) {
    *out << value.label;
}

class CheckLockFiles : public ::testing::TestWithParam<LockCase> {};

TEST_P(CheckLockFiles, FailsOnlyWhenAnOwnerFileIsBeside) {
    const LockCase& c = GetParam();
    TempFolder folder;
    writeFile(folder / c.workbook, "workbook");
    if (!c.besideIt.empty()) {
        writeFile(folder / c.besideIt, "owner");
    }
    auto status = package::checkLockFiles(folder / c.workbook);
    EXPECT_EQ(status.ok(), !c.locked);
    if (c.locked && !status) {
        EXPECT_EQ(status.error().code, ErrorCode::LockedByOtherProgram);
        EXPECT_NE(status.error().detail.find(c.besideIt), std::string::npos)
            << "the message names the lock file: " << status.error().detail;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckLockFiles,
    ::testing::Values(LockCase{"Nothing", "Book1.xlsx", "", false},
                      LockCase{"ExcelOwnerFile", "Book1.xlsx", "~$Book1.xlsx", true},
                      LockCase{"ExcelShortenedOwnerFile", "Quarterly report.xlsx",
                               "~$arterly report.xlsx", true},
                      LockCase{"LibreOfficeLock", "Book1.xlsx", ".~lock.Book1.xlsx#", true},
                      LockCase{"OwnerFileOfAnotherWorkbook", "Book1.xlsx", "~$Book2.xlsx", false},
                      LockCase{"LockOfAnotherWorkbook", "Book1.xlsx", ".~lock.Book2.xlsx#", false}),
    [](const auto& test) { return std::string(test.param.label); });

} // namespace
