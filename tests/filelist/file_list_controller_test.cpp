// The file list's handlers offscreen with scripted dialogs, on real temporary trees: the open
// dialog, the folder command, drops, and removal by double-click and the Delete key.
#include "filelist/file_list_controller.h"

#include "fakes/fake_services.h"
#include "filelist/file_list.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>

namespace {

// The main window's list as the main window builds it, with the handlers on it.
struct Fixture {
    Fixture() {
        list.setColumnCount(1);
        list.setHeaderLabels({QStringLiteral("Excel File(s)")});
        list.resize(400, 300);
    }
    fakes::FakeServices fakes;
    platform::Services services = fakes.services();
    fakes::FakeMousePointer pointer;
    QTreeWidget list;
    filelist::FileListController controller{list, pointer, services};
};

// A temporary tree; paths are relative to its root folder.
class Tree {
public:
    Tree() { QDir().mkpath(root()); }
    QString root() const { return m_temp.path() + QStringLiteral("/root"); }
    QString path(const QString& relative) const { return root() + QLatin1Char('/') + relative; }
    void files(const QStringList& relatives) const {
        for (const QString& relative : relatives) {
            const QString file = path(relative);
            QDir().mkpath(file.left(file.lastIndexOf(QLatin1Char('/'))));
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }
    QStringList paths(const QStringList& relatives) const {
        QStringList full;
        for (const QString& relative : relatives) {
            full.append(path(relative));
        }
        return full;
    }

private:
    QTemporaryDir m_temp;
};

QMimeData* filesMime(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

} // namespace

class FileListControllerTest : public QObject {
    Q_OBJECT

private slots:
    void addFilesAppendsWhatTheDialogReturns_data();
    void addFilesAppendsWhatTheDialogReturns();
    void folderCommandStopsWithoutAnAnswer_data();
    void folderCommandStopsWithoutAnAnswer();
    void folderCommandCancelInBrowserKeepsTheSetting();
    void folderCommandAlwaysProposesXlStar();
    void folderCommandAddsMatchingFilesOfTheTree_data();
    void folderCommandAddsMatchingFilesOfTheTree();
    void folderCommandGoesFolderByFolderLevelByLevel();
    void folderCommandTwiceListsEachFileTwice();
    void closingTheWindowDuringAScanEndsIt_data();
    void closingTheWindowDuringAScanEndsIt();
    void commandDuringAScanKeepsTheHourglassUntilTheEnd();
    void dropAppendsInTheOrderOfTheDroppedPaths();
    void dropOfTwoFoldersListsEachOnce();
    void dropOfHiddenFolderAddsItsPathOnly();
    void dragOverRefusesDataWithoutLocalFiles_data();
    void dragOverRefusesDataWithoutLocalFiles();
    void dropEventAppendsWhateverTheUserHoldsDown();
    void doubleClickRemovesTheSelectedItem();
    void deleteKeyRemovesTheSelectedItem_data();
    void deleteKeyRemovesTheSelectedItem();
    void removalWithoutSelectionDoesNothing();
    void otherKeysAreLeftToTheList();
};

void FileListControllerTest::addFilesAppendsWhatTheDialogReturns_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("chosen");
    QTest::newRow("cancel") << QStringList{QStringLiteral("/data/old.xls")} << QStringList{};
    QTest::newRow("one file") << QStringList{} << QStringList{QStringLiteral("/data/a.xls")};
    QTest::newRow("several from a folder")
        << QStringList{}
        << QStringList{QStringLiteral("/data/b.xls"), QStringLiteral("/data/a.xls")};
    QTest::newRow("several from the root")
        << QStringList{} << QStringList{QStringLiteral("/a.xls"), QStringLiteral("/b.xls")};
    QTest::newRow("any type, one already listed")
        << QStringList{QStringLiteral("/data/a.xls")}
        << QStringList{QStringLiteral("/data/a.xls"), QStringLiteral("/data/notes.txt")};
}

void FileListControllerTest::addFilesAppendsWhatTheDialogReturns() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, chosen);
    Fixture f;
    filelist::appendItems(f.list, before);
    f.fakes.fileDialogs.openManyAnswers.enqueue(chosen);

    f.controller.addFiles();

    QCOMPARE(filelist::items(f.list), before + chosen);
    QCOMPARE(f.fakes.fileDialogs.openManyCalls.size(), std::size_t{1});
    const platform::FileDialogRequest& request = f.fakes.fileDialogs.openManyCalls.front();
    QCOMPARE(request.title, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
    QCOMPARE(request.filter, QStringLiteral("Excel Files (*.xl*);;All Files (*.*)"));
    QVERIFY(request.fileName.isEmpty());
    // The dialog opens in the folder of the last file listed, if any.
    QCOMPARE(request.directory,
             before.isEmpty() ? QString() : QFileInfo(before.last()).absolutePath());
    QVERIFY(f.fakes.messageBox.calls.empty());
}

