// The replace run from end to end: the real MainWindow with every subsystem attached, scripted
// dialogs, and the stand-in over the real workbook engine, on workbooks made here with openpyxl
// and copies of real workbooks from the corpus, read back with openpyxl.
#include "fakes/fake_services.h"
#include "main_window.h"
#include "subsystems.h"

#include "run/running_instances.h"
#include "run/stand_in.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>

#include <unistd.h>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList texts(const std::vector<fakes::MessageCall>& calls) {
    QStringList shown;
    for (const auto& call : calls) {
        shown << call.text;
    }
    return shown;
}

QString sourceDir() {
    return qEnvironmentVariable("VARNOCLIFF_SOURCE_DIR");
}
// The corpus of real workbooks lies beside the project.
QString corpusDir() {
    return sourceDir() + QStringLiteral("/../shared/corpus");
}

// Runs the openpyxl helper; its standard output, or a null array when it failed.
QByteArray openpyxl(const QStringList& arguments) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{sourceDir() + QStringLiteral("/tests/app/workbook_cells.py")} +
                     arguments);
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return {};
    }
    return python.readAllStandardOutput();
}

// The stand-in, with a gate: the instance for file number gateAt (1-based) is made only once
// the test opens the gate, so the test can act while the run waits between two files.
class GatedFactory final : public run::automation::ApplicationFactory {
public:
    explicit GatedFactory(run::automation::ApplicationFactory& inner) : m_inner(inner) {}
    run::Outcome<std::unique_ptr<run::automation::Application>> createApplication() override {
        if (++m_created == gateAt) {
            gate.acquire();
        }
        return m_inner.createApplication();
    }
    int gateAt = 0;
    QSemaphore gate;

private:
    run::automation::ApplicationFactory& m_inner;
    std::atomic<int> m_created{0};
};

