// The replace run from end to end over a small fake engine: every path of the run through the
// real Form1, with workbook files whose cells a test can write and read without a parser.
#include "fake_engine.h"
#include "replace_run_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <unistd.h>

namespace {

using Cells = std::vector<std::vector<std::string>>;

using apptest::bytesOf;
using apptest::texts;

// The fixture over the fake engine, with its workbook files.
struct Fixture : apptest::Fixture {
    Fixture()
        : apptest::Fixture(
              [](const std::filesystem::path& path) { return fakes::openFakeWorkbook(path); }) {}
    QString book(const QString& name, const std::vector<fakes::FakeSheet>& sheets) const {
        const QString path = file(name);
        fakes::writeFakeWorkbook(path.toStdString(), sheets);
        return path;
    }
    Cells cells(const QString& path) const { return fakes::readFakeCells(path.toStdString()); }
};

const std::vector<fakes::FakeSheet> kLetters{{{"One", true}, {"a", "Abc", "xay"}},
                                             {{"Chart", false}, {}},
                                             {{"Two", true}, {"banana", "ABBA"}}};

} // namespace

class ReplaceRunTest : public QObject {
    Q_OBJECT

private slots:
    void emptyReplacementRemovesEveryMatch() {
        Fixture f;
        f.load();
        const QString path = f.book(QStringLiteral("letters.fake"), kLetters);
        f.addFiles({path});
        f.setFind(QStringLiteral("a"), QString());
        f.start();
        QCOMPARE(texts(f.fakes.messageBox.calls), QStringList{QStringLiteral("Done.")});
        QCOMPARE(f.cells(path), (Cells{{"", "bc", "xy"}, {}, {"bnn", "BB"}}));
        QCOMPARE(f.form.mousePointer(), 0);
        // The inputs are left as they were.
        QCOMPARE(f.form.Text1->toPlainText(), QStringLiteral("a"));
        QCOMPARE(f.form.ListView1->topLevelItemCount(), 1);
    }

    void matchCase_data() {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<Cells>("expected");
        QTest::newRow("off") << false << Cells{{"z", "zbc", "xzy"}, {}, {"bznznz", "zBBz"}};
        QTest::newRow("on") << true << Cells{{"z", "Abc", "xzy"}, {}, {"bznznz", "ABBA"}};
    }
    void matchCase() {
        QFETCH(bool, ticked);
        QFETCH(Cells, expected);
        Fixture f;
        f.load();
        const QString path = f.book(QStringLiteral("letters.fake"), kLetters);
        f.addFiles({path});
        f.setFind(QStringLiteral("a"), QStringLiteral("z"));
        if (ticked) {
            QTest::mouseClick(f.form.Check4, Qt::LeftButton);
        }
        QCOMPARE(f.form.Check4->isChecked(), ticked);
        f.start();
        QCOMPARE(f.cells(path), expected);
    }

    // Each pair works on the result of the pairs before it; Text1 is empty and not needed.
    void setsChainOnTheSetsPage() {
        Fixture f;
        f.load();
        const QString path = f.book(QStringLiteral("chain.fake"), {{{"S", true}, {"a", "xa"}}});
        f.addFiles({path});
        f.addSet(QStringLiteral("a::b"));
        f.addSet(QStringLiteral("b::c"));
        f.form.TabControl1->setCurrentIndex(1);
        f.start();
        QCOMPARE(texts(f.fakes.messageBox.calls), QStringList{QStringLiteral("Done.")});
        QCOMPARE(f.cells(path), (Cells{{"c", "xc"}}));
    }

    void samePathTwiceAppliesTwice() {
        Fixture f;
        f.load();
        const QString path = f.book(QStringLiteral("twice.fake"), {{{"S", true}, {"a"}}});
        f.addFiles({path, path});
        f.setFind(QStringLiteral("a"), QStringLiteral("aa"));
        f.start();
        QCOMPARE(f.cells(path), (Cells{{"aaaa"}}));
    }

