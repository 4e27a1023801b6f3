// The work on one workbook against the recording automation fake: the command line makes the
// same calls as the desktop program's run, with match case from its options, and a dry run
// never saves.
#include "cli/workbook_job.h"

#include "../run/recording_automation.h"

#include <gtest/gtest.h>

namespace {

using cli::FileOutcome;
using cli::ReplacePlan;
using Lines = std::vector<std::string>;

TEST(WorkbookJob, OnePairOnEverySheetThenSaveAndQuit) {
    fakes::RecordingFactory factory;
    factory.script.sheets = 3;
    ReplacePlan plan;
    plan.pairs = {{"alpha", "omega"}};
    plan.matchCase = true;
    const FileOutcome outcome = cli::processWorkbook(factory, QStringLiteral("a.xlsx"), plan);

    EXPECT_EQ(outcome.status, FileOutcome::Status::Changed);
    EXPECT_EQ(outcome.replacements, 1u);
    EXPECT_EQ(outcome.cellsChanged, 1u);
    EXPECT_EQ(factory.log.matching("Replace"),
              (Lines{"Replace 1 alpha>omega 2 1 1 0 0", "Replace 2 alpha>omega 2 1 1 0 0",
                     "Replace 3 alpha>omega 2 1 1 0 0"}));
    EXPECT_EQ(factory.log.matching("Save"), Lines{"Save a.xlsx"});
    EXPECT_EQ(factory.log.calls.back(), "#1 Quit");
}

TEST(WorkbookJob, SetsApplyEveryPairOnASheetBeforeTheNext) {
    fakes::RecordingFactory factory;
    factory.script.sheets = 2;
    ReplacePlan plan;
    plan.sets = true;
    plan.pairs = {{"a", "b"}, {"b", "c"}};
    cli::processWorkbook(factory, QStringLiteral("a.xlsx"), plan);
    EXPECT_EQ(factory.log.matching("Replace"),
              (Lines{"Replace 1 a>b 2 1 0 0 0", "Replace 1 b>c 2 1 0 0 0",
                     "Replace 2 a>b 2 1 0 0 0", "Replace 2 b>c 2 1 0 0 0"}));
    EXPECT_EQ(factory.log.matching("DisplayAlerts"),
              (Lines{"DisplayAlerts off", "DisplayAlerts on"}));
}

TEST(WorkbookJob, DryRunReplacesButNeverSaves) {
    fakes::RecordingFactory factory;
    ReplacePlan plan;
    plan.pairs = {{"a", "b"}};
    plan.dryRun = true;
    const FileOutcome outcome = cli::processWorkbook(factory, QStringLiteral("a.xlsx"), plan);
    EXPECT_EQ(outcome.status, FileOutcome::Status::Unchanged);
    EXPECT_EQ(factory.log.matching("Replace").size(), 1u);
    EXPECT_TRUE(factory.log.matching("Save").empty());
    EXPECT_EQ(factory.log.calls.back(), "#1 Quit");
}

// A search goes through the same calls but ends with Search; the cells found come back with
// the outcome, and whole-cell matching reaches Replace as LookAt 1.
TEST(WorkbookJob, ListSearchesInsteadOfSavingAndKeepsTheCells) {
    fakes::RecordingFactory factory;
    ReplacePlan plan;
    plan.pairs = {{"a", ""}};
    plan.list = true;
    plan.wholeCell = true;
    const FileOutcome outcome = cli::processWorkbook(factory, QStringLiteral("a.xlsx"), plan);
    EXPECT_EQ(outcome.status, FileOutcome::Status::Changed);
    EXPECT_EQ(outcome.cellsChanged, 2u);
    ASSERT_EQ(outcome.cells.size(), 2u);
    EXPECT_EQ(outcome.cells[1].cell, "B2");
    EXPECT_EQ(factory.log.matching("Replace"), Lines{"Replace 1 a> 1 1 0 0 0"});
    EXPECT_EQ(factory.log.matching("Search"), Lines{"Search a.xlsx"});
    EXPECT_TRUE(factory.log.matching("Save").empty());
}

TEST(WorkbookJob, ShowKeepsTheChangedCellsOnlyWhenAsked) {
    for (const bool show : {false, true}) {
        fakes::RecordingFactory factory;
        ReplacePlan plan;
        plan.pairs = {{"a", "b"}};
        plan.show = show;
        const FileOutcome outcome = cli::processWorkbook(factory, QStringLiteral("a.xlsx"), plan);
        EXPECT_EQ(outcome.cells.size(), show ? 1u : 0u);
    }
}

struct FailureCase {
    const char* name;
    fakes::Script script;
    bool dryRun;
    const char* reason;
};

class WorkbookJobFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(WorkbookJobFailure, CarriesTheReasonAndQuits) {
    fakes::RecordingFactory factory;
    factory.script = GetParam().script;
    ReplacePlan plan;
    plan.pairs = {{"a", "b"}};
    plan.dryRun = GetParam().dryRun;
    const FileOutcome outcome = cli::processWorkbook(factory, QStringLiteral("a.xlsx"), plan);
    EXPECT_EQ(outcome.status, FileOutcome::Status::Failed);
    EXPECT_EQ(outcome.reason.toStdString(), GetParam().reason);
    if (!GetParam().script.failCreate) {
        EXPECT_EQ(factory.log.matching("Quit"), Lines{"Quit"});
    }
}

fakes::Script failing(void (*change)(fakes::Script&)) {
    fakes::Script script;
    change(script);
    return script;
}

INSTANTIATE_TEST_SUITE_P(
    WorkbookJob, WorkbookJobFailure,
    testing::Values(
        FailureCase{"Create", failing([](fakes::Script& s) { s.failCreate = true; }), false,
                    "no instance can be started"},
        FailureCase{"Open", failing([](fakes::Script& s) { s.failOpen = {"a.xlsx"}; }), false,
                    "the file is not a workbook"},
        FailureCase{"OpenDryRun", failing([](fakes::Script& s) { s.failOpen = {"a.xlsx"}; }), true,
                    "the file is not a workbook"},
        FailureCase{"Replace", failing([](fakes::Script& s) { s.failReplaceOnSheet = {1}; }), false,
                    "sheet 1 is broken"},
        FailureCase{"ReplaceDryRun", failing([](fakes::Script& s) { s.failReplaceOnSheet = {1}; }),
                    true, "sheet 1 is broken"},
        FailureCase{"Save", failing([](fakes::Script& s) { s.failSave = {"a.xlsx"}; }), false,
                    "the disk is full"}),
    [](const testing::TestParamInfo<FailureCase>& param) { return std::string(param.param.name); });

} // namespace
