// Helpers shared by the tests of app/: files the program looks for (pictures, cursors) and
// mouse moves delivered the way the window system delivers them.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

namespace apptest {

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// A picture of the given pixel size, in a single colour.
inline bool writePicture(const QString& path, QSize pixels, const char* format = "PNG") {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    return image.save(path, format);
}

inline void put16(QByteArray& bytes, int value) {
    bytes.append(static_cast<char>(value & 0xFF));
    bytes.append(static_cast<char>((value >> 8) & 0xFF));
}

inline void put32(QByteArray& bytes, quint32 value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.append(static_cast<char>((value >> shift) & 0xFF));
    }
}

/// A 32 x 32 Windows cursor file (type 2) or icon file (type 1) with one 32-bit image: an
/// opaque square with a transparent border. Cursor files carry the hotspot in the entry.
inline QByteArray cursorFile(int hotX, int hotY, int type = 2) {
    constexpr int kSize = 32;
    QByteArray image;
    put32(image, 40); // BITMAPINFOHEADER
    put32(image, kSize);
    put32(image, kSize * 2); // colour rows and mask rows
    put16(image, 1);
    put16(image, 32);
    put32(image, 0);
    put32(image, kSize * kSize * 4 + kSize * 4);
    for (int i = 0; i < 4; ++i) {
        put32(image, 0);
    }
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const bool inside = x >= 4 && x < 28 && y >= 4 && y < 28;
            put32(image, inside ? 0xFF202020u : 0x00000000u); // BGRA, little-endian
        }
    }
    image.append(QByteArray(kSize * 4, '\0')); // AND mask: alpha decides

    QByteArray file;
    put16(file, 0);
    put16(file, type);
    put16(file, 1);
    file.append(static_cast<char>(kSize));
    file.append(static_cast<char>(kSize));
    file.append('\0');
    file.append('\0');
    put16(file, type == 2 ? hotX : 1);
    put16(file, type == 2 ? hotY : 32);
    put32(file, static_cast<quint32>(image.size()));
    put32(file, 22);
    return file + image;
}

/// Moves the mouse (no button held) to local inside target, delivered as the window system
/// does: to the widget under the mouse, from where Qt passes it up the parents.
inline void hover(QWidget& target, QPoint local) {
    QWidget* window = target.window();
    const QPoint inWindow = target.mapTo(window, local);
    QWidget* receiver = window->childAt(inWindow);
    if (receiver == nullptr) {
        receiver = window;
    }
    const QPoint inReceiver = receiver->mapFrom(window, inWindow);
    QMouseEvent move(QEvent::MouseMove, QPointF(inReceiver), QPointF(inWindow),
                     QPointF(window->mapToGlobal(inWindow)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(receiver, &move);
}

inline void hover(QWidget& target) {
    hover(target, target.rect().center());
}

} // namespace apptest