    // The buttons of the other subsystems reach their handlers, and the sets page is built.
    void everySubsystemIsAttached() {
        Fixture f;
        f.load();
        QTest::mouseClick(f.form.PushButton6, Qt::LeftButton);
        QCOMPARE(f.fakes.inputBox.calls.size(), size_t{1});
        QCOMPARE(f.fakes.inputBox.calls[0].prompt, filelist::kExtensionPrompt);
        QCOMPARE(f.form.findChild<QComboBox*>(QStringLiteral("Combo1")),
                 f.subsystems.setsPage.Combo1);
        f.addSet(QStringLiteral("a::b"));
        QCOMPARE(f.subsystems.setsPage.Combo2->count(), 1);
    }

    void bothInputsMissingShowOnlyTheFirstMessage() {
        Fixture f;
        f.load();
        f.start();
        QCOMPARE(texts(f.fakes.messageBox.calls),
                 QStringList{QStringLiteral("Please enter text to find.")});
        QCOMPARE(f.form.mousePointer(), 0);
    }

    // Good files change; a missing file, a file that is not a workbook and a folder stay as
    // they were, are listed with their reasons, and the run goes on to "Done.".
    void failedFilesAreListedAndLeftAsTheyWere() {
        Fixture f;
        f.load();
        const QString good1 = f.book(QStringLiteral("good1.fake"), kLetters);
        const QString good2 = f.book(QStringLiteral("good2.fake"), kLetters);
        const QString notBook = f.dir.path() + QStringLiteral("/notes.txt");
        QFile notes(notBook);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("a plain text file with a in it\n");
        notes.close();
        const QString missing = f.dir.path() + QStringLiteral("/gone.fake");
        const QByteArray notBookBefore = bytesOf(notBook);
        f.addFiles({good1, notBook, missing, good2});
        f.setFind(QStringLiteral("a"), QStringLiteral("z"));
        f.start();
        const QStringList shown = texts(f.fakes.messageBox.calls);
        QCOMPARE(shown.size(), 2);
        const QStringList lines = shown[0].split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[1].startsWith(notBook + QStringLiteral(": ")));
        QVERIFY(lines[1].contains(QStringLiteral("notes.txt")));
        QVERIFY(lines[2].startsWith(missing + QStringLiteral(": ")));
        QCOMPARE(f.fakes.messageBox.calls[0].icon, platform::Icon::Warning);
        QCOMPARE(shown[1], QStringLiteral("Done."));
        QCOMPARE(bytesOf(notBook), notBookBefore);
        QVERIFY(!QFile::exists(missing));
        for (const QString& good : {good1, good2}) {
            QCOMPARE(f.cells(good)[0], (std::vector<std::string>{"z", "zbc", "xzy"}));
        }
        QCOMPARE(f.form.mousePointer(), 0);
    }

    void runningInstanceQuestion_data() {
        QTest::addColumn<bool>("proceed");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    // Another live run of the program holds an entry in the registry.
    void runningInstanceQuestion() {
        QFETCH(bool, proceed);
        Fixture f;
        f.load();
        const QString path = f.book(QStringLiteral("letters.fake"), kLetters);
        const QByteArray before = bytesOf(path);
        auto other = run::RegistryEntry::join(f.folder("registry"),
                                              static_cast<long>(::getpid()) + 1, "Microsoft Excel");
        QVERIFY(other != nullptr);
        f.addFiles({path});
        f.setFind(QStringLiteral("a"), QStringLiteral("z"));
        f.fakes.messageBox.answers.enqueue(proceed ? platform::Answer::Yes : platform::Answer::No);
        f.start();
        const QStringList shown = texts(f.fakes.messageBox.calls);
        QVERIFY(shown[0].startsWith(QStringLiteral("Excel may be open.")));
        QCOMPARE(f.fakes.messageBox.calls[0].buttons, platform::Buttons::YesNo);
        if (proceed) {
            QCOMPARE(shown.size(), 2);
            QCOMPARE(shown[1], QStringLiteral("Done."));
            QVERIFY(bytesOf(path) != before);
        } else {
            QCOMPARE(shown.size(), 1);
            QCOMPARE(bytesOf(path), before);
        }
        QCOMPARE(f.form.mousePointer(), 0);
    }
};

QTEST_MAIN(ReplaceRunTest)
#include "replace_run_test.moc"
