// MainWindow: the start-up sequence and its order, the settings of matchCase and TabSel (also
// through the real store across a restart), layout, fonts, captions, keyboard order, the
// Help message, the hand-cursor rule and closing the window.
#include "app_test_support.h"
#include "fakes/fake_services.h"
#include "main_window.h"
#include "platform/qt_services.h"
#include "sets/sets_page.h"
#include "splash.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

using fakes::FakeServices;

namespace {

using Writes = std::vector<std::pair<QString, QString>>;

// A MainWindow over scripted services, installed in an empty temporary folder.
struct Fixture {
    explicit Fixture(platform::SettingsStore* store = nullptr)
        : services(store == nullptr
                       ? fakes.services()
                       : platform::Services{fakes.messageBox, fakes.inputBox, fakes.fileDialogs,
                                            fakes.folderBrowser, fakes.urlOpener, *store,
                                            fakes.clock, fakes.events, fakes.random}),
          form(services) {
        form.setInstallationFolder(folder.path());
    }
    QString path(const QString& relative) const { return folder.path() + relative; }
    void showLoaded() {
        QVERIFY(form.start());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    QTemporaryDir folder;
    FakeServices fakes;
    platform::Services services;
    MainWindow form;
};

// Fills the sets page as the sets subsystem does, before start.
void fillSetsPage(MainWindow& form) {
    sets::createSetsPage(*form.setsPage());
}

// The window's description, written once: where each control sits (twips, relative to the
// window, the frame or the tab control), its font size (a tab control's: its captions') and
// its caption.
struct DescribedControl {
    const char* name;
    const char* relativeTo;
    int left, top, width, height;
    double points;
    const char* caption;
};
const DescribedControl kDescribed[] = {
    {"ListView1", "Form1", 120, 120, 6360, 1575, 9.0, nullptr},
    {"PushButton3", "Form1", 120, 1800, 2880, 405, 11.25, "Add Excel File(s)"},
    {"PushButton6", "Form1", 3120, 1800, 3360, 405, 11.25, "Add All Excel File(s) In Folder"},
    {"TabControl1", "Form1", 120, 2280, 6360, 3705, 11.25, nullptr},
    {"Frame1", "Form1", 120, 6080, 6360, 690, 9.0, "Case Option"},
    {"Check4", "Frame1", 240, 300, 4095, 255, 9.0, "Match case - case must match when finding"},
    {"PushButton7", "Form1", 120, 6880, 5280, 405, 11.25, "Start Replacing"},
    {"PushButton16", "Form1", 5520, 6880, 960, 405, 11.25, "Help"},
    {"ProgressBar1", "Form1", 120, 7410, 6360, 405, 9.0, nullptr},
    {"Label1", "TabControl1", 240, 480, 5415, 255, 9.0, " Find what (exact case):"},
    {"Text1", "TabControl1", 240, 720, 5850, 1140, 9.0, nullptr},
    {"Label2", "TabControl1", 240, 2040, 6015, 255, 9.0, " Replace with:"},
    {"Text2", "TabControl1", 240, 2280, 5850, 1140, 9.0, nullptr},
};

QWidget* control(MainWindow& form, const QString& name) {
    if (name == QLatin1String("Form1")) {
        return &form;
    }
    return form.findChild<QWidget*>(name);
}

QString configFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quillmark/Quillmark.conf");
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Start-up.
    void firstStartWithEmptyStore();
    void startUpRunsInItsOrder();
    void storedValuesRestore_data();
    void storedValuesRestore();
    void tickAndPageSurviveARestartThroughTheRealStore();
    void everyPageSwitchWritesTabSel();
    void failedWriteIsReportedOncePerRun();

    // Layout and looks.
    void controlAsDescribed_data();
    void controlAsDescribed();
    void setsPageUsesTheTabControlsCoordinates();
    void windowIsFixedSizeWithMinimiseAndIcon();
    void tooltipAndPageCaptions();
    void textBoxesRefuseFileDrops();
    void keyboardOrderFollowsTabIndex();
    void designColours();

    // Help.
    void helpShowsItsMessageOnly();

    // Hand cursor.
    void pointerOverControls_data();
    void pointerOverControls();
    void hourglassBeatsTheHand();
    void handCursorComesFromTheCursorFile();
    void withoutCursorFileTheHandIsTheArrow();
    void cursorFileThatDoesNotLoadIsIgnored();

