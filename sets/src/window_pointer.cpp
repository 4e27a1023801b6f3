// WindowPointer, the hand-cursor rule and the cursor file reader.
#include "sets/window_pointer.h"

#include <QEvent>
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

} // namespace sets
