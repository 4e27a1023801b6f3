// Routines that several windows need: fileExists and centerForm.
#pragma once

#include <QString>

class QWidget;

namespace platform {

/// True when path names an existing entry that is not a directory and whose modification
/// time can be read; false on any error. Never throws.
bool fileExists(const QString& path);

/// Puts the window in the middle of the primary screen (outer size).
void centerForm(QWidget& window);

/// The folder of the running executable, without a trailing separator.
QString installationFolder();

} // namespace platform