    // Closing.
    void closingDuringTheSplashEndsTheStartUp();
    void closingEmitsUnloadedOnce();
};

void MainWindowTest::firstStartWithEmptyStore() {
    Fixture f;
    QVERIFY(f.form.start());
    QVERIFY(!f.form.matchCase->isChecked());
    QCOMPARE(f.form.pageTabs->currentIndex(), 0);
    QCOMPARE(f.form.pageTabs->tabText(0), QStringLiteral("Find and replace"));
    QCOMPARE(f.form.windowTitle(), QStringLiteral("Varnocliff"));
    QCOMPARE(f.form.fileListView->headerItem()->text(0), QStringLiteral("Excel File(s)"));
    QCOMPARE(f.form.fileListView->columnCount(), 1);
    QCOMPARE(f.form.fileListView->columnWidth(0), qRound(5500 / 15.0));
    QCOMPARE(f.form.mousePointer(), platform::kPointerDefault);
    QVERIFY(!f.form.mouseIcon().has_value());
    QCOMPARE(f.fakes.settings.reads, (QStringList{"ShowAgain", "Check4", "TabSel"}));
    QVERIFY2(f.fakes.settings.writes.empty(), "a start must not write settings");
    QVERIFY(f.fakes.messageBox.calls.empty());
    QVERIFY(f.fakes.urlOpener.opened.isEmpty());
    QCOMPARE(f.fakes.clock.nowMs, std::int64_t{0}); // no splash, no wait
    QVERIFY(f.form.findText->toPlainText().isEmpty());
    QVERIFY(f.form.replaceText->toPlainText().isEmpty());
}

// Observed from inside the splash's wait: what has already happened and what has not.
void MainWindowTest::startUpRunsInItsOrder() {
    Fixture f;
    QVERIFY(apptest::writePicture(f.path("/Splash/picture.png"), QSize(60, 40)));
    QVERIFY(apptest::writeFile(f.path("/HAND-M.CUR"), apptest::cursorFile(5, 3)));
    QVERIFY(apptest::writeFile(f.path("/x/o.cjs"), "QPushButton { color: rgb(1, 2, 3); }"));
    f.fakes.clock.timeOfDay = 45296.5;
    f.fakes.random.draws.enqueue(0.063); // draws 7: the home page opens

    bool observed = false;
    f.fakes.events.onProcess = [&] {
        if (observed) {
            return;
        }
        observed = true;
        QVERIFY(!f.form.styleSheet().isEmpty());                           // 1 skin
        const QRect screen = QGuiApplication::primaryScreen()->geometry(); // 2 centred
        QCOMPARE(f.form.frameGeometry().center().x(), screen.center().x());
        QVERIFY(f.form.mouseIcon().has_value());                      // 3 cursor
        QCOMPARE(f.fakes.random.seeds, std::vector<double>{45296.5}); // 4 home page
        QCOMPARE(f.fakes.urlOpener.opened.size(), 1);
        QVERIFY(f.form.splash()->isVisible()); // 5 splash, main window hidden
        QVERIFY(!f.form.isVisible());
        QVERIFY(f.form.windowTitle().isEmpty());                       // 6 not yet
        QVERIFY(f.form.fileListView->headerItem()->text(0).isEmpty()); // 7 not yet
        QCOMPARE(f.fakes.settings.reads, QStringList{"ShowAgain"});    // 8, 9 not yet
    };
    QVERIFY(f.form.start());
    QVERIFY(observed);
    QVERIFY(!f.form.splash()->isVisible());
    QCOMPARE(f.fakes.clock.nowMs, std::int64_t{4000});
    QCOMPARE(f.form.windowTitle(), QStringLiteral("Varnocliff"));
    QCOMPARE(f.fakes.settings.reads, (QStringList{"ShowAgain", "Check4", "TabSel"}));
}

void MainWindowTest::storedValuesRestore_data() {
    QTest::addColumn<QString>("check4");
    QTest::addColumn<QString>("tabSel");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<int>("page");
    QTest::newRow("ones") << "1"
                          << "1" << true << 1;
    QTest::newRow("zeros") << "0"
                           << "0" << false << 0;
    QTest::newRow("blanks around") << " 1 "
                                   << " 1" << true << 1;
    // Values the program never writes read as the defaults.
    QTest::newRow("empty") << ""
                           << "" << false << 0;
    QTest::newRow("text") << "yes"
                          << "sets" << false << 0;
    QTest::newRow("out of range") << "2"
                                  << "2" << false << 0;
    QTest::newRow("negative") << "-1"
                              << "-1" << false << 0;
    QTest::newRow("fraction") << "1.5"
                              << "0.5" << false << 0;
    QTest::newRow("too large") << "65537"
                               << "4294967297" << false << 0;
}

void MainWindowTest::storedValuesRestore() {
    QFETCH(QString, check4);
    QFETCH(QString, tabSel);
    QFETCH(bool, ticked);
    QFETCH(int, page);
    Fixture f;
    f.fakes.settings.values.insert("Check4", check4);
    f.fakes.settings.values.insert("TabSel", tabSel);
    QVERIFY(f.form.start());
    QCOMPARE(f.form.matchCase->isChecked(), ticked);
    QCOMPARE(f.form.pageTabs->currentIndex(), page);
    QVERIFY2(f.fakes.settings.writes.empty(), "restoring must not write back");
}

void MainWindowTest::tickAndPageSurviveARestartThroughTheRealStore() {
    QFile::remove(configFile());
    platform::QtSettingsStore store;
    {
        Fixture first(&store);
        first.showLoaded();
        QVERIFY(!first.form.matchCase->isChecked());
        QTest::mouseClick(first.form.matchCase, Qt::LeftButton, {},
                          QPoint(8, first.form.matchCase->height() / 2));
        QVERIFY(first.form.matchCase->isChecked());
        QTabBar* tabs = first.form.pageTabs->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(first.form.pageTabs->currentIndex(), 1);
        // On disk the moment the handlers return.
        QSettings disk(configFile(), QSettings::IniFormat);
        QCOMPARE(disk.value("Varnocliff/Check4").toString(), QStringLiteral("1"));
        QCOMPARE(disk.value("Varnocliff/TabSel").toString(), QStringLiteral("1"));
        first.form.close();
    }
    Fixture second(&store);
    QVERIFY(second.form.start());
    QVERIFY(second.form.matchCase->isChecked());
    QCOMPARE(second.form.pageTabs->currentIndex(), 1);
}

void MainWindowTest::everyPageSwitchWritesTabSel() {
    Fixture f;
    f.showLoaded();
    f.form.pageTabs->setCurrentIndex(1);
    f.form.pageTabs->setCurrentIndex(0);
    f.form.pageTabs->setCurrentIndex(1);
    QTest::keyClick(f.form.matchCase, Qt::Key_Space);
    QTest::keyClick(f.form.matchCase, Qt::Key_Space);
    const Writes expected{
        {"TabSel", "1"}, {"TabSel", "0"}, {"TabSel", "1"}, {"Check4", "1"}, {"Check4", "0"}};
    QCOMPARE(f.fakes.settings.writes, expected);
}

void MainWindowTest::failedWriteIsReportedOncePerRun() {
    Fixture f;
    f.showLoaded();
    f.fakes.settings.failWrites = true;
    f.form.matchCase->click();
    f.form.pageTabs->setCurrentIndex(1);
    QCOMPARE(f.fakes.settings.writes.size(), std::size_t{2});
    QCOMPARE(f.fakes.messageBox.calls.size(), std::size_t{1});
    QCOMPARE(f.fakes.messageBox.calls[0].text, app::kSettingNotSavedText);
    QCOMPARE(f.fakes.messageBox.calls[0].icon, platform::Icon::Warning);
}

void MainWindowTest::controlAsDescribed_data() {
    QTest::addColumn<int>("row");
    for (int row = 0; row < static_cast<int>(std::size(kDescribed)); ++row) {
        QTest::newRow(kDescribed[row].name) << row;
    }
}

void MainWindowTest::controlAsDescribed() {
    QFETCH(int, row);
    const DescribedControl& described = kDescribed[row];
    const QString relativeTo = QLatin1String(described.relativeTo);
    const QRect twips(described.left, described.top, described.width, described.height);
    Fixture f;
    f.showLoaded();
    QWidget* widget = control(f.form, QLatin1String(described.name));
    QWidget* reference = control(f.form, relativeTo);
    QVERIFY(widget != nullptr && reference != nullptr);
    const QRect expected(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0),
                         qRound(twips.width() / 15.0), qRound(twips.height() / 15.0));
    QCOMPARE(QRect(widget->mapTo(reference, QPoint(0, 0)), widget->size()), expected);
    // Nothing of a page's control is hidden under the tab captions or the page's edge.
    if (relativeTo == QLatin1String("TabControl1")) {
        QCOMPARE(widget->visibleRegion().boundingRect(), widget->rect());
    }

