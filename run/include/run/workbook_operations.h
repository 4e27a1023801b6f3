// The workbook operations that the run makes the spreadsheet application
// do (open a workbook in a new instance, replace one pair or every set on every sheet) and
// the running-instance test. Stateless; match case and the busy pointer come from the caller.
#pragma once

#include "run/automation.h"
#include "run/running_instances.h"

#include <functional>
#include <memory>
#include <string>

namespace run {

/// What the operations read from their caller: the desktop program reads matchCase and sets the
/// main window's hourglass; the command line answers from its options.
class RunContext {
public:
    virtual ~RunContext() = default;
    /// True when a replacement must match case (matchCase ticked); read before every call.
    virtual bool matchCase() = 0;
    /// Shows the busy pointer (the hourglass); called at the start of every sheet.
    virtual void showBusy() = 0;
    /// True when a find text must be a cell's whole text (LookAt 1) rather than a part of it;
    /// read before every call. The desktop program always replaces parts.
    virtual bool wholeCell() { return false; }
};

/// A list of texts read by 0-based position: the find list (findList) or the replace list
/// (replaceList) of the sets.
class TextList {
public:
    virtual ~TextList() = default;
    virtual int count() const = 0;
    /// The text of item index (0 <= index < count()), UTF-8.
    virtual std::string item(int index) const = 0;
};

/// Starts a new instance and opens path in it; returns the instance. When the workbook cannot
/// be opened the new instance is told to quit and the failure says why.
Outcome<std::unique_ptr<automation::Application>>
openWorkbook(automation::ApplicationFactory& factory, const std::string& path);

/// Alerts off; for each sheet in order: busy pointer, match case, one Replace of findText by
/// replaceText on its cells; alerts on. Stops at the first failure, leaving alerts off.
Status replaceInWorkbook(automation::Workbook& workbook, const std::string& findText,
                         const std::string& replaceText, RunContext& context);

/// As replaceInWorkbook with every pair of the two lists on a sheet, in list order, before the
/// next sheet; the number of pairs is that of findList, read anew for every sheet.
Status replaceSetsInWorkbook(automation::Workbook& workbook, const TextList& findList,
                             const TextList& replaceList, RunContext& context);

/// True when lookup finds a running application whose name is exactly "Microsoft Excel".
bool excelIsRunning(RunningInstanceLookup& lookup);

/// How processFile ends a file: Save writes it; DryRun counts what Save would change and
/// writes nothing (the command line's --dry-run); Search lists the cells in which each find
/// text is found, as they are, and writes nothing (the command line's --list).
enum class Finish { Save, DryRun, Search };

/// One file of a run: openWorkbook, the last workbook of the instance, replace (which calls
/// replaceInWorkbook or replaceSetsInWorkbook), Save (or DryRun, or Search) and Quit. With
/// cells, each cell changed (or found) goes there before the call returns; a Search needs it,
/// and its counts are 0 replacements and the number of cells found. On any failure the
/// instance is told to quit, the file is left as it was, and the failure says why.
Outcome<engine::ReplaceCounts>
processFile(automation::ApplicationFactory& factory, const std::string& path,
            const std::function<Status(automation::Workbook&)>& replace,
            Finish finish = Finish::Save, engine::CellListener* cells = nullptr);

} // namespace run
