// The main window MainWindow: its controls and layout, the start-up sequence, keeping matchCase and
// the selected page, the Help button and the hand-cursor rule. The handlers of the file
// list, the sets page and Start Replacing belong to their own subsystems.
#pragma once

#include "setting_writer.h"

#include "platform/hand_cursor.h"
#include "platform/mouse_pointer.h"
#include "platform/services.h"

#include <QCursor>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class Splash;

namespace platform {
class HandCursorRule;
class TabPages;
} // namespace platform

/// The text of the Help button's message.
inline const QString kHelpText =
    QStringLiteral("Before using this software, make sure that the Excel file or any individual "
                   "sheets within the file are not protected.");

class MainWindow final : public QWidget, public platform::MousePointer {
    Q_OBJECT
public:
    explicit MainWindow(platform::Services& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    QTreeWidget* fileListView;
    QPushButton* addFilesButton;
    QPushButton* addFolderButton;
    QTabWidget* pageTabs;
    QLabel* findLabel;
    QPlainTextEdit* findText;
    QLabel* replaceLabel;
    QPlainTextEdit* replaceText;
    QGroupBox* caseFrame;
    QCheckBox* matchCase;
    QPushButton* startButton;
    QPushButton* helpButton;
    QProgressBar* progressBar;

    /// The area of page 1 ("Multiple find and replace (sets)") that holds its controls.
    /// Its coordinates are those of pageTabs, as the page's design gives them.
    QWidget* setsPage() const;

    /// The start-up sequence, run once before the window is first shown: skin, centring,
    /// hand cursor, home page draw, splash, caption, file list column, matchCase and the page
    /// restored from the settings. Returns false when the user closed the window meanwhile:
    /// the program then ends without showing it.
    bool start();

    /// True once the user has closed the window: the program is ending.
    bool isUnloaded() const { return m_unloaded; }

    /// The folder searched for "HAND-M.CUR", "x/o.cjs" and "Splash/"; by default the folder
    /// of the running executable. Set it before start.
    void setInstallationFolder(const QString& folder) { m_installationFolder = folder; }
    const QString& installationFolder() const { return m_installationFolder; }

    /// The splash window, created by start; null before.
    Splash* splash() const { return m_splash.get(); }

    /// The hand cursor loaded from "HAND-M.CUR", if any (the window's mouse icon).
    const std::optional<QCursor>& mouseIcon() const { return m_pointer.mouseIcon(); }

    int mousePointer() const override { return m_pointer.mousePointer(); }
    /// 0 the arrow, 11 the hourglass, 99 the hand cursor (the arrow without one).
    void setMousePointer(int pointer) override;

signals:
    /// The user closed the window; whoever runs the program ends it now.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void giveDesignColours();
    void setTabOrderByIndex();
    void installHandCursorRule();
    void restoreMatchCase();
    void restorePage();

    void saveMatchCase();
    void savePage(int index);
    void showHelp();

    platform::Services m_services;
    app::SettingWriter m_writer;
    QString m_installationFolder;
    platform::TabPages* m_tabPages = nullptr;
    platform::HandCursorRule* m_handCursorRule = nullptr;
    std::unique_ptr<Splash> m_splash;
    platform::WindowPointer m_pointer{*this};
    bool m_restoring = false;
    bool m_unloaded = false;
};