    QWidget* fontHolder = widget;
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        fontHolder = tabs->tabBar();
    }
    const QFontInfo info(fontHolder->font());
    QVERIFY2(info.family() == QLatin1String("Arial") ||
                 info.family() == QLatin1String("Liberation Sans"),
             qPrintable(info.family()));
    QVERIFY(info.bold());
    QCOMPARE(fontHolder->font().pointSizeF(), described.points);

    if (described.caption != nullptr) {
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
        } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
            text = frame->title();
        }
        QCOMPARE(text, QString::fromLatin1(described.caption));
    }
}

void MainWindowTest::setsPageUsesTheTabControlsCoordinates() {
    Fixture f;
    fillSetsPage(f.form);
    f.showLoaded();
    f.form.pageTabs->setCurrentIndex(1);
    for (const char* name : {"Label3", "Combo1", "PushButton8", "PushButton5", "PushButton2"}) {
        QWidget* widget = f.form.findChild<QWidget*>(QLatin1String(name));
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->mapTo(f.form.pageTabs, QPoint(0, 0)), widget->pos());
        QVERIFY2(widget->isVisible(), name);
        QCOMPARE(widget->visibleRegion().boundingRect(), widget->rect());
    }
    QVERIFY(!f.form.findText->isVisible());
    QVERIFY(f.form.pageTabs->widget(1)->isAncestorOf(f.form.setsPage()));
}