void FileListControllerTest::folderCommandStopsWithoutAnAnswer_data() {
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::newRow("cancel") << std::optional<QString>{};
    QTest::newRow("OK on an empty box") << std::optional<QString>{QString()};
}

void FileListControllerTest::folderCommandStopsWithoutAnAnswer() {
    QFETCH(std::optional<QString>, answer);
    Fixture f;
    filelist::appendItem(f.list, QStringLiteral("/data/old.xls"));
    f.fakes.inputBox.answers.enqueue(answer);

    f.controller.addFolder();

    QCOMPARE(filelist::items(f.list), QStringList{QStringLiteral("/data/old.xls")});
    QVERIFY(f.fakes.settings.writes.empty());
    QVERIFY(f.fakes.folderBrowser.titles.isEmpty());
    QVERIFY(f.pointer.history.empty());
}

void FileListControllerTest::folderCommandCancelInBrowserKeepsTheSetting() {
    Fixture f;
    f.fakes.inputBox.answers.enqueue(QStringLiteral("txt"));

    f.controller.addFolder();

    QCOMPARE(f.fakes.settings.values.value(QStringLiteral("Extension")), QStringLiteral("txt"));
    QCOMPARE(f.fakes.folderBrowser.titles,
             QStringList{QStringLiteral("Please select folder to add:")});
    QVERIFY(filelist::items(f.list).isEmpty());
    QVERIFY(f.pointer.history.empty());
}

void FileListControllerTest::folderCommandAlwaysProposesXlStar() {
    Fixture f;
    f.fakes.settings.values.insert(QStringLiteral("Extension"), QStringLiteral("doc"));
    f.fakes.inputBox.answers.enqueue(QStringLiteral("txt"));
    f.fakes.inputBox.answers.enqueue(std::optional<QString>{});

    f.controller.addFolder();
    f.controller.addFolder();

    QCOMPARE(f.fakes.inputBox.calls.size(), std::size_t{2});
    for (const fakes::InputCall& call : f.fakes.inputBox.calls) {
        QCOMPARE(call.defaultText, QStringLiteral("xl*"));
        QCOMPARE(call.title, QStringLiteral("Varnocliff"));
        QCOMPARE(call.prompt,
                 QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all "
                                "txt files, doc for all doc files, etc.)"));
    }
    // The setting is written, never read back.
    QVERIFY(!f.fakes.settings.reads.contains(QStringLiteral("Extension")));
    QCOMPARE(f.fakes.settings.values.value(QStringLiteral("Extension")), QStringLiteral("txt"));
}

void FileListControllerTest::folderCommandAddsMatchingFilesOfTheTree_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("xl* skips ~ names, keeps hidden files, not hidden folders")
        << QStringLiteral("xl*")
        << QStringList{QStringLiteral("a.xlsx"), QStringLiteral(".h.xls"),
                       QStringLiteral("sub/c.XLSM")};
    QTest::newRow("* adds files without extension")
        << QStringLiteral("*")
        << QStringList{QStringLiteral("a.xlsx"),     QStringLiteral(".h.xls"),
                       QStringLiteral("b.txt"),      QStringLiteral("noext"),
                       QStringLiteral("sub/c.XLSM"), QStringLiteral("sub/plain")};
    QTest::newRow("txt") << QStringLiteral("txt") << QStringList{QStringLiteral("b.txt")};
    QTest::newRow("nothing matches") << QStringLiteral("pdf") << QStringList{};
}

