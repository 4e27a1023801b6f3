// Splash: the layout of the worked example, which file is shown, when nothing is shown (and
// nothing waited), the 4-second wait on the fake clock, and hideCheck writing ShowAgain at once.
#include "app_test_support.h"
#include "fakes/fake_services.h"
#include "splash.h"

#include <QCheckBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <dirent.h>
#include <functional>

namespace {

struct Fixture {
    Fixture()
        : writer(fakes.settings, fakes.messageBox), splash(fakes.services(), writer, dir.path()) {}
    QString path(const QString& relative) const { return dir.path() + relative; }

    QTemporaryDir dir;
    fakes::FakeServices fakes;
    app::SettingWriter writer;
    Splash splash;
};

// The names in the order the file system lists the folder, read with readdir: the program
// must take the first ordinary, non-hidden one of these.
QStringList listedOrder(const QString& folder) {
    QStringList names;
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        names.append(QFile::decodeName(entry->d_name));
    }
    closedir(dir);
    return names;
}

} // namespace

class SplashTest : public QObject {
    Q_OBJECT
private slots:
    void layoutOfThe900By600Example();
    void windowFollowsTheLayout();
    void nothingShownAndNoWait_data();
    void nothingShownAndNoWait();
    void shownWhenNotTurnedOff_data();
    void shownWhenNotTurnedOff();
    void firstListedFileIsUsed();
    void check1WritesShowAgainAtOnce();
    void pauseWaitsOnTheMonotonicClock_data();
    void pauseWaitsOnTheMonotonicClock();
    void closingTheSplashCutsTheWait();
};

void SplashTest::layoutOfThe900By600Example() {
    const SplashLayout layout = layOutSplash(900, 600);
    QCOMPARE(layout.width, 900);
    QCOMPARE(layout.height, 900);
    QCOMPARE(layout.check1Top, 505); // 900 - 375 - 20
    QCOMPARE(layout.lines[0], (SplashLine{0, 0, 0, 10000}));
    QCOMPARE(layout.lines[1], (SplashLine{0, 0, 10000, 0}));
    QCOMPARE(layout.lines[2], (SplashLine{890, 0, 890, 10000}));
    QCOMPARE(layout.lines[3], (SplashLine{0, 890, 10000, 890}));
}

// A 60 x 40 pixel picture is 900 x 600 twips.
void SplashTest::windowFollowsTheLayout() {
    Fixture f;
    QVERIFY(apptest::writePicture(f.path("/Splash/logo.png"), QSize(60, 40)));
    bool seen = false;
    f.fakes.events.onProcess = [&] {
        if (seen) {
            return;
        }
        seen = true;
        QVERIFY(f.splash.isVisible());
        QCOMPARE(f.splash.windowTitle(), QStringLiteral("Varnocliff"));
        QCOMPARE(f.splash.size(), QSize(60, 60));
        QCOMPARE(f.splash.pictureLabel->geometry(), QRect(0, 0, 60, 60));
        QCOMPARE(f.splash.pictureLabel->pixmap().size(), QSize(60, 40));
        QCOMPARE(f.splash.hideCheck->geometry(), QRect(8, 34, 281, 25)); // 120, 505, 4215, 375
        QCOMPARE(f.splash.hideCheck->text(), QStringLiteral("Hide this at next startup"));
        QCOMPARE(f.splash.hideCheck->palette().color(f.splash.hideCheck->backgroundRole()),
                 QColor(Qt::white));
        QCOMPARE(f.splash.lines()[2].x1, 890);
        QCOMPARE(f.splash.lines()[3].y1, 890);
        QCOMPARE(f.splash.palette().color(QPalette::Window), QColor(Qt::white));
    };
    QVERIFY(f.splash.showSplash());
    QVERIFY(seen);
    QVERIFY(!f.splash.isVisible());
    QCOMPARE(f.fakes.clock.nowMs, std::int64_t{4000});
}

void SplashTest::nothingShownAndNoWait_data() {
    using Setup = std::function<bool(const QString&, fakes::MemorySettingsStore&)>;
    QTest::addColumn<Setup>("setup");
    const auto picture = [](const QString& root) {
        return apptest::writePicture(root + "/Splash/logo.png", QSize(60, 40));
    };
    QTest::newRow("ShowAgain 1") << Setup([=](const QString& root, auto& store) {
        store.values.insert("ShowAgain", "1");
        return picture(root);
    });
    QTest::newRow("ShowAgain other number") << Setup([=](const QString& root, auto& store) {
        store.values.insert("ShowAgain", "-2.5");
        return picture(root);
    });
    QTest::newRow("no Splash folder") << Setup([](const QString&, auto&) { return true; });
    QTest::newRow("empty Splash folder")
        << Setup([](const QString& root, auto&) { return QDir().mkpath(root + "/Splash"); });
    QTest::newRow("only a hidden pictureLabel") << Setup([](const QString& root, auto&) {
        return apptest::writePicture(root + "/Splash/.logo.png", QSize(60, 40));
    });
    QTest::newRow("only a folder") << Setup(
        [](const QString& root, auto&) { return QDir().mkpath(root + "/Splash/logo.png"); });
    QTest::newRow("not a pictureLabel") << Setup([](const QString& root, auto&) {
        return apptest::writeFile(root + "/Splash/readme.txt", "Varnocliff splash");
    });
    QTest::newRow("pictureLabel name, other content") << Setup([](const QString& root, auto&) {
        return apptest::writeFile(root + "/Splash/logo.png", QByteArray(500, 'x'));
    });
    QTest::newRow("empty file") << Setup([](const QString& root, auto&) {
        return apptest::writeFile(root + "/Splash/logo.png", QByteArray());
    });
}

