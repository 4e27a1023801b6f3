// The program's one typeface: Arial, with Liberation Sans (the same metrics) where Arial is
// not installed.
#pragma once

#include <QFont>
#include <QStringList>

namespace app {

inline QFont arialFont(double points, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace app
