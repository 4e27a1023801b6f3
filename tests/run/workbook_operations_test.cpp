// The workbook operations against the recording fake: the calls, their order and arguments, and
// what happens when one fails.
#include "recording_automation.h"

#include "run/workbook_operations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class ScriptedContext final : public run::RunContext {
public:
    bool matchCase() override {
        ++matchCaseReads;
        return matchCaseAnswers.empty() ? false : nextAnswer();
    }
    void showBusy() override { ++busy; }
    bool wholeCell() override { return whole; }
    bool nextAnswer() {
        const bool answer = matchCaseAnswers.front();
        if (matchCaseAnswers.size() > 1) {
            matchCaseAnswers.erase(matchCaseAnswers.begin());
        }
        return answer;
    }
    std::vector<bool> matchCaseAnswers;
    int matchCaseReads = 0;
    int busy = 0;
    bool whole = false;
};

class VectorList final : public run::TextList {
public:
    explicit VectorList(std::vector<std::string> items) : m_items(std::move(items)) {}
    int count() const override { return static_cast<int>(m_items.size()); }
    std::string item(int index) const override {
        return m_items.at(static_cast<std::size_t>(index));
    }

private:
    std::vector<std::string> m_items;
};

class Excel1Test : public ::testing::Test {
protected:
    // Opens "book.xlsx" in a new fake instance and returns its last workbook.
    run::automation::Workbook& openBook() {
        auto opened = run::openWorkbook(factory, "book.xlsx");
        EXPECT_TRUE(opened.ok());
        application = std::move(opened.value());
        auto& workbooks = application->Workbooks();
        return *workbooks.item(workbooks.count()).value();
    }
    std::vector<std::string> replaceAndAlertCalls() const {
        std::vector<std::string> all;
        for (const std::string& call : factory.log.calls) {
            const std::string rest = call.substr(call.find(' ') + 1);
            if (rest.rfind("Replace", 0) == 0 || rest.rfind("DisplayAlerts", 0) == 0) {
                all.push_back(rest);
            }
        }
        return all;
    }

    fakes::RecordingFactory factory;
    std::unique_ptr<run::automation::Application> application;
    ScriptedContext context;
};

TEST_F(Excel1Test, SinglePairReplacesOnEverySheetInOrderBetweenAlertsOffAndOn) {
    factory.script.sheets = 3;
    auto& workbook = openBook();
    ASSERT_TRUE(run::replaceInWorkbook(workbook, "alpha", "omega", context).ok());
    EXPECT_THAT(replaceAndAlertCalls(),
                ElementsAre("DisplayAlerts off", "Replace 1 alpha>omega 2 1 0 0 0",
                            "Replace 2 alpha>omega 2 1 0 0 0", "Replace 3 alpha>omega 2 1 0 0 0",
                            "DisplayAlerts on"));
    EXPECT_EQ(context.busy, 3);
    EXPECT_TRUE(application->DisplayAlerts());
}

TEST_F(Excel1Test, SetsApplyEveryPairOnASheetBeforeTheNextSheet) {
    factory.script.sheets = 2;
    auto& workbook = openBook();
    const VectorList finds({"a", "b", "c", "d"});
    const VectorList replacements({"b", "c", "d", ""});
    ASSERT_TRUE(run::replaceSetsInWorkbook(workbook, finds, replacements, context).ok());
    EXPECT_THAT(factory.log.matching("Replace"),
                ElementsAre("Replace 1 a>b 2 1 0 0 0", "Replace 1 b>c 2 1 0 0 0",
                            "Replace 1 c>d 2 1 0 0 0", "Replace 1 d> 2 1 0 0 0",
                            "Replace 2 a>b 2 1 0 0 0", "Replace 2 b>c 2 1 0 0 0",
                            "Replace 2 c>d 2 1 0 0 0", "Replace 2 d> 2 1 0 0 0"));
    EXPECT_EQ(context.busy, 2);
}

TEST_F(Excel1Test, EmptySetListMakesNoReplaceButStillTurnsAlertsOffAndOn) {
    factory.script.sheets = 2;
    auto& workbook = openBook();
    const VectorList none({});
    ASSERT_TRUE(run::replaceSetsInWorkbook(workbook, none, none, context).ok());
    EXPECT_THAT(replaceAndAlertCalls(), ElementsAre("DisplayAlerts off", "DisplayAlerts on"));
}

