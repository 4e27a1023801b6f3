// The mouse pointer of one window (0 default, 11 hourglass, 99 the window's own hand cursor)
// and the hand-cursor rule that moves it as the mouse passes over the window's controls.
#pragma once

#include "platform/mouse_pointer.h"

#include <QCursor>
#include <QObject>
#include <QSet>
#include <QString>
#include <optional>

class QWidget;

namespace platform {

/// The hand cursor's file in the installation folder.
inline const QString kHandCursorFile = QStringLiteral("/HAND-M.CUR");

/// The hand cursor of installationFolder, if its file exists and loads as a cursor.
std::optional<QCursor> loadHandCursor(const QString& installationFolder);

/// Shows the pointer value on a window: 0 the arrow, 11 the busy cursor, 99 the mouse icon
/// (the arrow when the window has none).
class WindowPointer final : public MousePointer {
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
    int m_pointer = kPointerDefault;
    std::optional<QCursor> m_icon;
};

/// The hand-cursor rule: moving over a push button sets the pointer to 99, moving over the
/// window's background (or another surface given as background) sets it to 0; neither touches
/// the hourglass. A move over a background counts only where no child lies under the mouse, so
/// a move that a control passes on to its parent changes nothing; moves over controls that are
/// not watched reach nobody (Qt sends moves only to widgets that track the mouse).
class HandCursorRule final : public QObject {
public:
    HandCursorRule(MousePointer& pointer, QObject* parent);
    void addButton(QWidget& button);
    void addBackground(QWidget& widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QWidget& widget);

    MousePointer& m_pointer;
    QSet<const QObject*> m_buttons;
    QSet<const QObject*> m_watched;
};

} // namespace platform
