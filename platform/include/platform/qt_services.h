// The Qt implementations of the platform services, created only in main.cpp.
#pragma once

#include "platform/services.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <random>

namespace platform {

class QtMessageBox final : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    Answer show(const QString& text, const QString& title, Buttons buttons, Icon icon) override;

private:
    QPointer<QWidget> m_parent;
};

class QtInputBox final : public InputBox {
public:
    explicit QtInputBox(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    std::optional<QString> getText(const QString& prompt, const QString& title,
                                   const QString& defaultText) override;

private:
    QPointer<QWidget> m_parent;
};

class QtFileDialogs final : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    QStringList getOpenFileNames(const FileDialogRequest& request) override;
    QString getOpenFileName(const FileDialogRequest& request) override;
    QString getSaveFileName(const FileDialogRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

class QtFolderBrowser final : public FolderBrowser {
public:
    explicit QtFolderBrowser(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    QString browseForFolder(const QString& title) override;

private:
    QPointer<QWidget> m_parent;
};

class QtUrlOpener final : public UrlOpener {
public:
    void open(const QString& url) override;
};

/// QSettings in the native per-user format: organisation and application "Quillmark",
/// group "Varnocliff". Every write is synced before returning.
class QtSettingsStore final : public SettingsStore {
public:
    std::optional<QString> read(const QString& key) override;
    bool write(const QString& key, const QString& value) override;
};

class QtClock final : public Clock {
public:
    QtClock() { m_timer.start(); }
    double secondsSinceMidnight() override;
    std::int64_t monotonicMs() override { return m_timer.elapsed(); }
    void sleepMs(int ms) override;

private:
    QElapsedTimer m_timer;
};

class QtEventPump final : public EventPump {
public:
    void processEvents() override;
};

class StdRandomDraw final : public RandomDraw {
public:
    void seed(double seedValue) override;
    double next() override;

private:
    std::mt19937_64 m_engine{0};
};

/// Owns one of each Qt service and hands out the Services bundle.
class QtServices {
public:
    /// Dialogs are parented to window once it exists.
    void setDialogParent(QWidget* window);
    Services services();

private:
    QtMessageBox m_messageBox;
    QtInputBox m_inputBox;
    QtFileDialogs m_fileDialogs;
    QtFolderBrowser m_folderBrowser;
    QtUrlOpener m_urlOpener;
    QtSettingsStore m_settings;
    QtClock m_clock;
    QtEventPump m_events;
    StdRandomDraw m_random;
};

} // namespace platform
