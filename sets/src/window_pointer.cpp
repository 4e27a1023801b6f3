// WindowPointer, the hand-cursor rule and the cursor file reader.
#include "sets/window_pointer.h"

#include <QEvent>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace sets {

void WindowPointer::setMousePointer(int pointer) {
    m_pointer = pointer;
    apply();
}

void WindowPointer::setMouseIcon(std::optional<QCursor> icon) {
    m_icon = std::move(icon);
    apply();
}

void WindowPointer::apply() {
    if (m_pointer == platform::kPointerHourglass) {
        m_window.setCursor(Qt::WaitCursor);
    } else if (m_pointer == platform::kPointerCustom && m_icon) {
        m_window.setCursor(*m_icon);
    } else {
        m_window.setCursor(Qt::ArrowCursor);
    }
}

HandCursorRule::HandCursorRule(platform::MousePointer& pointer, QObject* parent)
    : QObject(parent), m_pointer(pointer) {}

void HandCursorRule::addButton(QWidget& button) {
    m_buttons.insert(&button);
    watch(button);
}

void HandCursorRule::addBackground(QWidget& widget) {
    watch(widget);
}

void HandCursorRule::watch(QWidget& widget) {
    // Moves arrive without a mouse button held down only when the widget tracks the mouse.
    widget.setMouseTracking(true);
    widget.setAttribute(Qt::WA_NoMousePropagation);
    widget.installEventFilter(this);
}

bool HandCursorRule::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove &&
        m_pointer.mousePointer() != platform::kPointerHourglass) {
        m_pointer.setMousePointer(m_buttons.contains(watched) ? platform::kPointerCustom
                                                              : platform::kPointerDefault);
    }
    return false;
}

std::optional<QCursor> LoadCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(1 << 20);
    QImage image;
    if (!image.loadFromData(bytes, "cur") && !image.loadFromData(bytes, "ico") &&
        !image.loadFromData(bytes)) {
        return std::nullopt;
    }
    // A cursor file (ICONDIR type 2) keeps the hot spot where an icon file keeps its colour
    // planes and bit count: bytes 10 to 13, two little-endian 16-bit values.
    int hotX = 0;
    int hotY = 0;
    const auto byteAt = [&bytes](int i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 22 && byteAt(2) == 2 && byteAt(3) == 0) {
        hotX = byteAt(10) | byteAt(11) << 8;
        hotY = byteAt(12) | byteAt(13) << 8;
    }
    if (hotX >= image.width() || hotY >= image.height()) {
        hotX = 0;
        hotY = 0;
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

} // namespace sets
