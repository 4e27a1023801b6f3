// MainWindow: construction of the controls, start, closing, the settings of matchCase and
// pageTabs, the Help button and the hand-cursor rule.
#include "main_window.h"

#include "splash.h"
#include "start_up.h"
#include "window_icon.h"

#include "platform/design.h"
#include "platform/hand_cursor.h"
#include "platform/shared_routines.h"
#include "platform/tab_pages.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
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

using platform::kButtonPoints;
using platform::kTextPoints;
using platform::twipsRect;

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
    button->setFont(platform::arialFont(kButtonPoints));
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}

// Files belong to the file list: a text box refuses a drag that carries files or folders, so
// no "file:///" address lands in a find or replace text; plain text still drops.
class FileDropRefusal final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (drop->mimeData() != nullptr && drop->mimeData()->hasUrls()) {
                drop->ignore();
                return true;
            }
            break;
        }
        default:
            break;
        }
        return false;
    }
};

} // namespace

MainWindow::MainWindow(platform::Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_services(services), m_writer(services.settings, services.messageBox),
      m_installationFolder(platform::installationFolder()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(app::windowIcon());
    setFont(platform::arialFont(kTextPoints));
    setFixedSize(platform::twipsToPixels(kClientWidth), platform::twipsToPixels(kClientHeight));

    fileListView = named(new QTreeWidget(this), "ListView1");
    fileListView->setGeometry(twipsRect(120, 120, 6360, 1575));
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
                                twipsRect(120, 1800, 2880, 405));
    addFolderButton = makeButton("PushButton6", QStringLiteral("Add All Excel File(s) In Folder"),
                                 this, twipsRect(3120, 1800, 3360, 405));

    pageTabs = named(new QTabWidget(this), "TabControl1");
    pageTabs->setGeometry(twipsRect(120, 2280, 6360, 3705));
    pageTabs->tabBar()->setFont(platform::arialFont(kButtonPoints));
    pageTabs->setUsesScrollButtons(false);
    m_tabPages = new platform::TabPages(*pageTabs);
    QWidget* page0 = m_tabPages->addPage(QStringLiteral("Find and replace"));
    m_tabPages->addPage(QStringLiteral("Multiple find and replace (sets)"));

    findLabel = named(new QLabel(QStringLiteral(" Find what (exact case):"), page0), "Label1");
    findLabel->setGeometry(twipsRect(240, 480, 5415, 255));
    findText = named(new QPlainTextEdit(page0), "Text1");
    findText->setGeometry(twipsRect(240, 720, 5850, 1140));
    findText->setTabChangesFocus(true);
    replaceLabel = named(new QLabel(QStringLiteral(" Replace with:"), page0), "Label2");
    replaceLabel->setGeometry(twipsRect(240, 2040, 6015, 255));
    replaceText = named(new QPlainTextEdit(page0), "Text2");
    replaceText->setGeometry(twipsRect(240, 2280, 5850, 1140));
    replaceText->setTabChangesFocus(true);

    caseFrame = named(new QGroupBox(QStringLiteral("Case Option"), this), "Frame1");
    caseFrame->setGeometry(twipsRect(120, 6080, 6360, 690));
    matchCase =
        named(new QCheckBox(QStringLiteral("Match case - case must match when finding"), caseFrame),
              "Check4");
    matchCase->setGeometry(twipsRect(240, 300, 4095, 255));

    startButton = makeButton("PushButton7", QStringLiteral("Start Replacing"), this,
                             twipsRect(120, 6880, 5280, 405));
    helpButton =
        makeButton("PushButton16", QStringLiteral("Help"), this, twipsRect(5520, 6880, 960, 405));

    progressBar = named(new QProgressBar(this), "ProgressBar1");
    progressBar->setGeometry(twipsRect(120, 7410, 6360, 405));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);

    auto* refusal = new FileDropRefusal(this);
    for (QPlainTextEdit* box : {findText, replaceText}) {
        box->viewport()->installEventFilter(refusal);
    }

    giveDesignColours();

    connect(matchCase, &QCheckBox::clicked, this, &MainWindow::saveMatchCase);
    connect(pageTabs, &QTabWidget::currentChanged, this, &MainWindow::savePage);
    connect(helpButton, &QPushButton::clicked, this, &MainWindow::showHelp);
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::setsPage() const {
    return m_tabPages->area(1);
}

// White for the window, the frame, the check box and every label; the tab control and the
// progress bar keep the style's own colours rather than the window's.
void MainWindow::giveDesignColours() {
    platform::paintBackground(*this, platform::kDesignFace);
    const QColor styleWindow = QApplication::palette().color(QPalette::Window);
    platform::paintBackground(*pageTabs, styleWindow);
    pageTabs->setAutoFillBackground(false);
    platform::paintBackground(*progressBar, styleWindow);
    progressBar->setAutoFillBackground(false);
    platform::paintBackground(*caseFrame, platform::kDesignFace);
    platform::paintBackground(*matchCase, platform::kDesignFace);
    const auto labels = findChildren<QLabel*>();
    for (QLabel* label : labels) {
        platform::paintBackground(*label, platform::kDesignFace);
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
    m_pointer.setMouseIcon(platform::loadHandCursor(m_installationFolder));
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
    fileListView->setColumnWidth(0, platform::twipsToPixels(kListColumnWidth));
    restoreMatchCase();
    restorePage();
    fileListView->setFocus();
    return true;
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
    m_pointer.setMousePointer(pointer);
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
// background, Label3, Label4, Check4 and every part of the tab control's own surface (the
// arrow). Called again once the sets page is filled: a widget already watched is passed over.
void MainWindow::installHandCursorRule() {
    if (m_handCursorRule == nullptr) {
        m_handCursorRule = new platform::HandCursorRule(*this, this);
    }
    QList<QWidget*> backgrounds{this, pageTabs, pageTabs->tabBar(), matchCase};
    if (auto* stack = pageTabs->findChild<QStackedWidget*>()) {
        backgrounds.append(stack);
    }
    for (int i = 0; i < m_tabPages->count(); ++i) {
        backgrounds.append(m_tabPages->page(i));
        backgrounds.append(m_tabPages->area(i));
    }
    for (const char* name : {"Label3", "Label4"}) {
        if (auto* label = findChild<QWidget*>(QLatin1String(name))) {
            backgrounds.append(label);
        }
    }
    for (QWidget* widget : backgrounds) {
        m_handCursorRule->addBackground(*widget);
    }
    const auto buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        m_handCursorRule->addButton(*button);
    }
}
