// fileExists, centerForm and the installation folder.
#include "platform/shared_routines.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace platform {

bool fileExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        return false;
    }
    return info.lastModified().isValid();
}

void centerForm(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    const QSize outer = window.frameGeometry().size();
    const int left = area.x() + (area.width() - outer.width()) / 2;
    const int top = area.y() + (area.height() - outer.height()) / 2;
    window.move(left, top);
}

QString installationFolder() {
    return QCoreApplication::applicationDirPath();
}

} // namespace platform
