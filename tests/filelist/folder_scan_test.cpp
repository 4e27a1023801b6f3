// The folder routines on real temporary trees: the level-by-level folder order, hidden folders,
// "~" names, links back up the tree, folders that vanish or cannot be read, and stopping.
#include "filelist/folder_scan.h"

#include "platform/event_pump.h"
#include "platform/folder_browser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A tree under a temporary folder R, built from relative paths.
class Tree {
public:
    Tree() : m_root(m_temp.path() + QStringLiteral("/R")) {
        EXPECT_TRUE(m_temp.isValid());
        EXPECT_TRUE(QDir().mkpath(m_root));
    }
    const QString& root() const { return m_root; }
    QString path(const QString& relative) const { return m_root + QLatin1Char('/') + relative; }
    QString folder(const QString& relative) const { return path(relative) + QLatin1Char('/'); }
    void dirs(std::initializer_list<const char*> relatives) const {
        for (const char* relative : relatives) {
            EXPECT_TRUE(QDir().mkpath(path(QString::fromUtf8(relative))));
        }
    }
    void files(std::initializer_list<const char*> relatives) const {
        for (const char* relative : relatives) {
            const QString file = path(QString::fromUtf8(relative));
            EXPECT_TRUE(QDir().mkpath(file.left(file.lastIndexOf(QLatin1Char('/')))));
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << relative;
        }
    }
    void link(const char* relative, const QString& target) const {
        EXPECT_TRUE(QFile::link(target, path(QString::fromUtf8(relative)))) << relative;
    }
    QString outside(const QString& name) const { return m_temp.path() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_temp;
    QString m_root;
};

// The wanted names in the order the file system lists folder, read with QDir as an
// independent reader of that order.
QStringList listingOrder(const QString& folder, const QStringList& wanted) {
    const QStringList all = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    QStringList ordered;
    for (const QString& name : all) {
        if (wanted.contains(name)) {
            ordered.append(name);
        }
    }
    EXPECT_EQ(ordered.size(), wanted.size()) << folder.toStdString();
    return ordered;
}

// Full paths of names in folder, in listing order.
QStringList inFolder(const QString& folder, const QStringList& names) {
    QStringList paths;
    for (const QString& name : listingOrder(folder, names)) {
        paths.append(filelist::withTrailingSeparator(folder) + name);
    }
    return paths;
}

class CountingPump final : public platform::EventPump {
public:
    void processEvents() override {
        ++count;
        if (onProcess) {
            onProcess(count);
        }
    }
    int count = 0;
    std::function<void(int)> onProcess;
};

class ScriptedBrowser final : public platform::FolderBrowser {
public:
    explicit ScriptedBrowser(QString answer) : m_answer(std::move(answer)) {}
    QString browseForFolder(const QString& title) override {
        titles.append(title);
        return m_answer;
    }
    QStringList titles;

private:
    QString m_answer;
};

TEST(collectSubfolders, GoesBreadthFirstLevelByLevel) {
    Tree tree;
    tree.dirs({"A/A1/A11", "B/B1"});
    QStringList folders{tree.root() + QLatin1Char('/')};
    filelist::collectSubfolders(folders, true);

    // R, A, B, A1, B1, A11 when the file system lists A before B; otherwise B's line first.
    const QStringList top = listingOrder(tree.root(), {QStringLiteral("A"), QStringLiteral("B")});
    const QString& first = top.at(0);
    const QString& second = top.at(1);
    const QStringList expected{tree.root() + QLatin1Char('/'),
                               tree.folder(first),
                               tree.folder(second),
                               tree.folder(first + QLatin1Char('/') + first + QLatin1Char('1')),
                               tree.folder(second + QLatin1Char('/') + second + QLatin1Char('1')),
                               tree.folder(QStringLiteral("A/A1/A11"))};
    EXPECT_EQ(folders, expected);
}

TEST(collectSubfolders, WithoutRecurseTakesDirectSubfoldersOnly) {
    Tree tree;
    tree.dirs({"A/A1", "B"});
    tree.files({"file.xls"});
    QStringList folders{tree.root() + QLatin1Char('/')};
    filelist::collectSubfolders(folders, false);
    ASSERT_EQ(folders.size(), 3);
    QStringList expected;
    for (const QString& path : inFolder(tree.root(), {QStringLiteral("A"), QStringLiteral("B")})) {
        expected.append(path + QLatin1Char('/'));
    }
    EXPECT_EQ(folders.mid(1), expected);
}

TEST(collectSubfolders, KeepsTheEntriesItWasGivenAndExtendsEach) {
    Tree tree;
    tree.dirs({"one/sub", "two"});
    QStringList folders{tree.folder(QStringLiteral("one")), tree.folder(QStringLiteral("two"))};
    filelist::collectSubfolders(folders, true);
    EXPECT_EQ(folders,
              (QStringList{tree.folder(QStringLiteral("one")), tree.folder(QStringLiteral("two")),
                           tree.folder(QStringLiteral("one/sub"))}));
}

TEST(collectSubfolders, DoesNotEnterHiddenFolders) {
    Tree tree;
    tree.dirs({".hidden/deep", "shown/.git/objects"});
    QStringList folders{tree.root() + QLatin1Char('/')};
    filelist::collectSubfolders(folders, true);
    EXPECT_EQ(folders,
              (QStringList{tree.root() + QLatin1Char('/'), tree.folder(QStringLiteral("shown"))}));
}

TEST(collectSubfolders, TakesEachRealFolderOnceWhateverTheLinks) {
    Tree tree;
    tree.dirs({"A", "B"});
    tree.link("A/up", tree.root());                      // a cycle back to the root
    tree.link("A/self", tree.path(QStringLiteral("A"))); // a cycle onto itself
    tree.link("B/toA", QStringLiteral("../A"));          // a second way to a folder already taken
    QDir().mkpath(tree.outside(QStringLiteral("O")));
    tree.link("ext", tree.outside(QStringLiteral("O"))); // a folder elsewhere, reached by a link
    QFile::link(tree.root(), tree.outside(QStringLiteral("O/back")));

    QStringList folders{tree.root() + QLatin1Char('/')};
    filelist::collectSubfolders(folders, true);

    QStringList rest = folders.mid(1);
    rest.sort();
    EXPECT_EQ(folders.first(), tree.root() + QLatin1Char('/'));
    EXPECT_EQ(rest, (QStringList{tree.folder(QStringLiteral("A")), tree.folder(QStringLiteral("B")),
                                 tree.folder(QStringLiteral("ext"))}));
}

TEST(collectSubfolders, HandlesEventsWhileItWorks) {
    Tree tree;
    tree.dirs({"A", "B/B1"});
    CountingPump pump;
    QStringList folders{tree.root() + QLatin1Char('/')};
    filelist::collectSubfolders(folders, true, &pump);
    EXPECT_EQ(folders.size(), 4);
    // At least once per folder opened and once per subfolder found.
    EXPECT_GE(pump.count, 4 + 3);
}

TEST(listFolderFiles, ListsMatchingFilesWithOrWithoutTrailingSeparator) {
    Tree tree;
    tree.files({"a.xlsx", "B.XLS", "c.txt", "noext", ".hidden.xls", "~$a.xlsx", "sub/d.xls"});
    tree.dirs({"folder.xls"});
    const QStringList wanted{QStringLiteral("a.xlsx"), QStringLiteral("B.XLS"),
                             QStringLiteral(".hidden.xls"), QStringLiteral("~$a.xlsx")};
    // Bare names, folders left out, hidden and "~" files kept (only the scans skip "~").
    EXPECT_EQ(filelist::listFolderFiles(tree.root(), QStringLiteral("*.xl*")),
              listingOrder(tree.root(), wanted));
    EXPECT_EQ(filelist::listFolderFiles(tree.root() + QLatin1Char('/'), QStringLiteral("*.xl*")),
              listingOrder(tree.root(), wanted));
}

TEST(listFolderFiles, ListsRegularFilesAndLinksToThemOnly) {
    Tree tree;
    tree.files({"real.xls"});
    tree.link("link.xls", tree.path(QStringLiteral("real.xls")));
    tree.link("broken.xls", tree.path(QStringLiteral("missing.xls")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(tree.path(QStringLiteral("pipe.xls"))).constData(), 0600),
              0);
    EXPECT_EQ(filelist::listFolderFiles(tree.root(), QStringLiteral("*.*")),
              listingOrder(tree.root(), {QStringLiteral("real.xls"), QStringLiteral("link.xls")}));
}

TEST(listFolderFiles, FolderThatCannotBeReadListsNothing) {
    Tree tree;
    EXPECT_TRUE(
        filelist::listFolderFiles(tree.path(QStringLiteral("missing")), QStringLiteral("*.*"))
            .isEmpty());
    tree.files({"plain.xls"});
    EXPECT_TRUE(
        filelist::listFolderFiles(tree.path(QStringLiteral("plain.xls")), QStringLiteral("*.*"))
            .isEmpty());
}

TEST(scanFolderFiles, AppendsFolderByFolderSkippingTildeNames) {
    Tree tree;
    tree.files({"a.xlsx", "b.XLS", "c.txt", "noext", "~$a.xlsx", ".h.xlsx", "A/d.xlsm",
                "A/~tmp.xls", "A/A1/f.xls", "B/e.xlsx", "B/x~y.xls", ".hid/no.xls"});
    const QStringList top = listingOrder(tree.root(), {QStringLiteral("A"), QStringLiteral("B")});
    QStringList expected = inFolder(tree.root(), {QStringLiteral("a.xlsx"), QStringLiteral("b.XLS"),
                                                  QStringLiteral(".h.xlsx")});
    for (const QString& level1 : top) {
        expected += level1 == QLatin1String("A")
                        ? inFolder(tree.path(level1), {QStringLiteral("d.xlsm")})
                        : inFolder(tree.path(level1),
                                   {QStringLiteral("e.xlsx"), QStringLiteral("x~y.xls")});
    }
    expected += tree.path(QStringLiteral("A/A1/f.xls"));
    EXPECT_EQ(filelist::scanFolderFiles(tree.root(), QStringLiteral("xl*")), expected);
}

// Fault: a folder the scan could not read was left out without a word. A chain of folders
// deeper than the longest path cannot be opened by its path, whoever runs the test; each such
// folder is reported, and the files of the others are still found.
TEST(scanFolderFiles, ReportsTheFoldersItCannotRead) {
    Tree tree;
    tree.files({"a.xlsx"});
    const std::string level(250, 'd');
    int fd = ::open(QFile::encodeName(tree.root()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    QString deepest = tree.root() + QLatin1Char('/');
    for (int depth = 0; depth < 20; ++depth) {
        ASSERT_EQ(::mkdirat(fd, level.c_str(), 0700), 0);
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        deepest += QString::fromStdString(level) + QLatin1Char('/');
    }
    ::close(fd);

    QStringList unreadable;
    EXPECT_EQ(
        filelist::scanFolderFiles(tree.root(), QStringLiteral("xlsx"), nullptr, {}, &unreadable),
        QStringList{tree.path(QStringLiteral("a.xlsx"))});
    ASSERT_EQ(unreadable.size(), 1);
    EXPECT_TRUE(deepest.startsWith(unreadable.front()))
        << unreadable.front().size() << " " << deepest.size();
    EXPECT_GT(QFile::encodeName(unreadable.front()).size(), 4000);
    // Too deep for removal by path too: rm works down the tree with relative names.
    EXPECT_EQ(
        std::system(
            ("rm -rf '" + tree.path(QString::fromStdString(level)).toStdString() + "'").c_str()),
        0);
}

TEST(scanFolderFiles, AnswersChooseTheFiles) {
    Tree tree;
    tree.files({"a.xls", "b.xlsx", "c.txt", "noext", "sub/d.TXT", "sub/e"});
    const QString sub = tree.path(QStringLiteral("sub"));
    // "*" takes every file, extension or not.
    EXPECT_EQ(filelist::scanFolderFiles(tree.root(), QStringLiteral("*")),
              inFolder(tree.root(), {QStringLiteral("a.xls"), QStringLiteral("b.xlsx"),
                                     QStringLiteral("c.txt"), QStringLiteral("noext")}) +
                  inFolder(sub, {QStringLiteral("d.TXT"), QStringLiteral("e")}));
    EXPECT_EQ(filelist::scanFolderFiles(tree.root(), QStringLiteral("xls")),
              QStringList{tree.path(QStringLiteral("a.xls"))});
    EXPECT_EQ(
        filelist::scanFolderFiles(tree.root(), QStringLiteral("txt")),
        (QStringList{tree.path(QStringLiteral("c.txt")), tree.path(QStringLiteral("sub/d.TXT"))}));
    EXPECT_TRUE(filelist::scanFolderFiles(tree.root(), QStringLiteral("pdf")).isEmpty());
}

TEST(scanFolderFiles, ListsEachFileOnceAcrossALinkCycle) {
    Tree tree;
    tree.files({"r.xls", "A/a.xls", "B/b.xls"});
    tree.link("A/up", tree.root());
    tree.link("B/toA", QStringLiteral("../A"));
    QStringList files = filelist::scanFolderFiles(tree.root(), QStringLiteral("*"));
    files.sort();
    EXPECT_EQ(files, (QStringList{tree.path(QStringLiteral("A/a.xls")),
                                  tree.path(QStringLiteral("B/b.xls")),
                                  tree.path(QStringLiteral("r.xls"))}));
}

TEST(scanFolderFiles, FolderThatVanishesDuringTheScanContributesNothing) {
    Tree tree;
    tree.files({"r.xls", "A/a.xls", "B/b.xls"});
    CountingPump pump;
    // Events handled at: opening R, finding A, finding B, opening A or B. From then on B is
    // gone, while it is still in the folder list.
    pump.onProcess = [&](int count) {
        if (count == 4) {
            QDir(tree.path(QStringLiteral("B"))).removeRecursively();
        }
    };
    EXPECT_EQ(
        filelist::scanFolderFiles(tree.root(), QStringLiteral("*"), &pump),
        (QStringList{tree.path(QStringLiteral("r.xls")), tree.path(QStringLiteral("A/a.xls"))}));
}

TEST(scanFolderFiles, FolderThatCannotBeReadContributesNothing) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop the superuser from reading a folder";
    }
    Tree tree;
    tree.files({"r.xls", "locked/l.xls", "locked/deeper/d.xls", "open/o.xls"});
    const QByteArray locked = QFile::encodeName(tree.path(QStringLiteral("locked")));
    ASSERT_EQ(::chmod(locked.constData(), 0), 0);
    const QStringList files = filelist::scanFolderFiles(tree.root(), QStringLiteral("*"));
    ::chmod(locked.constData(), 0700);
    EXPECT_EQ(files, (QStringList{tree.path(QStringLiteral("r.xls")),
                                  tree.path(QStringLiteral("open/o.xls"))}));
}

TEST(scanFolderFiles, StopsAtOnceWhenAskedAndAppendsNothing) {
    Tree tree;
    tree.dirs({"A/A1", "B/B1", "C"});
    tree.files({"r.xls", "A/a.xls"});
    CountingPump pump;
    int asked = 0;
    const filelist::StopRequest stop = [&] { return ++asked >= 3; };
    EXPECT_TRUE(filelist::scanFolderFiles(tree.root(), QStringLiteral("*"), &pump, stop).isEmpty());
    // No more events were handled once the answer was yes.
    EXPECT_EQ(pump.count, 3);
}

TEST(scanFolderFiles, RootFolderGetsNoSecondSeparator) {
    Tree tree;
    tree.files({"f.xls"});
    // The same joining rule as a root such as "/": a folder that already ends in its separator.
    EXPECT_EQ(filelist::scanFolderFiles(tree.root() + QLatin1Char('/'), QStringLiteral("xls")),
              QStringList{tree.path(QStringLiteral("f.xls"))});
}

struct SeparatorCase {
    const char* path;
    const char* expected;
};

class WithTrailingSeparatorTest : public testing::TestWithParam<SeparatorCase> {};

TEST_P(WithTrailingSeparatorTest, AddsOneSeparatorOnlyWhereNoneEnds) {
    EXPECT_EQ(filelist::withTrailingSeparator(QString::fromUtf8(GetParam().path)),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Paths, WithTrailingSeparatorTest,
                         testing::Values(SeparatorCase{"/", "/"}, SeparatorCase{"/data", "/data/"},
                                         SeparatorCase{"/data/", "/data/"},
                                         SeparatorCase{"//server/share", "//server/share/"}));

TEST(browseForFolder, ReturnsOnlyAnExistingFolder) {
    Tree tree;
    tree.files({"file.xls"});
    tree.dirs({"chosen"});
    struct Case {
        QString answer;
        QString expected;
    };
    const std::array cases{
        Case{tree.path(QStringLiteral("chosen")), tree.path(QStringLiteral("chosen"))},
        Case{QString(), QString()},                             // cancelled
        Case{tree.path(QStringLiteral("file.xls")), QString()}, // not a folder
        Case{tree.path(QStringLiteral("missing")), QString()},  // not there
    };
    for (const auto& c : cases) {
        ScriptedBrowser browser(c.answer);
        EXPECT_EQ(
            filelist::browseForFolder(browser, QStringLiteral("Please select folder to add:")),
            c.expected)
            << c.answer.toStdString();
        EXPECT_EQ(browser.titles, QStringList{QStringLiteral("Please select folder to add:")});
    }
}

TEST(isFolderToScan, ScansVisibleFoldersOnly) {
    Tree tree;
    tree.dirs({"visible", ".hidden"});
    tree.files({"file.xls", "~$lock.xls"});
    tree.link("linked", tree.path(QStringLiteral("visible")));
    EXPECT_TRUE(filelist::isFolderToScan(tree.path(QStringLiteral("visible"))));
    EXPECT_TRUE(filelist::isFolderToScan(tree.path(QStringLiteral("visible/"))));
    EXPECT_TRUE(filelist::isFolderToScan(tree.path(QStringLiteral("linked"))));
    EXPECT_FALSE(filelist::isFolderToScan(tree.path(QStringLiteral(".hidden"))));
    EXPECT_FALSE(filelist::isFolderToScan(tree.path(QStringLiteral("file.xls"))));
    EXPECT_FALSE(filelist::isFolderToScan(tree.path(QStringLiteral("missing"))));
}

} // namespace
