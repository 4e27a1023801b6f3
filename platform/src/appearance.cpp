// setFormColors: the face colour on a window and its plain controls; skins are not here.
#include "platform/appearance.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QWidget>

namespace platform {
namespace {

void giveFaceColour(QWidget& widget, const QColor& face) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, face);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

bool takesFaceColour(const QWidget& widget) {
    return qobject_cast<const QRadioButton*>(&widget) != nullptr ||
           qobject_cast<const QCheckBox*>(&widget) != nullptr ||
           qobject_cast<const QGroupBox*>(&widget) != nullptr ||
           qobject_cast<const QLabel*>(&widget) != nullptr;
}

} // namespace

void setFormColors(QWidget& window) {
    // The face colour follows the user's desktop palette, read anew at every call.
    const QColor face = QApplication::palette().color(QPalette::Active, QPalette::Button);
    giveFaceColour(window, face);
    const auto children = window.findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (takesFaceColour(*child)) {
            giveFaceColour(*child, face);
        }
    }
}

} // namespace platform
