#include "dialogs/app_settings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        CZPSettings::SetLocation(dir_.path());
        CZPSettings::SetProgramName(QStringLiteral("kavo"));
    }
    void TearDown() override {
        CZPSettings::SetLocation({});
        CZPSettings::SetProgramName({});
    }
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(SettingsTest, BothPreferencesDefaultToOff) {
    EXPECT_FALSE(CZPSettings::SavePassword());
    EXPECT_FALSE(CZPSettings::AutoLogin());
    EXPECT_EQ(CZPSettings::ReadInt(QStringLiteral("SavePassword"), 5), 5);
}

TEST_F(SettingsTest, ValuesAreKeptAsIntegersInTheSettingsSectionOfTheCompany) {
    CZPSettings::SetSavePassword(true);
    CZPSettings::SetAutoLogin(false);
    EXPECT_TRUE(CZPSettings::SavePassword());
    EXPECT_FALSE(CZPSettings::AutoLogin());

    const QString file = dir_.filePath(QStringLiteral("Norvane/kavo.conf"));
    ASSERT_TRUE(QFile::exists(file));
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Settings/SavePassword")).toInt(), 1);
    EXPECT_EQ(raw.value(QStringLiteral("Settings/AutoLogin")).toInt(), 0);
}

TEST_F(SettingsTest, AValueThatIsNotANumberReadsAsTheDefault) {
    {
        QSettings raw(dir_.filePath(QStringLiteral("Norvane/kavo.conf")), QSettings::IniFormat);
        raw.setValue(QStringLiteral("Settings/AutoLogin"), QStringLiteral("yes please"));
    }
    EXPECT_FALSE(CZPSettings::AutoLogin());
    EXPECT_EQ(CZPSettings::ReadInt(QStringLiteral("AutoLogin"), 0), 0);
}

TEST_F(SettingsTest, EachProgramNameHasItsOwnPreferences) {
    CZPSettings::SetAutoLogin(true);
    CZPSettings::SetProgramName(QStringLiteral("kavo-copy"));
    EXPECT_FALSE(CZPSettings::AutoLogin());
}
