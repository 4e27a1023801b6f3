// ReadTextFile and DecodeText: the encodings a sets file may come in, and files that are no
// text at all.
#include "sets/text_file.h"

#include "temp_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    QString text;
};

class DecodeText : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeText, GivesTheText) {
    EXPECT_EQ(sets::DecodeText(GetParam().bytes), GetParam().text);
}

const QString kUtf16Sample = QStringLiteral("larch::l\r\nStra\u00DFe::\u20AC");

INSTANTIATE_TEST_SUITE_P(
    Encodings, DecodeText,
    testing::Values(
        DecodeCase{"Empty", QByteArray(), QString()},
        DecodeCase{"Ascii", "top::summit\r\n", "top::summit\r\n"},
        DecodeCase{"Utf8",
                   "Stra\xC3\x9F"
                   "e::\xE2\x82\xAC",
                   QStringLiteral("Stra\u00DFe::\u20AC")},
        DecodeCase{"Utf8MarkDropped",
                   "\xEF\xBB\xBF"
                   "a::b",
                   "a::b"},
        DecodeCase{"Utf8SecondMarkIsText",
                   "\xEF\xBB\xBF\xEF\xBB\xBF"
                   "a",
                   QStringLiteral("\uFEFFa")},
        DecodeCase{"Utf16LittleEndianMarkDropped", testfiles::utf16le(kUtf16Sample), kUtf16Sample},
        DecodeCase{"Utf16BigEndianMarkDropped",
                   QByteArray("\xFE\xFF\x00\x61\x00:\x00:\x20\xAC", 10),
                   QStringLiteral("a::\u20AC")},
        DecodeCase{"Utf16OddLastByteIgnored", QByteArray("\xFF\xFE\x61\x00\x62", 5), "a"},
        // Files written by the Windows program: Windows-1252, with its own 0x80..0x9F.
        DecodeCase{"Windows1252", "caf\xE9::\x93quoted\x94 \x80 \x85",
                   QStringLiteral("caf\u00E9::\u201Cquoted\u201D \u20AC \u2026")},
        DecodeCase{"Windows1252UndefinedBytesAsControls", "\x81\x8D\x8F\x90\x9D",
                   QStringLiteral("\u0081\u008D\u008F\u0090\u009D")},
        // One invalid sequence anywhere makes the whole file Windows-1252, even the part
        // that was valid UTF-8 by itself.
        DecodeCase{"InvalidUtf8ReadAsWindows1252", "\xC3\xA9::\xE9",
                   QStringLiteral("\u00C3\u00A9::\u00E9")},
        DecodeCase{"SequenceCutShortAtTheEnd", "a::\xC3", QStringLiteral("a::\u00C3")}),
    [](const testing::TestParamInfo<DecodeCase>& param) { return std::string(param.param.name); });

class ReadTextFile : public testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(ReadTextFile, ReadsAndDecodesTheWholeFile) {
    ASSERT_TRUE(testfiles::write(path("sets.txt"), testfiles::utf16le("a::b\r\nc::d\r\n")));
    const sets::TextFileContent content = sets::ReadTextFile(path("sets.txt"));
    ASSERT_TRUE(content.ok()) << content.error.toStdString();
    EXPECT_EQ(content.text, "a::b\r\nc::d\r\n");
}

TEST_F(ReadTextFile, ZeroByteFileGivesEmptyText) {
    ASSERT_TRUE(testfiles::write(path("empty.txt"), QByteArray()));
    const sets::TextFileContent content = sets::ReadTextFile(path("empty.txt"));
    EXPECT_TRUE(content.ok());
    EXPECT_TRUE(content.text.isEmpty());
}

// Each failure names the path and says why, in one sentence.
TEST_F(ReadTextFile, FailuresNameThePathAndTheReason) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.txt"));
    ASSERT_TRUE(
        testfiles::write(path("picture.png"), QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)));
    ASSERT_EQ(::mkfifo(path("pipe.txt").toLocal8Bit().constData(), 0600), 0);
    QFile sparse(path("huge.txt"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(sets::kMaxTextFileBytes + 1));
    sparse.close();

    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"missing.txt", "no such file"},
        {"folder.txt", "not a regular file"},
        // Opening a pipe for reading would wait for a writer for ever.
        {"pipe.txt", "not a regular file"},
        {"huge.txt", "too large"},
        {"picture.png", "not a text file"},
    };
    for (const auto& c : cases) {
        const sets::TextFileContent content = sets::ReadTextFile(path(c.name));
        EXPECT_FALSE(content.ok()) << c.name;
        EXPECT_TRUE(content.error.startsWith(path(c.name))) << content.error.toStdString();
        EXPECT_TRUE(content.error.contains(c.reason)) << content.error.toStdString();
        EXPECT_TRUE(content.text.isEmpty()) << c.name;
    }
}

TEST_F(ReadTextFile, Utf16FileWithNulCodeUnitIsNoText) {
    ASSERT_TRUE(testfiles::write(path("nul.txt"), testfiles::utf16le(QString("a::b") + QChar(0))));
    EXPECT_FALSE(sets::ReadTextFile(path("nul.txt")).ok());
}

} // namespace
