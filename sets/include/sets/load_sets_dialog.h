// LoadSetsDialog, the Load Sets dialog: the user names a sets file and the separator its lines use,
// and the file's sets are appended to the set list. Shown modally by SetsController.
#pragma once

#include "platform/hand_cursor.h"
#include "platform/services.h"

#include <QDialog>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace sets {

class SetList;

class LoadSetsDialog final : public QDialog {
    Q_OBJECT
public:
    /// Builds the dialog and runs its load: face colours, centring, the hand cursor from
    /// "HAND-M.CUR" in installationFolder, and the separator from the setting "Text2".
    /// Loaded sets are appended to sets.
    LoadSetsDialog(SetList& sets, const platform::Services& services,
                   const QString& installationFolder, QWidget* parent = nullptr);

    /// The dialog's own mouse pointer (0, 11 or 99).
    platform::MousePointer& mousePointer() { return m_pointer; }
    const platform::WindowPointer& windowPointer() const { return m_pointer; }

    /// labels(0) "File To Load:" and labels(1) "Separator:", named "Label1_0" and "Label1_1".
    std::array<QLabel*, 2> labels{};
    QLineEdit* fileBox = nullptr;
    QPushButton* browseButton = nullptr;
    QLineEdit* separatorBox = nullptr;
    QPushButton* helpButton = nullptr;
    QPushButton* loadButton = nullptr;
    QPushButton* cancelButton = nullptr;

    /// The Help text: the shape of a sets file, lines broken by CR.
    static QString helpText();

    void browse();
    void load();
    void showHelp();
    void saveSeparator(const QString& text);

private:
    void prepare();

    SetList& m_sets;
    platform::Services m_services;
    QString m_installationFolder;
    platform::WindowPointer m_pointer{*this};
};

} // namespace sets