void FileListControllerTest::folderCommandAddsMatchingFilesOfTheTree() {
    QFETCH(QString, answer);
    QFETCH(QStringList, expected);
    Tree tree;
    tree.files({QStringLiteral("a.xlsx"), QStringLiteral(".h.xls"), QStringLiteral("b.txt"),
                QStringLiteral("noext"), QStringLiteral("~$a.xlsx"), QStringLiteral("sub/c.XLSM"),
                QStringLiteral("sub/plain"), QStringLiteral("sub/~tmp"),
                QStringLiteral(".hidden/d.xlsx"), QStringLiteral(".hidden/deep/e.xls")});
    Fixture f;
    f.fakes.inputBox.answers.enqueue(answer);
    f.fakes.folderBrowser.answers.enqueue(tree.root());

    f.controller.addFolder();

    const QStringList items = filelist::items(f.list);
    QCOMPARE(sorted(items), sorted(tree.paths(expected)));
    // The chosen folder's own files come before those of its subfolder.
    if (items.contains(tree.path(QStringLiteral("sub/c.XLSM")))) {
        QCOMPARE(items.last().section(QLatin1Char('/'), -2, -2), QStringLiteral("sub"));
    }
    QCOMPARE(f.pointer.history,
             (std::vector<int>{platform::kPointerHourglass, platform::kPointerDefault}));
    QVERIFY(f.fakes.events.count > 0);
    QVERIFY(f.fakes.messageBox.calls.empty());
}

void FileListControllerTest::folderCommandGoesFolderByFolderLevelByLevel() {
    Tree tree;
    tree.files({QStringLiteral("r.xls"), QStringLiteral("A/a.xls"), QStringLiteral("B/b.xls"),
                QStringLiteral("A/A1/a1.xls"), QStringLiteral("B/B1/b1.xls"),
                QStringLiteral("A/A1/A11/a11.xls")});
    Fixture f;
    f.fakes.inputBox.answers.enqueue(QStringLiteral("xls"));
    f.fakes.folderBrowser.answers.enqueue(tree.root());

    f.controller.addFolder();

    // R, A, B, A1, B1, A11 when the file system lists A first, R, B, A, B1, A1, A11 otherwise.
    const QStringList aFirst =
        tree.paths({QStringLiteral("r.xls"), QStringLiteral("A/a.xls"), QStringLiteral("B/b.xls"),
                    QStringLiteral("A/A1/a1.xls"), QStringLiteral("B/B1/b1.xls"),
                    QStringLiteral("A/A1/A11/a11.xls")});
    const QStringList bFirst =
        tree.paths({QStringLiteral("r.xls"), QStringLiteral("B/b.xls"), QStringLiteral("A/a.xls"),
                    QStringLiteral("B/B1/b1.xls"), QStringLiteral("A/A1/a1.xls"),
                    QStringLiteral("A/A1/A11/a11.xls")});
    const QStringList items = filelist::items(f.list);
    QVERIFY2(items == aFirst || items == bFirst, qPrintable(items.join(QLatin1Char('\n'))));
}

void FileListControllerTest::folderCommandTwiceListsEachFileTwice() {
    Tree tree;
    tree.files({QStringLiteral("a.xls"), QStringLiteral("sub/b.xls")});
    Fixture f;
    for (int i = 0; i < 2; ++i) {
        f.fakes.inputBox.answers.enqueue(QStringLiteral("xl*"));
        f.fakes.folderBrowser.answers.enqueue(tree.root());
        f.controller.addFolder();
    }
    const QStringList once = tree.paths({QStringLiteral("a.xls"), QStringLiteral("sub/b.xls")});
    QCOMPARE(filelist::items(f.list), once + once);
}

void FileListControllerTest::closingTheWindowDuringAScanEndsIt_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("main window closed") << QStringLiteral("close list window");
    QTest::newRow("last window closed") << QStringLiteral("close last window");
    QTest::newRow("stop requested") << QStringLiteral("request stop");
}

