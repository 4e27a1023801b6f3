// Reading a whole text file as the sets loader sees it: UTF-16 (either byte order), UTF-8,
// or Windows-1252 for files written by older programs. No parsing here.
#pragma once

#include <QByteArray>
#include <QString>

namespace sets {

/// Files larger than this are refused rather than read: a sets file of 32,767 sets is far
/// smaller, and reading a stray multi-gigabyte file would exhaust memory.
inline constexpr qint64 kMaxTextFileBytes = qint64{64} * 1024 * 1024;

/// The text of a file, or why it could not be had.
struct TextFileContent {
    QString text;
    /// Empty on success; otherwise one sentence naming the path and the reason.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

/// Decodes the bytes of a text file:
/// - first byte 0xFF or 0xFE: UTF-16, big-endian when the file starts FE FF and
///   little-endian otherwise; a leading byte-order mark is dropped, an odd last byte ignored;
/// - otherwise UTF-8 when every byte sequence is valid UTF-8 (a leading mark EF BB BF is
///   dropped), else Windows-1252.
QString DecodeText(const QByteArray& bytes);

/// Reads the whole file at path and decodes it with DecodeText. A file of zero bytes gives
/// empty text. Fails, reading nothing or at most kMaxTextFileBytes + 1 bytes, when the path
/// is not a regular file, cannot be opened or read, is larger than kMaxTextFileBytes, or holds
/// NUL characters (a program, a picture or another binary file, not text).
TextFileContent ReadTextFile(const QString& path);

} // namespace sets
