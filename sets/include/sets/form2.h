// Form2, the Load Sets dialog: the user names a sets file and the separator its lines use,
// and the file's sets are appended to the set list. Shown modally by SetsController.
#pragma once

#include "platform/services.h"
#include "sets/window_pointer.h"

#include <QDialog>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace sets {

class SetList;

class Form2 final : public QDialog {
    Q_OBJECT
public:
    /// Builds the dialog and runs its load: face colours, centring, the hand cursor from
    /// "HAND-M.CUR" in installationFolder, and the separator from the setting "Text2".
    /// Loaded sets are appended to sets.
    Form2(SetList& sets, const platform::Services& services, const QString& installationFolder,
          QWidget* parent = nullptr);

    /// The dialog's own mouse pointer (0, 11 or 99).
    platform::MousePointer& mousePointer() { return m_pointer; }
    const WindowPointer& windowPointer() const { return m_pointer; }

    /// Label1(0) "File To Load:" and Label1(1) "Separator:", named "Label1_0" and "Label1_1".
    std::array<QLabel*, 2> Label1{};
    QLineEdit* Text1 = nullptr;
    QPushButton* PushButton16 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;

    /// The Help text: the shape of a sets file, lines broken by CR.
    static QString helpText();

    void PushButton16_Click();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void Text2_Change(const QString& text);

private:
    void Form_Load();

    SetList& m_sets;
    platform::Services m_services;
    QString m_installationFolder;
    WindowPointer m_pointer{*this};
};

} // namespace sets
