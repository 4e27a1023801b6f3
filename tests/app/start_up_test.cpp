// The start-up routines without a window of their own: the home-page draw, the skin and the
// face colours, and reading the hand cursor file.
#include "app_test_support.h"
#include "fakes/fake_services.h"
#include "platform/cursor_file.h"
#include "start_up.h"

#include "platform/design.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

// A window with one control of each kind the colour rule knows about, and two it does not.
struct Window {
    Window() {
        QPalette white = widget.palette();
        white.setColor(QPalette::Window, Qt::white);
        widget.setPalette(white);
        group = new QGroupBox("Frame", &widget);
        check = new QCheckBox("Check", group);
        radio = new QRadioButton("Option", &widget);
        label = new QLabel("Label", &widget);
        edit = new QLineEdit(&widget);
        button = new QPushButton("Button", &widget);
    }
    QList<QWidget*> ruled() const {
        return {&const_cast<QDialog&>(widget), group, check, radio, label};
    }

    QDialog widget;
    QGroupBox* group;
    QCheckBox* check;
    QRadioButton* radio;
    QLabel* label;
    QLineEdit* edit;
    QPushButton* button;
};

QColor face() {
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

} // namespace

class MainModuleTest : public QObject {
    Q_OBJECT
private slots:
    void homePageOpensOnlyOnSeven_data();
    void homePageOpensOnlyOnSeven();
    void homePageDrawCoversOneToHundred();

    void setFormColorsGivesTheFaceColour();
    void noSkinFileKeepsTheDesign_data();
    void noSkinFileKeepsTheDesign();
    void skinIsAppliedAfterTheColours();
    void unreadableSkinIsIgnored_data();
    void unreadableSkinIsIgnored();
    void skinWithoutReadPermissionIsIgnored();

    void cursorFileGivesImageAndHotspot_data();
    void cursorFileGivesImageAndHotspot();
    void cursorFileThatDoesNotLoad_data();
    void cursorFileThatDoesNotLoad();
};

void MainModuleTest::homePageOpensOnlyOnSeven_data() {
    QTest::addColumn<double>("draw");
    QTest::addColumn<int>("number");
    QTest::newRow("lowest") << 0.0 << 1;
    QTest::newRow("just below 7") << 0.0599999 << 6;
    QTest::newRow("first 7") << 0.06 << 7;
    QTest::newRow("middle of 7") << 0.065 << 7;
    QTest::newRow("last 7") << 0.0699999 << 7;
    QTest::newRow("8") << 0.07 << 8;
    QTest::newRow("highest") << 0.9999999 << 100;
}

void MainModuleTest::homePageOpensOnlyOnSeven() {
    QFETCH(double, draw);
    QFETCH(int, number);
    fakes::FakeServices f;
    f.clock.timeOfDay = 61234.75;
    f.random.draws.enqueue(draw);
    QCOMPARE(app::maybeOpenHomePage(f.clock, f.random, f.urlOpener), number);
    QCOMPARE(f.random.seeds, std::vector<double>{61234.75});
    const QStringList expected =
        number == 7 ? QStringList{QStringLiteral("https://www.quillmark.com/")} : QStringList{};
    QCOMPARE(f.urlOpener.opened, expected);
}

void MainModuleTest::homePageDrawCoversOneToHundred() {
    fakes::FakeServices f;
    QList<int> drawn;
    for (int n = 1; n <= 100; ++n) {
        f.random.draws.enqueue((n - 1) / 100.0 + 0.004);
        drawn.append(app::maybeOpenHomePage(f.clock, f.random, f.urlOpener));
    }
    for (int n = 1; n <= 100; ++n) {
        QCOMPARE(drawn[n - 1], n);
    }
    QCOMPARE(f.urlOpener.opened.size(), 1);
}

void MainModuleTest::setFormColorsGivesTheFaceColour() {
    Window w;
    platform::setFormColors(w.widget);
    for (QWidget* widget : w.ruled()) {
        QCOMPARE(widget->palette().color(QPalette::Window), face());
        QVERIFY(widget->autoFillBackground());
    }
    // Text boxes and push buttons keep colours of their own.
    QVERIFY(!w.edit->testAttribute(Qt::WA_SetPalette));
    QVERIFY(!w.button->testAttribute(Qt::WA_SetPalette));
}

void MainModuleTest::noSkinFileKeepsTheDesign_data() {
    QTest::addColumn<QString>("entry"); // what exists at x/o.cjs, if anything
    QTest::newRow("nothing") << QString();
    QTest::newRow("folder named o.cjs") << QStringLiteral("folder");
    QTest::newRow("dangling link") << QStringLiteral("link");
    QTest::newRow("x is a file") << QStringLiteral("x-file");
}

