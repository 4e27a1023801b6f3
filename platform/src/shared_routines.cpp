// fileExists, centerForm and the installation folder.
#include "platform/shared_routines.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
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

QPoint centredPosition(const QRect& screen, const QSize& outer) {
    return {screen.x() + (screen.width() - outer.width()) / 2,
            screen.y() + (screen.height() - outer.height()) / 2};
}

namespace {

void centreNow(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    // move() places the frame's top-left corner, so the frame's size is what is centred.
    window.move(centredPosition(screen->geometry(), window.frameGeometry().size()));
}

// Centres a window once more after its first show, when the window system has given it its
// frame; then removes itself.
class CentreWhenShown final : public QObject {
public:
    explicit CentreWhenShown(QWidget& window) : QObject(&window), m_window(window) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            QTimer::singleShot(0, &m_window, [window = &m_window] { centreNow(*window); });
            deleteLater();
        }
        return false;
    }

private:
    QWidget& m_window;
};

} // namespace

void centerForm(QWidget& window) {
    centreNow(window);
    if (!window.isVisible()) {
        new CentreWhenShown(window);
    }
}

QString installationFolder() {
    return QCoreApplication::applicationDirPath();
}

} // namespace platform
