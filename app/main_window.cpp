// MainWindow: construction of the controls, start, closing, the settings of matchCase and
// pageTabs, the Help button and the hand-cursor rule.
#include "main_window.h"

#include "fonts.h"
#include "platform/cursor_file.h"
#include "splash.h"
#include "start_up.h"
#include "twips.h"
#include "window_icon.h"

#include "platform/shared_routines.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

// The client area and the list's one column, in twips.
constexpr int kClientWidth = 6600;
constexpr int kClientHeight = 7935;
constexpr int kListColumnWidth = 5500;

constexpr double kTextPoints = 9.0;
constexpr double kButtonPoints = 11.25;

const QString kCursorFile = QStringLiteral("/HAND-M.CUR");
const QString kCheck4Key = QStringLiteral("Check4");
const QString kTabSelKey = QStringLiteral("TabSel");

// Every control that takes part in the keyboard order, by tab index. Labels, the frame and
// the progress bar hold an index too but never take the focus; the sets page's controls are
// found by name once that page is filled.
const char* const kTabOrder[] = {"ListView1",    "Text1",        "Text2",        "Combo1",
                                 "Combo2",       "PushButton8",  "PushButton10", "PushButton2",
                                 "PushButton5",  "TabControl1",  "Label3",       "Label4",
                                 "PushButton16", "ProgressBar1", "Frame1",       "Check4",
                                 "PushButton1",  "PushButton3",  "PushButton6",  "PushButton7"};

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent,
                        const QRect& geometry) {
    auto* button = named(new QPushButton(caption, parent), name);
    button->setFont(app::arialFont(kButtonPoints, true));
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}

void setBackground(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

} // namespace

MainWindow::MainWindow(platform::Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_services(services), m_writer(services.settings, services.messageBox),
      m_installationFolder(platform::installationFolder()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(app::windowIcon());
    setFont(app::arialFont(kTextPoints, true));
    setFixedSize(app::twipsToPixels(kClientWidth), app::twipsToPixels(kClientHeight));

    fileListView = named(new QTreeWidget(this), "ListView1");
    fileListView->setGeometry(app::twipsRect(120, 120, 6360, 1575));
    fileListView->setToolTip(QStringLiteral(
        "Drag and drop files here. Double-click item to remove it. Move bar to right and out "
        "of window to reveal full names."));
    fileListView->setColumnCount(1);
    fileListView->setHeaderLabels({QString()});
    fileListView->setRootIsDecorated(false);
    fileListView->setItemsExpandable(false);
    fileListView->setUniformRowHeights(true);
    fileListView->setSelectionMode(QAbstractItemView::SingleSelection);
    fileListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileListView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    fileListView->header()->setStretchLastSection(false);
    fileListView->header()->setSectionsMovable(false);

    addFilesButton = makeButton("PushButton3", QStringLiteral("Add Excel File(s)"), this,
                                app::twipsRect(120, 1800, 2880, 405));
    addFolderButton = makeButton("PushButton6", QStringLiteral("Add All Excel File(s) In Folder"),
                                 this, app::twipsRect(3120, 1800, 3360, 405));

    pageTabs = named(new QTabWidget(this), "TabControl1");
    pageTabs->setGeometry(app::twipsRect(120, 2280, 6360, 3705));
    pageTabs->tabBar()->setFont(app::arialFont(kButtonPoints, true));
    pageTabs->setUsesScrollButtons(false);
    QWidget* page0 = addPage(QStringLiteral("Find and replace"));
    addPage(QStringLiteral("Multiple find and replace (sets)"));

    findLabel = named(new QLabel(QStringLiteral(" Find what (exact case):"), page0), "Label1");
    findLabel->setGeometry(app::twipsRect(240, 480, 5415, 255));
    findText = named(new QPlainTextEdit(page0), "Text1");
    findText->setGeometry(app::twipsRect(240, 720, 5850, 1140));
    findText->setTabChangesFocus(true);
    replaceLabel = named(new QLabel(QStringLiteral(" Replace with:"), page0), "Label2");
    replaceLabel->setGeometry(app::twipsRect(240, 2040, 6015, 255));
    replaceText = named(new QPlainTextEdit(page0), "Text2");
    replaceText->setGeometry(app::twipsRect(240, 2280, 5850, 1140));
    replaceText->setTabChangesFocus(true);

    caseFrame = named(new QGroupBox(QStringLiteral("Case Option"), this), "Frame1");
    caseFrame->setGeometry(app::twipsRect(120, 6080, 6360, 690));
    matchCase =
        named(new QCheckBox(QStringLiteral("Match case - case must match when finding"), caseFrame),
              "Check4");
    matchCase->setGeometry(app::twipsRect(240, 300, 4095, 255));

    startButton = makeButton("PushButton7", QStringLiteral("Start Replacing"), this,
                             app::twipsRect(120, 6880, 5280, 405));
    helpButton = makeButton("PushButton16", QStringLiteral("Help"), this,
                            app::twipsRect(5520, 6880, 960, 405));

    progressBar = named(new QProgressBar(this), "ProgressBar1");
    progressBar->setGeometry(app::twipsRect(120, 7410, 6360, 405));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);

    giveDesignColours();

    connect(matchCase, &QCheckBox::clicked, this, &MainWindow::saveMatchCase);
    connect(pageTabs, &QTabWidget::currentChanged, this, &MainWindow::savePage);
    connect(helpButton, &QPushButton::clicked, this, &MainWindow::showHelp);
}

