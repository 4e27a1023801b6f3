// The Start Replacing button of the main window: startReplacing with its validation, the
// running-instance question, every listed file through the workbook operations on a worker
// thread while the window stays alive, the progress bar, and the closing messages.
#pragma once

#include "platform/message_box.h"
#include "platform/mouse_pointer.h"
#include "run/automation.h"
#include "run/running_instances.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

class QCheckBox;
class QComboBox;
class QEventLoop;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace run {

/// The texts of the run's messages.
inline const QString kNoFindText = QStringLiteral("Please enter text to find.");
inline const QString kNoFiles = QStringLiteral("No files added.");
inline const QString kDone = QStringLiteral("Done.");
/// The running-instance question: CR alone after the first line, CR LF twice before the last.
inline const QString kExcelOpenQuestion =
    QStringLiteral("Excel may be open. It is recommended that you close Excel first.\r"
                   "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
                   "Would you like to proceed anyway?");
/// The running-instance question when the instance is another replace run of this program.
QString otherRunQuestion(long pid);
/// At most this many failed files are named in the failure message.
inline constexpr int kMaxFailureLines = 20;

/// The main window's controls that the run reads.
struct RunControls {
    QTabWidget* pageTabs;
    QPlainTextEdit* findText;
    QPlainTextEdit* replaceText;
    QComboBox* findList;
    QComboBox* replaceList;
    QCheckBox* matchCase;
    QTreeWidget* fileListView;
    QPushButton* startButton;
    /// Shows files done out of files listed during a run; may be null.
    QProgressBar* progressBar = nullptr;
    /// Further controls that would change the run's inputs (the adding buttons), disabled
    /// with the others while a run lasts.
    std::vector<QWidget*> otherInputs = {};
};

/// One file the run could not change, and why.
struct FailedFile {
    QString path;
    QString reason;
};

/// The warning that lists the failed files: one line "path: reason" each, at most
/// kMaxFailureLines, then how many more.
QString failureMessage(const QList<FailedFile>& failed);

class RunController final : public QObject {
    Q_OBJECT
public:
    /// Connects startButton. pointer is the main window's; factory makes the instances;
    /// lookup finds a running instance. All must outlive this object.
    RunController(const RunControls& controls, platform::MousePointer& pointer,
                  platform::MessageBox& messageBox, automation::ApplicationFactory& factory,
                  RunningInstanceLookup& lookup, QObject* parent = nullptr);

    /// "Start Replacing". The files are processed one after another on a worker thread; the
    /// window's events are handled meanwhile, with the run's inputs disabled. Returns when the
    /// run has ended.
    void startReplacing();
    /// The program is ending: the file being processed finishes, the rest are skipped, and
    /// startReplacing returns without its closing messages.
    void requestStop();
    /// True while a run lasts.
    bool isRunning() const { return m_running; }
    /// True when the run must not start: a running instance was found and the user did not
    /// answer Yes.
    bool cancelIfExcelOpen();
    bool excelIsRunning();

private:
    void setInputsEnabled(bool enabled);
    void showProgress(int done, int total);

    RunControls m_controls;
    platform::MousePointer& m_pointer;
    platform::MessageBox& m_messageBox;
    automation::ApplicationFactory& m_factory;
    RunningInstanceLookup& m_lookup;
    std::atomic<bool> m_stop{false};
    bool m_running = false;
    QPointer<QEventLoop> m_loop;
};

} // namespace run
