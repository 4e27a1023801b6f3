// The Load Sets dialog, built with fakes and driven by clicks and keys, never exec()ed.
#include "fakes/fake_services.h"
#include "sets/load_sets_dialog.h"
#include "sets/set_list.h"
#include "temp_files.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using platform::Buttons;
using platform::Icon;

class Form2Test : public QObject {
    Q_OBJECT

private:
    struct Harness {
        Harness() { list.append("already", "there"); }
        // Opens the dialog as the main window does, but without a modal loop.
        sets::LoadSetsDialog& open() {
            form = std::make_unique<sets::LoadSetsDialog>(list, services, dir.path());
            form->show();
            return *form;
        }
        // Opens, fills both boxes and clicks Load.
        sets::LoadSetsDialog& load(const QString& path, const QString& separator = "::") {
            sets::LoadSetsDialog& dialog = open();
            dialog.separatorBox->setText(separator);
            dialog.fileBox->setText(path);
            dialog.loadButton->click();
            return dialog;
        }
        QString write(const QString& name, const QByteArray& bytes) {
            const QString path = dir.filePath(name);
            return testfiles::write(path, bytes) ? path : QString();
        }
        QStringList pairs() const {
            QStringList result;
            for (const sets::Set& set : list.sets()) {
                result << set.find + "|" + set.replace;
            }
            return result;
        }
        QTemporaryDir dir;
        fakes::FakeServices fake;
        platform::Services services = fake.services();
        sets::SetList list;
        std::unique_ptr<sets::LoadSetsDialog> form;
    };

