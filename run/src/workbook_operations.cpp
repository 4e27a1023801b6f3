// The workbook operations: exactly the automation calls the run relies on, in the
// order it relies on them. Every failure ends the operation at once and goes to the caller.
#include "run/workbook_operations.h"

namespace run {

using namespace automation;

Outcome<std::unique_ptr<Application>> openWorkbook(ApplicationFactory& factory,
                                                   const std::string& path) {
    auto created = factory.createApplication();
    if (!created) {
        return created.failure();
    }
    std::unique_ptr<Application> application = std::move(created.value());
    if (Status opened = application->Workbooks().Open(path); !opened) {
        // The caller never sees this instance, so it is ended here rather than left running.
        application->Quit();
        return opened.failure();
    }
    return application;
}

namespace {

// One sheet's part of both replace operations: every pair on the sheet's cells, in order.
template <class EachPair>
Status replaceOnEverySheet(Workbook& workbook, RunContext& context, EachPair eachPair) {
    workbook.Application().setDisplayAlerts(false);
    SheetCollection& sheets = workbook.Sheets();
    const std::int32_t sheetCount = sheets.count();
    for (std::int32_t i = 1; i <= sheetCount; ++i) {
        context.showBusy();
        auto sheet = sheets.item(i);
        if (!sheet) {
            return sheet.failure();
        }
        if (Status replaced = eachPair(sheet.value()->Cells()); !replaced) {
            return replaced;
        }
    }
    workbook.Application().setDisplayAlerts(true);
    return succeeded();
}

Status replaceOne(Range& cells, const std::string& findText, const std::string& replaceText,
                  RunContext& context) {
    const bool matchCase = context.matchCase();
    const int lookAt = context.wholeCell() ? kXlWhole : kXlPart;
    return cells.Replace(findText, replaceText, lookAt, kXlByRows, matchCase, false, false);
}

} // namespace

Status replaceInWorkbook(Workbook& workbook, const std::string& findText,
                         const std::string& replaceText, RunContext& context) {
    return replaceOnEverySheet(workbook, context, [&](Range& cells) {
        return replaceOne(cells, findText, replaceText, context);
    });
}

Status replaceSetsInWorkbook(Workbook& workbook, const TextList& findList,
                             const TextList& replaceList, RunContext& context) {
    return replaceOnEverySheet(workbook, context, [&](Range& cells) -> Status {
        const int pairCount = findList.count();
        for (int j = 0; j < pairCount; ++j) {
            if (Status replaced = replaceOne(cells, findList.item(j), replaceList.item(j), context);
                !replaced) {
                return replaced;
            }
        }
        return succeeded();
    });
}

bool excelIsRunning(RunningInstanceLookup& lookup) {
    const std::optional<std::string> name = lookup.runningApplicationName();
    return name && *name == kApplicationName;
}

Outcome<engine::ReplaceCounts> processFile(ApplicationFactory& factory, const std::string& path,
                                           const std::function<Status(Workbook&)>& replace,
                                           Finish finish, engine::CellListener* cells) {
    auto opened = openWorkbook(factory, path);
    if (!opened) {
        return opened.failure();
    }
    Application& application = *opened.value();
    // Quit runs on every path out, so no instance outlives its file.
    struct QuitAtEnd {
        Application& application;
        ~QuitAtEnd() { application.Quit(); }
    } quitAtEnd{application};

    WorkbookCollection& workbooks = application.Workbooks();
    auto workbook = workbooks.item(workbooks.count());
    if (!workbook) {
        return workbook.failure();
    }
    if (Status replaced = replace(*workbook.value()); !replaced) {
        return replaced.failure();
    }
    if (finish == Finish::Search) {
        // Counted on the way, so the outcome says how many cells were found.
        struct Counting final : engine::CellListener {
            engine::CellListener* next = nullptr;
            std::uint64_t count = 0;
            void cell(const engine::CellChange& change) override {
                ++count;
                if (next != nullptr) {
                    next->cell(change);
                }
            }
        } counting;
        counting.next = cells;
        if (Status found = workbook.value()->Search(counting); !found) {
            return found.failure();
        }
        return engine::ReplaceCounts{0, counting.count};
    }
    workbook.value()->ReportCellsTo(cells);
    return finish == Finish::Save ? workbook.value()->Save() : workbook.value()->DryRun();
}

} // namespace run
