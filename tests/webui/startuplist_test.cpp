// The start-up list as XDG autostart entries.

#include "support/testsupport.h"
#include "webui/startuplist.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace webui;

namespace {

class WebuiStartupList : public ::testing::Test {
protected:
    QTemporaryDir config;
    testsupport::ScopedEnv xdg{"XDG_CONFIG_HOME", config.path().toUtf8()};
    QString entry(const QString& name) const { return config.path() + QStringLiteral("/autostart/") + name + QStringLiteral(".desktop"); }
};

TEST_F(WebuiStartupList, anAddedCommandIsFoundExactlyAndGoesAgainOnDelete)
{
    const QString command = QStringLiteral("\"/opt/korvane/korvane\" --tray");
    EXPECT_EQ(startup::autostartDir(), config.path() + QStringLiteral("/autostart"));
    EXPECT_FALSE(startup::check(QStringLiteral("Korvane"), command));
    EXPECT_EQ(startup::add(QStringLiteral("Korvane"), command), win32::kSuccess);
    EXPECT_TRUE(QFile::exists(entry(QStringLiteral("Korvane"))));
    EXPECT_TRUE(startup::check(QStringLiteral("Korvane"), command));
    EXPECT_FALSE(startup::check(QStringLiteral("Korvane"), command + QLatin1Char(' ')));
    EXPECT_FALSE(startup::check(QStringLiteral("Korvane"), QStringLiteral("/other/program")));
    // Adding again replaces the command.
    EXPECT_EQ(startup::add(QStringLiteral("Korvane"), QStringLiteral("/other/program")), win32::kSuccess);
    EXPECT_TRUE(startup::check(QStringLiteral("Korvane"), QStringLiteral("/other/program")));
    EXPECT_EQ(startup::remove(QStringLiteral("Korvane")), win32::kSuccess);
    EXPECT_FALSE(startup::check(QStringLiteral("Korvane"), QStringLiteral("/other/program")));
    EXPECT_EQ(startup::remove(QStringLiteral("Korvane")), win32::kFileNotFound);
}

TEST_F(WebuiStartupList, longAndUnusualCommandLinesSurviveTheRoundTrip)
{
    const QString longCommand = QStringLiteral("/usr/bin/korvane ") + QString(600, QLatin1Char('x'));
    EXPECT_EQ(startup::add(QStringLiteral("Long"), longCommand), win32::kSuccess);
    EXPECT_TRUE(startup::check(QStringLiteral("Long"), longCommand));
    const QString odd = QStringLiteral("/usr/bin/printf \"%s\\n\" \"a b\" $HOME `x` \\\\server 中文");
    EXPECT_EQ(startup::add(QStringLiteral("Odd"), odd), win32::kSuccess);
    EXPECT_TRUE(startup::check(QStringLiteral("Odd"), odd));
}

TEST_F(WebuiStartupList, theEntryIsAValidDesktopFileThatRunsTheSameArguments)
{
    ASSERT_EQ(startup::add(QStringLiteral("Check"), QStringLiteral("/bin/echo \"a b\" 50% $x")), win32::kSuccess);
    const QString text = QString::fromUtf8(testsupport::readFile(entry(QStringLiteral("Check"))));
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\nType=Application\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=/bin/echo \"a b\" 50%% \"\\\\$x\"\n"))) << text.toStdString();
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validator.isEmpty()) {
        QProcess process;
        process.start(validator, {entry(QStringLiteral("Check"))});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardOutput().toStdString();
    }
}

TEST_F(WebuiStartupList, namesThatAreNotPlainFileNamesAreRefused)
{
    const char* names[] = {"", ".", "..", "a/b", "../../escape", "line\nbreak"};
    for (const char* name : names) {
        EXPECT_EQ(startup::add(QString::fromUtf8(name), QStringLiteral("/bin/true")), win32::kInvalidParameter) << name;
        EXPECT_FALSE(startup::check(QString::fromUtf8(name), QStringLiteral("/bin/true"))) << name;
    }
    EXPECT_EQ(startup::add(QStringLiteral("x"), QStringLiteral("\"unbalanced")), win32::kInvalidParameter);
    EXPECT_EQ(startup::add(QStringLiteral("x"), QString()), win32::kInvalidParameter);
    EXPECT_FALSE(QDir(config.path() + QStringLiteral("/escape")).exists());
}

TEST_F(WebuiStartupList, entriesOfOtherProgramsAreLeftAlone)
{
    const QByteArray other = "[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/other\n";
    ASSERT_TRUE(testsupport::writeFile(entry(QStringLiteral("other")), other));
    EXPECT_EQ(startup::add(QStringLiteral("other"), QStringLiteral("/bin/true")), win32::kAccessDenied);
    EXPECT_EQ(startup::remove(QStringLiteral("other")), win32::kAccessDenied);
    EXPECT_FALSE(startup::check(QStringLiteral("other"), QStringLiteral("/usr/bin/other")));
    EXPECT_EQ(testsupport::readFile(entry(QStringLiteral("other"))), other);
}

TEST(WebuiDesktopEntryText, escapingRoundTrips)
{
    const QString value = QStringLiteral(" lead\\back\nnew\ttab\rret");
    EXPECT_EQ(startup::escapeValue(value), QStringLiteral("\\slead\\\\back\\nnew\\ttab\\rret"));
    EXPECT_EQ(startup::unescapeValue(startup::escapeValue(value)), value);
    EXPECT_EQ(startup::execLine({QStringLiteral("/usr/bin/a"), QStringLiteral("b c"), QStringLiteral("d\"e")}),
              QStringLiteral("/usr/bin/a \"b c\" \"d\\\"e\""));
}

}  // namespace
