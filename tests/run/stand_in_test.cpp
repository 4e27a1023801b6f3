// The stand-in over a recording engine workbook: what each automation call does to the
// engine, the failures it gives, and the registry entry that an instance holds while it lives.
#include "fake_engine.h"

#include "run/running_instances.h"
#include "run/stand_in.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <unistd.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace run::automation;

class StandInTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::filesystem::path registry() const {
        return std::filesystem::path(dir.path().toStdString()) / "registry";
    }

    // "book.xlsx" opens with a worksheet, a chart sheet and another worksheet; "locked.xlsx"
    // opens but cannot be saved; every other path fails as the engine fails a missing file.
    run::StandInFactory factory() {
        return run::StandInFactory(
            [this](const std::filesystem::path& path)
                -> engine::Result<std::unique_ptr<engine::Workbook>> {
                const std::vector<engine::SheetInfo> sheets{
                    {"Data", true}, {"Chart", false}, {"More", true}};
                if (path == "book.xlsx") {
                    return std::unique_ptr<engine::Workbook>(
                        std::make_unique<fakes::FakeEngineWorkbook>(sheets, log));
                }
                if (path == "locked.xlsx") {
                    return std::unique_ptr<engine::Workbook>(
                        std::make_unique<fakes::FakeEngineWorkbook>(
                            sheets, log,
                            engine::Error{engine::ErrorCode::PermissionDenied, "locked.xlsx"}));
                }
                return engine::Error{engine::ErrorCode::NotFound, path.filename().string()};
            },
            registry());
    }
    std::unique_ptr<Application> openBook(run::StandInFactory& made,
                                          const std::string& path = "book.xlsx") {
        auto created = made.createApplication();
        EXPECT_TRUE(created.ok());
        EXPECT_TRUE(created.value()->Workbooks().Open(path).ok());
        return std::move(created.value());
    }
    static Workbook& lastWorkbook(Application& application) {
        auto& workbooks = application.Workbooks();
        return *workbooks.item(workbooks.count()).value();
    }

    QTemporaryDir dir;
    fakes::EngineLog log;
};

TEST_F(StandInTest, InstanceIsNamedLikeTheSpreadsheetApplicationWithAlertsOn) {
    auto made = factory();
    auto application = made.createApplication();
    ASSERT_TRUE(application.ok());
    EXPECT_EQ(application.value()->Name(), "Microsoft Excel");
    EXPECT_TRUE(application.value()->DisplayAlerts());
    EXPECT_EQ(application.value()->Workbooks().count(), 0);
}

TEST_F(StandInTest, ReplaceQueuesOnTheEngineSheetAndSaveApplies) {
    auto made = factory();
    auto application = openBook(made);
    Workbook& workbook = lastWorkbook(*application);
    SheetCollection& sheets = workbook.Sheets();
    ASSERT_EQ(sheets.count(), 3);
    for (std::int32_t i = 1; i <= sheets.count(); ++i) {
        ASSERT_TRUE(
            sheets.item(i).value()->Cells().Replace("alpha", "omega", 2, 1, i == 3, false, false));
    }
    auto saved = workbook.Save();
    ASSERT_TRUE(saved.ok()) << saved.failure().reason();
    EXPECT_EQ(saved.value().replacements, 2U);
    // The chart sheet (2) has no cells and gets nothing queued.
    EXPECT_THAT(log.calls, ElementsAre("queue 0 alpha>omega 0", "queue 2 alpha>omega 1", "save"));
}

TEST_F(StandInTest, DryRunAndFailedSaveReportThroughTheInterface) {
    auto made = factory();
    auto application = openBook(made, "locked.xlsx");
    Workbook& workbook = lastWorkbook(*application);
    ASSERT_TRUE(
        workbook.Sheets().item(1).value()->Cells().Replace("b", "", 2, 1, true, false, false));
    auto counted = workbook.DryRun();
    ASSERT_TRUE(counted.ok());
    EXPECT_EQ(counted.value().replacements, 1U);
    auto saved = workbook.Save();
    ASSERT_FALSE(saved.ok());
    // The path is the front end's to print; the failure keeps the engine's code.
    EXPECT_EQ(saved.failure().reason(), "permission denied");
    EXPECT_EQ(saved.failure().code, engine::ErrorCode::PermissionDenied);
}

struct RefusedArguments {
    int lookAt;
    int searchOrder;
    bool searchFormat;
    bool replaceFormat;
};

