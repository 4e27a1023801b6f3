// applySkin and maybeOpenHomePage.
#include "start_up.h"

#include "platform/design.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QWidget>
#include <cmath>
#include <optional>

namespace app {
namespace {

// A skin is a style sheet: UTF-8 text without NUL characters. Anything else (a picture, a
// binary skin of another program) is not applied, so it cannot garble the window.
std::optional<QString> readStyleSheet(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSkinBytes) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxSkinBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxSkinBytes ||
        bytes.contains('\0')) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

SkinResult applySkin(QWidget& window, const QString& installationFolder) {
    const QString path = installationFolder + kSkinFile;
    const QFileInfo info(path);
    // A folder of that name, a hidden entry or a dangling link is no skin.
    if (!info.exists() || !info.isFile() || info.isHidden()) {
        return SkinResult::NoSkinFile;
    }
    // The colours come first, so a skin that fails to load still leaves one consistent look.
    platform::setFormColors(window);
    const std::optional<QString> styleSheet = readStyleSheet(path);
    if (!styleSheet) {
        return SkinResult::Unreadable;
    }
    window.setStyleSheet(*styleSheet);
    return SkinResult::Applied;
}

int maybeOpenHomePage(platform::Clock& clock, platform::RandomDraw& random,
                      platform::UrlOpener& urlOpener) {
    random.seed(clock.secondsSinceMidnight());
    const int drawn = static_cast<int>(std::floor(random.next() * 100.0)) + 1;
    if (drawn == 7) {
        urlOpener.open(kHomePageUrl);
    }
    return drawn;
}

} // namespace app
