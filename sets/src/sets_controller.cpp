// The sets page's handlers.
#include "sets/sets_controller.h"

#include "sets/form2.h"
#include "sets/set_list.h"
#include "sets/sets_file.h"
#include "sets/window_pointer.h"

#include "platform/shared_routines.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <memory>

namespace sets {

SetsController::SetsController(const SetsPageControls& controls, QWidget& mainWindow,
                               platform::MousePointer& mainPointer, platform::Services& services,
                               QObject* parent)
    : QObject(parent), m_controls(controls), m_mainWindow(mainWindow), m_services(services),
      m_sets(setListOf(controls)), m_runModal([](QDialog& dialog) { dialog.exec(); }),
      m_installationFolder(platform::InstallationFolder()) {
    connect(controls.PushButton8, &QPushButton::clicked, this, &SetsController::PushButton8_Click);
    connect(controls.PushButton2, &QPushButton::clicked, this, &SetsController::PushButton2_Click);
    connect(controls.PushButton5, &QPushButton::clicked, this, &SetsController::PushButton5_Click);
    connect(controls.PushButton10, &QPushButton::clicked, this,
            &SetsController::PushButton10_Click);
    connect(controls.PushButton1, &QPushButton::clicked, this, &SetsController::PushButton1_Click);
    // A selection by the user and a change of the shown text both move the current index.
    connect(controls.Combo1, &QComboBox::currentIndexChanged, this, &SetsController::Combo1_Click);
    connect(controls.Combo2, &QComboBox::currentIndexChanged, this, &SetsController::Combo2_Click);

    auto* rule = new HandCursorRule(mainPointer, this);
    for (QPushButton* button : {controls.PushButton8, controls.PushButton10, controls.PushButton1,
                                controls.PushButton5, controls.PushButton2}) {
        rule->addButton(*button);
    }
    rule->addBackground(*controls.Label3);
    rule->addBackground(*controls.Label4);
    // Moves over the lists change nothing, so they must not reach the page or the tab control.
    controls.Combo1->setAttribute(Qt::WA_NoMousePropagation);
    controls.Combo2->setAttribute(Qt::WA_NoMousePropagation);
}

void SetsController::showListFull(const QString& more) {
    m_services.messageBox.show(listFullMessage() + more, platform::kApplicationTitle,
                               platform::Buttons::Ok, platform::Icon::None);
}

void SetsController::PushButton8_Click() {
    if (m_sets.isFull()) {
        showListFull(QStringLiteral(" Remove sets before adding more."));
        return;
    }
    const std::optional<QString> entry = m_services.inputBox.getText(
        QStringLiteral(
            "Enter find and replace set (use :: to separate find text and replace text):"),
        platform::kApplicationTitle, QStringLiteral("findwhat::replacewith"));
    if (!entry || entry->isEmpty()) {
        return;
    }
    const std::optional<Set> set = SplitSet(*entry, kDefaultSeparator);
    if (!set) {
        m_services.messageBox.show(
            QStringLiteral("You must use :: to separate the find text from the replace text"),
            platform::kApplicationTitle, platform::Buttons::Ok, platform::Icon::None);
        return;
    }
    if (set->find.size() > kMaxSetTextLength || set->replace.size() > kMaxSetTextLength) {
        m_services.messageBox.show(
            QStringLiteral("The find text and the replace text can each hold at most 32,767 "
                           "characters, the most a cell can hold."),
            platform::kApplicationTitle, platform::Buttons::Ok, platform::Icon::None);
        return;
    }
    keepingSelection([&] { m_sets.append(set->find, set->replace); });
}

void SetsController::PushButton2_Click() {
    // Both lists show one model, so removing the selected set removes it from both; the
    // second list's own test finds the same index, as the mirroring keeps them equal.
    const int index = m_controls.Combo1->currentIndex() >= 0 ? m_controls.Combo1->currentIndex()
                                                             : m_controls.Combo2->currentIndex();
    if (index < 0) {
        return;
    }
    m_quiet = true;
    m_sets.remove(index);
    // A combo box selects a neighbour of a removed item by itself; nothing is selected here.
    selectInBoth(-1);
    m_quiet = false;
}

void SetsController::PushButton5_Click() {
    m_quiet = true;
    m_sets.clear();
    selectInBoth(-1);
    m_quiet = false;
}

void SetsController::PushButton10_Click() {
    if (m_sets.isFull()) {
        showListFull(QStringLiteral(" Remove sets before loading more."));
        return;
    }
    keepingSelection([this] {
        // Each opening starts afresh; closing the dialog discards it.
        const auto dialog =
            std::make_unique<Form2>(m_sets, m_services, m_installationFolder, &m_mainWindow);
        m_runModal(*dialog);
    });
}

void SetsController::PushButton1_Click() {
    platform::FileDialogRequest request;
    request.title = QStringLiteral("Save List");
    request.filter = QStringLiteral("Text Files (*.txt);;All Files (*)");
    request.confirmOverwrite = false;
    const QString path = m_services.fileDialogs.getSaveFileName(request);
    if (path.isEmpty()) {
        return;
    }
    saveSetsFile(path);
}

void SetsController::saveSetsFile(const QString& path) {
    if (platform::FileExists(path) &&
        m_services.messageBox.show(QStringLiteral("Are you sure you wish to overwrite ") + path +
                                       QStringLiteral(" ?"),
                                   platform::kApplicationTitle, platform::Buttons::YesNo,
                                   platform::Icon::None) != platform::Answer::Yes) {
        return;
    }
    const QString error = SaveSetsFile(path, m_sets.sets());
    if (!error.isEmpty()) {
        m_services.messageBox.show(error, platform::kApplicationTitle, platform::Buttons::Ok,
                                   platform::Icon::Critical);
    }
}

void SetsController::Combo1_Click() {
    if (!m_quiet) {
        m_controls.Combo2->setCurrentIndex(m_controls.Combo1->currentIndex());
    }
}

void SetsController::Combo2_Click() {
    if (!m_quiet) {
        m_controls.Combo1->setCurrentIndex(m_controls.Combo2->currentIndex());
    }
}

void SetsController::keepingSelection(const std::function<void()>& change) {
    const int selected = m_controls.Combo1->currentIndex();
    m_quiet = true;
    change();
    selectInBoth(selected);
    m_quiet = false;
}

void SetsController::selectInBoth(int index) {
    m_controls.Combo1->setCurrentIndex(index);
    m_controls.Combo2->setCurrentIndex(index);
}

} // namespace sets
