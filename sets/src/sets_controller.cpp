// The sets page's handlers.
#include "sets/sets_controller.h"

#include "platform/hand_cursor.h"
#include "sets/load_sets_dialog.h"
#include "sets/set_list.h"
#include "sets/sets_file.h"

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
      m_installationFolder(platform::installationFolder()) {
    connect(controls.addSetButton, &QPushButton::clicked, this, &SetsController::addSet);
    connect(controls.removeSetButton, &QPushButton::clicked, this,
            &SetsController::removeSelectedSet);
    connect(controls.clearSetsButton, &QPushButton::clicked, this, &SetsController::clearSets);
    connect(controls.loadSetsButton, &QPushButton::clicked, this, &SetsController::loadSets);
    connect(controls.saveSetsButton, &QPushButton::clicked, this, &SetsController::saveSets);
    // A selection by the user and a change of the shown text both move the current index.
    connect(controls.findList, &QComboBox::currentIndexChanged, this,
            &SetsController::mirrorFindSelection);
    connect(controls.replaceList, &QComboBox::currentIndexChanged, this,
            &SetsController::mirrorReplaceSelection);

    auto* rule = new platform::HandCursorRule(mainPointer, this);
    for (QPushButton* button :
         {controls.addSetButton, controls.loadSetsButton, controls.saveSetsButton,
          controls.clearSetsButton, controls.removeSetButton}) {
        rule->addButton(*button);
    }
    rule->addBackground(*controls.findListLabel);
    rule->addBackground(*controls.replaceListLabel);
    // Moves over the lists change nothing, so they must not reach the page or the tab control.
    controls.findList->setAttribute(Qt::WA_NoMousePropagation);
    controls.replaceList->setAttribute(Qt::WA_NoMousePropagation);
}

void SetsController::showListFull(const QString& more) {
    m_services.messageBox.show(listFullMessage() + more, platform::kApplicationTitle,
                               platform::Buttons::Ok, platform::Icon::None);
}

void SetsController::addSet() {
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

void SetsController::removeSelectedSet() {
    // Both lists show one model, so removing the selected set removes it from both; the
    // second list's own test finds the same index, as the mirroring keeps them equal.
    const int index = m_controls.findList->currentIndex() >= 0
                          ? m_controls.findList->currentIndex()
                          : m_controls.replaceList->currentIndex();
    if (index < 0) {
        return;
    }
    m_quiet = true;
    m_sets.remove(index);
    // A combo box selects a neighbour of a removed item by itself; nothing is selected here.
    selectInBoth(-1);
    m_quiet = false;
}

void SetsController::clearSets() {
    m_quiet = true;
    m_sets.clear();
    selectInBoth(-1);
    m_quiet = false;
}

void SetsController::loadSets() {
    if (m_sets.isFull()) {
        showListFull(QStringLiteral(" Remove sets before loading more."));
        return;
    }
    keepingSelection([this] {
        // Each opening starts afresh; closing the dialog discards it.
        const auto dialog = std::make_unique<LoadSetsDialog>(m_sets, m_services,
                                                             m_installationFolder, &m_mainWindow);
        m_runModal(*dialog);
    });
}

void SetsController::saveSets() {
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
    if (platform::fileExists(path) &&
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

void SetsController::mirrorFindSelection() {
    if (!m_quiet) {
        m_controls.replaceList->setCurrentIndex(m_controls.findList->currentIndex());
    }
}

void SetsController::mirrorReplaceSelection() {
    if (!m_quiet) {
        m_controls.findList->setCurrentIndex(m_controls.replaceList->currentIndex());
    }
}

void SetsController::keepingSelection(const std::function<void()>& change) {
    const int selected = m_controls.findList->currentIndex();
    m_quiet = true;
    change();
    selectInBoth(selected);
    m_quiet = false;
}

void SetsController::selectInBoth(int index) {
    m_controls.findList->setCurrentIndex(index);
    m_controls.replaceList->setCurrentIndex(index);
}

} // namespace sets