// matchCase is read anew before every call: a change during the run reaches the next call.
TEST_F(Excel1Test, MatchCaseIsReadBeforeEveryReplace) {
    factory.script.sheets = 2;
    auto& workbook = openBook();
    context.matchCaseAnswers = {true, false, true};
    const VectorList finds({"x", "y"});
    ASSERT_TRUE(run::replaceSetsInWorkbook(workbook, finds, finds, context).ok());
    EXPECT_THAT(factory.log.matching("Replace"),
                ElementsAre("Replace 1 x>x 2 1 1 0 0", "Replace 1 y>y 2 1 0 0 0",
                            "Replace 2 x>x 2 1 1 0 0", "Replace 2 y>y 2 1 1 0 0"));
    EXPECT_EQ(context.matchCaseReads, 4);
}

TEST_F(Excel1Test, FailingReplaceStopsAtOnceAndLeavesAlertsOff) {
    factory.script.sheets = 3;
    factory.script.failReplaceOnSheet = {2};
    auto& workbook = openBook();
    const run::Status status = run::replaceInWorkbook(workbook, "a", "b", context);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.failure().reason(), "sheet 2 is broken");
    EXPECT_THAT(replaceAndAlertCalls(), ElementsAre("DisplayAlerts off", "Replace 1 a>b 2 1 0 0 0",
                                                    "Replace 2 a>b 2 1 0 0 0"));
    EXPECT_FALSE(application->DisplayAlerts());
}

TEST_F(Excel1Test, OpenWorkbookStartsANewInstanceForEveryCall) {
    for (const char* path : {"one.xlsx", "one.xlsx"}) {
        auto opened = run::openWorkbook(factory, path);
        ASSERT_TRUE(opened.ok());
        EXPECT_EQ(opened.value()->Name(), "Microsoft Excel");
    }
    EXPECT_THAT(factory.log.calls,
                ElementsAre("#1 create", "#1 Open one.xlsx", "#2 create", "#2 Open one.xlsx"));
}

TEST_F(Excel1Test, OpenWorkbookThatFailsQuitsItsInstance) {
    factory.script.failOpen = {"bad.xlsx"};
    auto opened = run::openWorkbook(factory, "bad.xlsx");
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.failure().reason(), "the file is not a workbook");
    EXPECT_THAT(factory.log.calls, ElementsAre("#1 create", "#1 Open bad.xlsx", "#1 Quit"));
}

TEST_F(Excel1Test, OpenWorkbookPassesOnAFactoryFailure) {
    factory.script.failCreate = true;
    auto opened = run::openWorkbook(factory, "a.xlsx");
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.failure().reason(), "no instance can be started");
}

struct ProcessCase {
    const char* name;
    std::set<std::string> failOpen;
    std::set<int> failReplaceOnSheet;
    std::set<std::string> failSave;
    std::vector<std::string> expectedTail; ///< the calls after "create"
    std::optional<std::string> reason;
};

class ProcessFileTest : public ::testing::TestWithParam<ProcessCase> {};

// The opened workbook is taken as the instance's last (two were open before it), and the
// instance quits however the file ends.
TEST_P(ProcessFileTest, OpensReplacesSavesAndAlwaysQuits) {
    const ProcessCase& c = GetParam();
    fakes::RecordingFactory factory;
    factory.script.preopened = 2;
    factory.script.failOpen = c.failOpen;
    factory.script.failReplaceOnSheet = c.failReplaceOnSheet;
    factory.script.failSave = c.failSave;
    ScriptedContext context;
    auto result = run::processFile(factory, "f.xlsx", [&](run::automation::Workbook& workbook) {
        return run::replaceInWorkbook(workbook, "a", "b", context);
    });
    std::vector<std::string> expected{"#1 create"};
    for (const std::string& call : c.expectedTail) {
        expected.push_back("#1 " + call);
    }
    EXPECT_THAT(factory.log.calls, ElementsAreArray(expected));
    EXPECT_EQ(result.ok(), !c.reason.has_value());
    if (c.reason) {
        EXPECT_EQ(result.failure().reason(), *c.reason);
    }
}

