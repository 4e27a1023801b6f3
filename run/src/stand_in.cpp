// The stand-in's objects: an application holding its open workbooks, each over one engine
// workbook whose sheets queue the Replace calls until Save. Nothing here touches a file
// except the engine's save.
#include "run/stand_in.h"

#include <unistd.h>
#include <vector>

namespace run {

using namespace automation;

namespace {

const Failure kQuit{"the spreadsheet instance has already quit"};

class StandInApplication;
class StandInWorkbook;

class StandInRange final : public Range {
public:
    StandInRange(StandInWorkbook& workbook, std::size_t sheetIndex, bool hasCells)
        : m_workbook(workbook), m_sheetIndex(sheetIndex), m_hasCells(hasCells) {}
    Status Replace(const std::string& What, const std::string& Replacement, int LookAt,
                   int SearchOrder, bool MatchCase, bool SearchFormat, bool ReplaceFormat) override;

private:
    StandInWorkbook& m_workbook;
    std::size_t m_sheetIndex;
    bool m_hasCells;
};

class StandInSheet final : public Sheet {
public:
    StandInSheet(StandInWorkbook& workbook, std::size_t sheetIndex, bool hasCells)
        : m_cells(workbook, sheetIndex, hasCells) {}
    Range& Cells() override { return m_cells; }

private:
    StandInRange m_cells;
};

class StandInSheets final : public SheetCollection {
public:
    StandInSheets(StandInWorkbook& workbook, const std::vector<engine::SheetInfo>& infos) {
        m_sheets.reserve(infos.size());
        for (std::size_t i = 0; i < infos.size(); ++i) {
            m_sheets.push_back(std::make_unique<StandInSheet>(workbook, i, infos[i].hasCells));
        }
    }
    std::int32_t count() const override { return static_cast<std::int32_t>(m_sheets.size()); }
    Outcome<Sheet*> item(std::int32_t position) override {
        if (position < 1 || position > count()) {
            return Failure{"there is no sheet " + std::to_string(position) + " in the workbook"};
        }
        return static_cast<Sheet*>(m_sheets[static_cast<std::size_t>(position - 1)].get());
    }

private:
    std::vector<std::unique_ptr<StandInSheet>> m_sheets;
};

class StandInWorkbook final : public Workbook {
public:
    StandInWorkbook(StandInApplication& application, std::unique_ptr<engine::Workbook> engine,
                    std::string path)
        : m_application(application), m_engine(std::move(engine)),
          m_sheets(*this, m_engine->sheets()), m_path(std::move(path)) {}

    SheetCollection& Sheets() override { return m_sheets; }
    automation::Application& Application() override;
    Outcome<engine::ReplaceCounts> Save() override { return finish(&engine::Workbook::save); }
    Outcome<engine::ReplaceCounts> DryRun() override { return finish(&engine::Workbook::dryRun); }
    void ReportCellsTo(engine::CellListener* listener) override {
        if (m_engine) {
            m_engine->setCellListener(listener);
        }
    }
    Status Search(engine::CellListener& listener) override {
        if (!m_engine) {
            return kQuit;
        }
        if (auto found = m_engine->search(listener); !found) {
            return failureOf(found.error(), m_path);
        }
        return succeeded();
    }

    engine::Workbook* engineWorkbook() { return m_engine.get(); }
    /// Closes without saving: whatever was queued is dropped.
    void close() { m_engine.reset(); }

private:
    Outcome<engine::ReplaceCounts>
    finish(engine::Result<engine::ReplaceCounts> (engine::Workbook::*step)()) {
        if (!m_engine) {
            return kQuit;
        }
        auto counts = ((*m_engine).*step)();
        if (!counts) {
            return failureOf(counts.error(), m_path);
        }
        return counts.value();
    }

