// Scripted fakes of every platform service. Each records what it was asked and answers
// from a queue the test fills; an unscripted call answers a neutral default (Cancel,
// empty) and is recorded, so a test can assert it did not happen.
#pragma once

#include "platform/mouse_pointer.h"
#include "platform/services.h"

#include <QMap>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace fakes {

struct MessageCall {
    QString text;
    QString title;
    platform::Buttons buttons;
    platform::Icon icon;
};

class FakeMessageBox final : public platform::MessageBox {
public:
    platform::Answer show(const QString& text, const QString& title, platform::Buttons buttons,
                          platform::Icon icon) override {
        calls.push_back({text, title, buttons, icon});
        if (onShow) {
            onShow(calls.back());
        }
        if (!answers.isEmpty()) {
            return answers.dequeue();
        }
        switch (buttons) {
        case platform::Buttons::Ok:
            return platform::Answer::Ok;
        case platform::Buttons::YesNo:
            return platform::Answer::No;
        default:
            return platform::Answer::Cancel;
        }
    }
    std::vector<MessageCall> calls;
    QQueue<platform::Answer> answers;
    /// Called while the box is "open", for tests that act during a modal box.
    std::function<void(const MessageCall&)> onShow;
};

struct InputCall {
    QString prompt;
    QString title;
    QString defaultText;
};

class FakeInputBox final : public platform::InputBox {
public:
    std::optional<QString> getText(const QString& prompt, const QString& title,
                                   const QString& defaultText) override {
        calls.push_back({prompt, title, defaultText});
        if (answers.isEmpty()) {
            return std::nullopt;
        }
        return answers.dequeue();
    }
    std::vector<InputCall> calls;
    /// nullopt answers Cancel.
    QQueue<std::optional<QString>> answers;
};

class FakeFileDialogs final : public platform::FileDialogs {
public:
    QStringList getOpenFileNames(const platform::FileDialogRequest& request) override {
        openManyCalls.push_back(request);
        return openManyAnswers.isEmpty() ? QStringList{} : openManyAnswers.dequeue();
    }
    QString getOpenFileName(const platform::FileDialogRequest& request) override {
        openCalls.push_back(request);
        return openAnswers.isEmpty() ? QString{} : openAnswers.dequeue();
    }
    QString getSaveFileName(const platform::FileDialogRequest& request) override {
        saveCalls.push_back(request);
        return saveAnswers.isEmpty() ? QString{} : saveAnswers.dequeue();
    }
    std::vector<platform::FileDialogRequest> openManyCalls, openCalls, saveCalls;
    QQueue<QStringList> openManyAnswers;
    QQueue<QString> openAnswers, saveAnswers;
};

class FakeFolderBrowser final : public platform::FolderBrowser {
public:
    QString browseForFolder(const QString& title) override {
        titles.push_back(title);
        return answers.isEmpty() ? QString{} : answers.dequeue();
    }
    QStringList titles;
    QQueue<QString> answers;
};

class FakeUrlOpener final : public platform::UrlOpener {
public:
    void open(const QString& url) override { opened.push_back(url); }
    QStringList opened;
};

/// An in-memory store; `writes` keeps every write in order.
class MemorySettingsStore final : public platform::SettingsStore {
public:
    std::optional<QString> read(const QString& key) override {
        reads.push_back(key);
        if (!values.contains(key)) {
            return std::nullopt;
        }
        return values.value(key);
    }
    bool write(const QString& key, const QString& value) override {
        writes.push_back({key, value});
        if (failWrites) {
            return false;
        }
        values.insert(key, value);
        return true;
    }
    QMap<QString, QString> values;
    QStringList reads;
    std::vector<std::pair<QString, QString>> writes;
    bool failWrites = false;
};

/// Time moves only when the program sleeps or a test advances it.
class FakeClock final : public platform::Clock {
public:
    double secondsSinceMidnight() override { return timeOfDay; }
    std::int64_t monotonicMs() override { return nowMs; }
    void sleepMs(int ms) override {
        sleeps.push_back(ms);
        nowMs += ms;
    }
    double timeOfDay = 0.0;
    std::int64_t nowMs = 0;
    std::vector<int> sleeps;
};

class FakeEventPump final : public platform::EventPump {
public:
    void processEvents() override {
        ++count;
        if (onProcess) {
            onProcess();
        }
    }
    int count = 0;
    std::function<void()> onProcess;
};

class FakeRandomDraw final : public platform::RandomDraw {
public:
    void seed(double seedValue) override { seeds.push_back(seedValue); }
    double next() override { return draws.isEmpty() ? 0.0 : draws.dequeue(); }
    std::vector<double> seeds;
    QQueue<double> draws;
};

class FakeMousePointer final : public platform::MousePointer {
public:
    int mousePointer() const override { return pointer; }
    void setMousePointer(int value) override {
        pointer = value;
        history.push_back(value);
    }
    int pointer = platform::kPointerDefault;
    std::vector<int> history;
};

/// One of each fake and the Services bundle over them.
struct FakeServices {
    FakeMessageBox messageBox;
    FakeInputBox inputBox;
    FakeFileDialogs fileDialogs;
    FakeFolderBrowser folderBrowser;
    FakeUrlOpener urlOpener;
    MemorySettingsStore settings;
    FakeClock clock;
    FakeEventPump events;
    FakeRandomDraw random;

    platform::Services services() {
        return platform::Services{messageBox, inputBox, fileDialogs, folderBrowser, urlOpener,
                                  settings,   clock,    events,      random};
    }
};

} // namespace fakes