void MainWindowTest::windowIsFixedSizeWithMinimiseAndIcon() {
    Fixture f;
    f.showLoaded();
    QCOMPARE(f.form.size(), QSize(440, 529)); // 6600 x 7935 twips
    QCOMPARE(f.form.minimumSize(), f.form.size());
    QCOMPARE(f.form.maximumSize(), f.form.size());
    const Qt::WindowFlags flags = f.form.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    const QIcon icon = f.form.windowIcon();
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    QCOMPARE(icon.pixmap(QSize(32, 32)).size(), QSize(32, 32));
}

void MainWindowTest::tooltipAndPageCaptions() {
    Fixture f;
    QCOMPARE(f.form.fileListView->toolTip(),
             QStringLiteral("Drag and drop files here. Double-click item to remove it. Move bar "
                            "to right and out of window to reveal full names."));
    QCOMPARE(f.form.pageTabs->tabText(0), QStringLiteral("Find and replace"));
    QCOMPARE(f.form.pageTabs->tabText(1), QStringLiteral("Multiple find and replace (sets)"));
}

// A file dropped on the Find or Replace box leaves its text as it was; dropped text still goes in.
void MainWindowTest::textBoxesRefuseFileDrops() {
    Fixture f;
    f.showLoaded();
    for (QPlainTextEdit* box : {f.form.findText, f.form.replaceText}) {
        box->setPlainText(QStringLiteral("alpha"));
        QWidget* target = box->viewport();
        const QPointF at(5, 5);
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/book.xlsx"))});
        files.setText(QStringLiteral("file:///tmp/book.xlsx"));
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &files, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        QVERIFY(!enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &files, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &drop);
        QCOMPARE(box->toPlainText(), QStringLiteral("alpha"));

        QMimeData text;
        text.setText(QStringLiteral("omega"));
        QDragEnterEvent textEnter(at.toPoint(), Qt::CopyAction, &text, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &textEnter);
        QVERIFY(textEnter.isAccepted());
        QDropEvent textDrop(at, Qt::CopyAction, &text, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &textDrop);
        QVERIFY(box->toPlainText().contains(QStringLiteral("omega")));
    }
}