void MainModuleTest::noSkinFileKeepsTheDesign() {
    QFETCH(QString, entry);
    QTemporaryDir dir;
    if (entry == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(dir.path() + "/x/o.cjs"));
        QVERIFY(apptest::writeFile(dir.path() + "/x/o.cjs/skin.css", "QWidget { color: red; }"));
    } else if (entry == QLatin1String("link")) {
        QVERIFY(QDir().mkpath(dir.path() + "/x"));
        QVERIFY(QFile::link(dir.path() + "/missing.css", dir.path() + "/x/o.cjs"));
    } else if (entry == QLatin1String("x-file")) {
        QVERIFY(apptest::writeFile(dir.path() + "/x", "QWidget { color: red; }"));
    }
    Window w;
    QCOMPARE(app::applySkin(w.widget, dir.path()), app::SkinResult::NoSkinFile);
    QCOMPARE(w.widget.palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(!w.label->testAttribute(Qt::WA_SetPalette));
    QVERIFY(w.widget.styleSheet().isEmpty());
}

void MainModuleTest::skinIsAppliedAfterTheColours() {
    QTemporaryDir dir;
    const QByteArray sheet = "QPushButton { color: rgb(10, 20, 30); }";
    QVERIFY(apptest::writeFile(dir.path() + "/x/o.cjs", sheet));
    Window w;
    QCOMPARE(app::applySkin(w.widget, dir.path()), app::SkinResult::Applied);
    QCOMPARE(w.widget.styleSheet(), QString::fromUtf8(sheet));
    for (QWidget* widget : w.ruled()) {
        QCOMPARE(widget->palette().color(QPalette::Window), face());
    }
    w.button->ensurePolished();
    QCOMPARE(w.button->palette().color(QPalette::ButtonText), QColor(10, 20, 30));
}

void MainModuleTest::unreadableSkinIsIgnored_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("binary with NUL") << QByteArray("SKIN\0\x01\x02", 7);
    QTest::newRow("not UTF-8") << QByteArray("QWidget { color: \xff\xfe; }");
    QTest::newRow("too large") << QByteArray(app::kMaxSkinBytes + 1, ' ');
}

void MainModuleTest::unreadableSkinIsIgnored() {
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(apptest::writeFile(dir.path() + "/x/o.cjs", content));
    Window w;
    QCOMPARE(app::applySkin(w.widget, dir.path()), app::SkinResult::Unreadable);
    QVERIFY(w.widget.styleSheet().isEmpty());
    // The colours come before the file is read: the window still has one consistent look.
    QCOMPARE(w.widget.palette().color(QPalette::Window), face());
}

void MainModuleTest::skinWithoutReadPermissionIsIgnored() {
    if (geteuid() == 0) {
        QSKIP("root reads files whatever their permissions");
    }
    QTemporaryDir dir;
    const QString path = dir.path() + "/x/o.cjs";
    QVERIFY(apptest::writeFile(path, "QWidget { color: red; }"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    Window w;
    QCOMPARE(app::applySkin(w.widget, dir.path()), app::SkinResult::Unreadable);
    QVERIFY(w.widget.styleSheet().isEmpty());
}

void MainModuleTest::cursorFileGivesImageAndHotspot_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QPoint>("hotspot");
    QTest::newRow("cursor") << apptest::cursorFile(5, 3) << QPoint(5, 3);
    QTest::newRow("cursor, corner hotspot") << apptest::cursorFile(31, 0) << QPoint(31, 0);
    // An icon has no hotspot, and one outside the picture cannot be used: the centre then.
    QTest::newRow("icon") << apptest::cursorFile(0, 0, 1) << QPoint(16, 16);
    QTest::newRow("hotspot outside") << apptest::cursorFile(40, 3) << QPoint(16, 16);
}

void MainModuleTest::cursorFileGivesImageAndHotspot() {
    QFETCH(QByteArray, file);
    QFETCH(QPoint, hotspot);
    QTemporaryDir dir;
    QVERIFY(apptest::writeFile(dir.path() + "/HAND-M.CUR", file));
    const std::optional<QCursor> cursor = platform::loadCursorFile(dir.path() + "/HAND-M.CUR");
    QVERIFY(cursor.has_value());
    QCOMPARE(cursor->shape(), Qt::BitmapCursor);
    QCOMPARE(cursor->pixmap().size(), QSize(32, 32));
    QCOMPARE(cursor->hotSpot(), hotspot);
}

void MainModuleTest::cursorFileThatDoesNotLoad_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("hand cursor");
    QTest::newRow("truncated") << apptest::cursorFile(5, 3).left(30);
    QTest::newRow("too large") << QByteArray(platform::kMaxCursorBytes + 1, '\0');
}

void MainModuleTest::cursorFileThatDoesNotLoad() {
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    QVERIFY(apptest::writeFile(dir.path() + "/HAND-M.CUR", file));
    QVERIFY(!platform::loadCursorFile(dir.path() + "/HAND-M.CUR").has_value());
    QVERIFY(!platform::loadCursorFile(dir.path() + "/missing.cur").has_value());
}

QTEST_MAIN(MainModuleTest)
#include "start_up_test.moc"
