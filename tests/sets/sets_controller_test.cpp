// The sets page: its controls, Add Set, Remove Selected Set, Clear Sets, the mirroring,
// Save Sets, the way into Load Sets, and the hand-cursor rule, driven offscreen with fakes.
#include "fakes/fake_services.h"
#include "platform/tab_pages.h"
#include "sets/load_sets_dialog.h"
#include "sets/set_list.h"
#include "sets/sets_controller.h"
#include "sets/sets_page.h"
#include "temp_files.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using platform::Answer;
using platform::Buttons;
using platform::Icon;

class SetsControllerTest : public QObject {
    Q_OBJECT

private:
    // The main window as the program builds it: a tab control whose second page is the
    // sets page.
    struct Harness {
        Harness() {
            window.resize(440, 529);
            tabs = new QTabWidget(&window);
            tabs->setGeometry(8, 152, 424, 247);
            auto* pages = new platform::TabPages(*tabs);
            pages->addPage("Find and replace");
            controls = sets::createSetsPage(*pages->addPage("Multiple find and replace (sets)"));
            controller =
                std::make_unique<sets::SetsController>(controls, window, pointer, services);
            controller->setInstallationFolder(dir.path());
        }
        sets::SetList& list() { return controller->setList(); }
        void add(const QString& entry) {
            fake.inputBox.answers.enqueue(entry);
            controls.addSetButton->click();
        }
        // The two lists, item by item, as "find|replace" texts; fails when they differ in
        // length.
        QStringList pairs() const {
            if (controls.findList->count() != controls.replaceList->count()) {
                return {"<lists differ in length>"};
            }
            QStringList result;
            for (int i = 0; i < controls.findList->count(); ++i) {
                result << controls.findList->itemText(i) + "|" + controls.replaceList->itemText(i);
            }
            return result;
        }
        QTemporaryDir dir;
        fakes::FakeServices fake;
        platform::Services services = fake.services();
        fakes::FakeMousePointer pointer;
        QWidget window;
        QTabWidget* tabs = nullptr;
        sets::SetsPageControls controls{};
        std::unique_ptr<sets::SetsController> controller;
    };

    static void moveOver(QWidget* widget) {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    }

private slots:
    void pageControlsFollowTheDesign() {
        Harness h;
        h.tabs->setCurrentIndex(1);
        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        const struct {
            QWidget* widget;
            const char* name;
            QString caption;
            QRect twips;
            qreal points;
        } expected[] = {
            {h.controls.findListLabel,
             "Label3",
             " Find what (exact case):",
             {240, 495, 5415, 255},
             9},
            {h.controls.findList, "Combo1", "", {240, 810, 5850, 345}, 9},
            {h.controls.replaceListLabel, "Label4", " Replace with:", {240, 1350, 6015, 255}, 9},
            {h.controls.replaceList, "Combo2", "", {240, 1635, 5850, 345}, 9},
            {h.controls.addSetButton, "PushButton8", "Add Set", {240, 2100, 5850, 405}, 11.25},
            {h.controls.loadSetsButton, "PushButton10", "Load Sets", {240, 2610, 2820, 405}, 11.25},
            {h.controls.saveSetsButton, "PushButton1", "Save Sets", {3240, 2610, 2820, 405}, 11.25},
            {h.controls.clearSetsButton,
             "PushButton5",
             "Clear Sets",
             {240, 3120, 2820, 405},
             11.25},
            {h.controls.removeSetButton,
             "PushButton2",
             "Remove Selected Set",
             {3240, 3120, 2820, 405},
             11.25},
        };
        QWidget* page = h.tabs->widget(1);
        for (const auto& e : expected) {
            QCOMPARE(e.widget->objectName(), QString(e.name));
            if (auto* label = qobject_cast<QLabel*>(e.widget)) {
                QCOMPARE(label->text(), e.caption);
            } else if (auto* button = qobject_cast<QPushButton*>(e.widget)) {
                QCOMPARE(button->text(), e.caption);
            }
            // Positions count from the tab control's corner, as in the design.
            const QRect pixels(qRound(e.twips.x() / 15.0), qRound(e.twips.y() / 15.0),
                               qRound(e.twips.width() / 15.0), qRound(e.twips.height() / 15.0));
            QCOMPARE(QRect(e.widget->mapTo(h.tabs, QPoint(0, 0)), e.widget->size()), pixels);
            QVERIFY2(
                page->rect().contains(QRect(e.widget->mapTo(page, QPoint(0, 0)), e.widget->size())),
                e.name);
            QVERIFY(e.widget->font().bold());
            QCOMPARE(e.widget->font().pointSizeF(), e.points);
            QCOMPARE(e.widget->font().families().value(0), QString("Arial"));
        }
        QVERIFY(!h.controls.findList->isEditable());
        QCOMPARE(h.controls.findList->currentIndex(), -1);

        QWidget* expectedOrder[] = {h.controls.replaceList,     h.controls.addSetButton,
                                    h.controls.loadSetsButton,  h.controls.removeSetButton,
                                    h.controls.clearSetsButton, h.controls.saveSetsButton};
        QWidget* current = h.controls.findList;
        for (QWidget* next : expectedOrder) {
            do {
                current = current->nextInFocusChain();
            } while (current->focusPolicy() == Qt::NoFocus || !page->isAncestorOf(current));
            QCOMPARE(current, next);
        }
    }

