// Design units and fonts.
#include "appearance.h"

#include <QStringList>

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

} // namespace sets
