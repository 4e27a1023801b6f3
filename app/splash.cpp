// Splash: showSplash, pause and the click of hideCheck.
#include "splash.h"

#include "platform/design.h"
#include "platform/shared_routines.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDirIterator>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>

using namespace splash_design;

namespace {

// The four frame lines are drawn above the picture and the check box, and let every click
// through to them.
class LineLayer final : public QWidget {
public:
    LineLayer(const SplashLayout& layout, QWidget* parent) : QWidget(parent), m_layout(layout) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(Qt::black, 0));
        for (const SplashLine& line : m_layout.lines) {
            painter.drawLine(platform::twipsToPixels(line.x1), platform::twipsToPixels(line.y1),
                             platform::twipsToPixels(line.x2), platform::twipsToPixels(line.y2));
        }
    }

private:
    const SplashLayout& m_layout;
};

// ShowAgain is read as a number; text that is no finite number counts as absent (show).
bool readTurnedOff(platform::SettingsStore& store) {
    const QString text = platform::readSetting(store, kShowAgainKey, QStringLiteral("0"));
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) && value != 0.0;
}

} // namespace

SplashLayout layOutSplash(int pictureWidth, int pictureHeight) {
    SplashLayout layout;
    layout.width = pictureWidth;
    layout.height = pictureHeight + kStripTwips;
    layout.check1Top = layout.height - kCheck1Height - kCheck1Gap;
    const int w = layout.width;
    const int h = layout.height;
    layout.lines = {SplashLine{0, 0, 0, kLineLength}, SplashLine{0, 0, kLineLength, 0},
                    SplashLine{w - kLineInset, 0, w - kLineInset, kLineLength},
                    SplashLine{0, h - kLineInset, kLineLength, h - kLineInset}};
    return layout;
}

QString splashPicturePath(const QString& installationFolder) {
    const QString folder = installationFolder + kFolder;
    // QDir::Files without QDir::Hidden or QDir::System: ordinary, non-hidden files only;
    // QDirIterator keeps the order in which the file system lists them.
    QDirIterator it(folder, QDir::Files);
    if (it.hasNext()) {
        return folder + it.nextFileInfo().fileName();
    }
    return folder;
}

Splash::Splash(const platform::Services& services, app::SettingWriter& writer,
               QString installationFolder, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), pictureLabel(new QLabel(this)),
      hideCheck(new QCheckBox(QStringLiteral("Hide this at next startup"), this)),
      m_services(services), m_writer(writer), m_installationFolder(std::move(installationFolder)),
      m_lineLayer(new LineLayer(m_layout, this)) {
    setObjectName(QStringLiteral("Splash"));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    pictureLabel->setObjectName(QStringLiteral("Image1"));
    pictureLabel->setFrameShape(QFrame::NoFrame);
    pictureLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    hideCheck->setObjectName(QStringLiteral("Check1"));
    hideCheck->setFont(platform::arialFont(platform::kTextPoints, false));
    // The strip under the picture is the splash's own white, check box included.
    platform::paintBackground(*hideCheck, Qt::white);
    hideCheck->setGeometry(platform::twipsRect(kCheck1Left, 0, kCheck1Width, kCheck1Height));
    connect(hideCheck, &QCheckBox::clicked, this, &Splash::saveShowAgain);
}

bool Splash::turnedOff() {
    return readTurnedOff(m_services.settings);
}

bool Splash::showSplash() {
    if (m_aborted || turnedOff()) {
        return false;
    }
    const QString path = splashPicturePath(m_installationFolder);
    if (!platform::fileExists(path)) {
        return false;
    }
    // A file that is no picture Qt can read gives no splash and no wait.
    QImageReader reader(path);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        return false;
    }
    setWindowTitle(platform::kApplicationTitle);

    m_layout = layOutSplash(platform::pixelsToTwips(picture.width()),
                            platform::pixelsToTwips(picture.height()));
    m_shownLayout = m_layout;
    pictureLabel->setPixmap(QPixmap::fromImage(picture));
    pictureLabel->setGeometry(0, 0, platform::twipsToPixels(m_layout.width),
                              platform::twipsToPixels(m_layout.height));
    setFixedSize(platform::twipsToPixels(m_layout.width), platform::twipsToPixels(m_layout.height));
    hideCheck->setGeometry(
        platform::twipsRect(kCheck1Left, m_layout.check1Top, kCheck1Width, kCheck1Height));
    hideCheck->raise();
    m_lineLayer->setGeometry(rect());
    m_lineLayer->raise();

    m_waitCut = false;
    show();
    platform::centerForm(*this);
    pause(kShowSeconds);
    hide();
    return true;
}

void Splash::pause(double seconds) {
    platform::Clock& clock = m_services.clock;
    const std::int64_t start = clock.monotonicMs();
    const auto wait = static_cast<std::int64_t>(std::ceil(seconds * 1000.0));
    for (;;) {
        m_services.events.processEvents();
        if (m_waitCut || m_aborted) {
            return;
        }
        const std::int64_t elapsed = clock.monotonicMs() - start;
        if (elapsed >= wait) {
            return;
        }
        clock.sleepMs(static_cast<int>(std::min<std::int64_t>(kPauseStepMs, wait - elapsed)));
    }
}

void Splash::abort() {
    m_aborted = true;
    hide();
}

void Splash::closeEvent(QCloseEvent* event) {
    // A user who closes the splash does not want to wait for it.
    m_waitCut = true;
    event->accept();
}

void Splash::saveShowAgain() {
    m_writer.write(kShowAgainKey,
                   hideCheck->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}
