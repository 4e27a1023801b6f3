// The mouse pointer of one window (0 default, 11 hourglass, 99 the window's own hand
// cursor), and the hand-cursor rule that moves it as the mouse passes over the window.
#pragma once

#include "platform/mouse_pointer.h"

#include <QCursor>
#include <QObject>
#include <QSet>
#include <optional>

class QWidget;

namespace sets {

/// Shows the pointer value on a window: 0 the arrow, 11 the busy cursor, 99 the mouse icon
/// (the arrow when the window has none).
class WindowPointer final : public platform::MousePointer {
public:
    explicit WindowPointer(QWidget& window) : m_window(window) {}
    int mousePointer() const override { return m_pointer; }
    void setMousePointer(int pointer) override;
    /// The cursor pointer value 99 shows.
    void setMouseIcon(std::optional<QCursor> icon);
    const std::optional<QCursor>& mouseIcon() const { return m_icon; }

private:
    void apply();

    QWidget& m_window;
    int m_pointer = platform::kPointerDefault;
    std::optional<QCursor> m_icon;
};

/// The hand-cursor rule: moving over a push button sets the pointer to 99, moving over the
/// window's background (or another control given as background) sets it to 0; neither
/// touches the hourglass. Controls given to the rule stop mouse moves from reaching their
/// parents, so a move over a button never counts as a move over the background.
class HandCursorRule final : public QObject {
public:
    HandCursorRule(platform::MousePointer& pointer, QObject* parent);
    void addButton(QWidget& button);
    void addBackground(QWidget& widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QWidget& widget);

    platform::MousePointer& m_pointer;
    QSet<const QObject*> m_buttons;
};

} // namespace sets
