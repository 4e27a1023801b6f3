// The folder routines: the folder browser's check, the level-by-level subfolder collection,
// one folder's matching files, and the whole-tree scan built on them.
#include "filelist/folder_scan.h"

#include "filelist/file_pattern.h"

#include "folder_reader.h"
#include "platform/event_pump.h"
#include "platform/folder_browser.h"

#include <QCoreApplication>
#include <QSet>

namespace filelist {
namespace {

using detail::FolderEntry;
using detail::FolderReader;

bool endsWithSeparator(const QString& path) {
#if defined(Q_OS_WIN)
    if (path.endsWith(QLatin1Char('\\'))) {
        return true;
    }
#endif
    return path.endsWith(QLatin1Char('/'));
}

// Handles pending events (when the caller gave a pump) and says whether the scan must stop.
class Yield {
public:
    Yield(platform::EventPump* events, const StopRequest& stop) : m_events(events), m_stop(stop) {}

    bool operator()() {
        if (m_events != nullptr) {
            m_events->processEvents();
        }
        return stopped();
    }

    bool stopped() const { return QCoreApplication::closingDown() || (m_stop && m_stop()); }

private:
    platform::EventPump* m_events;
    const StopRequest& m_stop;
};

void appendMatchingNames(const QString& folder, const FilePattern& pattern, QStringList& names) {
    FolderReader reader(folder, FolderReader::Mode::Files);
    FolderEntry entry;
    while (reader.next(entry)) {
        if (pattern.matches(entry.name)) {
            names.append(entry.name);
        }
    }
}

} // namespace

QString withTrailingSeparator(const QString& path) {
    return endsWithSeparator(path) ? path : path + QLatin1Char('/');
}

QString browseForFolder(platform::FolderBrowser& browser, const QString& title) {
    QString chosen = browser.browseForFolder(title);
    if (chosen.isEmpty() || !detail::isFolder(chosen)) {
        return {};
    }
    return chosen;
}

void collectSubfolders(QStringList& folders, bool recurse, platform::EventPump* events,
                       const StopRequest& stop, QStringList* unreadable) {
    Yield yield(events, stop);
    // Every real folder is taken once, whatever the number of links that lead to it.
    QSet<QByteArray> seen;
    for (const QString& entry : std::as_const(folders)) {
        const QByteArray id = detail::folderIdentity(entry);
        if (!id.isEmpty()) {
            seen.insert(id);
        }
    }

    QStringList found;
    QStringList level = folders;
    while (!level.isEmpty()) {
        QStringList nextLevel;
        for (const QString& entry : std::as_const(level)) {
            // One folder is read to its end before the next is opened.
            FolderReader reader(entry, FolderReader::Mode::Subfolders);
            if (!reader.opened() && unreadable != nullptr) {
                unreadable->append(entry);
            }
            if (yield()) {
                folders.append(found + nextLevel);
                return;
            }
            FolderEntry sub;
            while (reader.next(sub)) {
                if (seen.contains(sub.folderId)) {
                    continue;
                }
                seen.insert(sub.folderId);
                nextLevel.append(entry + sub.name + QLatin1Char('/'));
                if (yield()) {
                    folders.append(found + nextLevel);
                    return;
                }
            }
        }
        found.append(nextLevel);
        if (!recurse) {
            break;
        }
        level = std::move(nextLevel);
    }
    folders.append(found);
}

QStringList listFolderFiles(const QString& folder, const QString& pattern) {
    QStringList names;
    appendMatchingNames(withTrailingSeparator(folder), FilePattern(pattern), names);
    return names;
}

QStringList scanFolderTree(const QString& folder, const QString& pattern,
                           platform::EventPump* events, const StopRequest& stop,
                           QStringList* unreadable) {
    QStringList folders{withTrailingSeparator(folder)};
    collectSubfolders(folders, true, events, stop, unreadable);
    if (Yield(nullptr, stop).stopped()) {
        return {};
    }
    // Files are listed only once the whole folder list is known, without handling events:
    // what is appended is one consistent picture of the tree.
    const FilePattern compiled(pattern);
    QStringList paths;
    QStringList names;
    for (const QString& entry : std::as_const(folders)) {
        names.clear();
        appendMatchingNames(entry, compiled, names);
        for (const QString& name : std::as_const(names)) {
            // Names beginning with "~" are the lock and temporary files of open workbooks.
            if (!name.startsWith(QLatin1Char('~'))) {
                paths.append(entry + name);
            }
        }
    }
    return paths;
}

QStringList scanFolderFiles(const QString& folder, const QString& extensionAnswer,
                            platform::EventPump* events, const StopRequest& stop,
                            QStringList* unreadable) {
    return scanFolderTree(folder, QStringLiteral("*.") + extensionAnswer, events, stop, unreadable);
}

bool isFolderToScan(const QString& path) {
    return detail::isVisibleFolder(path);
}

} // namespace filelist
