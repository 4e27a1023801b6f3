// The real settings store against a temporary configuration folder (set by the test
// environment), and readSetting's default for absent keys.
#include "platform/qt_services.h"
#include "platform/settings_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

QString configFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quillmark/Quillmark.conf");
}

class QtSettingsStoreTest : public testing::Test {
protected:
    void SetUp() override {
        // The test environment points the configuration folder into the build tree.
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"));
        QFile::remove(configFile());
    }
    platform::QtSettingsStore store;
};

TEST_F(QtSettingsStoreTest, AbsentAndEmptyDiffer) {
    EXPECT_EQ(platform::readSetting(store, "Text2", "::"), "::");
    ASSERT_TRUE(platform::writeSetting(store, "Text2", ""));
    EXPECT_EQ(platform::readSetting(store, "Text2", "::"), "");
}

TEST_F(QtSettingsStoreTest, WriteIsOnDiskWhenTheCallReturns) {
    ASSERT_TRUE(platform::writeSetting(store, "Check4", "1"));
    QFile file(configFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.contains("[Varnocliff]")) << content.constData();
    EXPECT_TRUE(content.contains("Check4=1")) << content.constData();
}

TEST_F(QtSettingsStoreTest, ValueThatIsNoTextIsAbsent) {
    {
        QSettings raw(configFile(), QSettings::IniFormat);
        raw.setValue("Varnocliff/TabSel", QStringList{"a", "b"});
    }
    EXPECT_EQ(store.read("TabSel"), std::nullopt);
    EXPECT_EQ(platform::readSetting(store, "TabSel", "0"), "0");
}

} // namespace

namespace {

// Every text a user can type into the separator box or the extension prompt must come back
// exactly: the native format quotes and escapes, and some texts look like lists or numbers.
class QtSettingsStoreRoundTrip : public testing::TestWithParam<QString> {
protected:
    void SetUp() override { QFile::remove(configFile()); }
    platform::QtSettingsStore store;
};

TEST_P(QtSettingsStoreRoundTrip, TextComesBackExactly) {
    const QString text = GetParam();
    ASSERT_TRUE(platform::writeSetting(store, "Text2", text));
    EXPECT_EQ(platform::readSetting(store, "Text2", "::"), text);
    // A second store object (another copy of the program) reads the same text from disk.
    platform::QtSettingsStore other;
    EXPECT_EQ(platform::readSetting(other, "Text2", "::"), text);
}

INSTANTIATE_TEST_SUITE_P(Separators, QtSettingsStoreRoundTrip,
                         testing::Values(QString("::"), QString(","), QString("a,b"), QString(";"),
                                         QString("="), QString("#"), QString(" "), QString(" lead"),
                                         QString("trail "), QString("\t"), QString("\\"),
                                         QString("\""), QString("@Invalid()"),
                                         QString("@ByteArray(x)"), QString("[Varnocliff]"),
                                         QString::fromUtf8("\xc3\xa4\xe2\x82\xac"), QString("xl*"),
                                         QString("0"), QString("1"), QString("007")));

TEST_F(QtSettingsStoreTest, LastWriterWins) {
    platform::QtSettingsStore first;
    platform::QtSettingsStore second;
    ASSERT_TRUE(platform::writeSetting(first, "TabSel", "1"));
    ASSERT_TRUE(platform::writeSetting(second, "TabSel", "0"));
    EXPECT_EQ(platform::readSetting(first, "TabSel", "9"), "0");
}

TEST_F(QtSettingsStoreTest, KeysLiveInOneSectionAndReadsCreateNothing) {
    EXPECT_EQ(platform::readSetting(store, "ShowAgain", "0"), "0");
    EXPECT_FALSE(QFile::exists(configFile())) << "a read must not create the store";
    ASSERT_TRUE(platform::writeSetting(store, "ShowAgain", "1"));
    ASSERT_TRUE(platform::writeSetting(store, "Extension", "txt"));
    QSettings raw(configFile(), QSettings::IniFormat);
    EXPECT_EQ(raw.childGroups(), QStringList{"Varnocliff"});
    raw.beginGroup("Varnocliff");
    EXPECT_EQ(raw.childKeys(), (QStringList{"Extension", "ShowAgain"}));
}

} // namespace
