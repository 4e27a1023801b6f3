// Ending the program when the user closes MainWindow, whatever else is open: the main event loop
// and the loop of every modal dialog return at once, and a long operation that lets window
// events through (a folder scan) is not resumed.
#pragma once

#include "platform/event_pump.h"

#include <QObject>
#include <functional>

class MainWindow;

namespace app {

class ProgramEnd final : public QObject, public platform::EventPump {
    Q_OBJECT
public:
    using Terminate = std::function<void()>;

    /// events: the pump that does the work. terminate: how the process ends from inside a
    /// long operation; by default at once, after flushing the standard streams (every
    /// setting was saved when it changed, and no yielding operation writes files).
    explicit ProgramEnd(platform::EventPump& events, Terminate terminate = {});

    /// Ends the program when form is closed.
    void watch(MainWindow& form);

    bool ended() const { return m_ended; }

    /// Handles pending events; when the window was closed meanwhile, ends the process.
    void processEvents() override;

private:
    void end();

    platform::EventPump& m_events;
    Terminate m_terminate;
    bool m_ended = false;
};

} // namespace app
