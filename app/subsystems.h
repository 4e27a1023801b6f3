// Attaching the other subsystems to the main window: the sets page and its handlers, the file
// list's handlers and Start Replacing. main.cpp calls it with the real services; tests with
// fakes.
#pragma once

#include "filelist/file_list_controller.h"
#include "run/automation.h"
#include "run/run_controller.h"
#include "run/running_instances.h"
#include "sets/sets_controller.h"
#include "sets/sets_page.h"

#include "platform/services.h"

#include <memory>

class MainWindow;

namespace app {

/// The handlers attached to MainWindow; they live as long as this object does.
struct Subsystems {
    sets::SetsPageControls setsPage;
    std::unique_ptr<sets::SetsController> sets;
    std::unique_ptr<filelist::FileListController> fileList;
    std::unique_ptr<run::RunController> run;
};

/// Builds the sets page on form, connects addFilesButton, addFolderButton and startButton and the
/// list's own events. Call before start. services, factory and lookup must outlive the
/// result.
Subsystems attachSubsystems(MainWindow& form, platform::Services& services,
                            run::automation::ApplicationFactory& factory,
                            run::RunningInstanceLookup& lookup);

} // namespace app
