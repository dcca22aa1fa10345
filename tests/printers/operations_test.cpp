// Printer operations against the test bed, and what the page gets when the
// scheduler is gone or hangs.

#include "printers/printerapi.h"
#include "printers/printertestutil.h"
#include "printers/win32printer.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cups/cups.h>
#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;
namespace w = PrinterAPI::win32printer;

namespace {

bool hasJobNamed(const QString& queue, const QString& jobName)
{
    for (const PrintJobRecord& job : listPrinterJobs(queue))
        if (job.name == jobName)
            return true;
    return false;
}

// Points libcups at another scheduler for the rest of the test.
void useScheduler(const QString& server)
{
    qputenv("CUPS_SERVER", server.toUtf8());
    cupsSetServer(nullptr);
}

}  // namespace

TEST(TestPage, ArrivesAsAJobNamedTestPage)
{
    ASSERT_TRUE(addQueue("testpage_sink"));
    ASSERT_EQ(run("cupsdisable", {"testpage_sink"}), 0);
    EXPECT_EQ(printTestPage("testpage_sink", ""), 0);
    EXPECT_TRUE(hasJobNamed("testpage_sink", "Test Page"));
    removeQueue("testpage_sink");
}

TEST(TestPage, DriverQueueAcceptsItToo)
{
    EXPECT_EQ(printTestPage("laser", ""), 0);
}

TEST(TestPage, MissingTestPageFileIsFileNotFound)
{
    testsupport::ScopedEnv env("KORVANE_CUPS_TESTPAGE", "/nonexistent/testprint");
    EXPECT_EQ(printTestPage("laser", ""), 2);
}

TEST(Sharing, ToggleShowsInTheListing)
{
    ASSERT_EQ(sharePrinter("inkjet", "", true), 0);
    QJsonObject inkjet = listingByName()["inkjet"].toObject();
    EXPECT_TRUE(inkjet["isShare"].toBool());
    EXPECT_EQ(inkjet["shareName"].toString(), "inkjet");
    EXPECT_EQ(inkjet["attributes"].toInt() & int(w::kAttributeShared), int(w::kAttributeShared));
    ASSERT_EQ(sharePrinter("inkjet", "ignored-server", false), 0);
    inkjet = listingByName()["inkjet"].toObject();
    EXPECT_FALSE(inkjet["isShare"].toBool());
    EXPECT_EQ(inkjet["shareName"].toString(), "");
}

TEST(Sharing, ClassCanBeShared)
{
    ASSERT_EQ(sharePrinter("office", "", true), 0);
    EXPECT_TRUE(listingByName()["office"].toObject()["isShare"].toBool());
    EXPECT_EQ(sharePrinter("office", "", false), 0);
}

TEST(Deleting, LocalQueueIsGoneAndASecondDeleteFindsNothing)
{
    ASSERT_TRUE(addQueue("doomed"));
    EXPECT_EQ(deletePrinter("doomed", ""), 0);
    EXPECT_FALSE(queueExists("doomed"));
    EXPECT_FALSE(listingByName().contains("doomed"));
    EXPECT_EQ(deletePrinter("doomed", ""), 1801);
}

TEST(Deleting, ClassIsDeletedWithOrWithoutAServerName)
{
    ASSERT_TRUE(addQueue("member_a"));
    ASSERT_TRUE(addQueue("member_b"));
    ASSERT_EQ(run("lpadmin", {"-p", "member_a", "-c", "doomed_class_a"}), 0);
    ASSERT_EQ(run("lpadmin", {"-p", "member_b", "-c", "doomed_class_b"}), 0);
    EXPECT_EQ(deletePrinter("doomed_class_a", ""), 0);
    EXPECT_EQ(deletePrinter("doomed_class_b", "printserver"), 0);
    EXPECT_FALSE(queueExists("doomed_class_a"));
    EXPECT_FALSE(queueExists("doomed_class_b"));
    removeQueue("member_a");
    removeQueue("member_b");
}

TEST(BadNames, EveryCommandAnswersItsErrorValue)
{
    const QString names[] = {QString(),
                             QString(10 * 1024, 'n'),
                             QStringLiteral("\"; touch /tmp/korvane-pwned; \""),
                             QStringLiteral("../../etc/passwd"),
                             QStringLiteral("two\nlines"),
                             QString::fromUtf8("\xff\xfe\xfd")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.left(30).toStdString());
        EXPECT_EQ(printTestPage(name, ""), 1801);
        EXPECT_FALSE(setDefaultPrinter(name, ""));
        EXPECT_EQ(deletePrinter(name, ""), 1801);
        EXPECT_EQ(deletePrinter(name, "server"), 1801);
        EXPECT_EQ(sharePrinter(name, "", true), 1801);
        EXPECT_EQ(showPrintPreferencesPage(name, ""), 1801);
        EXPECT_EQ(showPrinterPropertiesPage(name, ""), 1801);
        EXPECT_EQ(viewPrintQueue(name, ""), 1801);
        EXPECT_EQ(getPrinterInfo(name)["code"].toInt(), 1801);
    }
    EXPECT_FALSE(QFile::exists("/tmp/korvane-pwned"));
}

TEST(BadNames, UnknownPrinterIsInvalidPrinterName)
{
    EXPECT_EQ(printTestPage("no-such-queue", ""), 1801);
    EXPECT_EQ(deletePrinter("no-such-queue", ""), 1801);
    EXPECT_EQ(sharePrinter("no-such-queue", "", true), 1801);
}

TEST(SchedulerDown, ListingIsEmptyAndCommandsSayServerUnavailable)
{
    QTemporaryDir dir;
    useScheduler(dir.path() + "/nobody-listens.sock");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(enumInstalledPrinters(0), "[]");
    EXPECT_EQ(installedPrinterCount(), 0);
    EXPECT_EQ(getPrinterInfo("laser")["code"].toInt(), 1722);
    EXPECT_EQ(printTestPage("laser", ""), 1722);
    EXPECT_EQ(deletePrinter("laser", ""), 1722);
    EXPECT_EQ(deletePrinter("laser", "server"), 1722);
    EXPECT_EQ(sharePrinter("laser", "", true), 1722);
    EXPECT_FALSE(setDefaultPrinter("laser", ""));
    // Nothing waits for a scheduler that is not there.
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST(SchedulerHung, RequestsGiveUpInsteadOfBlockingForAMinute)
{
    testsupport::SilentUnixServer silent;
    ASSERT_TRUE(silent.isListening());
    useScheduler(silent.path());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(enumInstalledPrinters(0), "[]");
    EXPECT_EQ(getPrinterInfo("laser")["code"].toInt(), 1722);
    EXPECT_EQ(sharePrinter("laser", "", true), 1722);
    // libcups alone would wait 61 s per request; three requests here.
    EXPECT_LT(clock.elapsed(), 40000);
}