    static void moveOver(QWidget* widget) {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }

private slots:
    void controlsFollowTheDesign() {
        Harness h;
        sets::LoadSetsDialog& form = h.open();
        QCOMPARE(form.windowTitle(), QString("Load Sets"));
        QCOMPARE(form.size(), QSize(400, 108));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.isModal());
        const struct {
            QWidget* widget;
            const char* name;
            QString caption;
            QRect pixels;
            qreal points;
        } expected[] = {
            {form.labels[0], "Label1_0", "File To Load:", {8, 12, 70, 15}, 9},
            {form.fileBox, "Text1", "", {87, 8, 268, 23}, 9},
            {form.browseButton, "PushButton16", "...", {363, 8, 29, 23}, 11.25},
            {form.labels[1], "Label1_1", "Separator:", {8, 44, 60, 15}, 9},
            {form.separatorBox, "Text2", "::", {87, 40, 52, 23}, 9},
            {form.helpButton, "PushButton3", "Help", {306, 40, 86, 27}, 11.25},
            {form.loadButton, "PushButton1", "Load", {8, 72, 190, 27}, 11.25},
            {form.cancelButton, "PushButton2", "Cancel", {204, 72, 188, 27}, 11.25},
        };
        for (const auto& e : expected) {
            QCOMPARE(e.widget->objectName(), QString(e.name));
            QVERIFY(e.widget->font().bold());
            QCOMPARE(e.widget->font().pointSizeF(), e.points);
            if (auto* label = qobject_cast<QLabel*>(e.widget)) {
                QCOMPARE(label->text(), e.caption);
                // A label takes room up to the box beside it where its caption needs it.
                QCOMPARE(label->pos(), e.pixels.topLeft());
                QCOMPARE(label->height(), e.pixels.height());
                QVERIFY(label->width() >= e.pixels.width() && label->width() <= 79);
                QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(e.caption) ||
                             label->width() == 79,
                         e.name);
                continue;
            }
            QCOMPARE(e.widget->geometry(), e.pixels);
            if (auto* button = qobject_cast<QPushButton*>(e.widget)) {
                QCOMPARE(button->text(), e.caption);
                QVERIFY(!button->autoDefault());
            } else if (auto* box = qobject_cast<QLineEdit*>(e.widget)) {
                QCOMPARE(box->text(), e.caption);
            }
        }
        QWidget* order[] = {form.fileBox,      form.separatorBox, form.loadButton,
                            form.cancelButton, form.browseButton, form.helpButton};
        for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (next->focusPolicy() == Qt::NoFocus) {
                next = next->nextInFocusChain();
            }
            QCOMPARE(next, order[i + 1]);
        }
        // The face colour on the dialog and its labels.
        const QColor face = QApplication::palette().color(QPalette::Button);
        QCOMPARE(form.palette().color(QPalette::Window), face);
        QCOMPARE(form.labels[1]->palette().color(QPalette::Window), face);
        QVERIFY(form.labels[1]->autoFillBackground());
    }

    void firstOpeningShowsAndStoresTheDefaultSeparator() {
        Harness h;
        sets::LoadSetsDialog& form = h.open();
        QCOMPARE(form.separatorBox->text(), QString("::"));
        QCOMPARE(form.fileBox->text(), QString());
        QCOMPARE(h.fake.settings.values.value("Text2"), QString("::"));
    }

    void separatorIsStoredKeystrokeByKeystroke() {
        Harness h;
        sets::LoadSetsDialog& form = h.open();
        h.fake.settings.writes.clear();
        form.separatorBox->selectAll();
        QTest::keyClick(form.separatorBox, Qt::Key_Backspace);
        QTest::keyClicks(form.separatorBox, "=>");
        const std::vector<std::pair<QString, QString>> expected{
            {"Text2", ""}, {"Text2", "="}, {"Text2", "=>"}};
        QCOMPARE(h.fake.settings.writes, expected);
        h.fake.settings.values.insert("Text2", "#");
        QCOMPARE(h.open().separatorBox->text(), QString("#"));
    }

    void emptySeparatorIsStoredAndAskedForOnTheNextLoad() {
        Harness h;
        const QString path = h.write("sets.txt", "a::b\r\n");
        sets::LoadSetsDialog& first = h.open();
        first.separatorBox->clear();
        first.cancelButton->click();
        QVERIFY(!first.isVisible());
        QCOMPARE(h.fake.settings.values.value("Text2", "<absent>"), QString(""));

        sets::LoadSetsDialog& second = h.open();
        QCOMPARE(second.separatorBox->text(), QString());
        second.fileBox->setText(path);
        second.loadButton->click();
        QCOMPARE(h.fake.messageBox.calls.size(), 1U);
        const fakes::MessageCall& message = h.fake.messageBox.calls.front();
        QCOMPARE(message.text, QString("You must enter separating character(s)."));
        QCOMPARE(message.title, QString("Varnocliff"));
        QCOMPARE(message.icon, Icon::None);
        QVERIFY(second.isVisible());
        QCOMPARE(second.fileBox->text(), path);
        // The window's close box does what Cancel does.
        second.separatorBox->setText("::");
        second.close();
        QVERIFY(!second.isVisible());
        QCOMPARE(second.result(), int(QDialog::Rejected));
        QCOMPARE(h.pairs(), QStringList({"already|there"}));
    }

    void pathOfBlanksDoesNothing() {
        Harness h;
        sets::LoadSetsDialog& form = h.load("   ");
        QVERIFY(form.isVisible());
        QVERIFY(h.fake.messageBox.calls.empty());
        QCOMPARE(form.fileBox->text(), QString("   "));
        QCOMPARE(h.list.count(), 1);
    }

    void missingFileOrFolderIsNotFound() {
        Harness h;
        for (const QString& path : {h.dir.filePath("nothing here.txt"), h.dir.path(),
                                    " " + h.write("padded.txt", "a::b")}) {
            h.fake.messageBox.calls.clear();
            sets::LoadSetsDialog& form = h.load(path);
            QCOMPARE(h.fake.messageBox.calls.size(), 1U);
            const fakes::MessageCall& message = h.fake.messageBox.calls.front();
            QCOMPARE(message.text, path + " not found.");
            QCOMPARE(message.title, QString("File Not Found"));
            QCOMPARE(message.buttons, Buttons::Ok);
            QCOMPARE(message.icon, Icon::Critical);
            QVERIFY(form.isVisible());
            QCOMPARE(form.fileBox->text(), path);
        }
        QCOMPARE(h.list.count(), 1);
    }

    void loadAppendsAfterTheSetsThereAndCloses() {
        Harness h;
        const QString path = h.write("sets.txt", "My sets\r\n\r\ntop::summit\r\nlarch::l::x\r\n");
        sets::LoadSetsDialog& form = h.load(path);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));
        h.load(path);
        QCOMPARE(h.pairs(),
                 QStringList({"already|there", "top|summit", "larch|l", "top|summit", "larch|l"}));
        QVERIFY(h.fake.messageBox.calls.empty());
    }

    void separatorIsUsedExactlyAsTyped() {
        Harness h;
        const QString path = h.write("sets.txt", "x y z\r\nx::y=z\r\nnone\r\n");
        h.load(path, " ");
        h.load(path, "=");
        QCOMPARE(h.pairs(), QStringList({"already|there", "x|y", "x::y|z"}));
        // Lines with another separator: the dialog closes, nothing is added, nothing is said.
        const QString equals = h.write("equals.txt", "a=b\r\nc=d\r\n");
        sets::LoadSetsDialog& form = h.load(equals);
        QVERIFY(!form.isVisible());
        QCOMPARE(h.list.count(), 3);
        QVERIFY(h.fake.messageBox.calls.empty());
    }

    // Files that cannot be used leave the dialog open and the list as it was, and say why.
    void unusableFilesAreReported() {
        Harness h;
        const QString binary = h.write("picture.txt", QByteArray("\x89PNG\0\0::\0", 10));
        const QString longLine = h.write("long.txt", "a::b\r\nc::" + QByteArray(40000, 'd'));
        for (const QString& path : {binary, longLine}) {
            h.fake.messageBox.calls.clear();
            sets::LoadSetsDialog& form = h.load(path);
            QVERIFY(form.isVisible());
            QCOMPARE(h.fake.messageBox.calls.size(), 1U);
            QVERIFY(h.fake.messageBox.calls.front().text.contains(path));
            QCOMPARE(h.fake.messageBox.calls.front().icon, Icon::Critical);
        }
        QCOMPARE(h.pairs(), QStringList({"already|there"}));
    }

    void loadStopsWhenTheListIsFull() {
        Harness h;
        while (h.list.room() > 2) {
            h.list.append("f", "r");
        }
        const QString path = h.write("three.txt", "a::1\r\nb::2\r\nc::3\r\n");
        sets::LoadSetsDialog& form = h.load(path);
        QVERIFY(!form.isVisible());
        QCOMPARE(h.list.count(), 32767);
        QCOMPARE(h.list.at(32766), (sets::Set{"b", "2"}));
        QCOMPARE(h.fake.messageBox.calls.size(), 1U);
        const QString text = h.fake.messageBox.calls.front().text;
        QVERIFY2(text.contains("full") && text.contains("line 3 of " + path), qPrintable(text));
    }

    void helpShowsTheFileShapeLineByLine() {
        Harness h;
        sets::LoadSetsDialog& form = h.open();
        form.helpButton->click();
        QCOMPARE(h.fake.messageBox.calls.size(), 1U);
        const fakes::MessageCall& message = h.fake.messageBox.calls.front();
        QCOMPARE(message.text.split(QChar(13)),
                 QStringList({"File that you load should look like this:", "", "larch::l",
                              "vetch::v", "top::summit"}));
        QVERIFY(!message.text.contains(QChar(10)));
        QCOMPARE(message.title, QString("Varnocliff"));
        QCOMPARE(message.buttons, Buttons::Ok);
        QCOMPARE(message.icon, Icon::None);
        QVERIFY(form.isVisible());
    }

    void browseFillsThePathBox() {
        Harness h;
        sets::LoadSetsDialog& form = h.open();
        form.fileBox->setText("typed.txt");
        form.browseButton->click();
        QCOMPARE(form.fileBox->text(), QString("typed.txt"));
        h.fake.fileDialogs.openAnswers.enqueue("/chosen/sets.txt");
        form.browseButton->click();
        QCOMPARE(form.fileBox->text(), QString("/chosen/sets.txt"));
        QCOMPARE(h.fake.fileDialogs.openCalls.size(), 2U);
        const platform::FileDialogRequest& request = h.fake.fileDialogs.openCalls.front();
        QCOMPARE(request.title, QString("Select Text File"));
        QCOMPARE(request.filter, QString("Text Files (*.txt)"));
        QCOMPARE(request.fileName, QString());
    }

    void handCursorRuleWithoutACursorFile() {
        Harness h;
        sets::LoadSetsDialog& form = h.open();
        QVERIFY(!form.windowPointer().mouseIcon().has_value());
        moveOver(form.helpButton);
        QCOMPARE(form.mousePointer().mousePointer(), platform::kPointerCustom);
        QCOMPARE(form.cursor().shape(), Qt::ArrowCursor);
        moveOver(form.labels[0]);
        moveOver(form.fileBox);
        QCOMPARE(form.mousePointer().mousePointer(), platform::kPointerCustom);
        moveOver(&form);
        QCOMPARE(form.mousePointer().mousePointer(), platform::kPointerDefault);
        form.mousePointer().setMousePointer(platform::kPointerHourglass);
        QCOMPARE(form.cursor().shape(), Qt::WaitCursor);
        moveOver(form.loadButton);
        moveOver(&form);
        QCOMPARE(form.mousePointer().mousePointer(), platform::kPointerHourglass);
    }

    void handCursorFromTheInstallationFolder() {
        Harness h;
        // A cursor file is an icon file of type 2 with the hot spot in place of the planes
        // and bit count of its first entry.
        QImage picture(32, 32, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(picture.save(&buffer, "ico"));
        QByteArray bytes = buffer.data();
        bytes[2] = 2;
        bytes[10] = 5;
        bytes[11] = 0;
        bytes[12] = 7;
        bytes[13] = 0;
        QVERIFY(!h.write("HAND-M.CUR", bytes).isEmpty());

        sets::LoadSetsDialog& form = h.open();
        QVERIFY(form.windowPointer().mouseIcon().has_value());
        QCOMPARE(form.windowPointer().mouseIcon()->hotSpot(), QPoint(5, 7));
        moveOver(form.cancelButton);
        QCOMPARE(form.cursor().shape(), Qt::BitmapCursor);
    }
};

QTEST_MAIN(Form2Test)
#include "load_sets_dialog_test.moc"
