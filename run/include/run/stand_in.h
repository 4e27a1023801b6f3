// The in-process stand-in for the spreadsheet application: the automation interface over the
// program's own workbook engine. Replace queues on the engine, Save saves in place, Quit
// releases everything. Each instance joins the per-user registry of running instances.
#pragma once

#include "engine/workbook.h"
#include "run/automation.h"
#include "run/running_instances.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace run {

/// Opens one workbook file; engine::Workbook::open in the program, a fake in tests.
using WorkbookOpener = std::function<engine::Result<std::unique_ptr<engine::Workbook>>(
    const std::filesystem::path& path)>;

/// The engine's own opener, with lock files honoured; `options` as given otherwise.
WorkbookOpener engineOpener(engine::OpenOptions options = {});

class StandInFactory final : public automation::ApplicationFactory {
public:
    /// opener opens the workbooks of every instance made here. Each instance joins the
    /// registry in registryFolder while it lives; an empty folder joins none.
    explicit StandInFactory(WorkbookOpener opener,
                            std::filesystem::path registryFolder = defaultRegistryFolder());

    Outcome<std::unique_ptr<automation::Application>> createApplication() override;

private:
    WorkbookOpener m_opener;
    std::filesystem::path m_registryFolder;
};

} // namespace run
