// Form1: construction of the controls, Form_Load, closing, the settings of Check4 and
// TabControl1, the Help button and the hand-cursor rule.
#include "form1.h"

#include "fonts.h"
#include "main_module.h"
#include "platform/cursor_file.h"
#include "splash.h"
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
    button->setFont(app::ArialFont(kButtonPoints, true));
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

Form1::Form1(platform::Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_services(services), m_writer(services.settings, services.messageBox),
      m_installationFolder(platform::InstallationFolder()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(app::WindowIcon());
    setFont(app::ArialFont(kTextPoints, true));
    setFixedSize(app::TwipsToPixels(kClientWidth), app::TwipsToPixels(kClientHeight));

    ListView1 = named(new QTreeWidget(this), "ListView1");
    ListView1->setGeometry(app::TwipsRect(120, 120, 6360, 1575));
    ListView1->setToolTip(QStringLiteral(
        "Drag and drop files here. Double-click item to remove it. Move bar to right and out "
        "of window to reveal full names."));
    ListView1->setColumnCount(1);
    ListView1->setHeaderLabels({QString()});
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);

    PushButton3 = makeButton("PushButton3", QStringLiteral("Add Excel File(s)"), this,
                             app::TwipsRect(120, 1800, 2880, 405));
    PushButton6 = makeButton("PushButton6", QStringLiteral("Add All Excel File(s) In Folder"), this,
                             app::TwipsRect(3120, 1800, 3360, 405));

    TabControl1 = named(new QTabWidget(this), "TabControl1");
    TabControl1->setGeometry(app::TwipsRect(120, 2280, 6360, 3705));
    TabControl1->tabBar()->setFont(app::ArialFont(kButtonPoints, true));
    TabControl1->setUsesScrollButtons(false);
    QWidget* page0 = addPage(QStringLiteral("Find and replace"));
    addPage(QStringLiteral("Multiple find and replace (sets)"));

    Label1 = named(new QLabel(QStringLiteral(" Find what (exact case):"), page0), "Label1");
    Label1->setGeometry(app::TwipsRect(240, 480, 5415, 255));
    Text1 = named(new QPlainTextEdit(page0), "Text1");
    Text1->setGeometry(app::TwipsRect(240, 720, 5850, 1140));
    Text1->setTabChangesFocus(true);
    Label2 = named(new QLabel(QStringLiteral(" Replace with:"), page0), "Label2");
    Label2->setGeometry(app::TwipsRect(240, 2040, 6015, 255));
    Text2 = named(new QPlainTextEdit(page0), "Text2");
    Text2->setGeometry(app::TwipsRect(240, 2280, 5850, 1140));
    Text2->setTabChangesFocus(true);

    Frame1 = named(new QGroupBox(QStringLiteral("Case Option"), this), "Frame1");
    Frame1->setGeometry(app::TwipsRect(120, 6080, 6360, 690));
    Check4 =
        named(new QCheckBox(QStringLiteral("Match case - case must match when finding"), Frame1),
              "Check4");
    Check4->setGeometry(app::TwipsRect(240, 300, 4095, 255));

    PushButton7 = makeButton("PushButton7", QStringLiteral("Start Replacing"), this,
                             app::TwipsRect(120, 6880, 5280, 405));
    PushButton16 = makeButton("PushButton16", QStringLiteral("Help"), this,
                              app::TwipsRect(5520, 6880, 960, 405));

    ProgressBar1 = named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setGeometry(app::TwipsRect(120, 7410, 6360, 405));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    giveDesignColours();

    connect(Check4, &QCheckBox::clicked, this, &Form1::Check4_Click);
    connect(TabControl1, &QTabWidget::currentChanged, this, &Form1::TabControl1_SelectedChanged);
    connect(PushButton16, &QPushButton::clicked, this, &Form1::PushButton16_Click);
}

Form1::~Form1() = default;

// A page of TabControl1 holds one area that covers the whole tab control, moved up and left
// by the page's own offset: the page's controls are then placed in the tab control's
// coordinates, and the page clips what would fall on the tab captions.
QWidget* Form1::addPage(const QString& caption) {
    const int index = TabControl1->count();
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabControl1Page%1").arg(index));
    auto* area = new QWidget(page);
    area->setObjectName(QStringLiteral("TabControl1Area%1").arg(index));
    TabControl1->addTab(page, caption);
    m_pages.at(static_cast<std::size_t>(index)) = page;
    m_pageAreas.at(static_cast<std::size_t>(index)) = area;
    page->installEventFilter(this);
    if (auto* stack = TabControl1->findChild<QStackedWidget*>()) {
        stack->installEventFilter(this);
    }
    TabControl1->installEventFilter(this);
    placePageAreas();
    return area;
}

