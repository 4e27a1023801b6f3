// The main window MainWindow: its controls and layout, the start-up sequence, keeping matchCase and
// the selected page, the Help button and the hand-cursor rule. The handlers of the file
// list, the sets page and Start Replacing belong to their own subsystems.
#pragma once

#include "setting_writer.h"

#include "platform/mouse_pointer.h"
#include "platform/services.h"

#include <QCursor>
#include <QSet>
#include <QString>
#include <QWidget>
#include <array>
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
    QWidget* setsPage() const { return m_pageAreas[1]; }

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
    const std::optional<QCursor>& mouseIcon() const { return m_mouseIcon; }

    int mousePointer() const override { return m_pointer; }
    /// 0 the arrow, 11 the hourglass, 99 the hand cursor (the arrow without one).
    void setMousePointer(int pointer) override;

signals:
    /// The user closed the window; whoever runs the program ends it now.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* addPage(const QString& caption);
    void placePageAreas();
    void giveDesignColours();
    void setTabOrderByIndex();
    void installHandCursorRule();
    void followHandCursorRule(int pointer);
    void loadMouseIcon();
    void restoreMatchCase();
    void restorePage();

    void saveMatchCase();
    void savePage(int index);
    void showHelp();

    platform::Services m_services;
    app::SettingWriter m_writer;
    QString m_installationFolder;
    std::array<QWidget*, 2> m_pages{};
    std::array<QWidget*, 2> m_pageAreas{};
    std::unique_ptr<Splash> m_splash;
    std::optional<QCursor> m_mouseIcon;
    QSet<QWidget*> m_pointerWatched;
    int m_pointer = platform::kPointerDefault;
    bool m_restoring = false;
    bool m_unloaded = false;
};
