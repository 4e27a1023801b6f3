// windowIcon: the icon files compiled in as Qt resources (see CMakeLists.txt).
#include "window_icon.h"

namespace app {

QIcon windowIcon() {
    QIcon icon;
    for (const int size : {32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/varnocliff/icons/varnocliff-%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

} // namespace app
