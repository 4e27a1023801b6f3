// The look shared by the sets page and the Load Sets dialog: design units, fonts and the
// face colour. Internal to sets/.
#pragma once

#include <QFont>
#include <QRect>

class QWidget;

namespace sets {

/// A rectangle given in twips (15 to a pixel at 96 dots per inch), in pixels.
QRect twipsRect(int left, int top, int width, int height);

/// Arial bold at the given size; Liberation Sans, which has Arial's metrics, where Arial is
/// not installed.
QFont designFont(qreal points);

inline constexpr qreal kTextPoints = 9.0;
inline constexpr qreal kButtonPoints = 11.25;

/// The face colour rule: the window and its labels, check boxes, option buttons and frames
/// take the style's button face colour; other controls keep their own colours.
void applyFaceColours(QWidget& window);

} // namespace sets
