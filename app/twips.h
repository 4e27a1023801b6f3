// Window geometry is designed in twips; the screen works in pixels at 96 dots per inch.
#pragma once

#include <QRect>

namespace app {

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
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

} // namespace app
