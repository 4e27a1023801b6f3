// Start Replacing: validation, the running-instance question, then every listed file through
// the workbook operations on a worker, the window handling its events meanwhile.
#include "run/run_controller.h"

#include "run/workbook_operations.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <optional>
#include <thread>

namespace run {

namespace {

constexpr int kSetsPage = 1;

// What the workbook operations read on the worker: match case as the run started. The
// hourglass is the window's for the whole run, so a sheet has nothing to show.
class SnapshotContext final : public RunContext {
public:
    explicit SnapshotContext(bool matchCase) : m_matchCase(matchCase) {}
    bool matchCase() override { return m_matchCase; }
    void showBusy() override {}

private:
    bool m_matchCase;
};

class StringList final : public TextList {
public:
    explicit StringList(std::vector<std::string> items) : m_items(std::move(items)) {}
    int count() const override { return static_cast<int>(m_items.size()); }
    std::string item(int index) const override { return m_items[static_cast<std::size_t>(index)]; }

private:
    std::vector<std::string> m_items;
};

std::vector<std::string> comboItems(const QComboBox& combo) {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(combo.count()));
    for (int i = 0; i < combo.count(); ++i) {
        items.push_back(combo.itemText(i).toStdString());
    }
    return items;
}

// The run's inputs, read from the window once before the worker starts: the window's controls
// are never touched off the window's thread.
struct RunInputs {
    bool sets = false;
    std::string findText;
    std::string replaceText;
    std::vector<std::string> findList;
    std::vector<std::string> replaceList;
    bool matchCase = false;
    std::vector<std::string> paths;
};

} // namespace

QString otherRunQuestion(long pid) {
    return QStringLiteral("Another replace run is in progress (process %1). Changing the same "
                          "workbooks from two runs at once can lose changes.\r\n\r\n"
                          "Would you like to proceed anyway?")
        .arg(pid);
}

QString failureMessage(const QList<FailedFile>& failed) {
    QString text = QStringLiteral("These files could not be changed and were left as they were:");
    const qsizetype shown = std::min<qsizetype>(failed.size(), kMaxFailureLines);
    for (qsizetype i = 0; i < shown; ++i) {
        text += QStringLiteral("\r\n") + failed[i].path + QStringLiteral(": ") + failed[i].reason;
    }
    if (failed.size() > shown) {
        text += QStringLiteral("\r\n... and %1 more.").arg(failed.size() - shown);
    }
    return text;
}

RunController::RunController(const RunControls& controls, platform::MousePointer& pointer,
                             platform::MessageBox& messageBox,
                             automation::ApplicationFactory& factory, RunningInstanceLookup& lookup,
                             QObject* parent)
    : QObject(parent), m_controls(controls), m_pointer(pointer), m_messageBox(messageBox),
      m_factory(factory), m_lookup(lookup) {
    connect(m_controls.startButton, &QPushButton::clicked, this, &RunController::startReplacing);
}

bool RunController::excelIsRunning() {
    return run::excelIsRunning(m_lookup);
}

bool RunController::cancelIfExcelOpen() {
    const std::optional<RunningInstance> running = m_lookup.runningInstance();
    QString question;
    if (running && running->replaceRun) {
        question = otherRunQuestion(running->pid);
    } else if (running && running->name == automation::kApplicationName) {
        question = kExcelOpenQuestion;
    } else {
        return false;
    }
    const platform::Answer answer = m_messageBox.show(
        question, platform::kApplicationTitle, platform::Buttons::YesNo, platform::Icon::None);
    return answer != platform::Answer::Yes;
}

void RunController::setInputsEnabled(bool enabled) {
    for (QWidget* widget : std::initializer_list<QWidget*>{
             m_controls.pageTabs, m_controls.findText, m_controls.replaceText, m_controls.findList,
             m_controls.replaceList, m_controls.matchCase, m_controls.fileListView,
             m_controls.startButton}) {
        widget->setEnabled(enabled);
    }
    for (QWidget* widget : m_controls.otherInputs) {
        widget->setEnabled(enabled);
    }
}

