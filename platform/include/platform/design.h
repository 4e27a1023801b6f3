// The window design every window shares: twips and pixels, the Arial fonts, the design's white
// face and the system face colour of skinned windows. The hand cursor and tab pages have their
// own headers.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QWidget;

namespace platform {

/// Window geometry is designed in twips; the screen works in pixels at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

/// Nearest whole pixel of a non-negative twip value (405.33 gives 405, 458.67 gives 459).
constexpr int twipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr int pixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

/// A rectangle given as Left, Top, Width, Height in twips.
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

/// The point sizes of the design: text, labels and lists; push buttons and tab captions.
inline constexpr double kTextPoints = 9.0;
inline constexpr double kButtonPoints = 11.25;

/// The program's one typeface: Arial, with Liberation Sans (the same metrics) where Arial is
/// not installed.
QFont arialFont(double points, bool bold = true);

/// The design's face colour of the main window and its labels, frame and check box.
inline const QColor kDesignFace = Qt::white;

/// Fills widget's background with colour.
void paintBackground(QWidget& widget, const QColor& colour);

/// Gives the window and every option button, check box, frame and label on it (at any depth)
/// the system's face colour: the button colour of the application's palette.
void setFormColors(QWidget& window);

} // namespace platform
