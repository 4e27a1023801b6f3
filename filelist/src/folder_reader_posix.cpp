// Folder reading on POSIX systems with directory streams. The entry type comes from the
// directory entry where the file system gives it, so listing a folder costs no call per file;
// links, and file systems that give no type, cost one stat each.
#include "folder_reader.h"

#include <QFile>

#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace filelist::detail {
namespace {

QByteArray identityOf(const struct stat& info) {
    const auto device = static_cast<std::uint64_t>(info.st_dev);
    const auto inode = static_cast<std::uint64_t>(info.st_ino);
    QByteArray id(sizeof device + sizeof inode, Qt::Uninitialized);
    std::memcpy(id.data(), &device, sizeof device);
    std::memcpy(id.data() + sizeof device, &inode, sizeof inode);
    return id;
}

bool isHiddenEntry([[maybe_unused]] const struct stat& info) {
#if defined(UF_HIDDEN)
    return (info.st_flags & UF_HIDDEN) != 0;
#else
    return false;
#endif
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The last component of path, trailing separators ignored; empty for a root.
QString lastComponent(const QString& path) {
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == QLatin1Char('/')) {
        --end;
    }
    const qsizetype start = path.lastIndexOf(QLatin1Char('/'), end - 1) + 1;
    return path.mid(start, end - start);
}

} // namespace

struct FolderReader::Impl {
    DIR* stream = nullptr;
    Mode mode = Mode::Files;
};

FolderReader::FolderReader(const QString& folder, Mode mode) : m_impl(std::make_unique<Impl>()) {
    m_impl->mode = mode;
    m_impl->stream = ::opendir(QFile::encodeName(folder).constData());
}

bool FolderReader::opened() const {
    return m_impl->stream != nullptr;
}

FolderReader::~FolderReader() {
    if (m_impl->stream != nullptr) {
        ::closedir(m_impl->stream);
    }
}

bool FolderReader::next(FolderEntry& entry) {
    DIR* stream = m_impl->stream;
    if (stream == nullptr) {
        return false;
    }
    const bool wantFolders = m_impl->mode == Mode::Subfolders;
    while (const dirent* item = ::readdir(stream)) {
        const char* name = item->d_name;
        if (isDotOrDotDot(name)) {
            continue;
        }
        if (wantFolders && name[0] == '.') {
            continue; // hidden folders are never entered
        }
        bool isDirectory = false;
        bool isRegular = false;
        bool needStat = true;
#if defined(DT_UNKNOWN)
        switch (item->d_type) {
        case DT_DIR:
            isDirectory = true;
            needStat = wantFolders; // the folder's identity is needed
            break;
        case DT_REG:
            isRegular = true;
            needStat = false;
            break;
        case DT_LNK:
        case DT_UNKNOWN:
            break;
        default:
            continue; // pipes, sockets, devices
        }
#endif
        if (!needStat && (wantFolders || !isRegular)) {
            continue; // a file while folders are wanted, or a folder while files are
        }
        struct stat info {};
        if (needStat) {
            // Links are followed: a link to a folder is a folder, a link to a file a file.
            if (::fstatat(::dirfd(stream), name, &info, 0) != 0) {
                continue; // its type cannot be read: passed over
            }
            isDirectory = S_ISDIR(info.st_mode);
            isRegular = S_ISREG(info.st_mode);
        }
        if (wantFolders) {
            if (!isDirectory || isHiddenEntry(info)) {
                continue;
            }
            entry.folderId = identityOf(info);
        } else {
            if (!isRegular) {
                continue;
            }
            entry.folderId.clear();
        }
        entry.name = QFile::decodeName(name);
        return true;
    }
    return false;
}

QByteArray folderIdentity(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return {};
    }
    return identityOf(info);
}

bool isFolder(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isVisibleFolder(const QString& path) {
    if (lastComponent(path).startsWith(QLatin1Char('.'))) {
        return false;
    }
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           !isHiddenEntry(info);
}

} // namespace filelist::detail