const std::vector<std::string> kOpened{"Open f.xlsx", "Workbooks 3", "DisplayAlerts off",
                                       "Sheets.count", "Replace 1 a>b 2 1 0 0 0"};

std::vector<std::string> openedThen(std::vector<std::string> tail) {
    std::vector<std::string> calls = kOpened;
    calls.insert(calls.end(), tail.begin(), tail.end());
    return calls;
}

INSTANTIATE_TEST_SUITE_P(
    run, ProcessFileTest,
    ::testing::Values(
        ProcessCase{"Succeeds",
                    {},
                    {},
                    {},
                    openedThen({"DisplayAlerts on", "Save f.xlsx", "Quit"}),
                    std::nullopt},
        ProcessCase{
            "OpenFails", {"f.xlsx"}, {}, {}, {"Open f.xlsx", "Quit"}, "the file is not a workbook"},
        ProcessCase{"ReplaceFails", {}, {1}, {}, openedThen({"Quit"}), "sheet 1 is broken"},
        ProcessCase{"SaveFails",
                    {},
                    {},
                    {"f.xlsx"},
                    openedThen({"DisplayAlerts on", "Save f.xlsx", "Quit"}),
                    "the disk is full"}),
    [](const ::testing::TestParamInfo<ProcessCase>& param) { return param.param.name; });

struct Collected final : engine::CellListener {
    std::vector<std::string> cells;
    void cell(const engine::CellChange& change) override {
        cells.push_back(change.cell + " " + change.before + ">" + change.after);
    }
};

// A search ends the file instead of a save: the cells go to the listener and are counted, and
// nothing is saved; whole-cell matching is passed as LookAt 1.
TEST(ProcessFileListing, SearchCountsAndPassesOnTheCellsFoundWithoutSaving) {
    fakes::RecordingFactory factory;
    ScriptedContext context;
    context.whole = true;
    Collected collected;
    auto result = run::processFile(
        factory, "f.xlsx",
        [&](run::automation::Workbook& workbook) {
            return run::replaceInWorkbook(workbook, "a", "b", context);
        },
        run::Finish::Search, &collected);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value().cellsChanged, 2U);
    EXPECT_EQ(result.value().replacements, 0U);
    EXPECT_THAT(collected.cells, ElementsAre("A1 f.xlsx>f.xlsx", "B2 f.xlsx>f.xlsx"));
    EXPECT_THAT(factory.log.calls,
                ElementsAre("#1 create", "#1 Open f.xlsx", "#1 Workbooks 1", "#1 DisplayAlerts off",
                            "#1 Sheets.count", "#1 Replace 1 a>b 1 1 0 0 0", "#1 DisplayAlerts on",
                            "#1 Search f.xlsx", "#1 Quit"));

    factory.script.failSave = {"g.xlsx"};
    auto failed = run::processFile(
        factory, "g.xlsx", [](run::automation::Workbook&) { return run::succeeded(); },
        run::Finish::Search, &collected);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.failure().reason(), "the workbook is damaged");
}

TEST(ProcessFileListing, SaveReportsItsCellsToTheListener) {
    fakes::RecordingFactory factory;
    Collected collected;
    auto result = run::processFile(
        factory, "f.xlsx", [](run::automation::Workbook&) { return run::succeeded(); },
        run::Finish::Save, &collected);
    ASSERT_TRUE(result.ok());
    EXPECT_THAT(collected.cells, ElementsAre("A1 before>after"));
}

class FixedLookup final : public run::RunningInstanceLookup {
public:
    explicit FixedLookup(std::optional<std::string> name) : m_name(std::move(name)) {}
    std::optional<std::string> runningApplicationName() override { return m_name; }

private:
    std::optional<std::string> m_name;
};

TEST(Excel1Running, OnlyTheExactNameCountsAsRunning) {
    const std::vector<std::pair<std::optional<std::string>, bool>> cases{
        {std::nullopt, false},
        {"Microsoft Excel", true},
        {"microsoft excel", false},
        {"Microsoft Excel ", false},
        {"", false},
        {"Microsoft Word", false}};
    for (const auto& [name, expected] : cases) {
        FixedLookup lookup(name);
        EXPECT_EQ(run::excelIsRunning(lookup), expected) << name.value_or("(none)");
    }
}

} // namespace