    void addSetSplitsAtTheFirstTwoColonsAndKeepsBlanks() {
        Harness h;
        for (const QString entry : {"a::b", "a::", "::b", "a::b::c", "a:::b", "a::::b",
                                    "::", "  a :: b  ", "findwhat::replacewith"}) {
            h.add(entry);
        }
        QCOMPARE(h.pairs(), QStringList({"a|b", "a|", "|b", "a|b", "a|:b", "a|", "|", "  a | b  ",
                                         "findwhat|replacewith"}));
        QCOMPARE(h.fake.inputBox.calls.size(), 9U);
        const fakes::InputCall& call = h.fake.inputBox.calls.front();
        QCOMPARE(call.prompt,
                 QString("Enter find and replace set (use :: to separate find text and replace "
                         "text):"));
        QCOMPARE(call.title, QString("Varnocliff"));
        QCOMPARE(call.defaultText, QString("findwhat::replacewith"));
        QVERIFY(h.fake.messageBox.calls.empty());
        QCOMPARE(h.controls.findList->currentIndex(), -1);
        QCOMPARE(h.controls.replaceList->currentIndex(), -1);
    }

    void addSetTwiceKeepsBothCopies() {
        Harness h;
        h.add("top::summit");
        h.add("top::summit");
        QCOMPARE(h.pairs(), QStringList({"top|summit", "top|summit"}));
    }

    void addSetWithoutColonsOrCancelledAddsNothing() {
        Harness h;
        h.fake.inputBox.answers.enqueue(std::nullopt);
        h.controls.addSetButton->click();
        h.add("");
        QVERIFY(h.fake.messageBox.calls.empty());
        h.add("a:b");
        QCOMPARE(h.list().count(), 0);
        QCOMPARE(h.fake.messageBox.calls.size(), 1U);
        const fakes::MessageCall& message = h.fake.messageBox.calls.front();
        QCOMPARE(message.text,
                 QString("You must use :: to separate the find text from the replace text"));
        QCOMPARE(message.title, QString("Varnocliff"));
        QCOMPARE(message.buttons, Buttons::Ok);
        QCOMPARE(message.icon, Icon::None);
    }

    void addSetOnAFullListSaysSoAndAddsNothing() {
        Harness h;
        while (!h.list().isFull()) {
            h.list().append("f", "r");
        }
        h.add("one::more");
        QCOMPARE(h.list().count(), 32767);
        QCOMPARE(h.controls.replaceList->count(), 32767);
        QVERIFY(h.fake.inputBox.calls.empty());
        QCOMPARE(h.fake.messageBox.calls.size(), 1U);
        QVERIFY(h.fake.messageBox.calls.front().text.contains("full"));
    }

