// Splitting lines, parsing sets files into the set list, writing them, and the one-call load.
#include "sets/sets_file.h"

#include "sets/text_file.h"
#include "temp_files.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using sets::Set;
using sets::SetList;

std::vector<Set> parse(const QString& text,
                       const QString& separator = "::", SetList* list = nullptr) {
    SetList own;
    SetList& target = list != nullptr ? *list : own;
    sets::ParseSetsText(text, separator, target);
    return target.sets();
}

struct SplitCase {
    QString text;
    QString separator;
    std::optional<Set> set;
};

class SplitSet : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitSet, KeepsTheFirstTwoPiecesUntrimmed) {
    EXPECT_EQ(sets::SplitSet(GetParam().text, GetParam().separator), GetParam().set)
        << GetParam().text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitSet,
    testing::Values(SplitCase{"a::b", "::", Set{"a", "b"}}, SplitCase{"a::", "::", Set{"a", ""}},
                    SplitCase{"::b", "::", Set{"", "b"}}, SplitCase{"a::b::c", "::", Set{"a", "b"}},
                    SplitCase{"a:::b", "::", Set{"a", ":b"}},
                    SplitCase{"a::::b", "::", Set{"a", ""}}, SplitCase{"::", "::", Set{"", ""}},
                    SplitCase{"findwhat::replacewith", "::", Set{"findwhat", "replacewith"}},
                    SplitCase{"  a :: b  ", "::", Set{"  a ", " b  "}},
                    SplitCase{"   ::   ", "::", Set{"   ", "   "}},
                    SplitCase{"a:b", "::", std::nullopt}, SplitCase{"   ", "::", std::nullopt},
                    SplitCase{"x y z", " ", Set{"x", "y"}},
                    SplitCase{"x::y=z", "=", Set{"x::y", "z"}},
                    SplitCase{"top::summit", "=", std::nullopt},
                    SplitCase{"aXbxc", "x", Set{"aXb", "c"}}, SplitCase{"a::b", "", std::nullopt}));

TEST(ParseSetsText, SkipsEmptyLinesAndLinesWithoutTheSeparator) {
    EXPECT_EQ(parse("My sets\n\nlarch::l\n   \n\nvetch::v\ntitle: none\n"),
              (std::vector<Set>{{"larch", "l"}, {"vetch", "v"}}));
}

TEST(ParseSetsText, LineEndsDoNotMatter) {
    const std::vector<Set> expected{{"top", "summit"}, {"larch", "l"}};
    for (const QString& text :
         {QString("top::summit\nlarch::l\n"), QString("top::summit\r\nlarch::l\r\n"),
          QString("top::summit\r\nlarch::l"), QString("top::summit\nlarch::l"),
          QString("top::sum\rmit\r\n\r\nlarch::l\r")}) {
        EXPECT_EQ(parse(text), expected) << text.toStdString();
    }
}

TEST(ParseSetsText, AppendsAfterSetsAlreadyThereDuplicatesIncluded) {
    SetList list;
    list.append("top", "summit");
    const sets::ParseOutcome outcome = sets::ParseSetsText("top::summit\nx::y=z\n", "=", list);
    EXPECT_EQ(outcome.status, sets::ParseOutcome::Status::Loaded);
    EXPECT_EQ(outcome.added, 1);
    EXPECT_EQ(list.sets(), (std::vector<Set>{{"top", "summit"}, {"x::y", "z"}}));
    sets::ParseSetsText("top::summit", "::", list);
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.at(2), list.at(0));
}

TEST(ParseSetsText, EmptySeparatorFindsNothing) {
    EXPECT_TRUE(parse("a::b\n", "").empty());
}

