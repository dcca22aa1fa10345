// The installed printers of the test bed as the page receives them.

#include "printers/printerapi.h"
#include "printers/printertestutil.h"
#include "printers/win32printer.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <memory>
#include <gtest/gtest.h>

using namespace PrinterAPI;
using printertest::listingByName;
namespace w = PrinterAPI::win32printer;

namespace {

void clearUserDefault()
{
    QFile::remove(QDir::homePath() + "/.cups/lpoptions");
}

QJsonArray ints(std::initializer_list<int> values)
{
    QJsonArray array;
    for (int v : values)
        array.append(v);
    return array;
}

}  // namespace

TEST(InstalledPrinters, ListingIsCompactJsonWithSortedKeys)
{
    clearUserDefault();
    const QString text = enumInstalledPrinters(0);
    ASSERT_TRUE(text.startsWith("[{\"attributes\":")) << text.left(80).toStdString();
    EXPECT_FALSE(text.contains('\n'));
    EXPECT_FALSE(text.contains(": "));
    const QJsonObject first = QJsonDocument::fromJson(text.toUtf8()).array().first().toObject();
    EXPECT_EQ(first.keys(),
              (QStringList{"attributes", "averagePPM", "cjobs", "color", "comment", "dataType", "driverAttributes",
                           "driverName", "duplex", "isDefault", "isLocal", "isShare", "location", "portName",
                           "printPagePerMinute", "printProcessor", "printQuality", "printerName", "priority",
                           "resolutions", "sepFile", "serverName", "shareName", "startTime", "status", "untilTime"}));
}

TEST(InstalledPrinters, DuplexLaserIsTheSharedDefault)
{
    clearUserDefault();
    const QJsonObject laser = listingByName()["laser"].toObject();
    ASSERT_FALSE(laser.isEmpty());
    EXPECT_TRUE(laser["isDefault"].toBool());
    EXPECT_TRUE(laser["isShare"].toBool());
    EXPECT_TRUE(laser["isLocal"].toBool());
    EXPECT_EQ(laser["attributes"].toInt(), int(w::kAttributeDefault | w::kAttributeShared | w::kAttributeLocal));
    EXPECT_EQ(laser["serverName"].toString(), "");
    EXPECT_EQ(laser["shareName"].toString(), "laser");
    EXPECT_EQ(laser["portName"].toString(), "file:///dev/null");
    EXPECT_EQ(laser["driverName"].toString(), "HP LaserJet Series PCL 4/5");
    EXPECT_EQ(laser["comment"].toString(), "Duplex mono laser");
    EXPECT_EQ(laser["location"].toString(), "Room 1");
    EXPECT_EQ(laser["sepFile"].toString(), "");
    EXPECT_EQ(laser["printProcessor"].toString(), "cups");
    EXPECT_FALSE(laser["dataType"].toString().isEmpty());
    EXPECT_EQ(laser["status"].toInt(), 0);
    EXPECT_EQ(laser["cjobs"].toInt(), 0);
    EXPECT_EQ(laser["priority"].toInt(), 50);
    EXPECT_EQ(laser["dataType"].toString(), "application/octet-stream");
    EXPECT_EQ(laser["startTime"].toInt(), 0);
    EXPECT_EQ(laser["untilTime"].toInt(), 0);
    EXPECT_EQ(laser["averagePPM"].toInt(), 8);
    EXPECT_EQ(laser["printPagePerMinute"].toInt(), 8);
    EXPECT_TRUE(laser["duplex"].toBool());
    EXPECT_FALSE(laser["color"].toBool());
    EXPECT_EQ(laser["resolutions"].toArray(), ints({150, 150, 300, 300, 600, 600}));
    EXPECT_EQ(laser["printQuality"].toInt(), 300);
    EXPECT_EQ(laser["driverAttributes"].toInt(), 0);
}

TEST(InstalledPrinters, EachSampleQueueShowsWhatItIs)
{
    clearUserDefault();
    const QJsonObject all = listingByName();
    for (const char* name : {"laser", "inkjet", "colorps", "raw", "netipp", "stopped", "alerts", "office"})
        EXPECT_TRUE(all.contains(name)) << name;

    const QJsonObject inkjet = all["inkjet"].toObject();
    EXPECT_TRUE(inkjet["color"].toBool());
    EXPECT_FALSE(inkjet["duplex"].toBool());
    EXPECT_FALSE(inkjet["isDefault"].toBool());
    EXPECT_FALSE(inkjet["isShare"].toBool());
    EXPECT_EQ(inkjet["shareName"].toString(), "");
    EXPECT_EQ(inkjet["averagePPM"].toInt(), 1);

    const QJsonObject colorps = all["colorps"].toObject();
    EXPECT_TRUE(colorps["color"].toBool());
    EXPECT_TRUE(colorps["duplex"].toBool());
    EXPECT_EQ(colorps["resolutions"].toArray(), ints({300, 300}));

    const QJsonObject raw = all["raw"].toObject();
    EXPECT_EQ(raw["attributes"].toInt(), int(w::kAttributeLocal | w::kAttributeRawOnly));
    EXPECT_EQ(raw["driverName"].toString(), "Local Raw Printer");
    EXPECT_EQ(raw["resolutions"].toArray(), QJsonArray());
    EXPECT_EQ(raw["printQuality"].toInt(), 0);

    const QJsonObject netipp = all["netipp"].toObject();
    EXPECT_EQ(netipp["attributes"].toInt(), int(w::kAttributeNetwork));
    EXPECT_FALSE(netipp["isLocal"].toBool());
    EXPECT_EQ(netipp["portName"].toString(), "ipp://127.0.0.1:1/ipp/print");

    const QJsonObject stopped = all["stopped"].toObject();
    EXPECT_EQ(stopped["status"].toInt(), int(w::kStatusPaused));
    EXPECT_EQ(stopped["cjobs"].toInt(), 2);

    const QJsonObject alerts = all["alerts"].toObject();
    EXPECT_EQ(alerts["status"].toInt(), int(w::kStatusPaperOut | w::kStatusOffline | w::kStatusTonerLow));

    EXPECT_EQ(all["office"].toObject()["driverName"].toString(), "Local Printer Class");
}