    void selectionIsMirroredBothWays() {
        Harness h;
        for (const QString entry : {"a::1", "b::2", "c::3", "d::4"}) {
            h.add(entry);
        }
        h.controls.findList->setCurrentIndex(2);
        QCOMPARE(h.controls.replaceList->currentIndex(), 2);
        QCOMPARE(h.controls.replaceList->currentText(), QString("3"));
        h.controls.replaceList->setCurrentIndex(1);
        QCOMPARE(h.controls.findList->currentIndex(), 1);
        QCOMPARE(h.controls.findList->currentText(), QString("b"));
        h.controls.replaceList->setCurrentIndex(-1);
        QCOMPARE(h.controls.findList->currentIndex(), -1);
        // Appending keeps the selection the lists have.
        h.controls.findList->setCurrentIndex(3);
        h.add("e::5");
        QCOMPARE(h.controls.findList->currentIndex(), 3);
        QCOMPARE(h.controls.replaceList->currentIndex(), 3);
    }

    void removeSelectedSetLeavesNoSelection() {
        Harness h;
        for (const QString entry : {"a::1", "b::2", "c::3"}) {
            h.add(entry);
        }
        h.controls.removeSetButton->click();
        QCOMPARE(h.list().count(), 3);

        h.controls.replaceList->setCurrentIndex(1);
        h.controls.removeSetButton->click();
        QCOMPARE(h.pairs(), QStringList({"a|1", "c|3"}));
        QCOMPARE(h.controls.findList->currentIndex(), -1);
        QCOMPARE(h.controls.replaceList->currentIndex(), -1);
        h.controls.removeSetButton->click();
        QCOMPARE(h.list().count(), 2);

        h.controls.findList->setCurrentIndex(1);
        h.controls.removeSetButton->click();
        QCOMPARE(h.pairs(), QStringList({"a|1"}));
        h.controls.findList->setCurrentIndex(0);
        h.controls.removeSetButton->click();
        QCOMPARE(h.pairs(), QStringList());
        QCOMPARE(h.controls.findList->currentIndex(), -1);
        QVERIFY(h.fake.messageBox.calls.empty());
    }

    void clearSetsEmptiesBothLists() {
        Harness h;
        h.add("a::1");
        h.add("b::2");
        h.controls.findList->setCurrentIndex(1);
        h.controls.clearSetsButton->click();
        QCOMPARE(h.pairs(), QStringList());
        QCOMPARE(h.controls.replaceList->currentIndex(), -1);
        h.controls.clearSetsButton->click();
        QVERIFY(h.fake.messageBox.calls.empty());
    }

