// The handlers of the file list fileListView on the main window: the two adding buttons, removal by
// double-click and Delete key, and drag and drop of files and folders. The main window creates
// the list and connects its buttons; this object watches the list's own events.
#pragma once

#include "filelist/file_list.h"
#include "platform/mouse_pointer.h"
#include "platform/services.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <optional>

class QMimeData;
class QTreeWidget;

namespace filelist {

/// Title and filter of the open dialog of "Add Excel File(s)", as described. The Qt dialog
/// matches the patterns whatever their case, and lets "*.*" list every file, with or without
/// a dot (platform/src/qt_services.cpp).
inline const QString kOpenDialogTitle =
    QStringLiteral("Add File(s) - Hold Ctrl to select multiple files");
inline const QString kOpenDialogFilter = QStringLiteral("Excel Files (*.xl*);;All Files (*.*)");
/// The extension prompt of "Add All Excel File(s) In Folder"; CR characters break its lines.
inline const QString kExtensionPrompt =
    QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt files, "
                   "doc for all doc files, etc.)");
inline const QString kDefaultExtension = QStringLiteral("xl*");
inline const QString kExtensionKey = QStringLiteral("Extension");
inline const QString kFolderBrowserTitle = QStringLiteral("Please select folder to add:");

class FileListController : public QObject {
    Q_OBJECT

public:
    /// Watches listView (and its viewport) for double-clicks, the Delete key and drops; the
    /// pointer is the main window's. The services that services refers to must outlive this
    /// object.
    FileListController(QTreeWidget& listView, platform::MousePointer& pointer,
                       platform::Services& services, QObject* parent = nullptr);

    /// True while a folder scan handles events.
    bool isScanning() const { return m_scanDepth > 0; }

    /// The drag-over: true when data offers local files (a drop is welcome), false when the drop
    /// must be refused.
    static bool acceptsDrop(const QMimeData& data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    /// "Add Excel File(s)": the multi-select open dialog; appends every chosen path in order.
    void addFiles();
    /// "Add All Excel File(s) In Folder": the extension prompt, the folder browser, then the
    /// matching files of the whole tree.
    void addFolder();
    /// Removes the selected item.
    void removeSelected();
    /// The Delete key removes the selected item, whatever Shift, Ctrl or Alt; other keys are
    /// left to the list.
    void keyDown(int key, Qt::KeyboardModifiers modifiers);
    /// Appends the dropped paths in order: a file as it stands, a folder as every file of its
    /// tree (names beginning with "~" skipped, hidden folders not entered).
    void addDropped(const QMimeData& data);
    /// Makes a running scan give up at once and append nothing: the program is ending.
    void requestStop();

private:
    /// The files of the tree under folder matching pattern, with the hourglass shown and events
    /// handled while subfolders are collected; nothing when the scan was stopped.
    std::optional<QStringList> scanTree(const QString& folder, const QString& pattern);

    QPointer<QTreeWidget> m_list;
    platform::MousePointer& m_pointer;
    platform::Services m_services;
    int m_scanDepth = 0;
    bool m_stopRequested = false;
};

} // namespace filelist