void SplashTest::nothingShownAndNoWait() {
    using Setup = std::function<bool(const QString&, fakes::MemorySettingsStore&)>;
    QFETCH(Setup, setup);
    Fixture f;
    QVERIFY(setup(f.dir.path(), f.fakes.settings));
    QVERIFY(!f.splash.showSplash());
    QVERIFY(!f.splash.isVisible());
    QCOMPARE(f.fakes.clock.nowMs, std::int64_t{0});
    QCOMPARE(f.fakes.events.count, 0);
    QVERIFY(f.fakes.settings.writes.empty());
    QVERIFY(f.fakes.messageBox.calls.empty());
}

void SplashTest::shownWhenNotTurnedOff_data() {
    QTest::addColumn<std::optional<QString>>("showAgain");
    QTest::newRow("absent") << std::optional<QString>();
    QTest::newRow("0") << std::optional<QString>("0");
    QTest::newRow("0 as a decimal") << std::optional<QString>("0.0");
    // Text that is no number cannot come from the program: it counts as absent.
    QTest::newRow("empty") << std::optional<QString>("");
    QTest::newRow("not a number") << std::optional<QString>("yes");
}

void SplashTest::shownWhenNotTurnedOff() {
    QFETCH(std::optional<QString>, showAgain);
    Fixture f;
    if (showAgain) {
        f.fakes.settings.values.insert("ShowAgain", *showAgain);
    }
    QVERIFY(apptest::writePicture(f.path("/Splash/logo.png"), QSize(30, 20)));
    QVERIFY(f.splash.showSplash());
    QCOMPARE(f.fakes.clock.nowMs, std::int64_t{4000});
}

void SplashTest::firstListedFileIsUsed() {
    Fixture f;
    // Widths tell the pictures apart; a hidden picture and a folder are never taken.
    QVERIFY(apptest::writePicture(f.path("/Splash/.hidden.png"), QSize(11, 10)));
    QVERIFY(QDir().mkpath(f.path("/Splash/folder.png")));
    const QStringList names{"c.png", "a.bmp", "b.jpg", "zz.png", "m.png"};
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray format = names[i].endsWith(".bmp")   ? "BMP"
                                  : names[i].endsWith(".jpg") ? "JPG"
                                                              : "PNG";
        QVERIFY(apptest::writePicture(f.path("/Splash/" + names[i]), QSize(20 + i, 10),
                                      format.constData()));
    }
    QString first;
    for (const QString& name : listedOrder(f.path("/Splash"))) {
        if (names.contains(name)) {
            first = name;
            break;
        }
    }
    QVERIFY(!first.isEmpty());
    QCOMPARE(splashPicturePath(f.dir.path()), f.path("/Splash/" + first));
    QVERIFY(f.splash.showSplash());
    QCOMPARE(f.splash.width(), 20 + static_cast<int>(names.indexOf(first)));
}

void SplashTest::check1WritesShowAgainAtOnce() {
    Fixture f;
    QVERIFY(apptest::writePicture(f.path("/Splash/logo.png"), QSize(300, 200)));
    using Writes = std::vector<std::pair<QString, QString>>;
    std::vector<Writes> seen;
    f.fakes.events.onProcess = [&] {
        // Tick, then untick, while the splash waits: each write is there before the wait
        // goes on.
        if (f.fakes.events.count == 2 || f.fakes.events.count == 5) {
            QTest::mouseClick(f.splash.hideCheck, Qt::LeftButton, {},
                              QPoint(8, f.splash.hideCheck->height() / 2));
            seen.push_back(f.fakes.settings.writes);
        }
    };
    QVERIFY(f.splash.showSplash());
    QCOMPARE(seen.size(), std::size_t{2});
    QCOMPARE(seen[0], (Writes{{"ShowAgain", "1"}}));
    QCOMPARE(seen[1], (Writes{{"ShowAgain", "1"}, {"ShowAgain", "0"}}));
    QCOMPARE(f.fakes.clock.nowMs, std::int64_t{4000}); // the current splash keeps its time
}

void SplashTest::pauseWaitsOnTheMonotonicClock_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<std::int64_t>("waited");
    QTest::newRow("4 seconds") << 4.0 << std::int64_t{4000};
    QTest::newRow("fraction") << 0.0155 << std::int64_t{16};
    QTest::newRow("none") << 0.0 << std::int64_t{0};
}

void SplashTest::pauseWaitsOnTheMonotonicClock() {
    QFETCH(double, seconds);
    QFETCH(std::int64_t, waited);
    Fixture f;
    f.fakes.clock.nowMs = 86'399'000; // just before midnight: the wait still ends
    f.splash.pause(seconds);
    QCOMPARE(f.fakes.clock.nowMs - 86'399'000, waited);
    QVERIFY(f.fakes.events.count >= 1); // events are handled at least once
    for (const int sleep : f.fakes.clock.sleeps) {
        QVERIFY(sleep > 0 && sleep <= splash_design::kPauseStepMs);
    }
}

void SplashTest::closingTheSplashCutsTheWait() {
    Fixture f;
    QVERIFY(apptest::writePicture(f.path("/Splash/logo.png"), QSize(60, 40)));
    f.fakes.events.onProcess = [&] {
        if (f.fakes.events.count == 10) {
            f.splash.close();
        }
    };
    QVERIFY(f.splash.showSplash());
    QCOMPARE(f.fakes.events.count, 10);
    QVERIFY(f.fakes.clock.nowMs < 4000);
    QVERIFY(!f.splash.isVisible());
}

QTEST_MAIN(SplashTest)
#include "splash_test.moc"