TEST(InstalledPrinters, RawQueuesAndClassesTakeAnyDataAsIs)
{
    // Not the first of the scheduler's (alphabetical) list of every MIME
    // type such a queue supports.
    const QJsonObject all = listingByName();
    EXPECT_EQ(all["raw"].toObject()["dataType"].toString(), "application/octet-stream");
    EXPECT_EQ(all["office"].toObject()["dataType"].toString(), "application/octet-stream");
}

TEST(InstalledPrinters, PriorityIsTheQueuesDefaultJobPriority)
{
    ASSERT_EQ(printertest::run("lpadmin", {"-p", "inkjet", "-o", "job-priority-default=70"}), 0);
    EXPECT_EQ(listingByName()["inkjet"].toObject()["priority"].toInt(), 70);
    EXPECT_EQ(listingByName()["office"].toObject()["priority"].toInt(), 50);
    ASSERT_EQ(printertest::run("lpadmin", {"-p", "inkjet", "-R", "job-priority-default"}), 0);
    EXPECT_EQ(listingByName()["inkjet"].toObject()["priority"].toInt(), 50);
}

TEST(InstalledPrinters, RelayedSelectorListsNothingOnAPrivateScheduler)
{
    EXPECT_EQ(enumInstalledPrinters(1), "[]");
    EXPECT_EQ(enumInstalledPrinters(-7), "[]");
}

TEST(InstalledPrinters, CountCoversEveryQueue)
{
    EXPECT_EQ(installedPrinterCount(), listingByName(0).size() + listingByName(1).size());
    EXPECT_GE(installedPrinterCount(), 8);
}

TEST(InstalledPrinters, UserDefaultOverridesTheServerDefault)
{
    clearUserDefault();
    ASSERT_TRUE(setDefaultPrinter("inkjet", ""));
    const QByteArray lpoptions = testsupport::readFile(QDir::homePath() + "/.cups/lpoptions");
    EXPECT_TRUE(lpoptions.contains("Default inkjet")) << lpoptions.toStdString();
    const QJsonObject all = listingByName();
    EXPECT_TRUE(all["inkjet"].toObject()["isDefault"].toBool());
    EXPECT_FALSE(all["laser"].toObject()["isDefault"].toBool());
    EXPECT_EQ(all["inkjet"].toObject()["attributes"].toInt() & int(w::kAttributeDefault), int(w::kAttributeDefault));
    clearUserDefault();
    EXPECT_TRUE(listingByName()["laser"].toObject()["isDefault"].toBool());
}

// What lpstat -d names, "" for none.
QString lpstatDefault()
{
    QByteArray output;
    printertest::run("lpstat", {"-d"}, &output);
    const QString text = QString::fromUtf8(output).trimmed();
    const QString prefix = "system default destination: ";
    // An instance ("office/draft") is a set of options, not another queue.
    return text.startsWith(prefix) ? text.mid(prefix.size()).section('/', 0, 0) : QString();
}

// The queues the listing marks as default, and each of those getPrinterInfo
// agrees about.
QStringList listedDefaults()
{
    QStringList names;
    const QJsonObject all = listingByName();
    for (auto it = all.begin(); it != all.end(); ++it) {
        const bool listed = it.value().toObject()["isDefault"].toBool();
        const int attributes = getPrinterInfo(it.key())["info"].toObject()["dwAttribute"].toInt();
        EXPECT_EQ(listed, bool(attributes & int(w::kAttributeDefault))) << it.key().toStdString();
        EXPECT_EQ(listed, bool(it.value().toObject()["attributes"].toInt() & int(w::kAttributeDefault)));
        if (listed)
            names << it.key();
    }
    return names;
}