// Files are added with "Add Excel File(s)" and sets with "Add Set", as a user would.
struct Fixture {
    Fixture()
        : services(fakes.services()), form(services),
          factory(run::engineOpener(), folder("registry")), gated(factory),
          lookup(folder("registry"), folder("proc")),
          subsystems(app::attachSubsystems(form, services, gated, lookup)) {
        std::filesystem::create_directories(folder("proc"));
        form.setInstallationFolder(dir.path() + QStringLiteral("/install"));
    }
    std::filesystem::path folder(const char* name) const {
        return std::filesystem::path(dir.path().toStdString()) / name;
    }
    QString file(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    void load() {
        QVERIFY(form.start());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
    void addFiles(const QStringList& paths) {
        fakes.fileDialogs.openManyAnswers.enqueue(paths);
        QTest::mouseClick(form.addFilesButton, Qt::LeftButton);
    }
    void addSet(const QString& entry) {
        fakes.inputBox.answers.enqueue(entry);
        QTest::mouseClick(subsystems.setsPage.addSetButton, Qt::LeftButton);
    }
    void setFind(const QString& find, const QString& replace) {
        form.findText->setPlainText(find);
        form.replaceText->setPlainText(replace);
    }
    void start() { QTest::mouseClick(form.startButton, Qt::LeftButton); }

    /// A workbook made by openpyxl: each sheet's texts down column A.
    QString made(const QString& name, const QJsonObject& sheets) const {
        const QString path = file(name);
        openpyxl({QStringLiteral("make"), path,
                  QString::fromUtf8(QJsonDocument(sheets).toJson(QJsonDocument::Compact))});
        return path;
    }
    /// A copy of a workbook of the corpus.
    QString copied(const QString& relative) const {
        const QString path = file(QFileInfo(relative).fileName());
        QFile::copy(corpusDir() + QLatin1Char('/') + relative, path);
        return path;
    }
    /// Every cell of the workbook as openpyxl reads it: {sheet: {cell: value}}.
    static QJsonObject cells(const QString& path) {
        return QJsonDocument::fromJson(openpyxl({QStringLiteral("read"), path})).object();
    }

    QTemporaryDir dir;
    fakes::FakeServices fakes;
    platform::Services services;
    MainWindow form;
    run::StandInFactory factory;
    GatedFactory gated;
    run::SystemRunningLookup lookup;
    app::Subsystems subsystems;
};

} // namespace

class ReplaceRunTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!QFile::exists(corpusDir() + QStringLiteral("/INDEX.md"))) {
            QSKIP("the workbook corpus is not beside the source tree");
        }
    }

    void singlePairWithMatchCase_data() {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QJsonObject>("expected");
        QTest::newRow("empty replacement, any case")
            << false << QString()
            << QJsonObject{{"First", QJsonObject({{"A1", " b "}, {"A2", "keep"}})},
                           {"Second", QJsonObject({{"A1", "0012"}})}};
        QTest::newRow("match case")
            << true << QStringLiteral("z")
            << QJsonObject{{"First", QJsonObject({{"A1", "Alpha b z"}, {"A2", "keep"}})},
                           {"Second", QJsonObject({{"A1", "00z12"}})}};
    }
    void singlePairWithMatchCase() {
        QFETCH(bool, ticked);
        QFETCH(QString, replacement);
        QFETCH(QJsonObject, expected);
        Fixture f;
        f.load();
        const QString path =
            f.made(QStringLiteral("made.xlsx"), {{"First", QJsonArray{"Alpha b alpha", "keep"}},
                                                 {"Second", QJsonArray{"00alpha12"}}});
        f.addFiles({path});
        f.setFind(QStringLiteral("alpha"), replacement);
        if (ticked) {
            QTest::mouseClick(f.form.matchCase, Qt::LeftButton);
        }
        f.start();
        QCOMPARE(texts(f.fakes.messageBox.calls), QStringList{QStringLiteral("Done.")});
        QCOMPARE(Fixture::cells(path), expected);
        QCOMPARE(f.form.mousePointer(), 0);
        // The run leaves its inputs as they were.
        QCOMPARE(f.form.findText->toPlainText(), QStringLiteral("alpha"));
        QCOMPARE(f.form.fileListView->topLevelItemCount(), 1);
    }

    // The run goes on off the window's thread: a timer fires between two files (the second
    // waits until it has), the bar counts files done out of files listed and is empty again
    // when "Done." shows, and the inputs are disabled while the run lasts.
    void windowStaysAliveAndShowsProgress() {
        Fixture f;
        f.load();
        QStringList paths;
        for (const char* name : {"one.xlsx", "two.xlsx", "three.xlsx"}) {
            paths << f.made(QLatin1String(name), {{"Sheet", QJsonArray{"alpha"}}});
        }
        f.addFiles(paths);
        f.setFind(QStringLiteral("alpha"), QStringLiteral("omega"));
        f.gated.gateAt = 2;
        bool firedDuringRun = false;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!f.form.startButton->isEnabled() && !firedDuringRun) {
                firedDuringRun = true;
                QVERIFY(!f.form.fileListView->isEnabled());
                QVERIFY(!f.form.pageTabs->isEnabled());
                QVERIFY(!f.form.addFilesButton->isEnabled());
                QCOMPARE(f.form.mousePointer(), platform::kPointerHourglass);
                f.gated.gate.release();
            }
        });
        timer.start(0);
        QList<int> progress;
        QObject::connect(f.form.progressBar, &QProgressBar::valueChanged,
                         [&](int value) { progress << value; });
        QList<int> barAtDone;
        f.fakes.messageBox.onShow = [&](const fakes::MessageCall&) {
            barAtDone << f.form.progressBar->value() << f.form.progressBar->maximum();
        };
        f.start();
        QVERIFY(firedDuringRun);
        QCOMPARE(progress, (QList<int>{1, 2, 3, 0}));
        QCOMPARE(texts(f.fakes.messageBox.calls), QStringList{QStringLiteral("Done.")});
        QCOMPARE(barAtDone, (QList<int>{0, 100}));
        QVERIFY(f.form.startButton->isEnabled() && f.form.fileListView->isEnabled());
        for (const QString& path : paths) {
            QCOMPARE(Fixture::cells(path), (QJsonObject{{"Sheet", QJsonObject{{"A1", "omega"}}}}));
        }
    }

    // Closing the window after the first file: the second, in flight or not yet begun, is
    // either finished whole or left byte for byte; the third is not touched, and no "Done."
    // is shown.
    void closingDuringARunFinishesTheFileInFlightOnly() {
        Fixture f;
        f.load();
        QStringList paths;
        for (const char* name : {"one.xlsx", "two.xlsx", "three.xlsx"}) {
            paths << f.made(QLatin1String(name), {{"Sheet", QJsonArray{"alpha"}}});
        }
        const QByteArray second = bytesOf(paths[1]);
        const QByteArray third = bytesOf(paths[2]);
        f.addFiles(paths);
        f.setFind(QStringLiteral("alpha"), QStringLiteral("omega"));
        f.gated.gateAt = 2;
        QObject::connect(f.form.progressBar, &QProgressBar::valueChanged, [&](int value) {
            if (value == 1) {
                f.form.close();
                f.gated.gate.release();
            }
        });
        f.start();
        QVERIFY(f.form.isUnloaded());
        QVERIFY(f.fakes.messageBox.calls.empty());
        const QJsonObject changed{{"Sheet", QJsonObject{{"A1", "omega"}}}};
        QCOMPARE(Fixture::cells(paths[0]), changed);
        QVERIFY(bytesOf(paths[1]) == second || Fixture::cells(paths[1]) == changed);
        QCOMPARE(bytesOf(paths[2]), third);
    }

    // Real workbooks of the corpus: plain, non-Latin and rich text, in sets mode with two
    // pairs that chain.
    void setsChainOnCorpusWorkbooks() {
        Fixture f;
        f.load();
        const QString simple = f.copied(QStringLiteral("xlsxwriter/simple01.xlsx"));
        const QString utf8 = f.copied(QStringLiteral("xlsxwriter/utf8_01.xlsx"));
        const QString rich = f.copied(QStringLiteral("xlsxwriter/rich_string01.xlsx"));
        f.addFiles({simple, utf8, rich});
        f.addSet(QStringLiteral("Foo::Hello"));
        f.addSet(QStringLiteral("Hello::Привет"));
        f.addSet(QStringLiteral("на русском::in Russian"));
        f.form.pageTabs->setCurrentIndex(1);
        f.start();
        QCOMPARE(texts(f.fakes.messageBox.calls), QStringList{QStringLiteral("Done.")});
        QCOMPARE(Fixture::cells(simple),
                 (QJsonObject{{"Sheet1", QJsonObject({{"A1", "Привет"}, {"A2", 123}})}}));
        QCOMPARE(Fixture::cells(utf8),
                 (QJsonObject{{"Sheet1", QJsonObject({{"A1", "Это фраза in Russian!"}})}}));
        QCOMPARE(
            Fixture::cells(rich),
            (QJsonObject{
                {"Sheet1", QJsonObject({{"A1", "Привет"}, {"A2", "Bar"}, {"A3", "abcdefg"}})}}));
    }

    void bothInputsMissingShowOnlyTheFirstMessage() {
        Fixture f;
        f.load();
        f.start();
        QCOMPARE(texts(f.fakes.messageBox.calls),
                 QStringList{QStringLiteral("Please enter text to find.")});
        QCOMPARE(f.form.mousePointer(), 0);
    }

    // The buttons of the other subsystems reach their handlers, and the sets page is built.
    void everySubsystemIsAttached() {
        Fixture f;
        f.load();
        QTest::mouseClick(f.form.addFolderButton, Qt::LeftButton);
        QCOMPARE(f.fakes.inputBox.calls.size(), size_t{1});
        QCOMPARE(f.fakes.inputBox.calls[0].prompt, filelist::kExtensionPrompt);
        QCOMPARE(f.form.findChild<QComboBox*>(QStringLiteral("Combo1")),
                 f.subsystems.setsPage.findList);
        f.addSet(QStringLiteral("a::b"));
        QCOMPARE(f.subsystems.setsPage.replaceList->count(), 1);
    }

    void samePathTwiceAppliesTwice() {
        Fixture f;
        f.load();
        const QString path = f.made(QStringLiteral("twice.xlsx"), {{"S", QJsonArray{"xax"}}});
        f.addFiles({path, path});
        f.setFind(QStringLiteral("a"), QStringLiteral("aa"));
        f.start();
        QCOMPARE(Fixture::cells(path), (QJsonObject{{"S", QJsonObject({{"A1", "xaaaax"}})}}));
    }

    // Good workbooks change; the others are listed with their reasons before "Done." and stay
    // byte for byte as they were.
    void failedFilesAreListedAndLeftAsTheyWere() {
        Fixture f;
        f.load();
        const QString good = f.made(QStringLiteral("good.xlsx"), {{"S", QJsonArray{"a1"}}});
        const QString encrypted = f.copied(QStringLiteral("excelize/encryptAES.xlsx"));
        const QString legacy = f.copied(QStringLiteral("calamine/biff5_write.xls"));
        const QString notBook = f.file(QStringLiteral("notes.xlsx"));
        QFile notes(notBook);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("a1 is not a workbook\n");
        notes.close();
        const QString missing = f.file(QStringLiteral("gone.xlsx"));
        const QStringList failing{encrypted, legacy, notBook};
        std::vector<QByteArray> before;
        for (const QString& path : failing) {
            before.push_back(bytesOf(path));
        }
        f.addFiles({encrypted, good, legacy, notBook, missing});
        f.setFind(QStringLiteral("a1"), QStringLiteral("b2"));
        f.start();

        const QStringList shown = texts(f.fakes.messageBox.calls);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(f.fakes.messageBox.calls[0].icon, platform::Icon::Warning);
        const QStringList lines = shown[0].split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 5);
        const QStringList failed{encrypted, legacy, notBook, missing};
        for (int i = 0; i < failed.size(); ++i) {
            QVERIFY2(lines[i + 1].startsWith(failed[i] + QStringLiteral(": ")),
                     qPrintable(lines[i + 1]));
        }
        QVERIFY(lines[1].contains(QStringLiteral("password-protected")));
        QVERIFY(lines[2].contains(QStringLiteral("not supported")));
        QCOMPARE(shown[1], QStringLiteral("Done."));
        for (int i = 0; i < failing.size(); ++i) {
            QCOMPARE(bytesOf(failing[i]), before[static_cast<std::size_t>(i)]);
        }
        QCOMPARE(Fixture::cells(good), (QJsonObject{{"S", QJsonObject({{"A1", "b2"}})}}));
        QCOMPARE(f.form.mousePointer(), 0);
        // No draft file of a failed save is left beside the workbooks.
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files).size(), 4);
    }

    void runningInstanceQuestion_data() {
        QTest::addColumn<bool>("proceed");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    void runningInstanceQuestion() {
        QFETCH(bool, proceed);
        Fixture f;
        f.load();
        const QString path = f.copied(QStringLiteral("xlsxwriter/simple01.xlsx"));
        const QByteArray before = bytesOf(path);
        auto other = run::RegistryEntry::join(f.folder("registry"),
                                              static_cast<long>(::getpid()) + 1, "Microsoft Excel");
        QVERIFY(other != nullptr);
        f.addFiles({path});
        f.setFind(QStringLiteral("Hello"), QStringLiteral("Bye"));
        f.fakes.messageBox.answers.enqueue(proceed ? platform::Answer::Yes : platform::Answer::No);
        f.start();
        QCOMPARE(f.fakes.messageBox.calls.size(), proceed ? size_t{2} : size_t{1});
        QCOMPARE(f.fakes.messageBox.calls[0].buttons, platform::Buttons::YesNo);
        const QString a1 = Fixture::cells(path)["Sheet1"].toObject()["A1"].toString();
        QCOMPARE(a1, proceed ? QStringLiteral("Bye") : QStringLiteral("Hello"));
        if (!proceed) {
            QCOMPARE(bytesOf(path), before);
        }
    }
};

QTEST_MAIN(ReplaceRunTest)
#include "replace_run_test.moc"
