// The automation interface through which the run drives the spreadsheet application: the
// objects and members the program uses, typed, and nothing else. The in-process stand-in is
// in stand_in.h; tests use a recording fake.
#pragma once

#include "engine/workbook.h"
#include "run/outcome.h"

#include <cstdint>
#include <memory>
#include <string>

namespace run::automation {

/// The application's name, its default property. A running instance counts as the
/// spreadsheet application only when its name is exactly this text.
inline constexpr const char* kApplicationName = "Microsoft Excel";

/// Values of Replace's LookAt and SearchOrder that the program passes: kXlWhole matches only
/// cells whose whole text is What, kXlPart every occurrence inside a cell's text.
inline constexpr int kXlWhole = 1;
inline constexpr int kXlPart = 2;
inline constexpr int kXlByRows = 1;

class Application;

/// The range of all cells of one sheet.
class Range {
public:
    virtual ~Range() = default;
    /// Replaces every occurrence of What inside the text of every cell of the range by
    /// Replacement (LookAt kXlPart), or the whole text of every cell that is What (kXlWhole).
    /// The program always passes SearchOrder kXlByRows and SearchFormat and ReplaceFormat
    /// false. Texts are UTF-8.
    virtual Status Replace(const std::string& What, const std::string& Replacement, int LookAt,
                           int SearchOrder, bool MatchCase, bool SearchFormat,
                           bool ReplaceFormat) = 0;
};

class Sheet {
public:
    virtual ~Sheet() = default;
    /// All cells of the sheet.
    virtual Range& Cells() = 0;
};

/// The sheets of a workbook, every kind, in workbook order.
class SheetCollection {
public:
    virtual ~SheetCollection() = default;
    virtual std::int32_t count() const = 0;
    /// The sheet at a 1-based position; a failure outside 1 to count.
    virtual Outcome<Sheet*> item(std::int32_t position) = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;
    virtual SheetCollection& Sheets() = 0;
    /// The application instance that has this workbook open.
    virtual automation::Application& Application() = 0;
    /// Writes the workbook back to its own file, in its own format, without asking, and says
    /// what changed (not part of the spreadsheet application's own model). On failure the file
    /// is left as it was.
    virtual Outcome<engine::ReplaceCounts> Save() = 0;
    /// What Save would change, writing nothing (not part of the spreadsheet application's own
    /// model; for the command line's dry run).
    virtual Outcome<engine::ReplaceCounts> DryRun() = 0;
    /// Not part of the spreadsheet application's own model either (for listings of cells):
    /// each cell that the next Save or DryRun changes goes to listener, as the formula bar
    /// shows it before and after; nullptr reports nothing. The listener must outlive the call.
    virtual void ReportCellsTo(engine::CellListener* listener) = 0;
    /// Lists every cell in which a queued Replace finds its What, as it is, each Replace
    /// looked for on its own; writes nothing and keeps what is queued.
    virtual Status Search(engine::CellListener& listener) = 0;
};

/// The workbooks open in one instance, in the order they were opened.
class WorkbookCollection {
public:
    virtual ~WorkbookCollection() = default;
    /// Opens the workbook file at path (UTF-8); it becomes the last item. The program does not
    /// use the opened workbook from here but takes item(count()).
    virtual Status Open(const std::string& path) = 0;
    virtual std::int32_t count() const = 0;
    /// The workbook at a 1-based position; a failure outside 1 to count.
    virtual Outcome<Workbook*> item(std::int32_t position) = 0;
};

/// One instance of the spreadsheet application.
class Application {
public:
    virtual ~Application() = default;
    /// The default property: kApplicationName for the real thing.
    virtual std::string Name() const = 0;
    virtual WorkbookCollection& Workbooks() = 0;
    virtual bool DisplayAlerts() const = 0;
    virtual void setDisplayAlerts(bool value) = 0;
    /// Ends the instance: every workbook is closed without saving and every resource is
    /// released. Calls on its objects fail afterwards. Never fails.
    virtual void Quit() = 0;
};

/// Creates a new application instance; every call starts a new one.
class ApplicationFactory {
public:
    virtual ~ApplicationFactory() = default;
    virtual Outcome<std::unique_ptr<Application>> createApplication() = 0;
};

} // namespace run::automation
