// The Start Replacing button of the main window: startReplacing with its validation, the
// running-instance question, every listed file through the workbook operations, and the
// closing messages. The window's controls are handed in; this object keeps no run state.
#pragma once

#include "platform/message_box.h"
#include "platform/mouse_pointer.h"
#include "run/automation.h"
#include "run/running_instances.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
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

    /// "Start Replacing".
    void startReplacing();
    /// True when the run must not start: a running instance was found and the user did not
    /// answer Yes.
    bool cancelIfExcelOpen();
    bool excelIsRunning();

private:
    RunControls m_controls;
    platform::MousePointer& m_pointer;
    platform::MessageBox& m_messageBox;
    automation::ApplicationFactory& m_factory;
    RunningInstanceLookup& m_lookup;
};

} // namespace run