void FileListControllerTest::closingTheWindowDuringAScanEndsIt() {
    QFETCH(QString, how);
    Tree tree;
    for (int i = 0; i < 20; ++i) {
        tree.files({QStringLiteral("d%1/e/f.xls").arg(i)});
    }
    Fixture f;
    // Another window keeps the application alive in the first case; it is the only one in
    // the second, where the list's window is never shown.
    QWidget other;
    other.show();
    if (how == QLatin1String("close list window")) {
        f.list.show();
    }
    int closedAt = -1;
    f.fakes.events.onProcess = [&] {
        if (f.fakes.events.count != 3) {
            return;
        }
        closedAt = f.fakes.events.count;
        if (how == QLatin1String("close list window")) {
            f.list.close();
        } else if (how == QLatin1String("close last window")) {
            other.close();
        } else {
            f.controller.requestStop();
        }
    };
    f.fakes.inputBox.answers.enqueue(QStringLiteral("*"));
    f.fakes.folderBrowser.answers.enqueue(tree.root());

    if (how == QLatin1String("close last window")) {
        // The application reports its last window closed only while its event loop runs, as
        // the program's does when the user clicks the button.
        QTimer::singleShot(0, &f.controller, [&] {
            f.controller.addFolder();
            QCoreApplication::quit();
        });
        QCoreApplication::exec();
    } else {
        f.controller.addFolder();
    }

    QCOMPARE(closedAt, 3);
    QCOMPARE(f.fakes.events.count, 3); // no event handled after the close
    QVERIFY(filelist::items(f.list).isEmpty());
    QCOMPARE(f.pointer.pointer, platform::kPointerDefault);
    QVERIFY(!f.controller.isScanning());
}

void FileListControllerTest::commandDuringAScanKeepsTheHourglassUntilTheEnd() {
    Tree tree;
    tree.files({QStringLiteral("outer/o.xls"), QStringLiteral("outer/sub/s.xls"),
                QStringLiteral("inner/i.xls")});
    Fixture f;
    std::vector<int> pointerAfterInner;
    // While the first scan handles events, the user drops a folder on the list.
    f.fakes.events.onProcess = [&] {
        if (f.fakes.events.count != 1) {
            return;
        }
        const std::unique_ptr<QMimeData> data(filesMime({tree.path(QStringLiteral("inner"))}));
        f.controller.addDropped(*data);
        pointerAfterInner.push_back(f.pointer.pointer);
    };
    f.fakes.inputBox.answers.enqueue(QStringLiteral("xls"));
    f.fakes.folderBrowser.answers.enqueue(tree.path(QStringLiteral("outer")));

    f.controller.addFolder();

    QCOMPARE(filelist::items(f.list),
             tree.paths({QStringLiteral("inner/i.xls"), QStringLiteral("outer/o.xls"),
                         QStringLiteral("outer/sub/s.xls")}));
    QCOMPARE(pointerAfterInner, std::vector<int>{platform::kPointerHourglass});
    QCOMPARE(f.pointer.pointer, platform::kPointerDefault);
    QCOMPARE(f.pointer.history.back(), platform::kPointerDefault);
    QCOMPARE(std::count(f.pointer.history.begin(), f.pointer.history.end(), 0), 1);
}

void FileListControllerTest::dropAppendsInTheOrderOfTheDroppedPaths() {
    Tree tree;
    tree.files({QStringLiteral("single/~$lock.xlsx"), QStringLiteral("single/notes.txt"),
                QStringLiteral("dir/a.xls"), QStringLiteral("dir/~$a.xls"),
                QStringLiteral("dir/.h.doc"), QStringLiteral("dir/noext"),
                QStringLiteral("dir/.hidden/x.xls")});
    Fixture f;
    filelist::appendItem(f.list, QStringLiteral("/data/first.xls"));
    const std::unique_ptr<QMimeData> data(
        filesMime(tree.paths({QStringLiteral("single/~$lock.xlsx"), QStringLiteral("dir"),
                              QStringLiteral("single/notes.txt")})));

    f.controller.addDropped(*data);

    // A single file goes in as it stands, "~" or not; a folder brings every file of its tree
    // except "~" names, hidden files included, hidden folders not entered.
    const QStringList items = filelist::items(f.list);
    QCOMPARE(items.size(), 6);
    QCOMPARE(items.mid(0, 2), (QStringList{QStringLiteral("/data/first.xls"),
                                           tree.path(QStringLiteral("single/~$lock.xlsx"))}));
    QCOMPARE(sorted(items.mid(2, 3)),
             sorted(tree.paths({QStringLiteral("dir/a.xls"), QStringLiteral("dir/.h.doc"),
                                QStringLiteral("dir/noext")})));
    QCOMPARE(items.last(), tree.path(QStringLiteral("single/notes.txt")));
    QVERIFY(f.fakes.messageBox.calls.empty());
}