TEST(ParseSetsText, StopsWhenTheListIsFull) {
    SetList list;
    for (int i = 0; i < SetList::kMaxSets - 2; ++i) {
        list.append("old", "set");
    }
    const sets::ParseOutcome outcome =
        sets::ParseSetsText("a::1\nskipped\nb::2\n\nc::3\nd::4\n", "::", list);
    EXPECT_EQ(outcome.status, sets::ParseOutcome::Status::ListFull);
    EXPECT_EQ(outcome.added, 2);
    EXPECT_EQ(outcome.line, 5) << "the line of the first set that did not fit";
    EXPECT_EQ(list.count(), SetList::kMaxSets);
    EXPECT_EQ(list.at(SetList::kMaxSets - 1), (Set{"b", "2"}));
}

// A line of megabytes is no set anyone typed: the whole file is refused and the list keeps
// what it had, rather than filling the lists with texts no cell could hold.
TEST(ParseSetsText, TextLongerThanACellRefusesTheWholeText) {
    SetList list;
    list.append("kept", "as is");
    const QString longest(sets::kMaxSetTextLength, u'x');
    sets::ParseOutcome outcome =
        sets::ParseSetsText("a::b\n" + longest + "::" + longest + "\n", "::", list);
    EXPECT_EQ(outcome.status, sets::ParseOutcome::Status::Loaded);
    EXPECT_EQ(list.count(), 3);

    const QString megabyte(1 << 20, u'y');
    outcome = sets::ParseSetsText("c::d\n" + megabyte + "\nshort::" + megabyte + "\n", "::", list);
    EXPECT_EQ(outcome.status, sets::ParseOutcome::Status::TextTooLong);
    EXPECT_EQ(outcome.line, 3);
    EXPECT_EQ(outcome.added, 0);
    EXPECT_EQ(list.count(), 3);
}

class SetsFiles : public testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir;
};

TEST_F(SetsFiles, SaveWritesUtf8LinesWithColonsAndCrLf) {
    const std::vector<Set> list{
        {"top", "summit"}, {"larch", "l"}, {"Stra\u00DFe", ""}, {"", " b "}};
    ASSERT_EQ(sets::SaveSetsFile(path("sets"), list), "");
    EXPECT_EQ(testfiles::read(path("sets")), QByteArray("top::summit\r\nlarch::l\r\nStra\xC3\x9F"
                                                        "e::\r\n:: b \r\n"));
    EXPECT_EQ(entries(), QStringList{"sets"}) << "no extension added, no temporary file left";
}

TEST_F(SetsFiles, SavingAnEmptyListLeavesZeroBytes) {
    ASSERT_TRUE(testfiles::write(path("old.txt"), "previous::content\r\n"));
    ASSERT_EQ(sets::SaveSetsFile(path("old.txt"), {}), "");
    EXPECT_TRUE(QFileInfo::exists(path("old.txt")));
    EXPECT_EQ(testfiles::read(path("old.txt")), QByteArray());
}

TEST_F(SetsFiles, SaveThenLoadReproducesTheSetsAfterThoseAlreadyPresent) {
    const std::vector<Set> saved{{"top", "summit"}, {" a ", "\u00E9t\u00E9"}};
    ASSERT_EQ(sets::SaveSetsFile(path("round.txt"), saved), "");
    SetList list;
    list.append("first", "one");
    const sets::TextFileContent content = sets::ReadTextFile(path("round.txt"));
    ASSERT_TRUE(content.ok());
    sets::ParseSetsText(content.text, "::", list);
    EXPECT_EQ(list.sets(), (std::vector<Set>{{"first", "one"}, saved[0], saved[1]}));
}

// Sets loaded with another separator may hold "::" in the find text; the file has no
// escaping, so the reload ends the find text at its first "::".
TEST_F(SetsFiles, FindTextWithColonsDoesNotComeBackUnchanged) {
    ASSERT_EQ(sets::SaveSetsFile(path("x.txt"), {{"x::y", "z"}}), "");
    EXPECT_EQ(testfiles::read(path("x.txt")), QByteArray("x::y::z\r\n"));
    EXPECT_EQ(sets::LoadSetsFile(path("x.txt"), "::").sets, (std::vector<Set>{{"x", "y"}}));
}