void RunController::showProgress(int done, int total) {
    if (m_controls.progressBar == nullptr) {
        return;
    }
    // At rest the bar is empty on its designed range; during a run it counts files.
    if (total > 0) {
        m_controls.progressBar->setRange(0, total);
        m_controls.progressBar->setValue(done);
    } else {
        m_controls.progressBar->setValue(0);
        m_controls.progressBar->setRange(0, 100);
    }
}

void RunController::requestStop() {
    m_stop = true;
    if (m_loop) {
        m_loop->quit();
    }
}

void RunController::startReplacing() {
    if (m_running) {
        return;
    }
    const auto inform = [this](const QString& text) {
        m_messageBox.show(text, platform::kApplicationTitle, platform::Buttons::Ok,
                          platform::Icon::None);
    };
    const bool onSetsPage = m_controls.pageTabs->currentIndex() == kSetsPage;
    const bool findMissing = onSetsPage ? m_controls.findList->count() == 0
                                        : m_controls.findText->toPlainText().isEmpty();
    if (findMissing) {
        inform(kNoFindText);
        return;
    }
    if (m_controls.fileListView->topLevelItemCount() == 0) {
        inform(kNoFiles);
        return;
    }

    m_pointer.setMousePointer(platform::kPointerHourglass);
    if (cancelIfExcelOpen()) {
        m_pointer.setMousePointer(platform::kPointerDefault);
        return;
    }
    m_pointer.setMousePointer(platform::kPointerHourglass);

    RunInputs inputs;
    inputs.sets = onSetsPage;
    inputs.findText = m_controls.findText->toPlainText().toStdString();
    inputs.replaceText = m_controls.replaceText->toPlainText().toStdString();
    if (onSetsPage) {
        inputs.findList = comboItems(*m_controls.findList);
        inputs.replaceList = comboItems(*m_controls.replaceList);
    }
    inputs.matchCase = m_controls.matchCase->checkState() == Qt::Checked;
    // The count is a full int: lists longer than 32,767 files are processed to the end.
    const int fileCount = m_controls.fileListView->topLevelItemCount();
    QStringList paths;
    for (int i = 0; i < fileCount; ++i) {
        paths.append(m_controls.fileListView->topLevelItem(i)->text(0));
        inputs.paths.push_back(QFile::encodeName(paths.back()).toStdString());
    }

    m_running = true;
    m_stop = false;
    setInputsEnabled(false);
    showProgress(0, fileCount);

    QList<FailedFile> failed;
    int done = 0;
    QEventLoop loop;
    m_loop = &loop;
    std::thread worker([this, &inputs, &paths, &failed, &done, &loop, fileCount] {
        SnapshotContext context(inputs.matchCase);
        const StringList findList(inputs.findList);
        const StringList replaceList(inputs.replaceList);
        const auto replace = [&](automation::Workbook& workbook) -> Status {
            if (inputs.sets) {
                return replaceSetsInWorkbook(workbook, findList, replaceList, context);
            }
            return replaceInWorkbook(workbook, inputs.findText, inputs.replaceText, context);
        };
        for (int i = 0; i < fileCount && !m_stop; ++i) {
            auto processed =
                processFile(m_factory, inputs.paths[static_cast<std::size_t>(i)], replace);
            std::optional<QString> reason;
            if (!processed) {
                reason = QString::fromStdString(processed.failure().reason());
            }
            QMetaObject::invokeMethod(this, [this, i, reason, &paths, &failed, &done, fileCount] {
                if (reason) {
                    failed.append({paths.at(i), *reason});
                }
                done = i + 1;
                showProgress(done, fileCount);
            });
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Ends when the worker is through, or at once when the program is ending.
    loop.exec();
    const bool ending = m_stop || done < fileCount;
    m_stop = true;
    // The file in flight is finished, never torn; what the worker posted after that refers to
    // this run's locals and goes unread.
    worker.join();
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    m_loop = nullptr;
    m_running = false;
    if (ending) {
        return;
    }
    setInputsEnabled(true);

    showProgress(0, 0);
    if (!failed.isEmpty()) {
        m_messageBox.show(failureMessage(failed), platform::kApplicationTitle,
                          platform::Buttons::Ok, platform::Icon::Warning);
    }
    inform(kDone);
    m_pointer.setMousePointer(platform::kPointerDefault);
}

} // namespace run