void FileListControllerTest::dropOfTwoFoldersListsEachOnce() {
    Tree tree;
    tree.files(
        {QStringLiteral("A/a.xls"), QStringLiteral("A/sub/s.xls"), QStringLiteral("B/b.xls")});
    Fixture f;
    const std::unique_ptr<QMimeData> data(
        filesMime(tree.paths({QStringLiteral("A"), QStringLiteral("B")})));

    f.controller.addDropped(*data);
    const QStringList once = tree.paths(
        {QStringLiteral("A/a.xls"), QStringLiteral("A/sub/s.xls"), QStringLiteral("B/b.xls")});
    QCOMPARE(filelist::items(f.list), once);

    // The same folders dropped again are listed again.
    f.controller.addDropped(*data);
    QCOMPARE(filelist::items(f.list), once + once);
    // Each folder scan shows the hourglass while it collects subfolders.
    QCOMPARE(f.pointer.history, (std::vector<int>{11, 0, 11, 0, 11, 0, 11, 0}));
    QVERIFY(f.fakes.events.count > 0);
}

void FileListControllerTest::dropOfHiddenFolderAddsItsPathOnly() {
    Tree tree;
    tree.files({QStringLiteral(".hidden/a.xls")});
    Fixture f;
    const std::unique_ptr<QMimeData> data(filesMime({tree.path(QStringLiteral(".hidden"))}));
    f.controller.addDropped(*data);
    QCOMPARE(filelist::items(f.list), QStringList{tree.path(QStringLiteral(".hidden"))});
    QVERIFY(f.pointer.history.empty());
}

void FileListControllerTest::dragOverRefusesDataWithoutLocalFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("welcome");
    QTest::newRow("text") << QStringLiteral("text") << false;
    QTest::newRow("image") << QStringLiteral("image") << false;
    QTest::newRow("web address") << QStringLiteral("web") << false;
    QTest::newRow("local files") << QStringLiteral("files") << true;
}

void FileListControllerTest::dragOverRefusesDataWithoutLocalFiles() {
    QFETCH(QString, kind);
    QFETCH(bool, welcome);
    Tree tree;
    tree.files({QStringLiteral("a.xls")});
    std::unique_ptr<QMimeData> data;
    if (kind == QLatin1String("files")) {
        data.reset(filesMime({tree.path(QStringLiteral("a.xls"))}));
    } else {
        data = std::make_unique<QMimeData>();
        if (kind == QLatin1String("text")) {
            data->setText(tree.path(QStringLiteral("a.xls")));
        } else if (kind == QLatin1String("image")) {
            data->setData(QStringLiteral("image/png"), QByteArray("\x89PNG", 4));
        } else {
            data->setUrls({QUrl(QStringLiteral("https://example.org/a.xls"))});
        }
    }
    QCOMPARE(filelist::FileListController::acceptsDrop(*data), welcome);

    // The same through the list's own drag events.
    Fixture f;
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));
    QWidget* viewport = f.list.viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QCOMPARE(enter.isAccepted(), welcome);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    QCoreApplication::processEvents();
    QCOMPARE(filelist::items(f.list).size(), welcome ? 1 : 0);
}

void FileListControllerTest::dropEventAppendsWhateverTheUserHoldsDown() {
    Tree tree;
    tree.files({QStringLiteral("a.xls"), QStringLiteral("dir/b.xls")});
    Fixture f;
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));
    const std::unique_ptr<QMimeData> data(
        filesMime(tree.paths({QStringLiteral("a.xls"), QStringLiteral("dir")})));
    const Qt::DropActions actions = Qt::MoveAction | Qt::LinkAction;
    const Qt::KeyboardModifiers held = Qt::ControlModifier | Qt::ShiftModifier;
    QDragEnterEvent enter(QPoint(5, 5), actions, data.get(), Qt::RightButton, held);
    QCoreApplication::sendEvent(f.list.viewport(), &enter);
    QDropEvent drop(QPointF(5, 5), actions, data.get(), Qt::RightButton, held);
    QCoreApplication::sendEvent(f.list.viewport(), &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(filelist::items(f.list),
                 tree.paths({QStringLiteral("a.xls"), QStringLiteral("dir/b.xls")}));
}

