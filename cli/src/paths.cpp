// Path expansion reuses the folder command's scan, so the command line and the main window
// find the same files in the same order.
#include "cli/paths.h"

#include "filelist/folder_scan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace cli {

QStringList expandPaths(const QStringList& paths, const QString& extension,
                        QStringList* unreadable) {
    QStringList files;
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir()) {
            files += filelist::scanFolderFiles(path, extension, nullptr, {}, unreadable);
        } else {
            files += path;
        }
    }
    return files;
}

std::string sameFileKey(const QString& path) {
    struct stat info {};
    const QByteArray encoded = QFile::encodeName(path);
    if (::stat(encoded.constData(), &info) == 0) {
        return "inode:" + std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
    }
    return "path:" +
           QFile::encodeName(QDir::cleanPath(QFileInfo(path).absoluteFilePath())).toStdString();
}

} // namespace cli
