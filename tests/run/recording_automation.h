// A recording fake of the automation interface: every call on every instance goes into one
// log, in order, as a short line ("#1 Open a.xlsx", "#1 Replace 2 find>repl 2 1 0 0 0").
// Failures are scripted per path, per sheet or on Save.
#pragma once

#include "run/automation.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fakes {

using namespace run::automation;

struct Script {
    /// Sheets of every opened workbook.
    int sheets = 1;
    /// Workbooks already open in a new instance, so that the opened one is not the first.
    int preopened = 0;
    std::set<std::string> failOpen;
    std::set<int> failReplaceOnSheet;
    std::set<std::string> failSave;
    bool failCreate = false;
};

class RecordingLog {
public:
    void add(int instance, const std::string& text) {
        calls.push_back("#" + std::to_string(instance) + " " + text);
    }
    /// The lines that start with "#n " + prefix, without the instance number.
    std::vector<std::string> matching(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& call : calls) {
            const std::string rest = call.substr(call.find(' ') + 1);
            if (rest.rfind(prefix, 0) == 0) {
                found.push_back(rest);
            }
        }
        return found;
    }
    std::vector<std::string> calls;
};

class RecordingApplication;

class RecordingRange final : public Range {
public:
    RecordingRange(RecordingLog& log, int instance, int sheet, bool fail)
        : m_log(log), m_instance(instance), m_sheet(sheet), m_fail(fail) {}
    run::Status Replace(const std::string& What, const std::string& Replacement, int LookAt,
                        int SearchOrder, bool MatchCase, bool SearchFormat,
                        bool ReplaceFormat) override {
        m_log.add(m_instance, "Replace " + std::to_string(m_sheet) + " " + What + ">" +
                                  Replacement + " " + std::to_string(LookAt) + " " +
                                  std::to_string(SearchOrder) + " " + std::to_string(MatchCase) +
                                  " " + std::to_string(SearchFormat) + " " +
                                  std::to_string(ReplaceFormat));
        if (m_fail) {
            return run::Failure{"sheet " + std::to_string(m_sheet) + " is broken"};
        }
        return run::succeeded();
    }

private:
    RecordingLog& m_log;
    int m_instance;
    int m_sheet;
    bool m_fail;
};

class RecordingSheet final : public Sheet {
public:
    RecordingSheet(RecordingLog& log, int instance, int sheet, bool fail)
        : m_range(log, instance, sheet, fail) {}
    Range& Cells() override { return m_range; }

private:
    RecordingRange m_range;
};

class RecordingSheets final : public SheetCollection {
public:
    RecordingSheets(RecordingLog& log, int instance, const Script& script)
        : m_log(log), m_instance(instance) {
        for (int i = 1; i <= script.sheets; ++i) {
            m_sheets.push_back(std::make_unique<RecordingSheet>(
                log, instance, i, script.failReplaceOnSheet.count(i) > 0));
        }
    }
    std::int32_t count() const override {
        m_log.add(m_instance, "Sheets.count");
        return static_cast<std::int32_t>(m_sheets.size());
    }
    run::Outcome<Sheet*> item(std::int32_t position) override {
        if (position < 1 || position > static_cast<std::int32_t>(m_sheets.size())) {
            return run::Failure{"no such sheet"};
        }
        return static_cast<Sheet*>(m_sheets[static_cast<std::size_t>(position - 1)].get());
    }

private:
    RecordingLog& m_log;
    int m_instance;
    std::vector<std::unique_ptr<RecordingSheet>> m_sheets;
};

