// Start Replacing over real widgets, a recording automation fake and scripted message boxes:
// validation order, the running-instance question, the calls per file, the failure list and
// the pointer.
#include "recording_automation.h"

#include "fakes/fake_services.h"
#include "run/run_controller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

class FixedLookup final : public run::RunningInstanceLookup {
public:
    std::optional<std::string> runningApplicationName() override { return name; }
    std::optional<run::RunningInstance> runningInstance() override {
        if (!name) {
            return std::nullopt;
        }
        return run::RunningInstance{*name, pid, replaceRun};
    }
    std::optional<std::string> name;
    long pid = 0;
    bool replaceRun = false;
};

// The controls of the main window that the run reads, outside any window.
struct Window {
    Window() {
        tabs.addTab(new QWidget, QStringLiteral("Find and replace"));
        tabs.addTab(new QWidget, QStringLiteral("Multiple find and replace (sets)"));
        list.setColumnCount(1);
    }
    run::RunControls controls() {
        return {&tabs, &text1, &text2, &combo1, &combo2, &check4, &list, &button};
    }
    void addFiles(const QStringList& paths) {
        for (const QString& path : paths) {
            list.addTopLevelItem(new QTreeWidgetItem(QStringList{path}));
        }
    }
    void addSet(const QString& find, const QString& replace) {
        combo1.addItem(find);
        combo2.addItem(replace);
    }
    QTabWidget tabs;
    QPlainTextEdit text1, text2;
    QComboBox combo1, combo2;
    QCheckBox check4;
    QTreeWidget list;
    QPushButton button;
};

QStringList texts(const std::vector<fakes::MessageCall>& calls) {
    QStringList shown;
    for (const auto& call : calls) {
        shown << call.text;
    }
    return shown;
}

QStringList lines(const std::vector<std::string>& calls) {
    QStringList converted;
    for (const std::string& call : calls) {
        converted << QString::fromStdString(call);
    }
    return converted;
}

} // namespace

class RunControllerTest : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        Window window;
        fakes::FakeMousePointer pointer;
        fakes::FakeMessageBox messages;
        fakes::RecordingFactory factory;
        FixedLookup lookup;
        run::RunController controller{window.controls(), pointer, messages, factory, lookup};
    };

