// The real settings store against a temporary configuration folder (set by the test
// environment), and ReadSetting's default for absent keys.
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
    EXPECT_EQ(platform::ReadSetting(store, "Text2", "::"), "::");
    ASSERT_TRUE(platform::WriteSetting(store, "Text2", ""));
    EXPECT_EQ(platform::ReadSetting(store, "Text2", "::"), "");
}

TEST_F(QtSettingsStoreTest, WriteIsOnDiskWhenTheCallReturns) {
    ASSERT_TRUE(platform::WriteSetting(store, "Check4", "1"));
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
    EXPECT_EQ(platform::ReadSetting(store, "TabSel", "0"), "0");
}

} // namespace
