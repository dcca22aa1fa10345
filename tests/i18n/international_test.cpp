#include "i18n/international.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using i18n::International;

namespace {

// QSettings written under a temporary home, so the user's own are untouched.
class CountrySetting : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
        QSettings().remove("Country");
    }
    void TearDown() override { QSettings().remove("Country"); }
    QTemporaryDir m_home;
};

}  // namespace

TEST_F(CountrySetting, MapsToTheBackEndLanguageCode)
{
    EXPECT_EQ(International::instance().languageCode(), "en") << "no value stored";
    const std::pair<QVariant, QString> cases[] = {
        {44, "zh_cn"}, {108, "jp-ja"}, {208, "zh_tw"}, {1, "en"}, {"not a number", "en"}, {-44, "en"}};
    for (const auto& [value, code] : cases) {
        QSettings().setValue("Country", value);
        EXPECT_EQ(International::instance().languageCode(), code) << value.toString().toStdString();
    }
    EXPECT_EQ(International::instance().countryId(), 44);
    EXPECT_FALSE(International::instance().isInternational());
}

TEST(International, SkipsMissingTranslationFolders)
{
    QTemporaryDir program;
    const QString built = testsupport::programDir() + "/languages/lang_zh_CN.qm";
    ASSERT_TRUE(QFile::exists(built)) << "the build compiles the program's translation";
    QDir().mkpath(program.filePath("languages"));
    ASSERT_TRUE(QFile::copy(built, program.filePath("languages/lang_zh_CN.qm")));
    testsupport::ScopedEnv env("KORVANE_PROGRAM_DIR", program.path().toUtf8());
    International::instance().setup();
    EXPECT_EQ(International::instance().installedTranslators(), 1) << "translations/ and plattheme/ are absent";
    EXPECT_EQ(QCoreApplication::translate("app", "The web engine could not start."), "网页引擎无法启动。");
    EXPECT_EQ(International::languageNames().first(), "English");
    EXPECT_EQ(International::languageNames().size(), 5);
}