private slots:
    void validationStopsWithOneMessage_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("text1");
        QTest::addColumn<int>("sets");
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("message");
        QTest::newRow("both missing") << 0 << "" << 0 << 0 << run::kNoFindText;
        QTest::newRow("no files") << 0 << "x" << 0 << 0 << run::kNoFiles;
        QTest::newRow("page 0 reads Text1 only") << 0 << "" << 2 << 1 << run::kNoFindText;
        QTest::newRow("page 1 reads the sets only") << 1 << "x" << 0 << 1 << run::kNoFindText;
        QTest::newRow("sets but no files") << 1 << "" << 1 << 0 << run::kNoFiles;
    }
    void validationStopsWithOneMessage() {
        QFETCH(int, page);
        QFETCH(QString, text1);
        QFETCH(int, sets);
        QFETCH(int, files);
        QFETCH(QString, message);
        Fixture f;
        f.lookup.name = "Microsoft Excel";
        f.window.tabs.setCurrentIndex(page);
        f.window.text1.setPlainText(text1);
        for (int i = 0; i < sets; ++i) {
            f.window.addSet(QStringLiteral("a"), QStringLiteral("b"));
        }
        for (int i = 0; i < files; ++i) {
            f.window.addFiles({QStringLiteral("f.xlsx")});
        }
        QTest::mouseClick(&f.window.button, Qt::LeftButton);
        QCOMPARE(texts(f.messages.calls), QStringList{message});
        QCOMPARE(f.messages.calls[0].title, QStringLiteral("Varnocliff"));
        QCOMPARE(f.messages.calls[0].buttons, platform::Buttons::Ok);
        QCOMPARE(f.messages.calls[0].icon, platform::Icon::None);
        QCOMPARE(f.factory.created, 0);
        QVERIFY(f.pointer.history.empty());
    }

    void runningInstanceAnsweredNoTouchesNoFile() {
        Fixture f;
        f.lookup.name = "Microsoft Excel";
        f.window.text1.setPlainText(QStringLiteral("a"));
        f.window.addFiles({QStringLiteral("f.xlsx")});
        f.messages.answers.enqueue(platform::Answer::No);
        f.controller.startReplacing();
        QCOMPARE(f.messages.calls.size(), size_t{1});
        QCOMPARE(f.messages.calls[0].text,
                 QStringLiteral("Excel may be open. It is recommended that you close Excel "
                                "first.\rUse Ctrl+Alt+Del > Task Manager > EXCEL.EXE if "
                                "necessary.\r\n\r\nWould you like to proceed anyway?"));
        QCOMPARE(f.messages.calls[0].buttons, platform::Buttons::YesNo);
        QCOMPARE(f.messages.calls[0].icon, platform::Icon::None);
        QCOMPARE(f.messages.calls[0].title, QStringLiteral("Varnocliff"));
        QCOMPARE(f.factory.created, 0);
        QCOMPARE(f.pointer.history, (std::vector<int>{11, 0}));
    }

    // Another run of this program is named as such, with its process; the spreadsheet
    // application keeps its own question.
    void otherRunIsNamedInTheQuestion() {
        Fixture f;
        f.lookup.name = "Microsoft Excel";
        f.lookup.pid = 4242;
        f.lookup.replaceRun = true;
        f.window.text1.setPlainText(QStringLiteral("a"));
        f.window.addFiles({QStringLiteral("f.xlsx")});
        f.messages.answers.enqueue(platform::Answer::No);
        f.controller.startReplacing();
        QCOMPARE(texts(f.messages.calls),
                 QStringList{QStringLiteral(
                     "Another replace run is in progress (process 4242). Changing the same "
                     "workbooks from two runs at once can lose changes.\r\n\r\nWould you like "
                     "to proceed anyway?")});
        QCOMPARE(f.messages.calls[0].buttons, platform::Buttons::YesNo);
        QCOMPARE(f.factory.created, 0);
    }

    void runningInstanceQuestion_data() {
        QTest::addColumn<QString>("running");
        QTest::addColumn<bool>("asked");
        QTest::newRow("none") << QString() << false;
        QTest::newRow("excel, answered Yes") << "Microsoft Excel" << true;
        QTest::newRow("another name") << "Microsoft Excel 2016" << false;
    }
    void runningInstanceQuestion() {
        QFETCH(QString, running);
        QFETCH(bool, asked);
        Fixture f;
        if (!running.isNull()) {
            f.lookup.name = running.toStdString();
        }
        f.window.text1.setPlainText(QStringLiteral("a"));
        f.window.addFiles({QStringLiteral("f.xlsx")});
        f.messages.answers.enqueue(platform::Answer::Yes);
        f.controller.startReplacing();
        QCOMPARE(f.messages.calls.size(), asked ? size_t{2} : size_t{1});
        QCOMPARE(f.messages.calls.back().text, run::kDone);
        QCOMPARE(f.factory.created, 1);
    }

    // Every file in list order, each in its own instance, the same path twice included; the
    // texts and matchCase as the window holds them.
    void singlePairProcessesEveryFileInListOrder() {
        Fixture f;
        f.window.text1.setPlainText(QStringLiteral("line one\nline two"));
        f.window.text2.setPlainText(QString());
        f.window.check4.setChecked(true);
        f.window.addFiles(
            {QStringLiteral("b.xlsx"), QStringLiteral("a.xlsx"), QStringLiteral("b.xlsx")});
        f.factory.script.sheets = 2;
        f.controller.startReplacing();
        const QStringList perFile{"create",
                                  "Open %1",
                                  "Workbooks 1",
                                  "DisplayAlerts off",
                                  "Sheets.count",
                                  "Replace 1 line one\nline two> 2 1 1 0 0",
                                  "Replace 2 line one\nline two> 2 1 1 0 0",
                                  "DisplayAlerts on",
                                  "Save %1",
                                  "Quit"};
        QStringList expected;
        int instance = 0;
        for (const char* path : {"b.xlsx", "a.xlsx", "b.xlsx"}) {
            ++instance;
            for (const QString& call : perFile) {
                expected << QStringLiteral("#%1 ").arg(instance) +
                                QString(call).replace("%1", path);
            }
        }
        QCOMPARE(lines(f.factory.log.calls), expected);
        QCOMPARE(texts(f.messages.calls), QStringList{run::kDone});
    }

    void setsPageRunsEveryPairWithText1Empty() {
        Fixture f;
        f.window.tabs.setCurrentIndex(1);
        f.window.addSet(QStringLiteral("a"), QStringLiteral("b"));
        f.window.addSet(QStringLiteral("b"), QStringLiteral("c"));
        f.window.addFiles({QStringLiteral("f.xlsx")});
        f.controller.startReplacing();
        QCOMPARE(lines(f.factory.log.matching("Replace")),
                 (QStringList{"Replace 1 a>b 2 1 0 0 0", "Replace 1 b>c 2 1 0 0 0"}));
        QCOMPARE(texts(f.messages.calls), QStringList{run::kDone});
    }

    // Failed files are listed before "Done.", which shows over the hourglass; each failed
    // file's instance quit, and the run went on.
    void failedFilesAreListedBeforeDone() {
        Fixture f;
        f.window.text1.setPlainText(QStringLiteral("a"));
        f.window.addFiles(
            {QStringLiteral("bad.xlsx"), QStringLiteral("good.xlsx"), QStringLiteral("full.xlsx")});
        f.factory.script.failOpen = {"bad.xlsx"};
        f.factory.script.failSave = {"full.xlsx"};
        std::vector<int> pointerWhileShown;
        f.messages.onShow = [&](const fakes::MessageCall&) {
            pointerWhileShown.push_back(f.pointer.pointer);
        };
        f.controller.startReplacing();
        QCOMPARE(texts(f.messages.calls),
                 (QStringList{QStringLiteral("These files could not be changed and were left "
                                             "as they were:\r\nbad.xlsx: the file is not a "
                                             "workbook\r\nfull.xlsx: the disk is full"),
                              run::kDone}));
        QCOMPARE(f.messages.calls[0].icon, platform::Icon::Warning);
        QCOMPARE(pointerWhileShown, (std::vector<int>{11, 11}));
        QCOMPARE(f.pointer.pointer, 0);
        QCOMPARE(f.factory.log.matching("Quit").size(), size_t{3});
        QCOMPARE(lines(f.factory.log.matching("Save")),
                 (QStringList{"Save good.xlsx", "Save full.xlsx"}));
    }

    void failureMessageNamesAtMostTwentyFiles_data() {
        QTest::addColumn<int>("failed");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("last");
        QTest::newRow("one") << 1 << 2 << "f1: r";
        QTest::newRow("twenty") << 20 << 21 << "f20: r";
        QTest::newRow("twenty-one") << 21 << 22 << "... and 1 more.";
        QTest::newRow("forty") << 40 << 22 << "... and 20 more.";
    }
    void failureMessageNamesAtMostTwentyFiles() {
        QFETCH(int, failed);
        QFETCH(int, lines);
        QFETCH(QString, last);
        QList<run::FailedFile> files;
        for (int i = 1; i <= failed; ++i) {
            files.append({QStringLiteral("f%1").arg(i), QStringLiteral("r")});
        }
        const QStringList shown = run::failureMessage(files).split(QStringLiteral("\r\n"));
        QCOMPARE(shown.size(), lines);
        QCOMPARE(shown.back(), last);
    }

    // Guards against a 16-bit file count: every one of more than 32,767 files is processed.
    void moreThan32767FilesAreAllProcessed() {
        Fixture f;
        f.window.text1.setPlainText(QStringLiteral("a"));
        constexpr int kFiles = 32767 + 100;
        QList<QTreeWidgetItem*> items;
        for (int i = 0; i < kFiles; ++i) {
            items.append(new QTreeWidgetItem(QStringList{QStringLiteral("f%1").arg(i)}));
        }
        f.window.list.addTopLevelItems(items);
        f.controller.startReplacing();
        QCOMPARE(f.factory.created, kFiles);
        QCOMPARE(f.factory.log.calls[f.factory.log.calls.size() - 2],
                 QStringLiteral("#%1 Save f%2").arg(kFiles).arg(kFiles - 1).toStdString());
        QCOMPARE(texts(f.messages.calls), QStringList{run::kDone});
    }
};

QTEST_MAIN(RunControllerTest)
#include "run_controller_test.moc"