TEST_F(SetsFiles, SaveKeepsPermissionsAndWritesThroughALink) {
    ASSERT_TRUE(testfiles::write(path("target.txt"), "old::x\r\n"));
    ASSERT_TRUE(QFile::setPermissions(path("target.txt"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(QFile::link(path("target.txt"), path("link.txt")));
    ASSERT_EQ(sets::SaveSetsFile(path("link.txt"), {{"new", "y"}}), "");
    EXPECT_TRUE(QFileInfo(path("link.txt")).isSymLink());
    EXPECT_EQ(testfiles::read(path("target.txt")), QByteArray("new::y\r\n"));
    EXPECT_EQ(QFile::permissions(path("target.txt")) & 0x0FFF,
              QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
}

TEST_F(SetsFiles, SaveIntoAMissingFolderNamesThePathAndTheReason) {
    const QString target = path("no such folder/sets.txt");
    const QString error = sets::SaveSetsFile(target, {{"a", "b"}});
    EXPECT_TRUE(error.contains(target)) << error.toStdString();
    EXPECT_GT(error.size(), target.size() + 40) << "a reason follows the path";
    EXPECT_TRUE(entries().isEmpty());
}

// The disk filling up in the middle of the write: the file being replaced must survive.
TEST_F(SetsFiles, FailedWriteLeavesTheOldFileAsItWas) {
    const QByteArray original("precious::data\r\n");
    ASSERT_TRUE(testfiles::write(path("keep.txt"), original));
    std::vector<Set> many(5000, Set{"a long enough find text", "and its replacement"});

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = sets::SaveSetsFile(path("keep.txt"), many);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(error.contains(path("keep.txt"))) << error.toStdString();
    EXPECT_EQ(testfiles::read(path("keep.txt")), original);
    EXPECT_EQ(entries(), QStringList{"keep.txt"}) << "the unfinished new file is removed";
}

TEST_F(SetsFiles, LoadSetsFileReadsAsTheDialogDoes) {
    ASSERT_TRUE(testfiles::write(path("old.txt"), "Sets\r\n\x93"
                                                  "quote\x94::caf\xE9\r\n\r\na::b::c"));
    const sets::LoadedSets loaded = sets::LoadSetsFile(path("old.txt"), "::");
    ASSERT_TRUE(loaded.ok()) << loaded.error.toStdString();
    EXPECT_EQ(loaded.sets, (std::vector<Set>{{"\u201Cquote\u201D", "caf\u00E9"}, {"a", "b"}}));

    ASSERT_TRUE(
        testfiles::write(path("utf16.txt"), testfiles::utf16le("larch::l\r\nvetch::v\r\n")));
    const sets::LoadedSets wide = sets::LoadSetsFile(path("utf16.txt"), "::");
    ASSERT_EQ(wide.sets.size(), 2U);
    EXPECT_EQ(wide.sets[0].find, "larch") << "no byte-order mark in front of the first text";
}

TEST_F(SetsFiles, LoadSetsFileFailuresSayWhy) {
    QByteArray tooMany;
    for (int i = 0; i <= SetList::kMaxSets; ++i) {
        tooMany += "f::r\n";
    }
    ASSERT_TRUE(testfiles::write(path("many.txt"), tooMany));
    ASSERT_TRUE(testfiles::write(path("long.txt"), "a::" + QByteArray(40000, 'b')));
    ASSERT_TRUE(testfiles::write(path("fine.txt"), "a::b"));

    const struct {
        QString file;
        QString separator;
        const char* reason;
    } cases[] = {{"missing.txt", "::", "no such file"},
                 {"many.txt", "::", "line 32768"},
                 {"long.txt", "::", "longer than 32,767 characters"},
                 {"fine.txt", "", "separator"}};
    for (const auto& c : cases) {
        const sets::LoadedSets loaded = sets::LoadSetsFile(path(c.file), c.separator);
        EXPECT_FALSE(loaded.ok()) << c.reason;
        EXPECT_TRUE(loaded.sets.empty());
        EXPECT_TRUE(loaded.error.contains(c.reason)) << loaded.error.toStdString();
    }
}

} // namespace
