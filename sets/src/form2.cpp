// The Load Sets dialog: its controls, its load, and its four buttons.
#include "sets/form2.h"

#include "appearance.h"
#include "sets/set_list.h"
#include "sets/sets_file.h"
#include "sets/text_file.h"

#include "platform/appearance.h"
#include "platform/cursor_file.h"
#include "platform/shared_routines.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace sets {
namespace {

constexpr auto kSeparatorKey = "Text2";

// Removes leading and trailing blanks (the space character only, not tabs).
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') {
        ++begin;
    }
    while (end > begin && text[end - 1] == u' ') {
        --end;
    }
    return text.sliced(begin, end - begin);
}

} // namespace

Form2::Form2(SetList& sets, const platform::Services& services, const QString& installationFolder,
             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_sets(sets), m_services(services), m_installationFolder(installationFolder) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Load Sets"));
    setFont(designFont(kTextPoints));
    setFixedSize(twipsRect(0, 0, 6000, 1620).size());
    setModal(true);

    // room: the width up to the box beside the label. Where the design's width cuts the
    // caption short in this font, the label takes what it needs of that room.
    const auto label = [this](const char* name, const QString& caption, QRect design, int room) {
        auto* widget = new QLabel(caption, this);
        widget->setObjectName(QString::fromLatin1(name));
        const int needed = widget->fontMetrics().horizontalAdvance(caption) + 1;
        design.setWidth(std::clamp(needed, design.width(), std::max(design.width(), room)));
        widget->setGeometry(design);
        return widget;
    };
    const auto textBox = [this](const char* name, QRect design) {
        auto* widget = new QLineEdit(this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(design);
        return widget;
    };
    const auto button = [this](const char* name, const QString& caption, QRect design) {
        auto* widget = new QPushButton(caption, this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(designFont(kButtonPoints));
        // No button answers the Enter key: Load runs only when it is clicked.
        widget->setAutoDefault(false);
        widget->setGeometry(design);
        return widget;
    };
    Label1[0] = label("Label1_0", QStringLiteral("File To Load:"), twipsRect(120, 180, 1050, 225),
                      twipsRect(0, 0, 1305 - 120, 0).width());
    Text1 = textBox("Text1", twipsRect(1305, 120, 4020, 345));
    PushButton16 = button("PushButton16", QStringLiteral("..."), twipsRect(5445, 120, 440, 345));
    Label1[1] = label("Label1_1", QStringLiteral("Separator:"), twipsRect(120, 660, 900, 225),
                      twipsRect(0, 0, 1305 - 120, 0).width());
    Text2 = textBox("Text2", twipsRect(1305, 600, 780, 345));
    PushButton3 = button("PushButton3", QStringLiteral("Help"), twipsRect(4590, 600, 1290, 405));
    PushButton1 = button("PushButton1", QStringLiteral("Load"), twipsRect(120, 1080, 2850, 400));
    PushButton2 = button("PushButton2", QStringLiteral("Cancel"), twipsRect(3060, 1080, 2820, 400));

    // Tab indexes: Text1 1, Text2 3, Load 4, Cancel 5, "..." 6, Help 7.
    QWidget::setTabOrder(Text1, Text2);
    QWidget::setTabOrder(Text2, PushButton1);
    QWidget::setTabOrder(PushButton1, PushButton2);
    QWidget::setTabOrder(PushButton2, PushButton16);
    QWidget::setTabOrder(PushButton16, PushButton3);

    auto* rule = new HandCursorRule(m_pointer, this);
    for (QPushButton* each : {PushButton16, PushButton3, PushButton1, PushButton2}) {
        rule->addButton(*each);
    }
    rule->addBackground(*this);
    // Moves over the other controls change nothing, so they must not reach the background.
    for (QWidget* each : std::initializer_list<QWidget*>{Label1[0], Label1[1], Text1, Text2}) {
        each->setAttribute(Qt::WA_NoMousePropagation);
    }

    connect(PushButton16, &QPushButton::clicked, this, &Form2::PushButton16_Click);
    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form2::PushButton3_Click);
    connect(Text2, &QLineEdit::textChanged, this, &Form2::Text2_Change);

    Form_Load();
}

void Form2::Form_Load() {
    platform::SetFormColors(*this);
    platform::CenterForm(*this);
    const QString cursorFile = m_installationFolder + QStringLiteral("/HAND-M.CUR");
    if (platform::FileExists(cursorFile)) {
        m_pointer.setMouseIcon(platform::LoadCursorFile(cursorFile));
    }
    // Text2_Change writes the value back to the setting.
    Text2->setText(platform::ReadSetting(m_services.settings, kSeparatorKey, kDefaultSeparator));
}

QString Form2::helpText() {
    return QStringLiteral(
        "File that you load should look like this:\r\rlarch::l\rvetch::v\rtop::summit");
}

void Form2::Text2_Change(const QString& text) {
    // Every keystroke is stored; a store that cannot be written costs only the remembered
    // separator, and a message per keystroke would help nobody.
    platform::WriteSetting(m_services.settings, kSeparatorKey, text);
}

void Form2::PushButton16_Click() {
    platform::FileDialogRequest request;
    request.title = QStringLiteral("Select Text File");
    request.filter = QStringLiteral("Text Files (*.txt)");
    const QString chosen = m_services.fileDialogs.getOpenFileName(request);
    if (!chosen.isEmpty()) {
        Text1->setText(chosen);
    }
}

void Form2::PushButton1_Click() {
    const QString separator = Text2->text();
    if (separator.isEmpty()) {
        m_services.messageBox.show(QStringLiteral("You must enter separating character(s)."),
                                   platform::kApplicationTitle, platform::Buttons::Ok,
                                   platform::Icon::None);
        return;
    }
    const QString path = Text1->text();
    if (trimBlanks(path).isEmpty()) {
        return;
    }
    if (!platform::FileExists(path)) {
        m_services.messageBox.show(path + QStringLiteral(" not found."),
                                   QStringLiteral("File Not Found"), platform::Buttons::Ok,
                                   platform::Icon::Critical);
        return;
    }
    // A file that cannot be read, or is no text, is reported and the dialog stays open, as
    // for the other failed checks; the set list is untouched.
    const TextFileContent content = ReadTextFile(path);
    if (!content.ok()) {
        m_services.messageBox.show(content.error, platform::kApplicationTitle,
                                   platform::Buttons::Ok, platform::Icon::Critical);
        return;
    }
    const ParseOutcome outcome = ParseSetsText(content.text, separator, m_sets);
    switch (outcome.status) {
    case ParseOutcome::Status::Loaded:
        break;
    case ParseOutcome::Status::TextTooLong:
        m_services.messageBox.show(textTooLongMessage(path, outcome.line),
                                   platform::kApplicationTitle, platform::Buttons::Ok,
                                   platform::Icon::Critical);
        return;
    case ParseOutcome::Status::ListFull:
        m_services.messageBox.show(listFullMessage() + QStringLiteral(" The sets from line ") +
                                       QString::number(outcome.line) + QStringLiteral(" of ") +
                                       path + QStringLiteral(" on were not loaded."),
                                   platform::kApplicationTitle, platform::Buttons::Ok,
                                   platform::Icon::None);
        break;
    }
    accept();
}

void Form2::PushButton2_Click() {
    reject();
}

void Form2::PushButton3_Click() {
    m_services.messageBox.show(helpText(), platform::kApplicationTitle, platform::Buttons::Ok,
                               platform::Icon::None);
}

} // namespace sets
