// The handlers of the sets page: Add Set, Remove Selected Set, Clear Sets, Load Sets (through
// LoadSetsDialog), Save Sets, the selection mirroring between findList and replaceList, and the
// hand-cursor rule for the page's buttons and labels.
#pragma once

#include "platform/mouse_pointer.h"
#include "platform/services.h"
#include "sets/sets_page.h"

#include <QObject>
#include <QString>
#include <functional>

class QDialog;

namespace sets {

class SetList;

class SetsController final : public QObject {
    Q_OBJECT
public:
    /// Connects the page's buttons and lists. mainPointer is the main window's pointer, which
    /// the page's buttons and labels move by the hand-cursor rule; dialogs and messages go
    /// through services; LoadSetsDialog is parented to mainWindow.
    SetsController(const SetsPageControls& controls, QWidget& mainWindow,
                   platform::MousePointer& mainPointer, platform::Services& services,
                   QObject* parent = nullptr);

    /// Shows a dialog modally and returns when it has closed. The program uses exec(); a test
    /// drives the dialog itself instead.
    using ModalRunner = std::function<void(QDialog&)>;
    void setModalRunner(ModalRunner runner) { m_runModal = std::move(runner); }
    /// The folder in which LoadSetsDialog looks for its hand cursor "HAND-M.CUR" (by default the
    /// folder of the running program).
    void setInstallationFolder(const QString& folder) { m_installationFolder = folder; }

    SetList& setList() { return m_sets; }

    void addSet();                 ///< Add Set
    void removeSelectedSet();      ///< Remove Selected Set
    void clearSets();              ///< Clear Sets
    void loadSets();               ///< Load Sets
    void saveSets();               ///< Save Sets
    void mirrorFindSelection();    ///< mirrors findList's selection to replaceList
    void mirrorReplaceSelection(); ///< mirrors replaceList's selection to findList

private:
    /// Runs a change of the list without mirroring, then gives both lists back the selection
    /// they had: a combo box selects its first item by itself, appending must select nothing.
    void keepingSelection(const std::function<void()>& change);
    void selectInBoth(int index);
    /// Writes the list to path after the overwrite question; reports a failure.
    void saveSetsFile(const QString& path);
    void showListFull(const QString& more);

    SetsPageControls m_controls;
    QWidget& m_mainWindow;
    platform::Services m_services;
    SetList& m_sets;
    ModalRunner m_runModal;
    QString m_installationFolder;
    bool m_quiet = false;
};

} // namespace sets
