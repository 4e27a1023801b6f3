// Routines that several windows need: fileExists and centerForm.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace platform {

/// True when path names an existing entry that is not a directory and whose modification
/// time can be read; false on any error. Never throws.
bool fileExists(const QString& path);

/// Where a window of outer size (frame included) goes to sit in the middle of screen: the
/// top-left corner of its frame.
QPoint centredPosition(const QRect& screen, const QSize& outer);

/// Puts the window in the middle of the primary screen by its outer size, frame included. A
/// window not shown yet has no frame to measure: it is centred again once it is first shown.
void centerForm(QWidget& window);

/// The folder of the running executable, without a trailing separator.
QString installationFolder();

} // namespace platform