    StandInApplication& m_application;
    std::unique_ptr<engine::Workbook> m_engine;
    StandInSheets m_sheets;
    std::string m_path;
};

Status StandInRange::Replace(const std::string& What, const std::string& Replacement, int LookAt,
                             int SearchOrder, bool MatchCase, bool SearchFormat,
                             bool ReplaceFormat) {
    engine::Workbook* engine = m_workbook.engineWorkbook();
    if (engine == nullptr) {
        return kQuit;
    }
    if (LookAt != kXlPart && LookAt != kXlWhole) {
        return Failure{"LookAt must be 1 (whole cell) or 2 (part of a cell)"};
    }
    // Replacing every match gives the same cells in either search order.
    if (SearchOrder != kXlByRows && SearchOrder != 2) {
        return Failure{"the search order must be by rows or by columns"};
    }
    if (SearchFormat || ReplaceFormat) {
        return Failure{"searching or replacing cell formats is not supported"};
    }
    // Chart and dialog sheets have no cells: nothing to replace there.
    if (m_hasCells) {
        engine->queueReplace(
            m_sheetIndex, engine::ReplaceRequest{What, Replacement, MatchCase, LookAt == kXlWhole});
    }
    return succeeded();
}

class StandInWorkbooks final : public WorkbookCollection {
public:
    StandInWorkbooks(StandInApplication& application, const WorkbookOpener& opener)
        : m_application(application), m_opener(opener) {}

    Status Open(const std::string& path) override;
    std::int32_t count() const override { return static_cast<std::int32_t>(m_workbooks.size()); }
    Outcome<Workbook*> item(std::int32_t position) override {
        if (m_closed) {
            return kQuit;
        }
        if (position < 1 || position > count()) {
            return Failure{"there is no workbook " + std::to_string(position) +
                           " open in the instance"};
        }
        return static_cast<Workbook*>(m_workbooks[static_cast<std::size_t>(position - 1)].get());
    }
    void closeAll() {
        for (auto& workbook : m_workbooks) {
            workbook->close();
        }
        m_closed = true;
    }

private:
    StandInApplication& m_application;
    const WorkbookOpener& m_opener;
    std::vector<std::unique_ptr<StandInWorkbook>> m_workbooks;
    bool m_closed = false;
};

class StandInApplication final : public automation::Application {
public:
    StandInApplication(WorkbookOpener opener, std::unique_ptr<RegistryEntry> entry)
        : m_opener(std::move(opener)), m_entry(std::move(entry)), m_workbooks(*this, m_opener) {}
    ~StandInApplication() override { Quit(); }

    std::string Name() const override { return kApplicationName; }
    WorkbookCollection& Workbooks() override { return m_workbooks; }
    bool DisplayAlerts() const override { return m_displayAlerts; }
    void setDisplayAlerts(bool value) override { m_displayAlerts = value; }
    void Quit() override {
        m_workbooks.closeAll();
        m_entry.reset();
    }

private:
    WorkbookOpener m_opener;
    std::unique_ptr<RegistryEntry> m_entry;
    StandInWorkbooks m_workbooks;
    bool m_displayAlerts = true;
};

automation::Application& StandInWorkbook::Application() {
    return m_application;
}

Status StandInWorkbooks::Open(const std::string& path) {
    if (m_closed) {
        return kQuit;
    }
    auto opened = m_opener(std::filesystem::path(path));
    if (!opened) {
        return failureOf(opened.error(), path);
    }
    m_workbooks.push_back(
        std::make_unique<StandInWorkbook>(m_application, std::move(opened.value()), path));
    return succeeded();
}

} // namespace

StandInFactory::StandInFactory(WorkbookOpener opener, std::filesystem::path registryFolder)
    : m_opener(std::move(opener)), m_registryFolder(std::move(registryFolder)) {}

Outcome<std::unique_ptr<automation::Application>> StandInFactory::createApplication() {
    auto entry =
        RegistryEntry::join(m_registryFolder, static_cast<long>(::getpid()), kApplicationName);
    return std::unique_ptr<automation::Application>(
        std::make_unique<StandInApplication>(m_opener, std::move(entry)));
}

WorkbookOpener engineOpener(engine::OpenOptions options) {
    options.honourLockFiles = true;
    return [options](const std::filesystem::path& path) {
        return engine::Workbook::open(path, options);
    };
}

} // namespace run
