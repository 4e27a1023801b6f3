// Closing MainWindow ends the program at once: the main loop and a modal dialog's loop both
// return, and a long operation that lets events through does not resume.
#include "fakes/fake_services.h"
#include "main_window.h"
#include "program_end.h"

#include <QDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class ProgramEndTest : public QObject {
    Q_OBJECT
private slots:
    void closingDuringAModalDialogEndsEveryLoop();
    void closingDuringALongOperationEndsTheProcess();
    void eventsWithoutClosingGoOn();
};

void ProgramEndTest::closingDuringAModalDialogEndsEveryLoop() {
    fakes::FakeServices f;
    int terminated = 0;
    app::ProgramEnd end(f.events, [&] { ++terminated; });
    auto services = f.services();
    MainWindow form(services);
    QTemporaryDir dir;
    form.setInstallationFolder(dir.path());
    end.watch(form);
    QVERIFY(form.start());
    form.show();

    // Help opens a box; while it is open (a real modal loop), the user closes MainWindow.
    bool dialogReturned = false;
    f.messageBox.onShow = [&](const fakes::MessageCall&) {
        QDialog box(&form);
        QTimer::singleShot(0, &form, &QWidget::close);
        box.exec();
        dialogReturned = true;
    };
    QTimer::singleShot(0, form.helpButton, &QPushButton::click);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10'000);

    const int status = QCoreApplication::exec();
    QCOMPARE(status, 0);
    QVERIFY(dialogReturned);
    QVERIFY(end.ended());
    QVERIFY(!form.isVisible());
    QCOMPARE(terminated, 0); // no long operation was running
}

void ProgramEndTest::closingDuringALongOperationEndsTheProcess() {
    fakes::FakeServices f;
    int terminated = 0;
    app::ProgramEnd end(f.events, [&] { ++terminated; });
    auto services = f.services();
    MainWindow form(services);
    end.watch(form);
    f.events.onProcess = [&] { form.close(); };
    end.processEvents(); // as a folder scan does between two folders
    QCOMPARE(f.events.count, 1);
    QVERIFY(end.ended());
    QCOMPARE(terminated, 1);
}

void ProgramEndTest::eventsWithoutClosingGoOn() {
    fakes::FakeServices f;
    int terminated = 0;
    app::ProgramEnd end(f.events, [&] { ++terminated; });
    auto services = f.services();
    MainWindow form(services);
    end.watch(form);
    end.processEvents();
    end.processEvents();
    QCOMPARE(f.events.count, 2);
    QVERIFY(!end.ended());
    QCOMPARE(terminated, 0);
}

QTEST_MAIN(ProgramEndTest)
#include "program_end_test.moc"
