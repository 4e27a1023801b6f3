// Qt implementations of the platform services. Nothing here is reached by tests except
// through the settings store; every other service is replaced by a scripted fake there.
#include "platform/qt_services.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>
#include <QThread>
#include <QTime>
#include <QUrl>

namespace platform {
namespace {

// Message texts may hold CR, LF or CR LF as line breaks; a QLabel breaks only on LF.
QString displayText(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QMessageBox::Icon toQtIcon(Icon icon) {
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

constexpr auto kOrganisation = "Quillmark";
constexpr auto kApplication = "Quillmark";
constexpr auto kSection = "Varnocliff";

} // namespace

Answer QtMessageBox::show(const QString& text, const QString& title, Buttons buttons, Icon icon) {
    QMessageBox box(m_parent);
    box.setWindowTitle(title.isEmpty() ? kApplicationTitle : title);
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(text));
    box.setIcon(toQtIcon(icon));
    Answer onEscape = Answer::Ok;
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        onEscape = Answer::Cancel;
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        onEscape = Answer::No;
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        onEscape = Answer::Cancel;
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return onEscape;
    }
}

std::optional<QString> QtInputBox::getText(const QString& prompt, const QString& title,
                                           const QString& defaultText) {
    bool ok = false;
    QString text = QInputDialog::getText(m_parent, title.isEmpty() ? kApplicationTitle : title,
                                         displayText(prompt), QLineEdit::Normal, defaultText, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

// Qt's own dialog matches name patterns whatever their case, but "*.*" only names with a dot:
// while a filter "(*.*)" is chosen, every name is listed, as the filter says.
static void listEveryNameForDotStar(QFileDialog& dialog) {
    auto* model = dialog.findChild<QFileSystemModel*>();
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (model == nullptr || types == nullptr) {
        return;
    }
    QObject::connect(types, &QComboBox::currentTextChanged, &dialog, [model](const QString& f) {
        if (f.endsWith(QStringLiteral("(*.*)"))) {
            // After the dialog has set the chosen filter's own patterns.
            QMetaObject::invokeMethod(
                model, [model] { model->setNameFilters({QStringLiteral("*")}); },
                Qt::QueuedConnection);
        }
    });
}

QStringList QtFileDialogs::getOpenFileNames(const FileDialogRequest& request) {
    QString start = request.directory;
    if (!request.fileName.isEmpty()) {
        start = start.isEmpty() ? request.fileName : start + QLatin1Char('/') + request.fileName;
    }
    QFileDialog dialog(m_parent, request.title, start, request.filter);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    listEveryNameForDotStar(dialog);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

QString QtFileDialogs::getOpenFileName(const FileDialogRequest& request) {
    QString start = request.directory;
    if (!request.fileName.isEmpty()) {
        start = start.isEmpty() ? request.fileName : start + QLatin1Char('/') + request.fileName;
    }
    return QFileDialog::getOpenFileName(m_parent, request.title, start, request.filter);
}

QString QtFileDialogs::getSaveFileName(const FileDialogRequest& request) {
    QString start = request.directory;
    if (!request.fileName.isEmpty()) {
        start = start.isEmpty() ? request.fileName : start + QLatin1Char('/') + request.fileName;
    }
    QFileDialog::Options options;
    if (!request.confirmOverwrite) {
        options |= QFileDialog::DontConfirmOverwrite;
    }
    return QFileDialog::getSaveFileName(m_parent, request.title, start, request.filter, nullptr,
                                        options);
}

QString QtFolderBrowser::browseForFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(m_parent, title);
}

void QtUrlOpener::open(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

std::optional<QString> QtSettingsStore::read(const QString& key) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    settings.beginGroup(kSection);
    if (!settings.contains(key)) {
        return std::nullopt;
    }
    const QVariant value = settings.value(key);
    // A value edited by hand into a list or another type does not convert: treat it as absent.
    if (value.typeId() == QMetaType::QStringList || !value.canConvert<QString>()) {
        return std::nullopt;
    }
    return value.toString();
}

bool QtSettingsStore::write(const QString& key, const QString& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    settings.beginGroup(kSection);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

double QtClock::secondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void QtClock::sleepMs(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

void QtEventPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void StdRandomDraw::seed(double seedValue) {
    m_engine.seed(static_cast<std::uint64_t>(seedValue * 1000.0));
}

double StdRandomDraw::next() {
    return std::generate_canonical<double, 53>(m_engine);
}

void QtServices::setDialogParent(QWidget* window) {
    m_messageBox.setParent(window);
    m_inputBox.setParent(window);
    m_fileDialogs.setParent(window);
    m_folderBrowser.setParent(window);
}

Services QtServices::services() {
    return Services{m_messageBox, m_inputBox, m_fileDialogs, m_folderBrowser, m_urlOpener,
                    m_settings,   m_clock,    m_events,      m_random};
}

} // namespace platform