MainWindow::~MainWindow() = default;

// A page of pageTabs holds one area that covers the whole tab control, moved up and left
// by the page's own offset: the page's controls are then placed in the tab control's
// coordinates, and the page clips what would fall on the tab captions.
QWidget* MainWindow::addPage(const QString& caption) {
    const int index = pageTabs->count();
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabControl1Page%1").arg(index));
    auto* area = new QWidget(page);
    area->setObjectName(QStringLiteral("TabControl1Area%1").arg(index));
    pageTabs->addTab(page, caption);
    m_pages.at(static_cast<std::size_t>(index)) = page;
    m_pageAreas.at(static_cast<std::size_t>(index)) = area;
    page->installEventFilter(this);
    if (auto* stack = pageTabs->findChild<QStackedWidget*>()) {
        stack->installEventFilter(this);
    }
    pageTabs->installEventFilter(this);
    placePageAreas();
    return area;
}

void MainWindow::placePageAreas() {
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] == nullptr) {
            continue;
        }
        const QPoint offset = m_pages[i]->mapTo(pageTabs, QPoint(0, 0));
        m_pageAreas[i]->setGeometry(QRect(-offset, pageTabs->size()));
    }
}

// White for the window, the frame, the check box and every label; the tab control and the
// progress bar keep the style's own colours rather than the window's.
void MainWindow::giveDesignColours() {
    setBackground(*this, Qt::white);
    const QColor styleWindow = QApplication::palette().color(QPalette::Window);
    setBackground(*pageTabs, styleWindow);
    pageTabs->setAutoFillBackground(false);
    setBackground(*progressBar, styleWindow);
    progressBar->setAutoFillBackground(false);
    setBackground(*caseFrame, Qt::white);
    setBackground(*matchCase, Qt::white);
    const auto labels = findChildren<QLabel*>();
    for (QLabel* label : labels) {
        setBackground(*label, Qt::white);
    }
}

