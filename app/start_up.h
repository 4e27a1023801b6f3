// Start-up routines of the main window that need no widget of their own: the skin and the
// maker's home page. fileExists and centerForm live in platform/shared_routines.h.
#pragma once

#include "platform/clock.h"
#include "platform/random_draw.h"
#include "platform/url_opener.h"

#include <QString>

class QWidget;

namespace app {

/// The maker's home page, opened on about one start in a hundred.
inline const QString kHomePageUrl = QStringLiteral("https://www.quillmark.com/");

/// Where the skin file lives below the installation folder.
inline const QString kSkinFile = QStringLiteral("/x/o.cjs");

/// Style sheets larger than this are not skins; reading them could stall the start.
inline constexpr qint64 kMaxSkinBytes = 1024 * 1024;

enum class SkinResult {
    NoSkinFile, ///< no ordinary, non-hidden file at the skin path: designed colours kept
    Unreadable, ///< the file exists but cannot be read as text: face colours only
    Applied,    ///< face colours, then the file's style sheet on the window
};

/// Skins window when "x/o.cjs" is installed in installationFolder: first the face colour on
/// the window and its plain controls, then the file read as a Qt style sheet and applied to
/// the window. A missing file is the normal case and changes nothing; nothing is reported.
SkinResult applySkin(QWidget& window, const QString& installationFolder);

/// The 1-to-100 draw of one start: the draw's seed comes from the time of day, and 7 opens
/// kHomePageUrl without waiting. Returns the number drawn.
int maybeOpenHomePage(platform::Clock& clock, platform::RandomDraw& random,
                      platform::UrlOpener& urlOpener);

} // namespace app
