// ReadTextFile and the decoding of its bytes.
#include "sets/text_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QtEndian>
#include <array>

namespace sets {
namespace {

// Windows-1252 differs from ISO 8859-1 only in 0x80..0x9F. The five bytes that code page
// leaves undefined map to the C1 control of the same value, as Windows itself decodes them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeWindows1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte <= 0x9F) ? QChar(kCp1252High[byte - 0x80])
                                                : QChar(char16_t{byte});
    }
    return text;
}

QString decodeUtf16(QByteArrayView bytes) {
    const bool bigEndian = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
                           static_cast<unsigned char>(bytes[1]) == 0xFF;
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    // Code units are copied as they are: an unpaired surrogate stays in the text unchanged.
    if (bigEndian) {
        qFromBigEndian<char16_t>(bytes.data(), units, text.data());
    } else {
        qFromLittleEndian<char16_t>(bytes.data(), units, text.data());
    }
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    return text;
}

bool hasNul(const QString& text) {
    return text.contains(QChar(0));
}

} // namespace

QString DecodeText(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        return {};
    }
    const auto first = static_cast<unsigned char>(bytes[0]);
    if (first == 0xFF || first == 0xFE) {
        return decodeUtf16(bytes);
    }
    QByteArrayView body(bytes);
    if (body.startsWith("\xEF\xBB\xBF")) {
        body = body.sliced(3);
    }
    // The mark is already gone: a second one is text, so the decoder must keep it. Stateless:
    // a sequence cut short by the end of the file is an error, not input still to come.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) {
        return text;
    }
    return decodeWindows1252(body);
}

TextFileContent ReadTextFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {{}, path + QStringLiteral(" could not be read: there is no such file.")};
    }
    // A folder, a device or a pipe is no text file; reading a pipe or /dev/zero would never end.
    if (!info.isFile()) {
        return {{}, path + QStringLiteral(" could not be read: it is not a regular file.")};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {{}, path + QStringLiteral(" could not be read: ") + file.errorString() + u'.'};
    }
    // The size is checked again while reading: the file may grow after it was measured.
    const auto tooLarge = [&path](qint64 size) {
        return TextFileContent{{},
                               path + QStringLiteral(" is too large to be a sets file: it has ") +
                                   QString::number(size) +
                                   QStringLiteral(" bytes, and at most 64 MB can be loaded.")};
    };
    if (file.size() > kMaxTextFileBytes) {
        return tooLarge(file.size());
    }
    const QByteArray bytes = file.read(kMaxTextFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return {{}, path + QStringLiteral(" could not be read: ") + file.errorString() + u'.'};
    }
    if (bytes.size() > kMaxTextFileBytes) {
        return tooLarge(bytes.size());
    }
    QString text = DecodeText(bytes);
    if (hasNul(text)) {
        return {{},
                path + QStringLiteral(" is not a text file: it holds NUL characters, as "
                                      "programs, pictures and other binary files do.")};
    }
    return {std::move(text), {}};
}

} // namespace sets
