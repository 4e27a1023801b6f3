// loadCursorFile: Qt's ico reader decodes the image; the hotspot is read here because the
// reader does not report it.
#include "platform/cursor_file.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

namespace platform {
namespace {

quint16 littleEndian16(const QByteArray& bytes, int offset) {
    return static_cast<quint16>(static_cast<quint8>(bytes[offset]) |
                                (static_cast<quint8>(bytes[offset + 1]) << 8));
}

// ICONDIR (reserved 0, type 2 for cursors, count) then one 16-byte ICONDIRENTRY per image;
// in a cursor file the entry's planes and bit-count words hold the hotspot's x and y.
std::optional<QPoint> cursorHotspot(const QByteArray& bytes) {
    constexpr int kHeaderAndFirstEntry = 6 + 16;
    if (bytes.size() < kHeaderAndFirstEntry || littleEndian16(bytes, 0) != 0 ||
        littleEndian16(bytes, 2) != 2 || littleEndian16(bytes, 4) == 0) {
        return std::nullopt;
    }
    return QPoint(littleEndian16(bytes, 10), littleEndian16(bytes, 12));
}

} // namespace

std::optional<QCursor> loadCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxCursorBytes) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(kMaxCursorBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxCursorBytes) {
        return std::nullopt;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QImage image = reader.read();
    if (image.isNull()) {
        return std::nullopt;
    }
    const QPixmap pixmap = QPixmap::fromImage(image);
    if (const std::optional<QPoint> hotspot = cursorHotspot(bytes);
        hotspot && image.rect().contains(*hotspot)) {
        return QCursor(pixmap, hotspot->x(), hotspot->y());
    }
    return QCursor(pixmap);
}

} // namespace platform
