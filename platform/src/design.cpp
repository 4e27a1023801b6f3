// The design's fonts and colours; skins are not here.
#include "platform/design.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>

namespace platform {
namespace {

bool takesFaceColour(const QWidget& widget) {
    return qobject_cast<const QRadioButton*>(&widget) != nullptr ||
           qobject_cast<const QCheckBox*>(&widget) != nullptr ||
           qobject_cast<const QGroupBox*>(&widget) != nullptr ||
           qobject_cast<const QLabel*>(&widget) != nullptr;
}

} // namespace

QFont arialFont(double points, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void paintBackground(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    // A check box fills with its button colour unless told otherwise: a grey strip on white.
    widget.setBackgroundRole(QPalette::Window);
    widget.setAutoFillBackground(true);
}

void setFormColors(QWidget& window) {
    // The face colour follows the user's desktop palette, read anew at every call.
    const QColor face = QApplication::palette().color(QPalette::Active, QPalette::Button);
    paintBackground(window, face);
    const auto children = window.findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (takesFaceColour(*child)) {
            paintBackground(*child, face);
        }
    }
}

} // namespace platform
