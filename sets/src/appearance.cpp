// Design units, fonts and the face colour rule.
#include "appearance.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QWidget>

namespace sets {

QRect twipsRect(int left, int top, int width, int height) {
    const auto pixels = [](int twips) { return qRound(twips / 15.0); };
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

QFont designFont(qreal points) {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

namespace {

void paintWith(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

} // namespace

void applyFaceColours(QWidget& window) {
    const QColor face = QApplication::palette().color(QPalette::Button);
    paintWith(window, face);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(child) != nullptr || qobject_cast<QCheckBox*>(child) != nullptr ||
            qobject_cast<QRadioButton*>(child) != nullptr ||
            qobject_cast<QGroupBox*>(child) != nullptr) {
            paintWith(*child, face);
        }
    }
}

} // namespace sets
