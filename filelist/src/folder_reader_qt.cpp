// Folder reading with QDirIterator, for systems without POSIX directory streams. A folder's
// identity is its canonical path: two paths that reach one folder through links share it.
#include "folder_reader.h"

#include <QDirIterator>
#include <QFileInfo>

namespace AddFolder::detail {

struct FolderReader::Impl {
    Impl(const QString& folder, QDir::Filters filters) : iterator(folder, filters) {}
    QDirIterator iterator;
    Mode mode = Mode::Files;
};

namespace {

QDir::Filters filtersFor(FolderReader::Mode mode) {
    // Without QDir::Hidden hidden entries are left out; without QDir::System so are pipes,
    // sockets, devices and broken links.
    return mode == FolderReader::Mode::Subfolders
               ? QDir::Dirs | QDir::NoDotAndDotDot
               : QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot;
}

} // namespace

FolderReader::FolderReader(const QString& folder, Mode mode)
    : m_impl(std::make_unique<Impl>(folder, filtersFor(mode))) {
    m_impl->mode = mode;
}

FolderReader::~FolderReader() = default;

bool FolderReader::next(FolderEntry& entry) {
    while (m_impl->iterator.hasNext()) {
        m_impl->iterator.next();
        const QFileInfo info = m_impl->iterator.fileInfo();
        if (m_impl->mode == Mode::Subfolders) {
            QByteArray id = folderIdentity(info.filePath());
            if (id.isEmpty()) {
                continue;
            }
            entry.folderId = std::move(id);
        } else {
            entry.folderId.clear();
        }
        entry.name = info.fileName();
        return true;
    }
    return false;
}

QByteArray folderIdentity(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir()) {
        return {};
    }
    return info.canonicalFilePath().toUtf8();
}

bool isFolder(const QString& path) {
    return QFileInfo(path).isDir();
}

bool isVisibleFolder(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 &&
           (trimmed.endsWith(QLatin1Char('/')) || trimmed.endsWith(QLatin1Char('\\')))) {
        trimmed.chop(1);
    }
    const QFileInfo info(trimmed);
    return info.isDir() && (info.isRoot() || !info.isHidden());
}

} // namespace AddFolder::detail
