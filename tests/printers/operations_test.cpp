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

QString driverPpd()
{
    return qEnvironmentVariable("KORVANE_CUPS_BED_DIR") + "/ppd-cache/laserjet.ppd";
}

// The document-format of the unfinished jobs of a queue, as the scheduler
// holds them.
QStringList jobFormats(const QString& queue)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                     queue.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "document-format");
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QStringList formats;
    for (ipp_attribute_t* a = ippFindAttribute(response, "document-format", IPP_TAG_MIMETYPE); a;
         a = ippFindNextAttribute(response, "document-format", IPP_TAG_MIMETYPE))
        formats << QString::fromUtf8(ippGetString(a, 0, nullptr));
    ippDelete(response);
    return formats;
}

// The banner format the queue's filters take: cups-filters' PDF banner, else
// the plain one of CUPS alone.
QString bannerFormatOf(const QString& queue)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                     queue.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "document-format-supported");
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QStringList formats;
    if (ipp_attribute_t* a = ippFindAttribute(response, "document-format-supported", IPP_TAG_MIMETYPE))
        for (int i = 0; i < ippGetCount(a); ++i)
            formats << QString::fromUtf8(ippGetString(a, i, nullptr));
    ippDelete(response);
    for (const char* format : {"application/vnd.cups-pdf-banner", "application/vnd.cups-banner"})
        if (formats.contains(format))
            return format;
    return {};
}

// Points libcups at another scheduler for the rest of the test.
void useScheduler(const QString& server)
{
    qputenv("CUPS_SERVER", server.toUtf8());
    cupsSetServer(nullptr);
}

}  // namespace

TEST(TestPage, ArrivesAsAJobNamedTestPageInTheBannerFormat)
{
    ASSERT_TRUE(addQueue("testpage_sink", {"-P", driverPpd()}));
    ASSERT_EQ(run("cupsdisable", {"testpage_sink"}), 0);
    EXPECT_EQ(printTestPage("testpage_sink", ""), 0);
    EXPECT_TRUE(hasJobNamed("testpage_sink", "Test Page"));
    // Named, not left to the scheduler's guess from the file.
    const QString banner = bannerFormatOf("testpage_sink");
    ASSERT_FALSE(banner.isEmpty());
    EXPECT_EQ(jobFormats("testpage_sink"), QStringList{banner});
    removeQueue("testpage_sink");
}

TEST(TestPage, DriverQueueAcceptsItToo)
{
    EXPECT_EQ(printTestPage("laser", ""), 0);
}

TEST(TestPage, PrinterWithoutADriverGetsNoTemplateText)
{
    // A raw queue would pass the template to the device as it is.
    ASSERT_TRUE(addQueue("testpage_raw"));
    ASSERT_EQ(run("cupsdisable", {"testpage_raw"}), 0);
    EXPECT_EQ(printTestPage("testpage_raw", ""), 1797);
    EXPECT_TRUE(listPrinterJobs("testpage_raw").empty());
    EXPECT_EQ(printTestPage("raw", ""), 1797);
    removeQueue("testpage_raw");
}

TEST(TestPage, ClassWithAPrinterWithoutADriverIsRefusedToo)
{
    ASSERT_TRUE(addQueue("testpage_member_raw"));
    ASSERT_TRUE(addQueue("testpage_member_driver", {"-P", driverPpd()}));
    ASSERT_EQ(run("lpadmin", {"-p", "testpage_member_driver", "-c", "testpage_mixed"}), 0);
    ASSERT_EQ(run("lpadmin", {"-p", "testpage_member_driver", "-c", "testpage_drivers"}), 0);
    ASSERT_EQ(run("lpadmin", {"-p", "testpage_member_raw", "-c", "testpage_mixed"}), 0);
    // A new class rejects jobs until told otherwise.
    ASSERT_EQ(run("cupsaccept", {"testpage_drivers"}), 0);
    ASSERT_EQ(run("cupsaccept", {"testpage_mixed"}), 0);
    ASSERT_EQ(run("cupsdisable", {"testpage_drivers"}), 0);
    EXPECT_EQ(printTestPage("testpage_mixed", ""), 1797);
    EXPECT_EQ(printTestPage("testpage_drivers", ""), 0);
    EXPECT_TRUE(hasJobNamed("testpage_drivers", "Test Page"));
    for (const char* name : {"testpage_mixed", "testpage_drivers", "testpage_member_raw", "testpage_member_driver"})
        removeQueue(name);
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
                             QStringLiteral("del\x7f"),
                             QStringLiteral("ascii space")};
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
    // Undecodable bytes arrive as U+FFFD, a character CUPS accepts in names.
    for (const QString& name : {QStringLiteral("no-such-queue"), QString::fromUtf8("\xff\xfe\xfd")}) {
        EXPECT_EQ(printTestPage(name, ""), 1801);
        EXPECT_EQ(deletePrinter(name, ""), 1801);
        EXPECT_EQ(sharePrinter(name, "", true), 1801);
        EXPECT_EQ(getPrinterInfo(name)["code"].toInt(), 1801);
        EXPECT_FALSE(setDefaultPrinter(name, ""));
    }
}

TEST(Names, QueueNamedWithNonAsciiSpacesWorksLikeAnyOther)
{
    // What CUPS accepts is ours to accept: a no-break space and an
    // ideographic space are ordinary characters in a queue name.
    const QString names[] = {QString("front") + QChar(0xA0) + "desk", QString("2F") + QChar(0x3000) + "copier"};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(addQueue(name, {"-P", driverPpd()}));
        EXPECT_TRUE(listingByName().contains(name));
        const QJsonObject info = getPrinterInfo(name);
        EXPECT_EQ(info["code"].toInt(), 0);
        EXPECT_EQ(info["info"].toObject()["printerName"].toString(), name);
        EXPECT_EQ(sharePrinter(name, "", true), 0);
        EXPECT_TRUE(listingByName()[name].toObject()["isShare"].toBool());
        ASSERT_EQ(run("cupsdisable", {name}), 0);
        EXPECT_EQ(printTestPage(name, ""), 0);
        EXPECT_TRUE(hasJobNamed(name, "Test Page"));
        EXPECT_EQ(deletePrinter(name, ""), 0);
        EXPECT_FALSE(queueExists(name));
    }
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