void MainWindowTest::keyboardOrderFollowsTabIndex() {
    Fixture f;
    fillSetsPage(f.form);
    f.showLoaded();
    const QStringList expected{"ListView1",   "Text1",       "Text2",        "Combo1",
                               "Combo2",      "PushButton8", "PushButton10", "PushButton2",
                               "PushButton5", "TabControl1", "PushButton16", "Check4",
                               "PushButton1", "PushButton3", "PushButton6",  "PushButton7"};
    QStringList order;
    QWidget* widget = f.form.fileListView;
    for (int step = 0; step < 200 && order.size() < expected.size(); ++step) {
        QWidget* named = widget == f.form.pageTabs->tabBar() ? f.form.pageTabs : widget;
        if (expected.contains(named->objectName()) && !order.contains(named->objectName())) {
            order.append(named->objectName());
        }
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(order, expected);
    QCOMPARE(f.form.focusWidget(), static_cast<QWidget*>(f.form.fileListView));
}

void MainWindowTest::designColours() {
    Fixture f;
    fillSetsPage(f.form);
    QVERIFY(f.form.start());
    for (const char* name : {"Form1", "Frame1", "Check4", "Label1", "Label2", "Label3", "Label4"}) {
        QWidget* widget = control(f.form, QLatin1String(name));
        QCOMPARE(widget->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY2(widget->autoFillBackground(), name);
    }
    QVERIFY(f.form.styleSheet().isEmpty());
    QCOMPARE(f.form.pageTabs->palette().color(QPalette::Window),
             QApplication::palette().color(QPalette::Window));
}

void MainWindowTest::helpShowsItsMessageOnly() {
    Fixture f;
    f.showLoaded();
    QTest::mouseClick(f.form.helpButton, Qt::LeftButton);
    QCOMPARE(f.fakes.messageBox.calls.size(), std::size_t{1});
    const fakes::MessageCall& call = f.fakes.messageBox.calls[0];
    QCOMPARE(call.text, QStringLiteral("Before using this software, make sure that the Excel "
                                       "file or any individual sheets within the file are not "
                                       "protected."));
    QCOMPARE(call.title, QStringLiteral("Varnocliff"));
    QCOMPARE(call.buttons, platform::Buttons::Ok);
    QCOMPARE(call.icon, platform::Icon::None);
    QVERIFY(f.fakes.settings.writes.empty());
}

void MainWindowTest::pointerOverControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("expected"); // starting from the hand (99)
    const int hand = platform::kPointerCustom;
    const int arrow = platform::kPointerDefault;
    for (const char* name : {"PushButton3", "PushButton6", "PushButton7", "PushButton16"}) {
        QTest::newRow(name) << QString::fromLatin1(name) << 0 << hand;
    }
    for (const char* name :
         {"PushButton8", "PushButton10", "PushButton1", "PushButton5", "PushButton2"}) {
        QTest::newRow(name) << QString::fromLatin1(name) << 1 << hand;
    }
    QTest::newRow("background") << "Form1" << 0 << arrow;
    QTest::newRow("Check4") << "Check4" << 0 << arrow;
    QTest::newRow("TabControl1 page") << "TabControl1Area0" << 0 << arrow;
    QTest::newRow("TabControl1 captions") << "qt_tabwidget_tabbar" << 0 << arrow;
    QTest::newRow("Label3") << "Label3" << 1 << arrow;
    QTest::newRow("Label4") << "Label4" << 1 << arrow;
    // No other control changes the pointer.
    for (const char* name :
         {"ListView1", "Text1", "Text2", "Label1", "Label2", "Frame1", "ProgressBar1"}) {
        QTest::newRow(name) << QString::fromLatin1(name) << 0 << hand;
    }
    QTest::newRow("Combo1") << "Combo1" << 1 << hand;
    QTest::newRow("Combo2") << "Combo2" << 1 << hand;
}

void MainWindowTest::pointerOverControls() {
    QFETCH(QString, name);
    QFETCH(int, page);
    QFETCH(int, expected);
    Fixture f;
    fillSetsPage(f.form);
    f.showLoaded();
    f.form.pageTabs->setCurrentIndex(page);
    QWidget* target = control(f.form, name);
    QVERIFY(target != nullptr);
    f.form.setMousePointer(platform::kPointerCustom);
    // A point of the control itself: for the window, the margin left of the file list; for a
    // frame, its caption row; for a page, the empty strip right of the text boxes.
    QPoint point = target->rect().center();
    if (target == &f.form) {
        point = QPoint(3, 200);
    } else if (name == QLatin1String("Frame1")) {
        point = QPoint(target->width() - 5, 3);
    } else if (name == QLatin1String("TabControl1Area0")) {
        point = QPoint(415, 100);
    }
    apptest::hover(*target, point);
    QCOMPARE(f.form.mousePointer(), expected);
}

void MainWindowTest::hourglassBeatsTheHand() {
    Fixture f;
    QVERIFY(apptest::writeFile(f.path("/HAND-M.CUR"), apptest::cursorFile(5, 3)));
    fillSetsPage(f.form);
    f.showLoaded();
    f.form.setMousePointer(platform::kPointerHourglass);
    for (QWidget* target :
         {static_cast<QWidget*>(f.form.startButton), static_cast<QWidget*>(&f.form),
          static_cast<QWidget*>(f.form.matchCase), static_cast<QWidget*>(f.form.helpButton)}) {
        apptest::hover(*target, target == &f.form ? QPoint(3, 200) : target->rect().center());
        QCOMPARE(f.form.mousePointer(), platform::kPointerHourglass);
        QCOMPARE(f.form.cursor().shape(), Qt::WaitCursor);
    }
    f.form.setMousePointer(platform::kPointerDefault);
    apptest::hover(*f.form.startButton);
    QCOMPARE(f.form.mousePointer(), platform::kPointerCustom);
}

void MainWindowTest::handCursorComesFromTheCursorFile() {
    Fixture f;
    QVERIFY(apptest::writeFile(f.path("/HAND-M.CUR"), apptest::cursorFile(5, 3)));
    f.showLoaded();
    QVERIFY(f.form.mouseIcon().has_value());
    apptest::hover(*f.form.addFilesButton);
    QCOMPARE(f.form.mousePointer(), platform::kPointerCustom);
    QCOMPARE(f.form.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(f.form.cursor().hotSpot(), QPoint(5, 3));
    QCOMPARE(f.form.addFilesButton->cursor().shape(), Qt::BitmapCursor);
    apptest::hover(f.form, QPoint(3, 200));
    QCOMPARE(f.form.mousePointer(), platform::kPointerDefault);
    QCOMPARE(f.form.cursor().shape(), Qt::ArrowCursor);
}

void MainWindowTest::withoutCursorFileTheHandIsTheArrow() {
    Fixture f;
    f.showLoaded();
    apptest::hover(*f.form.addFilesButton);
    QCOMPARE(f.form.mousePointer(), platform::kPointerCustom);
    QCOMPARE(f.form.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(f.fakes.messageBox.calls.empty());
}

void MainWindowTest::cursorFileThatDoesNotLoadIsIgnored() {
    Fixture f;
    QVERIFY(apptest::writeFile(f.path("/HAND-M.CUR"), "not a cursor"));
    f.showLoaded();
    QVERIFY(!f.form.mouseIcon().has_value());
    apptest::hover(*f.form.addFilesButton);
    QCOMPARE(f.form.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(f.fakes.messageBox.calls.empty());
}

void MainWindowTest::closingDuringTheSplashEndsTheStartUp() {
    Fixture f;
    QVERIFY(apptest::writePicture(f.path("/Splash/a.png"), QSize(60, 40)));
    QSignalSpy unloaded(&f.form, &MainWindow::unloaded);
    f.fakes.events.onProcess = [&] {
        if (f.fakes.events.count == 3) {
            f.form.close();
        }
    };
    QVERIFY(!f.form.start());
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(f.form.isUnloaded());
    QCOMPARE(f.fakes.events.count, 3); // the wait ended at once
    QVERIFY(f.fakes.clock.nowMs < 4000);
    QVERIFY(!f.form.splash()->isVisible());
    QVERIFY(f.form.windowTitle().isEmpty()); // nothing after the splash ran
    QCOMPARE(f.fakes.settings.reads, QStringList{"ShowAgain"});
    QVERIFY(f.fakes.settings.writes.empty());
}

void MainWindowTest::closingEmitsUnloadedOnce() {
    Fixture f;
    f.showLoaded();
    QSignalSpy unloaded(&f.form, &MainWindow::unloaded);
    QVERIFY(f.form.close());
    QVERIFY(!f.form.isVisible());
    QVERIFY(f.form.isUnloaded());
    f.form.close();
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(f.fakes.settings.writes.empty()); // nothing is saved at exit
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
