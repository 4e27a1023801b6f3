// The Load Sets dialog: its controls, its load, and its four buttons.
#include "sets/load_sets_dialog.h"

#include "sets/set_list.h"
#include "sets/sets_file.h"
#include "sets/text_file.h"

#include "platform/design.h"
#include "platform/hand_cursor.h"
#include "platform/shared_routines.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace sets {
namespace {

using platform::kButtonPoints;
using platform::kTextPoints;
using platform::twipsRect;

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

LoadSetsDialog::LoadSetsDialog(SetList& sets, const platform::Services& services,
                               const QString& installationFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_sets(sets), m_services(services), m_installationFolder(installationFolder) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Load Sets"));
    setFont(platform::arialFont(kTextPoints));
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
        widget->setFont(platform::arialFont(kButtonPoints));
        // No button answers the Enter key: Load runs only when it is clicked.
        widget->setAutoDefault(false);
        widget->setGeometry(design);
        return widget;
    };
    labels[0] = label("Label1_0", QStringLiteral("File To Load:"), twipsRect(120, 180, 1050, 225),
                      twipsRect(0, 0, 1305 - 120, 0).width());
    fileBox = textBox("Text1", twipsRect(1305, 120, 4020, 345));
    browseButton = button("PushButton16", QStringLiteral("..."), twipsRect(5445, 120, 440, 345));
    labels[1] = label("Label1_1", QStringLiteral("Separator:"), twipsRect(120, 660, 900, 225),
                      twipsRect(0, 0, 1305 - 120, 0).width());
    separatorBox = textBox("Text2", twipsRect(1305, 600, 780, 345));
    helpButton = button("PushButton3", QStringLiteral("Help"), twipsRect(4590, 600, 1290, 405));
    loadButton = button("PushButton1", QStringLiteral("Load"), twipsRect(120, 1080, 2850, 400));
    cancelButton =
        button("PushButton2", QStringLiteral("Cancel"), twipsRect(3060, 1080, 2820, 400));

    // Tab indexes: fileBox 1, separatorBox 3, Load 4, Cancel 5, "..." 6, Help 7.
    QWidget::setTabOrder(fileBox, separatorBox);
    QWidget::setTabOrder(separatorBox, loadButton);
    QWidget::setTabOrder(loadButton, cancelButton);
    QWidget::setTabOrder(cancelButton, browseButton);
    QWidget::setTabOrder(browseButton, helpButton);

    auto* rule = new platform::HandCursorRule(m_pointer, this);
    for (QPushButton* each : {browseButton, helpButton, loadButton, cancelButton}) {
        rule->addButton(*each);
    }
    rule->addBackground(*this);
    // Moves over the other controls change nothing, so they must not reach the background.
    for (QWidget* each :
         std::initializer_list<QWidget*>{labels[0], labels[1], fileBox, separatorBox}) {
        each->setAttribute(Qt::WA_NoMousePropagation);
    }

    connect(browseButton, &QPushButton::clicked, this, &LoadSetsDialog::browse);
    connect(loadButton, &QPushButton::clicked, this, &LoadSetsDialog::load);
    connect(cancelButton, &QPushButton::clicked, this, &LoadSetsDialog::reject);
    connect(helpButton, &QPushButton::clicked, this, &LoadSetsDialog::showHelp);
    connect(separatorBox, &QLineEdit::textChanged, this, &LoadSetsDialog::saveSeparator);

    prepare();
}

void LoadSetsDialog::prepare() {
    platform::setFormColors(*this);
    platform::centerForm(*this);
    m_pointer.setMouseIcon(platform::loadHandCursor(m_installationFolder));
    // saveSeparator writes the value back to the setting.
    separatorBox->setText(
        platform::readSetting(m_services.settings, kSeparatorKey, kDefaultSeparator));
}

QString LoadSetsDialog::helpText() {
    return QStringLiteral(
        "File that you load should look like this:\r\rlarch::l\rvetch::v\rtop::summit");
}

void LoadSetsDialog::saveSeparator(const QString& text) {
    // Every keystroke is stored; a store that cannot be written costs only the remembered
    // separator, and a message per keystroke would help nobody.
    platform::writeSetting(m_services.settings, kSeparatorKey, text);
}

void LoadSetsDialog::browse() {
    platform::FileDialogRequest request;
    request.title = QStringLiteral("Select Text File");
    request.filter = QStringLiteral("Text Files (*.txt)");
    const QString chosen = m_services.fileDialogs.getOpenFileName(request);
    if (!chosen.isEmpty()) {
        fileBox->setText(chosen);
    }
}

void LoadSetsDialog::load() {
    const QString separator = separatorBox->text();
    if (separator.isEmpty()) {
        m_services.messageBox.show(QStringLiteral("You must enter separating character(s)."),
                                   platform::kApplicationTitle, platform::Buttons::Ok,
                                   platform::Icon::None);
        return;
    }
    const QString path = fileBox->text();
    if (trimBlanks(path).isEmpty()) {
        return;
    }
    if (!platform::fileExists(path)) {
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

void LoadSetsDialog::showHelp() {
    m_services.messageBox.show(helpText(), platform::kApplicationTitle, platform::Buttons::Ok,
                               platform::Icon::None);
}

} // namespace sets
