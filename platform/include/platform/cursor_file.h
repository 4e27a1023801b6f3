// Loading a Windows cursor file (.cur) as a Qt cursor, hotspot included.
#pragma once

#include <QCursor>
#include <QString>
#include <optional>

namespace platform {

/// Cursor files larger than this are refused without reading them.
inline constexpr qint64 kMaxCursorBytes = 1024 * 1024;

/// The first image of the cursor (or icon) file at path with the hotspot the file gives
/// (an icon file has none: its centre is used). Nothing when the file cannot be read or
/// holds no image Qt can decode.
std::optional<QCursor> loadCursorFile(const QString& path);

} // namespace platform
