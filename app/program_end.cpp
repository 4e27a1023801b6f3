// ProgramEnd.
#include "program_end.h"

#include "main_window.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace app {

ProgramEnd::ProgramEnd(platform::EventPump& events, Terminate terminate)
    : m_events(events), m_terminate(std::move(terminate)) {
    if (!m_terminate) {
        m_terminate = [] {
            std::fflush(nullptr);
            std::_Exit(EXIT_SUCCESS);
        };
    }
}

void ProgramEnd::watch(MainWindow& form) {
    connect(&form, &MainWindow::unloaded, this, &ProgramEnd::end);
}

void ProgramEnd::end() {
    m_ended = true;
    // Leaves QApplication::exec and makes every nested loop (QDialog::exec, QMessageBox)
    // return; a dialog that returns this way answers as if cancelled.
    QCoreApplication::exit(0);
}

void ProgramEnd::processEvents() {
    m_events.processEvents();
    if (m_ended) {
        m_terminate();
    }
}

} // namespace app