class RecordingWorkbook final : public Workbook {
public:
    RecordingWorkbook(run::automation::Application& application, RecordingLog& log, int instance,
                      const Script& script, std::string path)
        : m_application(application), m_log(log), m_instance(instance),
          m_sheets(log, instance, script), m_path(std::move(path)),
          m_failSave(script.failSave.count(m_path) > 0) {}
    SheetCollection& Sheets() override { return m_sheets; }
    run::automation::Application& Application() override { return m_application; }
    run::Outcome<engine::ReplaceCounts> Save() override {
        m_log.add(m_instance, "Save " + m_path);
        if (m_failSave) {
            return run::Failure{"the disk is full"};
        }
        if (m_cells != nullptr) {
            m_cells->cell({"Sheet1", "A1", engine::CellKind::Cell, "before", "after"});
        }
        return engine::ReplaceCounts{1, 1};
    }
    run::Outcome<engine::ReplaceCounts> DryRun() override {
        m_log.add(m_instance, "DryRun " + m_path);
        if (m_cells != nullptr) {
            m_cells->cell({"Sheet1", "A1", engine::CellKind::Cell, "before", "after"});
        }
        return engine::ReplaceCounts{};
    }
    void ReportCellsTo(engine::CellListener* listener) override { m_cells = listener; }
    // Finds two cells in every workbook; a workbook whose save is scripted to fail fails.
    run::Status Search(engine::CellListener& listener) override {
        m_log.add(m_instance, "Search " + m_path);
        if (m_failSave) {
            return run::Failure{"the workbook is damaged"};
        }
        listener.cell({"Sheet1", "A1", engine::CellKind::Cell, m_path, m_path});
        listener.cell({"Sheet1", "B2", engine::CellKind::TableHeader, m_path, m_path});
        return run::succeeded();
    }

private:
    run::automation::Application& m_application;
    RecordingLog& m_log;
    int m_instance;
    RecordingSheets m_sheets;
    std::string m_path;
    bool m_failSave;
    engine::CellListener* m_cells = nullptr;
};

class RecordingWorkbooks final : public WorkbookCollection {
public:
    RecordingWorkbooks(Application& application, RecordingLog& log, int instance,
                       const Script& script)
        : m_application(application), m_log(log), m_instance(instance), m_script(script) {
        for (int i = 0; i < script.preopened; ++i) {
            m_workbooks.push_back(std::make_unique<RecordingWorkbook>(
                application, log, instance, script, "preopened" + std::to_string(i)));
        }
    }
    run::Status Open(const std::string& path) override {
        m_log.add(m_instance, "Open " + path);
        if (m_script.failOpen.count(path) > 0) {
            return run::Failure{"the file is not a workbook"};
        }
        m_workbooks.push_back(
            std::make_unique<RecordingWorkbook>(m_application, m_log, m_instance, m_script, path));
        return run::succeeded();
    }
    std::int32_t count() const override { return static_cast<std::int32_t>(m_workbooks.size()); }
    run::Outcome<Workbook*> item(std::int32_t position) override {
        m_log.add(m_instance, "Workbooks " + std::to_string(position));
        if (position < 1 || position > count()) {
            return run::Failure{"no such workbook"};
        }
        return static_cast<Workbook*>(m_workbooks[static_cast<std::size_t>(position - 1)].get());
    }

private:
    Application& m_application;
    RecordingLog& m_log;
    int m_instance;
    const Script& m_script;
    std::vector<std::unique_ptr<RecordingWorkbook>> m_workbooks;
};

class RecordingApplication final : public Application {
public:
    RecordingApplication(RecordingLog& log, int instance, const Script& script)
        : m_log(log), m_instance(instance), m_workbooks(*this, log, instance, script) {}
    std::string Name() const override { return kApplicationName; }
    WorkbookCollection& Workbooks() override { return m_workbooks; }
    bool DisplayAlerts() const override { return m_alerts; }
    void setDisplayAlerts(bool value) override {
        m_alerts = value;
        m_log.add(m_instance, std::string("DisplayAlerts ") + (value ? "on" : "off"));
    }
    void Quit() override { m_log.add(m_instance, "Quit"); }

private:
    RecordingLog& m_log;
    int m_instance;
    RecordingWorkbooks m_workbooks;
    bool m_alerts = true;
};

class RecordingFactory final : public ApplicationFactory {
public:
    run::Outcome<std::unique_ptr<Application>> createApplication() override {
        ++created;
        log.add(created, "create");
        if (script.failCreate) {
            return run::Failure{"no instance can be started"};
        }
        return std::unique_ptr<Application>(
            std::make_unique<RecordingApplication>(log, created, script));
    }
    Script script;
    RecordingLog log;
    int created = 0;
};

} // namespace fakes
