#include "support/testsupport.h"
#include "sysutil/launch.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using sysutil::LaunchAndWait;
using sysutil::splitCommandLine;

TEST(SplitCommandLine, FollowsWindowsQuotingRules)
{
    struct Case {
        QString line;
        QStringList args;
    };
    const Case cases[] = {
        {"prog a b", {"prog", "a", "b"}},
        {"  prog   spaced\targs ", {"prog", "spaced", "args"}},
        {R"("C:/Program Files/x.exe" /S)", {"C:/Program Files/x.exe", "/S"}},
        {R"(prog "")", {"prog", ""}},
        {R"(prog a\"b)", {"prog", "a\"b"}},
        {R"(prog "a\\" b)", {"prog", "a\\", "b"}},
        {R"(prog a\\b)", {"prog", "a\\\\b"}},
        {"prog \"two words\"tail", {"prog", "two wordstail"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        const auto args = splitCommandLine(c.line);
        ASSERT_TRUE(args.has_value()) << c.line.toStdString();
        EXPECT_EQ(*args, c.args) << c.line.toStdString();
    }
}

TEST(SplitCommandLine, RefusesAnUnbalancedQuote)
{
    EXPECT_FALSE(splitCommandLine("prog \"unterminated").has_value());
}

TEST(LaunchAndWait, WaitsForAGrandchildThatOutlivesItsParent)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("grandchild-done");
    const QString script = dir.filePath("installer.sh");
    // The "installer" starts a helper in the background and exits at once, as
    // many setup programs do; the wait must cover the helper too.
    ASSERT_TRUE(testsupport::writeFile(
        script, QStringLiteral("#!/bin/sh\n(sleep 1; touch '%1') &\nexit 0\n").arg(marker).toUtf8(), true));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(LaunchAndWait(script), 0u);
    EXPECT_TRUE(QFile::exists(marker)) << "returned after " << timer.elapsed() << " ms, before the grandchild ended";
}

TEST(LaunchAndWait, ReturnsZeroWhateverTheExitCode)
{
    EXPECT_EQ(LaunchAndWait("sh -c \"exit 3\""), 0u);
}

TEST(LaunchAndWait, ReportsWhyNothingStarted)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("ran");
    EXPECT_EQ(LaunchAndWait(""), win32::kInvalidParameter);
    EXPECT_EQ(LaunchAndWait("   "), win32::kInvalidParameter);
    EXPECT_EQ(LaunchAndWait("sh -c \"touch " + marker), win32::kInvalidParameter);
    EXPECT_EQ(LaunchAndWait("/nonexistent/korvane-no-such-program"), win32::kFileNotFound);
    EXPECT_EQ(LaunchAndWait("korvane-no-such-program-in-path --flag"), win32::kFileNotFound);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(LaunchAndWait, PassesArgumentsWithoutAShell)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("args.txt");
    const QString script = dir.filePath("echo-args.sh");
    ASSERT_TRUE(testsupport::writeFile(script, "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > \"$OUT\"\n", true));
    testsupport::ScopedEnv env("OUT", out.toUtf8());
    EXPECT_EQ(LaunchAndWait(script + " \"a b\" ';' '$(touch x)' `id`"), 0u);
    EXPECT_EQ(testsupport::readFile(out), QByteArray("[a b]\n[';']\n['$(touch]\n[x)']\n[`id`]\n"));
}
