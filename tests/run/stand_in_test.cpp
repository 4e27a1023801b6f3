// The stand-in over a fake engine: what each automation call does to the engine workbook,
// the failures it gives, and the registry entry that an instance holds while it lives.
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
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        book = folder() / "book.fake";
        fakes::writeFakeWorkbook(book, {{{"Data", true}, {"alpha", "ALPHA beta"}},
                                        {{"Chart", false}, {}},
                                        {{"More", true}, {"alphabet"}}});
    }
    std::filesystem::path folder() const { return dir.path().toStdString(); }
    std::filesystem::path registry() const { return folder() / "registry"; }

    run::StandInFactory factory() {
        return run::StandInFactory(
            [this](const std::filesystem::path& path) {
                return fakes::openFakeWorkbook(path, &log);
            },
            registry());
    }
    std::unique_ptr<Application> openBook(run::StandInFactory& made) {
        auto created = made.createApplication();
        EXPECT_TRUE(created.ok());
        EXPECT_TRUE(created.value()->Workbooks().Open(book.string()).ok());
        return std::move(created.value());
    }
    static Workbook& lastWorkbook(Application& application) {
        auto& workbooks = application.Workbooks();
        return *workbooks.item(workbooks.count()).value();
    }

    QTemporaryDir dir;
    std::filesystem::path book;
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
            sheets.item(i).value()->Cells().Replace("alpha", "omega", 2, 1, false, false, false));
    }
    // The chart sheet (2) has no cells and gets nothing queued.
    EXPECT_THAT(log.calls, ElementsAre("queue 0 alpha>omega 0", "queue 2 alpha>omega 0"));
    auto saved = workbook.Save();
    ASSERT_TRUE(saved.ok()) << saved.failure().reason;
    EXPECT_EQ(saved.value().replacements, 3U);
    EXPECT_EQ(saved.value().cellsChanged, 3U);
    EXPECT_THAT(fakes::readFakeCells(book), ElementsAre(ElementsAre("omega", "omega beta"),
                                                        ElementsAre(), ElementsAre("omegabet")));
}

TEST_F(StandInTest, DryRunCountsAndWritesNothing) {
    auto made = factory();
    auto application = openBook(made);
    Workbook& workbook = lastWorkbook(*application);
    ASSERT_TRUE(
        workbook.Sheets().item(1).value()->Cells().Replace("beta", "", 2, 1, true, false, false));
    auto counted = workbook.DryRun();
    ASSERT_TRUE(counted.ok());
    EXPECT_EQ(counted.value().replacements, 1U);
    EXPECT_THAT(fakes::readFakeCells(book)[0], ElementsAre("alpha", "ALPHA beta"));
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
         {RefusedArguments{1, 1, false, false}, RefusedArguments{2, 3, false, false},
          RefusedArguments{2, 1, true, false}, RefusedArguments{2, 1, false, true}}) {
        const run::Status status = cells.Replace("a", "b", args.lookAt, args.searchOrder, false,
                                                 args.searchFormat, args.replaceFormat);
        EXPECT_FALSE(status.ok()) << args.lookAt << " " << args.searchOrder;
    }
    // By columns gives the same cells as by rows when every match is replaced.
    EXPECT_TRUE(cells.Replace("a", "b", 2, 2, false, false, false).ok());
    EXPECT_THAT(log.calls, ElementsAre("queue 0 a>b 0"));
}

TEST_F(StandInTest, PositionsOutsideTheCollectionsFail) {
    auto made = factory();
    auto application = openBook(made);
    EXPECT_FALSE(application->Workbooks().item(0).ok());
    EXPECT_FALSE(application->Workbooks().item(2).ok());
    SheetCollection& sheets = lastWorkbook(*application).Sheets();
    EXPECT_FALSE(sheets.item(0).ok());
    EXPECT_THAT(sheets.item(4).failure().reason, HasSubstr("no sheet 4"));
}

TEST_F(StandInTest, OpenFailureNamesTheFileAndAddsNoWorkbook) {
    const std::filesystem::path foreign = folder() / "notes.txt";
    fakes::writeFakeWorkbook(foreign, {});
    std::filesystem::resize_file(foreign, 0);
    auto made = factory();
    auto application = made.createApplication();
    for (const std::filesystem::path& path : {foreign, folder() / "missing.fake"}) {
        const run::Status opened = application.value()->Workbooks().Open(path.string());
        ASSERT_FALSE(opened.ok());
        EXPECT_THAT(opened.failure().reason, HasSubstr(path.filename().string()));
    }
    EXPECT_EQ(application.value()->Workbooks().count(), 0);
}

// Quit closes without saving: what was queued is dropped and the file stays as it was.
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
    EXPECT_FALSE(application->Workbooks().Open(book.string()).ok());
    EXPECT_THAT(fakes::readFakeCells(book)[0], ElementsAre("alpha", "ALPHA beta"));
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
