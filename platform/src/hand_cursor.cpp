// WindowPointer, the hand-cursor rule and loading the hand cursor.
#include "platform/hand_cursor.h"

#include "platform/cursor_file.h"
#include "platform/shared_routines.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

namespace platform {

std::optional<QCursor> loadHandCursor(const QString& installationFolder) {
    const QString path = installationFolder + kHandCursorFile;
    if (!fileExists(path)) {
        return std::nullopt;
    }
    // A file that does not load as a cursor leaves the window without a mouse icon.
    return loadCursorFile(path);
}

void WindowPointer::setMousePointer(int pointer) {
    m_pointer = pointer;
    apply();
}

void WindowPointer::setMouseIcon(std::optional<QCursor> icon) {
    m_icon = std::move(icon);
    apply();
}

void WindowPointer::apply() {
    if (m_pointer == kPointerHourglass) {
        m_window.setCursor(Qt::WaitCursor);
    } else if (m_pointer == kPointerCustom && m_icon) {
        m_window.setCursor(*m_icon);
    } else {
        m_window.unsetCursor();
    }
}

HandCursorRule::HandCursorRule(MousePointer& pointer, QObject* parent)
    : QObject(parent), m_pointer(pointer) {}

void HandCursorRule::addButton(QWidget& button) {
    m_buttons.insert(&button);
    watch(button);
}

void HandCursorRule::addBackground(QWidget& widget) {
    watch(widget);
}

void HandCursorRule::watch(QWidget& widget) {
    if (m_watched.contains(&widget)) {
        return;
    }
    m_watched.insert(&widget);
    // Moves arrive without a mouse button held down only when the widget tracks the mouse.
    widget.setMouseTracking(true);
    widget.installEventFilter(this);
    connect(&widget, &QObject::destroyed, this, [this](QObject* gone) {
        m_watched.remove(gone);
        m_buttons.remove(gone);
    });
}

bool HandCursorRule::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseMove || m_pointer.mousePointer() == kPointerHourglass) {
        return false;
    }
    int pointer = kPointerDefault;
    if (m_buttons.contains(watched)) {
        pointer = kPointerCustom;
    } else {
        auto* widget = qobject_cast<QWidget*>(watched);
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (widget == nullptr || widget->childAt(at) != nullptr) {
            return false;
        }
    }
    if (m_pointer.mousePointer() != pointer) {
        m_pointer.setMousePointer(pointer);
    }
    return false;
}

} // namespace platform
