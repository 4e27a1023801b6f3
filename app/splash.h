// The splash window: a picture from the installation folder's "Splash" folder with a
// "Hide this at next startup" check box, shown for 4 seconds during start-up.
#pragma once

#include "platform/services.h"
#include "setting_writer.h"

#include <QString>
#include <QWidget>
#include <array>
#include <optional>

class QCheckBox;
class QLabel;

/// One straight line of the splash's frame, in twips of the window's client area.
struct SplashLine {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    friend bool operator==(const SplashLine&, const SplashLine&) = default;
};

/// Where everything of the splash goes for a picture of the given size, all in twips.
struct SplashLayout {
    int width = 0;     ///< of pictureLabel and of the window: the picture's width
    int height = 0;    ///< of pictureLabel and of the window: the picture's height plus the strip
    int check1Top = 0; ///< hideCheck sits in the strip, 20 twips above the bottom edge
    std::array<SplashLine, 4> lines{}; ///< Line1 left, Line2 top, Line3 right, Line4 bottom
};

namespace splash_design {
inline constexpr int kStripTwips = 300;
inline constexpr int kCheck1Left = 120;
inline constexpr int kCheck1Width = 4215;
inline constexpr int kCheck1Height = 375;
inline constexpr int kCheck1Gap = 20;
inline constexpr int kLineInset = 10;
inline constexpr int kLineLength = 10000;
inline constexpr double kShowSeconds = 4.0;
/// How long one step of the wait sleeps between two rounds of event handling.
inline constexpr int kPauseStepMs = 10;
inline const QString kFolder = QStringLiteral("/Splash/");
inline const QString kShowAgainKey = QStringLiteral("ShowAgain");
} // namespace splash_design

/// The layout for a picture pictureWidth x pictureHeight twips.
SplashLayout layOutSplash(int pictureWidth, int pictureHeight);

/// The path showSplash tries: "<folder>/Splash/" followed by the first ordinary, non-hidden
/// file that the file system lists there (in its own order), or by nothing when there is none.
QString splashPicturePath(const QString& installationFolder);

class Splash final : public QWidget {
    Q_OBJECT
public:
    Splash(const platform::Services& services, app::SettingWriter& writer,
           QString installationFolder, QWidget* parent = nullptr);

    QLabel* pictureLabel;
    QCheckBox* hideCheck;

    /// Line1 to Line4 as placed by the last showSplash, in twips.
    const std::array<SplashLine, 4>& lines() const { return m_layout.lines; }
    /// The layout of the last showSplash; nothing when the splash has not been shown.
    const std::optional<SplashLayout>& layout() const { return m_shownLayout; }

    /// Shows the splash for 4 seconds and hides it again; returns at once when the user
    /// turned it off or no loadable picture is installed. Returns true when it was shown.
    bool showSplash();

    /// Handles pending window events until seconds have passed on the monotonic clock, or
    /// until the wait is cut short (abort, or the splash closed by the user).
    void pause(double seconds);

    /// Ends a running wait at once and keeps the splash from showing again: the program is
    /// ending.
    void abort();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool turnedOff();
    void saveShowAgain();

    platform::Services m_services;
    app::SettingWriter& m_writer;
    QString m_installationFolder;
    SplashLayout m_layout; // before m_lineLayer, which draws it
    QWidget* m_lineLayer;
    std::optional<SplashLayout> m_shownLayout;
    bool m_waitCut = false;
    bool m_aborted = false;
};
