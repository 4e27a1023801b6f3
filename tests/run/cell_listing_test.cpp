// Listing the cells of a list of files through the recording automation fake: the pairs go in as
// sets on every sheet, the file ends with a search or a dry run, never a save, and a file that
// fails is listed with its reason while the others are still read.
#include "recording_automation.h"

#include "run/cell_listing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using Lines = std::vector<std::string>;

std::vector<std::string> describe(const run::FileCells& listed) {
    std::vector<std::string> lines;
    for (const auto& c : listed.cells) {
        lines.push_back(c.sheet + "!" + c.cell + " " + c.before + ">" + c.after);
    }
    return lines;
}

TEST(CellListing, FoundCellsOfEveryFileAndTheReasonOfOneThatFails) {
    fakes::RecordingFactory factory;
    factory.script.sheets = 2;
    factory.script.failSave = {"bad.xlsx"};
    const auto listed =
        run::listCells(factory, {"a.xlsx", "bad.xlsx", "c.xlsx"}, {{"x", "y"}, {"p", "q"}},
                       {.matchCase = true, .wholeCell = true});
    ASSERT_EQ(listed.size(), 3U);
    EXPECT_EQ(listed[0].path, "a.xlsx");
    EXPECT_THAT(describe(listed[0]),
                ElementsAre("Sheet1!A1 a.xlsx>a.xlsx", "Sheet1!B2 a.xlsx>a.xlsx"));
    EXPECT_FALSE(listed[0].failure.has_value());
    ASSERT_TRUE(listed[1].failure.has_value());
    EXPECT_EQ(listed[1].failure->reason(), "the workbook is damaged");
    EXPECT_TRUE(listed[1].cells.empty());
    EXPECT_THAT(describe(listed[2]),
                ElementsAre("Sheet1!A1 c.xlsx>c.xlsx", "Sheet1!B2 c.xlsx>c.xlsx"));
    // Every pair on a sheet before the next, whole cell and match case: LookAt 1, MatchCase 1.
    EXPECT_EQ(
        factory.log.matching("Replace 1"),
        (Lines{"Replace 1 x>y 1 1 1 0 0", "Replace 1 p>q 1 1 1 0 0", "Replace 1 x>y 1 1 1 0 0",
               "Replace 1 p>q 1 1 1 0 0", "Replace 1 x>y 1 1 1 0 0", "Replace 1 p>q 1 1 1 0 0"}));
    EXPECT_TRUE(factory.log.matching("Save").empty());
    EXPECT_EQ(factory.log.matching("Quit").size(), 3U);
}

TEST(CellListing, ChangesComeFromADryRun) {
    fakes::RecordingFactory factory;
    const auto listed = run::listCells(factory, {"a.xlsx"}, {{"x", "y"}},
                                       {.show = run::ListingOptions::Show::Changes});
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_THAT(describe(listed[0]), ElementsAre("Sheet1!A1 before>after"));
    EXPECT_EQ(factory.log.matching("DryRun"), Lines{"DryRun a.xlsx"});
    EXPECT_EQ(factory.log.matching("Replace"), Lines{"Replace 1 x>y 2 1 0 0 0"});
    EXPECT_TRUE(factory.log.matching("Save").empty());
}

} // namespace
