// The look shared by the sets page and the Load Sets dialog: design units and fonts.
// Internal to sets/.
#pragma once

#include <QFont>
#include <QRect>

namespace sets {

/// A rectangle given in twips (15 to a pixel at 96 dots per inch), in pixels.
QRect twipsRect(int left, int top, int width, int height);

/// Arial bold at the given size; Liberation Sans, which has Arial's metrics, where Arial is
/// not installed.
QFont designFont(qreal points);

inline constexpr qreal kTextPoints = 9.0;
inline constexpr qreal kButtonPoints = 11.25;

} // namespace sets
