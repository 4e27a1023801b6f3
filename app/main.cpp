// varnocliff: the desktop program. Builds the Qt services and MainWindow, runs the start-up
// sequence, shows the window and waits for the user until the window is closed.
#include "main_window.h"
#include "program_end.h"
#include "subsystems.h"
#include "window_icon.h"

#include "platform/qt_services.h"
#include "run/running_instances.h"
#include "run/stand_in.h"

#include <QApplication>
#include <QTimer>

namespace {

// Development aid for tools/screenshot.sh: saves the shown window as a PNG and ends.
void saveScreenshotIfAsked(MainWindow& form) {
    const QString path = qEnvironmentVariable("VARNOCLIFF_SCREENSHOT");
    if (path.isEmpty()) {
        return;
    }
    QTimer::singleShot(500, &form, [&form, path] {
        QCoreApplication::exit(form.grab().save(path, "PNG") ? 0 : 1);
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("varnocliff"));
    QApplication::setWindowIcon(app::windowIcon());
    // Only closing MainWindow ends the program (ProgramEnd), not the splash going away.
    QApplication::setQuitOnLastWindowClosed(false);

    platform::QtServices qtServices;
    const platform::Services qt = qtServices.services();
    app::ProgramEnd programEnd(qt.events);
    platform::Services services{qt.messageBox,    qt.inputBox,  qt.fileDialogs,
                                qt.folderBrowser, qt.urlOpener, qt.settings,
                                qt.clock,         programEnd,   qt.random};

    MainWindow form(services);
    qtServices.setDialogParent(&form);
    programEnd.watch(form);
    // The pages and handlers of the other subsystems are attached before start.
    run::StandInFactory factory(run::engineOpener());
    run::SystemRunningLookup runningLookup;
    const app::Subsystems subsystems =
        app::attachSubsystems(form, services, factory, runningLookup);

    if (!form.start()) {
        return 0;
    }
    form.show();
    saveScreenshotIfAsked(form);
    return QApplication::exec();
}