void FileListControllerTest::doubleClickRemovesTheSelectedItem() {
    Fixture f;
    filelist::appendItems(f.list, {QStringLiteral("/d/1.xls"), QStringLiteral("/d/2.xls"),
                                   QStringLiteral("/d/3.xls")});
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));

    // On the middle item: it is selected by the first click and removed by the double-click.
    const QRect middle = f.list.visualItemRect(f.list.topLevelItem(1));
    QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, middle.center());
    QTest::mouseDClick(f.list.viewport(), Qt::LeftButton, {}, middle.center());
    QCOMPARE(filelist::items(f.list),
             (QStringList{QStringLiteral("/d/1.xls"), QStringLiteral("/d/3.xls")}));

    // Anywhere on the list, here below the last item: the selected item goes. (A first click
    // there clears the selection, and then the double-click has nothing to remove.)
    f.list.setCurrentItem(f.list.topLevelItem(1));
    const QPoint blank(20, f.list.viewport()->height() - 10);
    QVERIFY(f.list.itemAt(blank) == nullptr);
    QTest::mouseDClick(f.list.viewport(), Qt::LeftButton, {}, blank);
    QCOMPARE(filelist::items(f.list), QStringList{QStringLiteral("/d/1.xls")});

    // Only one item per gesture, and nothing on an empty list.
    f.list.setCurrentItem(f.list.topLevelItem(0));
    f.controller.removeSelected();
    f.controller.removeSelected();
    QVERIFY(filelist::items(f.list).isEmpty());
    QTest::mouseDClick(f.list.viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(filelist::items(f.list).isEmpty());
}

void FileListControllerTest::deleteKeyRemovesTheSelectedItem_data() {
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Delete") << Qt::KeyboardModifiers{};
    QTest::newRow("Shift+Delete") << Qt::KeyboardModifiers{Qt::ShiftModifier};
    QTest::newRow("Ctrl+Delete") << Qt::KeyboardModifiers{Qt::ControlModifier};
    QTest::newRow("Alt+Delete") << Qt::KeyboardModifiers{Qt::AltModifier};
    QTest::newRow("Ctrl+Shift+Delete") << (Qt::ControlModifier | Qt::ShiftModifier);
}

void FileListControllerTest::deleteKeyRemovesTheSelectedItem() {
    QFETCH(Qt::KeyboardModifiers, modifiers);
    Fixture f;
    filelist::appendItems(f.list, {QStringLiteral("/d/1.xls"), QStringLiteral("/d/2.xls"),
                                   QStringLiteral("/d/3.xls")});
    f.list.setCurrentItem(f.list.topLevelItem(1));

    QTest::keyClick(&f.list, Qt::Key_Delete, modifiers);

    QCOMPARE(filelist::items(f.list),
             (QStringList{QStringLiteral("/d/1.xls"), QStringLiteral("/d/3.xls")}));
}

void FileListControllerTest::removalWithoutSelectionDoesNothing() {
    Fixture f;
    // Empty list.
    QTest::keyClick(&f.list, Qt::Key_Delete);
    f.controller.removeSelected();
    QVERIFY(filelist::items(f.list).isEmpty());
    // Items, none selected.
    filelist::appendItems(f.list, {QStringLiteral("/d/1.xls"), QStringLiteral("/d/2.xls")});
    f.list.clearSelection();
    QTest::keyClick(&f.list, Qt::Key_Delete);
    f.controller.removeSelected();
    QCOMPARE(filelist::items(f.list),
             (QStringList{QStringLiteral("/d/1.xls"), QStringLiteral("/d/2.xls")}));
}

void FileListControllerTest::otherKeysAreLeftToTheList() {
    Fixture f;
    filelist::appendItems(f.list, {QStringLiteral("/d/1.xls"), QStringLiteral("/d/2.xls")});
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));
    f.list.setCurrentItem(f.list.topLevelItem(0));
    QTest::keyClick(&f.list, Qt::Key_Down);
    QTest::keyClick(&f.list, Qt::Key_Backspace);
    QCOMPARE(f.list.currentItem(), f.list.topLevelItem(1));
    QCOMPARE(filelist::items(f.list).size(), 2);
    QTest::keyClick(&f.list, Qt::Key_Delete);
    QCOMPARE(filelist::items(f.list), QStringList{QStringLiteral("/d/1.xls")});
}

QTEST_MAIN(FileListControllerTest)
#include "file_list_controller_test.moc"
