// The program's icon, built into the binary, for every window and the desktop.
#pragma once

#include <QIcon>

namespace app {

/// Every size of the icon that ships (32 x 32 is the window's own).
QIcon windowIcon();

} // namespace app
