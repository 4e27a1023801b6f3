// The Excel1 module: the workbook operations that the run makes the spreadsheet application
// do (open a workbook in a new instance, replace one pair or every set on every sheet) and
// the running-instance test. Stateless; match case and the busy pointer come from the caller.
#pragma once

#include "run/automation.h"
#include "run/running_instances.h"

#include <functional>
#include <memory>
#include <string>

namespace run {

/// What the operations read from their caller: the desktop program reads Check4 and sets the
/// main window's hourglass; the command line answers from its options.
class RunContext {
public:
    virtual ~RunContext() = default;
    /// True when a replacement must match case (Check4 ticked); read before every call.
    virtual bool matchCase() = 0;
    /// Shows the busy pointer (the hourglass); called at the start of every sheet.
    virtual void showBusy() = 0;
};

/// A list of texts read by 0-based position: the find list (Combo1) or the replace list
/// (Combo2) of the sets.
class TextList {
public:
    virtual ~TextList() = default;
    virtual int count() const = 0;
    /// The text of item index (0 <= index < count()), UTF-8.
    virtual std::string item(int index) const = 0;
};

} // namespace run

namespace Excel1 {

/// Starts a new instance and opens path in it; returns the instance. When the workbook cannot
/// be opened the new instance is told to quit and the failure says why.
run::Outcome<std::unique_ptr<run::automation::Application>>
OpenWorkbook(run::automation::ApplicationFactory& factory, const std::string& path);

/// Alerts off; for each sheet in order: busy pointer, match case, one Replace of findText by
/// replaceText on its cells; alerts on. Stops at the first failure, leaving alerts off.
run::Status ReplaceInWorkbook(run::automation::Workbook& workbook, const std::string& findText,
                              const std::string& replaceText, run::RunContext& context);

/// As ReplaceInWorkbook with every pair of the two lists on a sheet, in list order, before the
/// next sheet; the number of pairs is that of findList, read anew for every sheet.
run::Status ReplaceSetsInWorkbook(run::automation::Workbook& workbook,
                                  const run::TextList& findList, const run::TextList& replaceList,
                                  run::RunContext& context);

/// True when lookup finds a running application whose name is exactly "Microsoft Excel".
bool ExcelIsRunning(run::RunningInstanceLookup& lookup);

/// How ProcessFile ends a file: Save writes it; DryRun counts what Save would change and
/// writes nothing (the command line's --dry-run).
enum class Finish { Save, DryRun };

/// One file of a run: OpenWorkbook, the last workbook of the instance, replace (which calls
/// ReplaceInWorkbook or ReplaceSetsInWorkbook), Save (or DryRun) and Quit. On any failure the
/// instance is told to quit, the file is left as it was, and the failure says why.
run::Outcome<run::automation::SaveCounts>
ProcessFile(run::automation::ApplicationFactory& factory, const std::string& path,
            const std::function<run::Status(run::automation::Workbook&)>& replace,
            Finish finish = Finish::Save);

} // namespace Excel1
