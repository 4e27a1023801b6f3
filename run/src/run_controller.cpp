// Start Replacing: validation, the running-instance question, then every listed file through
// run, reading the page, the texts, the sets and matchCase from the main window as it goes.
#include "run/run_controller.h"

#include "run/workbook_operations.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

namespace run {

namespace {

constexpr int kSetsPage = 1;

// matchCase and the main window's hourglass, as the workbook operations read and set them.
class WindowContext final : public RunContext {
public:
    WindowContext(QCheckBox& check4, platform::MousePointer& pointer)
        : m_check4(check4), m_pointer(pointer) {}
    bool matchCase() override { return m_check4.checkState() == Qt::Checked; }
    void showBusy() override { m_pointer.setMousePointer(platform::kPointerHourglass); }

private:
    QCheckBox& m_check4;
    platform::MousePointer& m_pointer;
};

class ComboList final : public TextList {
public:
    explicit ComboList(const QComboBox& combo) : m_combo(combo) {}
    int count() const override { return m_combo.count(); }
    std::string item(int index) const override { return m_combo.itemText(index).toStdString(); }

private:
    const QComboBox& m_combo;
};

} // namespace

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
    if (!excelIsRunning()) {
        return false;
    }
    const platform::Answer answer =
        m_messageBox.show(kExcelOpenQuestion, platform::kApplicationTitle, platform::Buttons::YesNo,
                          platform::Icon::None);
    return answer != platform::Answer::Yes;
}

void RunController::startReplacing() {
    const auto inform = [this](const QString& text) {
        m_messageBox.show(text, platform::kApplicationTitle, platform::Buttons::Ok,
                          platform::Icon::None);
    };
    const bool findMissing = m_controls.pageTabs->currentIndex() == kSetsPage
                                 ? m_controls.findList->count() == 0
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

    WindowContext context(*m_controls.matchCase, m_pointer);
    const auto replace = [this, &context](automation::Workbook& workbook) -> Status {
        if (m_controls.pageTabs->currentIndex() == kSetsPage) {
            return run::replaceSetsInWorkbook(workbook, ComboList(*m_controls.findList),
                                              ComboList(*m_controls.replaceList), context);
        }
        return run::replaceInWorkbook(workbook, m_controls.findText->toPlainText().toStdString(),
                                      m_controls.replaceText->toPlainText().toStdString(), context);
    };

    // The count is a full int: lists longer than 32,767 files are processed to the end.
    QList<FailedFile> failed;
    const int fileCount = m_controls.fileListView->topLevelItemCount();
    for (int i = 0; i < fileCount; ++i) {
        const QString path = m_controls.fileListView->topLevelItem(i)->text(0);
        auto processed =
            run::processFile(m_factory, QFile::encodeName(path).toStdString(), replace);
        if (!processed) {
            failed.append({path, QString::fromStdString(processed.failure().reason())});
        }
    }

    if (!failed.isEmpty()) {
        m_messageBox.show(failureMessage(failed), platform::kApplicationTitle,
                          platform::Buttons::Ok, platform::Icon::Warning);
    }
    inform(kDone);
    m_pointer.setMousePointer(platform::kPointerDefault);
}

} // namespace run