TEST(DefaultPrinter, ListingPrinterInfoAndLpstatAgree)
{
    const QString lpoptions = QDir::homePath() + "/.cups/lpoptions";
    QTemporaryDir machineRoot;
    testsupport::ScopedEnv serverRoot("CUPS_SERVERROOT", machineRoot.path().toUtf8());
    struct Case {
        const char* user;     // ~/.cups/lpoptions, nullptr for none
        const char* machine;  // CUPS_SERVERROOT/lpoptions
        const char* lpdest;
        QStringList defaults;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, {"laser"}},
        {"Default inkjet\n", nullptr, nullptr, {"inkjet"}},
        // A default the user chose and then deleted leaves no default at all.
        {"Default gone_queue\n", nullptr, nullptr, {}},
        {"Default gone_queue\n", "Default inkjet\n", nullptr, {}},
        {nullptr, "Default colorps\n", nullptr, {"colorps"}},
        {nullptr, "Default gone_queue\n", nullptr, {}},
        {"Dest inkjet media=A4\nDefault office/draft sides=one-sided\n", nullptr, nullptr, {"office"}},
        {"Default inkjet\n", nullptr, "colorps", {"colorps"}},
        {"Default inkjet\n", nullptr, "gone_queue", {}},
        {nullptr, nullptr, "INKJET", {"inkjet"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user ? c.user : "-") + " | " + (c.machine ? c.machine : "-") + " | " +
                     (c.lpdest ? c.lpdest : "-"));
        clearUserDefault();
        QFile::remove(machineRoot.path() + "/lpoptions");
        if (c.user) {
            ASSERT_TRUE(testsupport::writeFile(lpoptions, c.user));
        }
        if (c.machine) {
            ASSERT_TRUE(testsupport::writeFile(machineRoot.path() + "/lpoptions", c.machine));
        }
        std::unique_ptr<testsupport::ScopedEnv> lpdest;
        if (c.lpdest)
            lpdest = std::make_unique<testsupport::ScopedEnv>("LPDEST", QByteArray(c.lpdest));
        EXPECT_EQ(listedDefaults(), c.defaults);
        const QString fromLpstat = lpstatDefault();
        EXPECT_EQ(c.defaults, fromLpstat.isEmpty() ? QStringList() : QStringList{fromLpstat.toLower()});
    }
    clearUserDefault();
}

TEST(InstalledPrinters, SettingTheDefaultKeepsOtherOptionLines)
{
    clearUserDefault();
    testsupport::writeFile(QDir::homePath() + "/.cups/lpoptions",
                           "Default laser sides=two-sided-long-edge\nDest inkjet media=A4\n");
    ASSERT_TRUE(setDefaultPrinter("inkjet", ""));
    EXPECT_EQ(testsupport::readFile(QDir::homePath() + "/.cups/lpoptions"),
              "Dest laser sides=two-sided-long-edge\nDefault inkjet media=A4\n");
    EXPECT_FALSE(setDefaultPrinter("no-such-queue", ""));
    EXPECT_FALSE(setDefaultPrinter("bad name", ""));
    clearUserDefault();
}

TEST(PrinterInfo, KnownPrinterGivesCodeZeroAndItsState)
{
    clearUserDefault();
    const QJsonObject result = getPrinterInfo("stopped");
    EXPECT_EQ(result["code"].toInt(), 0);
    const QJsonObject info = result["info"].toObject();
    EXPECT_EQ(info["printerName"].toString(), "stopped");
    EXPECT_EQ(info["printerServer"].toString(), "");
    EXPECT_EQ(info["dwChanged"].toInt(), 0);
    EXPECT_EQ(info["dwNotifyField"].toArray(), QJsonArray());
    EXPECT_EQ(info["dwPrinterStatus"].toInt(), int(w::kStatusPaused));
    EXPECT_EQ(info["dwCjobs"].toInt(), 2);
    EXPECT_EQ(info["dwJobStatus"].toInt(), 0);
    EXPECT_EQ(info["dwAttribute"].toInt(), int(w::kAttributeLocal));
}

TEST(PrinterInfo, ClassIsFoundLikeAPrinter)
{
    EXPECT_EQ(getPrinterInfo("office")["code"].toInt(), 0);
}

TEST(PrinterInfo, UnknownOrImpossibleNamesGiveOnlyACode)
{
    for (const QString& name : {QStringLiteral("no-such-printer"), QString(), QString(10 * 1024, 'x'),
                                QStringLiteral("a\"b"), QStringLiteral("a/b"), QStringLiteral("line\nbreak"),
                                QString::fromUtf8("\xc3\x28")}) {
        const QJsonObject result = getPrinterInfo(name);
        EXPECT_EQ(result["code"].toInt(), 1801) << name.left(20).toStdString();
        EXPECT_FALSE(result.contains("info"));
    }
}

TEST(PrinterJobs, DisabledQueueHoldsPendingAndHeldJobs)
{
    win32::ErrorCode error = 99;
    const std::vector<PrintJobRecord> jobs = listPrinterJobs("stopped", &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].name, "pending-job");
    EXPECT_EQ(jobs[0].status, 0u);
    EXPECT_EQ(jobs[1].name, "held-job");
    EXPECT_EQ(jobs[1].status, w::kJobPaused);
    listPrinterJobs("bad/name", &error);
    EXPECT_EQ(error, 1801u);
}