TEST_F(StandInTest, ArgumentsItCannotHonourFailWithoutQueueing) {
    auto made = factory();
    auto application = openBook(made);
    Range& cells = lastWorkbook(*application).Sheets().item(1).value()->Cells();
    for (const RefusedArguments& args :
         {RefusedArguments{0, 1, false, false}, RefusedArguments{3, 1, false, false},
          RefusedArguments{2, 3, false, false}, RefusedArguments{2, 1, true, false},
          RefusedArguments{2, 1, false, true}}) {
        const run::Status status = cells.Replace("a", "b", args.lookAt, args.searchOrder, false,
                                                 args.searchFormat, args.replaceFormat);
        EXPECT_FALSE(status.ok()) << args.lookAt << " " << args.searchOrder;
    }
    // By columns gives the same cells as by rows when every match is replaced.
    EXPECT_TRUE(cells.Replace("a", "b", 2, 2, false, false, false).ok());
    EXPECT_THAT(log.calls, ElementsAre("queue 0 a>b 0"));
}

struct Collected final : engine::CellListener {
    std::vector<std::string> cells;
    void cell(const engine::CellChange& change) override {
        cells.push_back(change.sheet + "!" + change.cell + " " + change.before + ">" +
                        change.after);
    }
};

// LookAt 1 queues a whole-cell request; the cells the engine reports (changed or found) come
// through the interface as they are.
TEST_F(StandInTest, WholeCellListenerAndSearchReachTheEngine) {
    auto made = factory();
    auto application = openBook(made);
    Workbook& workbook = lastWorkbook(*application);
    Range& cells = workbook.Sheets().item(1).value()->Cells();
    ASSERT_TRUE(cells.Replace("alpha", "omega", kXlWhole, 1, false, false, false).ok());
    ASSERT_TRUE(cells.Replace("beta", "gamma", kXlPart, 1, false, false, false).ok());
    Collected found, changed;
    ASSERT_TRUE(workbook.Search(found).ok());
    EXPECT_THAT(found.cells, ElementsAre("Data!A1 alpha>alpha", "Data!A2 beta>beta"));
    workbook.ReportCellsTo(&changed);
    ASSERT_TRUE(workbook.Save().ok());
    EXPECT_THAT(changed.cells, ElementsAre("Data!A1 alpha>after", "Data!A2 beta>after"));
    EXPECT_THAT(log.calls, ElementsAre("queue 0 alpha>omega 0 whole", "queue 0 beta>gamma 0",
                                       "search", "save"));
    application->Quit();
    EXPECT_FALSE(workbook.Search(found).ok());
}

TEST_F(StandInTest, PositionsOutsideTheCollectionsFail) {
    auto made = factory();
    auto application = openBook(made);
    EXPECT_FALSE(application->Workbooks().item(0).ok());
    EXPECT_FALSE(application->Workbooks().item(2).ok());
    SheetCollection& sheets = lastWorkbook(*application).Sheets();
    EXPECT_FALSE(sheets.item(0).ok());
    EXPECT_THAT(sheets.item(4).failure().reason(), HasSubstr("no sheet 4"));
}

TEST_F(StandInTest, OpenFailureGivesTheEngineReasonAndAddsNoWorkbook) {
    auto made = factory();
    auto application = made.createApplication();
    const run::Status opened = application.value()->Workbooks().Open("missing.xlsx");
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.failure().reason(), "the file does not exist");
    EXPECT_STREQ(run::codeName(opened.failure()), "not-found");
    EXPECT_EQ(application.value()->Workbooks().count(), 0);
}

// Quit closes without saving: what was queued is dropped with the engine workbook.
TEST_F(StandInTest, QuitReleasesTheWorkbookWithoutSavingAndLaterCallsFail) {
    auto made = factory();
    auto application = openBook(made);
    Workbook& workbook = lastWorkbook(*application);
    Range& cells = workbook.Sheets().item(1).value()->Cells();
    ASSERT_TRUE(cells.Replace("alpha", "omega", 2, 1, false, false, false).ok());
    application->Quit();
    EXPECT_THAT(log.calls, ElementsAre("queue 0 alpha>omega 0", "destroy"));
    EXPECT_FALSE(cells.Replace("alpha", "omega", 2, 1, false, false, false).ok());
    EXPECT_FALSE(workbook.Save().ok());
    EXPECT_FALSE(application->Workbooks().Open("book.xlsx").ok());
    EXPECT_THAT(log.calls, ElementsAre("queue 0 alpha>omega 0", "destroy"));
}

TEST_F(StandInTest, InstanceIsInTheRegistryUntilItQuits) {
    auto made = factory();
    const long otherPid = static_cast<long>(::getpid()) + 1;
    EXPECT_EQ(run::liveRegistryEntryName(registry(), otherPid), std::nullopt);
    auto application = made.createApplication();
    ASSERT_TRUE(application.ok());
    EXPECT_EQ(run::liveRegistryEntryName(registry(), otherPid), "Microsoft Excel");
    // The current process never counts itself.
    EXPECT_EQ(run::liveRegistryEntryName(registry(), static_cast<long>(::getpid())), std::nullopt);
    application.value()->Quit();
    EXPECT_EQ(run::liveRegistryEntryName(registry(), otherPid), std::nullopt);
}

} // namespace