void MainWindow::setTabOrderByIndex() {
    QWidget* previous = nullptr;
    for (const char* name : kTabOrder) {
        auto* widget = name == QLatin1String("TabControl1")
                           ? pageTabs
                           : findChild<QWidget*>(QLatin1String(name));
        if (widget == nullptr || (widget->focusPolicy() & Qt::TabFocus) == 0) {
            continue;
        }
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

bool MainWindow::start() {
    // The sets page is filled after construction: its labels and buttons join the design
    // colours, the keyboard order and the hand-cursor rule here.
    giveDesignColours();
    setTabOrderByIndex();
    installHandCursorRule();

    app::applySkin(*this, m_installationFolder);
    platform::centerForm(*this);
    loadMouseIcon();
    app::maybeOpenHomePage(m_services.clock, m_services.random, m_services.urlOpener);
    if (!m_splash) {
        m_splash = std::make_unique<Splash>(m_services, m_writer, m_installationFolder);
    }
    m_splash->showSplash();
    if (m_unloaded) {
        return false;
    }
    setWindowTitle(platform::kApplicationTitle);
    fileListView->setHeaderLabels({QStringLiteral("Excel File(s)")});
    fileListView->setColumnWidth(0, app::twipsToPixels(kListColumnWidth));
    restoreMatchCase();
    restorePage();
    fileListView->setFocus();
    return true;
}

void MainWindow::loadMouseIcon() {
    const QString path = m_installationFolder + kCursorFile;
    if (platform::fileExists(path)) {
        // A file that does not load as a cursor leaves the window without a mouse icon.
        m_mouseIcon = platform::loadCursorFile(path);
    }
}

// Only "0" and "1" are values the program writes; anything else reads as the default.
void MainWindow::restoreMatchCase() {
    const QString text = platform::readSetting(m_services.settings, kCheck4Key, "0");
    bool ok = false;
    const short value = text.trimmed().toShort(&ok);
    matchCase->setChecked(ok && value == 1);
}

void MainWindow::restorePage() {
    const QString text = platform::readSetting(m_services.settings, kTabSelKey, "0");
    bool ok = false;
    int index = text.trimmed().toInt(&ok);
    if (!ok || index < 0 || index >= pageTabs->count()) {
        index = 0;
    }
    // Restoring the page is a read: it writes nothing back.
    m_restoring = true;
    pageTabs->setCurrentIndex(index);
    m_restoring = false;
}

void MainWindow::saveMatchCase() {
    m_writer.write(kCheck4Key, matchCase->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void MainWindow::savePage(int) {
    if (m_restoring) {
        return;
    }
    m_writer.write(kTabSelKey, QString::number(pageTabs->currentIndex()));
}

void MainWindow::showHelp() {
    m_services.messageBox.show(kHelpText, platform::kApplicationTitle, platform::Buttons::Ok,
                               platform::Icon::None);
}

void MainWindow::setMousePointer(int pointer) {
    m_pointer = pointer;
    if (pointer == platform::kPointerHourglass) {
        setCursor(Qt::WaitCursor);
    } else if (pointer == platform::kPointerCustom && m_mouseIcon) {
        setCursor(*m_mouseIcon);
    } else {
        unsetCursor();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (m_unloaded) {
        return;
    }
    m_unloaded = true;
    if (m_splash) {
        m_splash->abort();
    }
    emit unloaded();
}

// The rule watches mouse moves over every push button (the hand), and over the window's
// background, findListLabel, replaceListLabel, matchCase and every part of pageTabs's own surface
// (the arrow). Qt drops a move over a widget that does not track the mouse, so moves over the other
// controls reach nobody and change nothing; a move that a watched widget passes on to its
// parent is acted on only by the widget directly under the mouse.
void MainWindow::installHandCursorRule() {
    QList<QWidget*> watched{this, pageTabs, pageTabs->tabBar(), matchCase};
    if (auto* stack = pageTabs->findChild<QStackedWidget*>()) {
        watched.append(stack);
    }
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        watched.append(m_pages[i]);
        watched.append(m_pageAreas[i]);
    }
    for (const char* name : {"Label3", "Label4"}) {
        if (auto* label = findChild<QWidget*>(QLatin1String(name))) {
            watched.append(label);
        }
    }
    const auto buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        watched.append(button);
    }
    for (QWidget* widget : watched) {
        widget->setMouseTracking(true);
        m_pointerWatched.insert(widget);
        widget->removeEventFilter(this);
        widget->installEventFilter(this);
    }
}

void MainWindow::followHandCursorRule(int pointer) {
    if (m_pointer == platform::kPointerHourglass || m_pointer == pointer) {
        return;
    }
    setMousePointer(pointer);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::LayoutRequest:
        if (watched == pageTabs || watched == m_pages[0] || watched == m_pages[1] ||
            qobject_cast<QStackedWidget*>(watched) != nullptr) {
            placePageAreas();
        }
        break;
    case QEvent::MouseMove: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || !m_pointerWatched.contains(widget)) {
            break;
        }
        if (qobject_cast<QPushButton*>(widget) != nullptr) {
            followHandCursorRule(platform::kPointerCustom);
        } else if (widget->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()) ==
                   nullptr) {
            followHandCursorRule(platform::kPointerDefault);
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
