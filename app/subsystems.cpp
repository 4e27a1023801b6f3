// Wiring of the sets page, the file list and the replace run to Form1's controls.
#include "subsystems.h"

#include "form1.h"

#include <QPushButton>

namespace app {

Subsystems attachSubsystems(Form1& form, platform::Services& services,
                            run::automation::ApplicationFactory& factory,
                            run::RunningInstanceLookup& lookup) {
    Subsystems attached;
    attached.setsPage = sets::createSetsPage(*form.setsPage());
    attached.sets = std::make_unique<sets::SetsController>(attached.setsPage, form, form, services);

    attached.fileList =
        std::make_unique<filelist::FileListController>(*form.ListView1, form, services);
    filelist::FileListController* fileList = attached.fileList.get();
    QObject::connect(form.PushButton3, &QPushButton::clicked, fileList,
                     &filelist::FileListController::PushButton3_Click);
    QObject::connect(form.PushButton6, &QPushButton::clicked, fileList,
                     &filelist::FileListController::PushButton6_Click);
    // A folder scan that lets events through must not go on once the window is closed.
    QObject::connect(&form, &Form1::unloaded, fileList, &filelist::FileListController::requestStop);

    const run::RunControls controls{
        form.TabControl1,         form.Text1,  form.Text2,     attached.setsPage.Combo1,
        attached.setsPage.Combo2, form.Check4, form.ListView1, form.PushButton7};
    attached.run =
        std::make_unique<run::RunController>(controls, form, services.messageBox, factory, lookup);
    return attached;
}

} // namespace app
