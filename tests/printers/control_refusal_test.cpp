// Queue management the scheduler refuses (the strict bed refuses pausing and
// changing queues to everyone): without pkexec the answer is 5 and nothing
// changed; with it the matching CUPS command is run once, as an argument list
// aimed at this scheduler.

#include "printers/printerapi.h"
#include "printers/printercontrol.h"
#include "printers/printertestutil.h"
#include "printers/privilegedretry.h"
#include "support/testsupport.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;

namespace {
bool paused(const QString& queue)
{
    return QJsonDocument::fromJson(getPrinterJobs(queue).toUtf8()).object()["paused"].toBool();
}
} // namespace

TEST(ControlRefusal, RefusedPauseWithoutPkexecIsAccessDenied)
{
    setPasswordPrompt({});
    FakePrograms fakes;
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8() + ":/usr/sbin:/sbin"); // cupsdisable, no pkexec
    EXPECT_EQ(pausePrinter("inkjet"), 5);
    EXPECT_FALSE(paused("inkjet"));
}

TEST(ControlRefusal, RefusedPauseAndResumeAreRetriedThroughPkexec)
{
    setPasswordPrompt({});
    FakePrograms fakes;
    fakes.add("pkexec", "exit 0\n");
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8() + ":/usr/bin:/usr/sbin:/bin:/sbin");
    EXPECT_EQ(pausePrinter("inkjet"), 0);
    QStringList argv = fakes.argumentsOf("pkexec");
    ASSERT_EQ(argv.size(), 4);
    EXPECT_TRUE(argv[0].endsWith("/cupsdisable"));
    EXPECT_EQ(argv.mid(1), QStringList({ "-h", schedulerAddress(), "inkjet" }));
    EXPECT_EQ(resumePrinter("inkjet"), 0);
    argv = fakes.argumentsOf("pkexec");
    ASSERT_EQ(argv.size(), 4);
    EXPECT_TRUE(argv[0].endsWith("/cupsenable"));
}

TEST(ControlRefusal, RefusedDescriptionIsRetriedWithLpadmin)
{
    setPasswordPrompt({});
    FakePrograms fakes;
    fakes.add("pkexec", "exit 0\n");
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8() + ":/usr/bin:/usr/sbin:/bin:/sbin");
    EXPECT_EQ(setPrinterDescription("laser", "-Front desk", "Hall; $(true)"), 0);
    const QStringList argv = fakes.argumentsOf("pkexec");
    ASSERT_EQ(argv.size(), 9);
    EXPECT_TRUE(argv[0].endsWith("/lpadmin"));
    EXPECT_EQ(argv.mid(1),
        QStringList({ "-h", schedulerAddress(), "-p", "laser", "-D", "-Front desk", "-L", "Hall; $(true)" }));
}

TEST(ControlRefusal, DismissedDialogIsAccessDenied)
{
    setPasswordPrompt({});
    FakePrograms fakes;
    fakes.add("pkexec", "exit 126\n");
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8() + ":/usr/bin:/usr/sbin:/bin:/sbin");
    EXPECT_EQ(pausePrinter("inkjet"), 5);
    EXPECT_TRUE(fakes.ran("pkexec"));
    EXPECT_FALSE(paused("inkjet"));
}

// pkexec picks the polkit action by the program's absolute path: the retry
// runs each command by the path its action in com.velmora.korvane.policy
// names (the same build settings make both), never a same-named program that
// PATH finds first.
TEST(ControlRefusal, RetryRunsTheCommandByThePathItsPolkitActionNames)
{
    const std::pair<QString, QString> expected[] = {
        { "lpadmin", KORVANE_LPADMIN_PATH }, { "cupsenable", KORVANE_CUPSENABLE_PATH },
        { "cupsdisable", KORVANE_CUPSDISABLE_PATH }, { "cupsaccept", KORVANE_CUPSACCEPT_PATH },
        { "cupsreject", KORVANE_CUPSREJECT_PATH }, { "cancel", KORVANE_CANCEL_PATH }, { "lp", KORVANE_LP_PATH },
    };
    for (const auto& [tool, path] : expected) {
        EXPECT_EQ(privilegedToolPath(tool), path);
        EXPECT_TRUE(path.startsWith('/') && path.endsWith('/' + tool)) << path.toStdString();
    }
    EXPECT_EQ(privilegedToolPath("sh"), "");
    EXPECT_EQ(privilegedToolPath(""), "");

    setPasswordPrompt({});
    FakePrograms fakes;
    fakes.add("pkexec", "exit 0\n");
    fakes.add("cupsdisable", "exit 0\n");
    fakes.add("cupsenable", "exit 0\n");
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8() + ":/usr/bin:/usr/sbin:/bin:/sbin");
    EXPECT_EQ(pausePrinter("inkjet"), 0);
    EXPECT_EQ(fakes.argumentsOf("pkexec").value(0), KORVANE_CUPSDISABLE_PATH);
    EXPECT_EQ(resumePrinter("inkjet"), 0);
    EXPECT_EQ(fakes.argumentsOf("pkexec").value(0), KORVANE_CUPSENABLE_PATH);
    EXPECT_FALSE(fakes.ran("cupsdisable"));
    EXPECT_FALSE(fakes.ran("cupsenable"));
}

TEST(ControlRefusal, RetryWithAnUnknownCommandRunsNothing)
{
    setPasswordPrompt({});
    FakePrograms fakes;
    fakes.add("pkexec", "exit 0\n");
    testsupport::ScopedEnv path("PATH", fakes.dir().toUtf8() + ":/usr/bin:/usr/sbin:/bin:/sbin");
    EXPECT_EQ(runCupsToolAsAdmin("sh", { "-c", "true" }), 5);
    EXPECT_FALSE(fakes.ran("pkexec"));
}
