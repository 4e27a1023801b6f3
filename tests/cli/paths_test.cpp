// Path expansion on real temporary trees, and the same-file key that keeps two runs on one
// file apart.
#include "cli/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Paths : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        for (const char* file :
             {"tree/a.xlsx", "tree/notes.txt", "tree/~$a.xlsx", "tree/sub/b.XLSM",
              "tree/sub/deeper/c.xls", "tree/.hidden/d.xlsx", "loose.xlsx"}) {
            touch(QString::fromUtf8(file));
        }
    }

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    void touch(const QString& relative) const {
        const QString full = path(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(full).path()));
        QFile file(full);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }

    QTemporaryDir m_dir;
};

TEST_F(Paths, FolderScansLikeTheFolderCommandFilesStayAsGiven) {
    const QStringList files = cli::expandPaths(
        {path("loose.xlsx"), path("tree"), path("missing.xlsx"), path("loose.xlsx")},
        QStringLiteral("xl*"));
    const QString tree = path("tree");
    // Breadth-first, "~" names and the hidden folder left out, case-insensitive extension;
    // the missing file and the duplicate are kept so that the run reports them.
    const QStringList expected{path("loose.xlsx"),   tree + "/a.xlsx",
                               tree + "/sub/b.XLSM", tree + "/sub/deeper/c.xls",
                               path("missing.xlsx"), path("loose.xlsx")};
    EXPECT_EQ(files, expected);
}

TEST_F(Paths, ExtensionAnswerChoosesThePattern) {
    EXPECT_EQ(cli::expandPaths({path("tree")}, QStringLiteral("txt")),
              QStringList{path("tree") + "/notes.txt"});
    // "*" takes every file, still without "~" names and hidden folders.
    EXPECT_EQ(cli::expandPaths({path("tree")}, QStringLiteral("*")).size(), 4);
}

TEST_F(Paths, EmptyFolderGivesNoFiles) {
    ASSERT_TRUE(QDir().mkpath(path("empty")));
    EXPECT_TRUE(cli::expandPaths({path("empty")}, QStringLiteral("xl*")).isEmpty());
}

TEST_F(Paths, SameFileKeyAgreesForEveryNameOfOneFile) {
    const QString file = path("loose.xlsx");
    ASSERT_EQ(::symlink(QFile::encodeName(file).constData(),
                        QFile::encodeName(path("link.xlsx")).constData()),
              0);
    ASSERT_EQ(::link(QFile::encodeName(file).constData(),
                     QFile::encodeName(path("hard.xlsx")).constData()),
              0);
    const std::string key = cli::sameFileKey(file);
    EXPECT_EQ(cli::sameFileKey(path("tree/../loose.xlsx")), key);
    EXPECT_EQ(cli::sameFileKey(path("link.xlsx")), key);
    EXPECT_EQ(cli::sameFileKey(path("hard.xlsx")), key);
    EXPECT_NE(cli::sameFileKey(path("tree/a.xlsx")), key);
}

TEST_F(Paths, SameFileKeyOfMissingFilesComparesCleanedPaths) {
    EXPECT_EQ(cli::sameFileKey(path("gone.xlsx")), cli::sameFileKey(path("tree/../gone.xlsx")));
    EXPECT_NE(cli::sameFileKey(path("gone.xlsx")), cli::sameFileKey(path("other.xlsx")));
}

} // namespace
