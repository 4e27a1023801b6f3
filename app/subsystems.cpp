// Wiring of the sets page, the file list and the replace run to MainWindow's controls.
#include "subsystems.h"

#include "main_window.h"

#include <QPushButton>

namespace app {

Subsystems attachSubsystems(MainWindow& form, platform::Services& services,
                            run::automation::ApplicationFactory& factory,
                            run::RunningInstanceLookup& lookup) {
    Subsystems attached;
    attached.setsPage = sets::createSetsPage(*form.setsPage());
    attached.sets = std::make_unique<sets::SetsController>(attached.setsPage, form, form, services);

    attached.fileList =
        std::make_unique<filelist::FileListController>(*form.fileListView, form, services);
    filelist::FileListController* fileList = attached.fileList.get();
    QObject::connect(form.addFilesButton, &QPushButton::clicked, fileList,
                     &filelist::FileListController::addFiles);
    QObject::connect(form.addFolderButton, &QPushButton::clicked, fileList,
                     &filelist::FileListController::addFolder);
    // A folder scan that lets events through must not go on once the window is closed.
    QObject::connect(&form, &MainWindow::unloaded, fileList,
                     &filelist::FileListController::requestStop);

    const run::RunControls controls{form.pageTabs,
                                    form.findText,
                                    form.replaceText,
                                    attached.setsPage.findList,
                                    attached.setsPage.replaceList,
                                    form.matchCase,
                                    form.fileListView,
                                    form.startButton,
                                    form.progressBar,
                                    {form.addFilesButton, form.addFolderButton}};
    attached.run =
        std::make_unique<run::RunController>(controls, form, services.messageBox, factory, lookup);
    // Closing the window during a run lets the file in flight finish and skips the rest.
    QObject::connect(&form, &MainWindow::unloaded, attached.run.get(),
                     &run::RunController::requestStop);
    return attached;
}

} // namespace app
