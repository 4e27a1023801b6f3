// Reads the entries of one folder in the file system's own order, for the folder scans, with
// POSIX directory streams.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace filelist::detail {

struct FolderEntry {
    /// The bare name, never "." or "..".
    QString name;
    /// Subfolders only: the identity of the real folder (see folderIdentity).
    QByteArray folderId;
};

class FolderReader {
public:
    enum class Mode {
        /// Subfolders that are not hidden, links followed, each with its identity.
        Subfolders,
        /// Regular files, links followed, hidden ones included.
        Files,
    };

    /// folder may end in a separator or not. A folder that cannot be opened reads as empty.
    FolderReader(const QString& folder, Mode mode);
    ~FolderReader();
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    /// False when the folder could not be opened (no permission, gone, a path too long).
    bool opened() const;
    /// The next entry of the asked kind; false at the end of the folder or on a read error.
    /// Entries whose type cannot be read are passed over.
    bool next(FolderEntry& entry);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// The identity of the real folder that path names (links followed): its device and inode, or
/// its canonical path where there are none. Empty when path is not a readable folder.
QByteArray folderIdentity(const QString& path);

/// True when path names a folder (links followed) whose own entry is not hidden.
bool isVisibleFolder(const QString& path);

/// True when path names a folder (links followed).
bool isFolder(const QString& path);

} // namespace filelist::detail
