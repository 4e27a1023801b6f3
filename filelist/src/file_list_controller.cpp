// The file list's handlers. Dialogs, the folder browser, settings and event handling go through
// the platform services, so every path runs offscreen in tests.
#include "filelist/file_list_controller.h"

#include "filelist/folder_scan.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <memory>

namespace filelist {
namespace {

// The local file paths that data offers, in its order.
QStringList droppedPaths(const QMimeData& data) {
    QStringList paths;
    if (!data.hasUrls()) {
        return paths;
    }
    const QList<QUrl> urls = data.urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            const QString path = url.toLocalFile();
            if (!path.isEmpty()) {
                paths.append(path);
            }
        }
    }
    return paths;
}

// Lets events be handled during a scan and keeps the hourglass up: a handler run meanwhile
// (another command the user clicked) may have set the pointer back.
class BusyPump final : public platform::EventPump {
public:
    BusyPump(platform::EventPump& events, platform::MousePointer& pointer)
        : m_events(events), m_pointer(pointer) {}
    void processEvents() override {
        m_events.processEvents();
        if (m_pointer.mousePointer() != platform::kPointerHourglass) {
            m_pointer.setMousePointer(platform::kPointerHourglass);
        }
    }

private:
    platform::EventPump& m_events;
    platform::MousePointer& m_pointer;
};

bool isShown(const QPointer<QWidget>& window) {
    const QWidget* raw = window.data();
    return raw != nullptr && raw->isVisible();
}

} // namespace

FileListController::FileListController(QTreeWidget& listView, platform::MousePointer& pointer,
                                       platform::Services& services, QObject* parent)
    : QObject(parent), m_list(&listView), m_pointer(pointer), m_services(services) {
    listView.setAcceptDrops(true);
    listView.viewport()->setAcceptDrops(true);
    listView.installEventFilter(this);
    listView.viewport()->installEventFilter(this);
    // Closing the main window ends the program, also in the middle of a scan.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::lastWindowClosed, this, &FileListController::requestStop);
    }
}

bool FileListController::acceptsDrop(const QMimeData& data) {
    return !droppedPaths(data).isEmpty();
}

void FileListController::addFiles() {
    platform::FileDialogRequest request;
    request.title = kOpenDialogTitle;
    request.filter = kOpenDialogFilter;
    // The dialog opens where the user last added a file.
    const QStringList listed = m_list.isNull() ? QStringList() : items(*m_list);
    if (!listed.isEmpty()) {
        request.directory = QFileInfo(listed.last()).absolutePath();
    }
    const QStringList chosen = m_services.fileDialogs.getOpenFileNames(request);
    if (chosen.isEmpty() || m_list.isNull()) {
        return;
    }
    appendItems(*m_list, chosen);
}

void FileListController::addFolder() {
    const std::optional<QString> answer = m_services.inputBox.getText(
        kExtensionPrompt, platform::kApplicationTitle, kDefaultExtension);
    if (!answer.has_value() || answer->isEmpty()) {
        return;
    }
    // Kept for the user's record only: the prompt always proposes the default.
    platform::writeSetting(m_services.settings, kExtensionKey, *answer);
    const QString folder = filelist::browseForFolder(m_services.folderBrowser, kFolderBrowserTitle);
    if (folder.isEmpty()) {
        return;
    }
    const std::optional<QStringList> files = scanTree(folder, QStringLiteral("*.") + *answer);
    if (files.has_value() && !m_list.isNull()) {
        appendItems(*m_list, *files);
    }
}

void FileListController::removeSelected() {
    if (!m_list.isNull()) {
        removeSelectedItem(*m_list);
    }
}

void FileListController::keyDown(int key, Qt::KeyboardModifiers /*modifiers*/) {
    if (key == Qt::Key_Delete && !m_list.isNull()) {
        removeSelectedItem(*m_list);
    }
}

void FileListController::addDropped(const QMimeData& data) {
    const QStringList paths = droppedPaths(data);
    for (const QString& path : paths) {
        if (m_list.isNull()) {
            return;
        }
        if (!filelist::isFolderToScan(path)) {
            // A file, a hidden folder, or a path that cannot be read: added as it stands.
            appendItem(*m_list, path);
            continue;
        }
        const std::optional<QStringList> files = scanTree(path, QStringLiteral("*.*"));
        if (!files.has_value() || m_list.isNull()) {
            return; // the program is ending
        }
        appendItems(*m_list, *files);
    }
}

void FileListController::requestStop() {
    m_stopRequested = true;
}

std::optional<QStringList> FileListController::scanTree(const QString& folder,
                                                        const QString& pattern) {
    if (m_scanDepth == 0) {
        m_stopRequested = false;
    }
    ++m_scanDepth;
    m_pointer.setMousePointer(platform::kPointerHourglass);

    // The main window being closed (hidden) while events are handled also ends the scan.
    const QPointer<QWidget> window = m_list.isNull() ? nullptr : m_list->window();
    const bool watchWindow = isShown(window);
    const filelist::StopRequest stop = [&] {
        return m_stopRequested || m_list.isNull() || (watchWindow && !isShown(window));
    };
    BusyPump pump(m_services.events, m_pointer);
    QStringList files = filelist::scanFolderTree(folder, pattern, &pump, stop);
    const bool stopped = stop();

    --m_scanDepth;
    if (m_scanDepth == 0) {
        m_pointer.setMousePointer(platform::kPointerDefault);
    }
    if (stopped) {
        return std::nullopt;
    }
    return files;
}

bool FileListController::eventFilter(QObject* watched, QEvent* event) {
    if (m_list.isNull()) {
        return false;
    }
    if (watched == m_list.data() && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        keyDown(key->key(), key->modifiers());
        return key->key() == Qt::Key_Delete; // other keys move the selection as usual
    }
    if (watched != m_list->viewport()) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        removeSelected();
        return true;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData() != nullptr && acceptsDrop(*drag->mimeData())) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (drop->mimeData() == nullptr || !acceptsDrop(*drop->mimeData())) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // The drag source waits until the drop event returns: a folder scan runs afterwards,
        // on a copy of the paths, since the drag's data dies with the drag.
        auto copy = std::make_shared<QMimeData>();
        copy->setUrls(drop->mimeData()->urls());
        QTimer::singleShot(0, this, [this, copy] { addDropped(*copy); });
        return true;
    }
    default:
        return false;
    }
}

} // namespace filelist