    void saveSetsCancelledWritesNothing() {
        Harness h;
        h.add("a::b");
        h.controls.saveSetsButton->click();
        QCOMPARE(h.fake.fileDialogs.saveCalls.size(), 1U);
        const platform::FileDialogRequest& request = h.fake.fileDialogs.saveCalls.front();
        QCOMPARE(request.title, QString("Save List"));
        QCOMPARE(request.filter, QString("Text Files (*.txt);;All Files (*)"));
        QCOMPARE(request.fileName, QString());
        QVERIFY(!request.confirmOverwrite);
        QVERIFY(h.fake.messageBox.calls.empty());
        QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files), QStringList());
    }

    void saveSetsToANewFileAsksNothing() {
        Harness h;
        h.add("top::summit");
        h.add("larch::l");
        const QString path = h.dir.filePath("mysets");
        h.fake.fileDialogs.saveAnswers.enqueue(path);
        h.controls.saveSetsButton->click();
        QVERIFY(h.fake.messageBox.calls.empty());
        QCOMPARE(testfiles::read(path), QByteArray("top::summit\r\nlarch::l\r\n"));
    }

    void saveSetsOverAnExistingFileAsksFirst() {
        const struct {
            Answer answer;
            bool emptyList;
            QByteArray after;
        } cases[] = {{Answer::No, false, "old::file\r\n"},
                     {Answer::Yes, false, "new::set\r\n"},
                     {Answer::Yes, true, ""}};
        for (const auto& c : cases) {
            Harness h;
            if (!c.emptyList) {
                h.add("new::set");
            }
            const QString path = h.dir.filePath("existing.txt");
            QVERIFY(testfiles::write(path, "old::file\r\n"));
            h.fake.fileDialogs.saveAnswers.enqueue(path);
            h.fake.messageBox.answers.enqueue(c.answer);
            h.controls.saveSetsButton->click();
            QCOMPARE(h.fake.messageBox.calls.size(), 1U);
            const fakes::MessageCall& question = h.fake.messageBox.calls.front();
            QCOMPARE(question.text, "Are you sure you wish to overwrite " + path + " ?");
            QCOMPARE(question.title, QString("Varnocliff"));
            QCOMPARE(question.buttons, Buttons::YesNo);
            QCOMPARE(question.icon, Icon::None);
            QCOMPARE(testfiles::read(path), c.after);
        }
    }

    void saveSetsFailureIsReportedWithThePath() {
        Harness h;
        h.add("a::b");
        const QString path = h.dir.filePath("missing folder/sets.txt");
        h.fake.fileDialogs.saveAnswers.enqueue(path);
        h.controls.saveSetsButton->click();
        QCOMPARE(h.fake.messageBox.calls.size(), 1U);
        QVERIFY(h.fake.messageBox.calls.front().text.contains(path));
        QCOMPARE(h.fake.messageBox.calls.front().icon, Icon::Critical);
        QCOMPARE(h.pairs(), QStringList({"a|b"}));
    }

    // Save then Load through the dialog gives the same sets after those already present.
    void loadSetsAppendsThroughTheDialogAndDiscardsIt() {
        Harness h;
        h.add("top::summit");
        h.add("larch::l");
        const QString path = h.dir.filePath("round.txt");
        h.fake.fileDialogs.saveAnswers.enqueue(path);
        h.controls.saveSetsButton->click();
        h.add("first::one");

        QPointer<QDialog> shown;
        h.controller->setModalRunner([&](QDialog& dialog) {
            shown = &dialog;
            auto* form = qobject_cast<sets::LoadSetsDialog*>(&dialog);
            QVERIFY(form != nullptr);
            QCOMPARE(form->parentWidget(), &h.window);
            dialog.show();
            form->fileBox->setText(path);
            form->loadButton->click();
            QVERIFY(!dialog.isVisible());
        });
        h.controls.loadSetsButton->click();
        QVERIFY2(shown.isNull(), "the dialog is discarded when it closes");
        QCOMPARE(h.pairs(),
                 QStringList({"top|summit", "larch|l", "first|one", "top|summit", "larch|l"}));
        QCOMPARE(h.controls.findList->currentIndex(), -1);
        QVERIFY(h.fake.messageBox.calls.empty());
    }

    void loadSetsOnAFullListSaysSoWithoutOpening() {
        Harness h;
        while (!h.list().isFull()) {
            h.list().append("f", "r");
        }
        bool opened = false;
        h.controller->setModalRunner([&](QDialog&) { opened = true; });
        h.controls.loadSetsButton->click();
        QVERIFY(!opened);
        QCOMPARE(h.fake.messageBox.calls.size(), 1U);
        QVERIFY(h.fake.messageBox.calls.front().text.contains("full"));
    }

    void handCursorRuleOnThePage() {
        Harness h;
        moveOver(h.controls.addSetButton);
        QCOMPARE(h.pointer.pointer, platform::kPointerCustom);
        moveOver(h.controls.findList);
        QCOMPARE(h.pointer.pointer, platform::kPointerCustom);
        moveOver(h.controls.replaceListLabel);
        QCOMPARE(h.pointer.pointer, platform::kPointerDefault);
        h.pointer.pointer = platform::kPointerHourglass;
        for (QWidget* widget : std::initializer_list<QWidget*>{
                 h.controls.removeSetButton, h.controls.loadSetsButton, h.controls.findListLabel}) {
            moveOver(widget);
            QCOMPARE(h.pointer.pointer, platform::kPointerHourglass);
        }
    }
};

QTEST_MAIN(SetsControllerTest)
#include "sets_controller_test.moc"