void Form1::placePageAreas() {
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] == nullptr) {
            continue;
        }
        const QPoint offset = m_pages[i]->mapTo(TabControl1, QPoint(0, 0));
        m_pageAreas[i]->setGeometry(QRect(-offset, TabControl1->size()));
    }
}

// White for the window, the frame, the check box and every label; the tab control and the
// progress bar keep the style's own colours rather than the window's.
void Form1::giveDesignColours() {
    setBackground(*this, Qt::white);
    const QColor styleWindow = QApplication::palette().color(QPalette::Window);
    setBackground(*TabControl1, styleWindow);
    TabControl1->setAutoFillBackground(false);
    setBackground(*ProgressBar1, styleWindow);
    ProgressBar1->setAutoFillBackground(false);
    setBackground(*Frame1, Qt::white);
    setBackground(*Check4, Qt::white);
    const auto labels = findChildren<QLabel*>();
    for (QLabel* label : labels) {
        setBackground(*label, Qt::white);
    }
}

void Form1::setTabOrderByIndex() {
    QWidget* previous = nullptr;
    for (const char* name : kTabOrder) {
        auto* widget = name == QLatin1String("TabControl1")
                           ? TabControl1
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

bool Form1::Form_Load() {
    // The sets page is filled after construction: its labels and buttons join the design
    // colours, the keyboard order and the hand-cursor rule here.
    giveDesignColours();
    setTabOrderByIndex();
    installHandCursorRule();

    Main::ApplySkin(*this, m_installationFolder);
    platform::CenterForm(*this);
    loadMouseIcon();
    Main::MaybeOpenHomePage(m_services.clock, m_services.random, m_services.urlOpener);
    if (!m_splash) {
        m_splash = std::make_unique<Splash>(m_services, m_writer, m_installationFolder);
    }
    m_splash->SplashShow();
    if (m_unloaded) {
        return false;
    }
    setWindowTitle(platform::kApplicationTitle);
    ListView1->setHeaderLabels({QStringLiteral("Excel File(s)")});
    ListView1->setColumnWidth(0, app::TwipsToPixels(kListColumnWidth));
    restoreCheck4();
    restoreTabSel();
    ListView1->setFocus();
    return true;
}

void Form1::loadMouseIcon() {
    const QString path = m_installationFolder + kCursorFile;
    if (platform::FileExists(path)) {
        // A file that does not load as a cursor leaves the window without a mouse icon.
        m_mouseIcon = platform::LoadCursorFile(path);
    }
}

// Only "0" and "1" are values the program writes; anything else reads as the default.
void Form1::restoreCheck4() {
    const QString text = platform::ReadSetting(m_services.settings, kCheck4Key, "0");
    bool ok = false;
    const short value = text.trimmed().toShort(&ok);
    Check4->setChecked(ok && value == 1);
}

void Form1::restoreTabSel() {
    const QString text = platform::ReadSetting(m_services.settings, kTabSelKey, "0");
    bool ok = false;
    int index = text.trimmed().toInt(&ok);
    if (!ok || index < 0 || index >= TabControl1->count()) {
        index = 0;
    }
    // Restoring the page is a read: it writes nothing back.
    m_restoring = true;
    TabControl1->setCurrentIndex(index);
    m_restoring = false;
}

void Form1::Check4_Click() {
    m_writer.write(kCheck4Key, Check4->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void Form1::TabControl1_SelectedChanged(int) {
    if (m_restoring) {
        return;
    }
    m_writer.write(kTabSelKey, QString::number(TabControl1->currentIndex()));
}

void Form1::PushButton16_Click() {
    m_services.messageBox.show(kHelpText, platform::kApplicationTitle, platform::Buttons::Ok,
                               platform::Icon::None);
}

void Form1::setMousePointer(int pointer) {
    m_pointer = pointer;
    if (pointer == platform::kPointerHourglass) {
        setCursor(Qt::WaitCursor);
    } else if (pointer == platform::kPointerCustom && m_mouseIcon) {
        setCursor(*m_mouseIcon);
    } else {
        unsetCursor();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
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
// background, Label3, Label4, Check4 and every part of TabControl1's own surface (the arrow).
// Qt drops a move over a widget that does not track the mouse, so moves over the other
// controls reach nobody and change nothing; a move that a watched widget passes on to its
// parent is acted on only by the widget directly under the mouse.
void Form1::installHandCursorRule() {
    QList<QWidget*> watched{this, TabControl1, TabControl1->tabBar(), Check4};
    if (auto* stack = TabControl1->findChild<QStackedWidget*>()) {
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

void Form1::followHandCursorRule(int pointer) {
    if (m_pointer == platform::kPointerHourglass || m_pointer == pointer) {
        return;
    }
    setMousePointer(pointer);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::LayoutRequest:
        if (watched == TabControl1 || watched == m_pages[0] || watched == m_pages[1] ||
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
