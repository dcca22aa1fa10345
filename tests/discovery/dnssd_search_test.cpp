// The whole network search (sweep, SNMP, DNS-SD, IPP) against the LAN bed
// with its DNS-SD printers (tests/testbeds/lan/dnssd), run in the bed's
// scanner namespace and reaching the scanner's own avahi-daemon through the
// private bus the fixture names.

#include "discovery/netprintermerge.h"
#include "discovery/printersearcherthread.h"
#include "network_lanbed.h"

#include "support/testsupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <net/if.h>

using namespace discovery;

QT_BEGIN_NAMESPACE
// Failures show the JSON, not the object's bytes.
inline void PrintTo(const QJsonObject& object, std::ostream* os)
{
    *os << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}
QT_END_NAMESPACE

namespace {

struct Reported {
    std::string mfg;
    std::string mdl;
    QJsonObject details;
};

// Runs one network search and records every report, from whichever thread.
class Search {
public:
    Search()
    {
        PrinterSearcherThread::registerMetaTypes();
        thread.setScope(PrinterSearcher::kNetworkOnly);
        QObject::connect(
            &thread, &PrinterSearcherThread::netPrinter, &thread,
            [this](NetPrinterInfo printer) {
                const QJsonObject details =
                    QJsonDocument::fromJson(QByteArray::fromStdString(printer.details)).object();
                // Two printers on one host differ by their port, as the page
                // keys them.
                const int port = details.value("port").toInt();
                const std::string key = printer.ip + (port && port != 631 ? ":" + std::to_string(port) : "");
                std::lock_guard<std::mutex> lock(mutex);
                ++count[key];
                reports[key] = {printer.mfg, printer.mdl, details};
            },
            Qt::DirectConnection);
    }
    bool run(std::chrono::seconds limit = std::chrono::seconds(120))
    {
        if (!thread.claim())
            return false;
        thread.start();
        return thread.wait(static_cast<unsigned long>(std::chrono::milliseconds(limit).count()));
    }

    PrinterSearcherThread thread;
    std::mutex mutex;
    std::map<std::string, int> count;  // by address, and port when not 631
    std::map<std::string, Reported> reports;
};

QString bedDir()
{
    return QString::fromLocal8Bit(qgetenv("KORVANE_LAN_DIR"));
}

QString uuidOf(const char* printer)
{
    QFile file(bedDir() + QStringLiteral("/dnssd/printers/%1/uuid").arg(QLatin1String(printer)));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed()) : QString();
}

// The bed's SNMP printers as every search reports them.
const std::map<std::string, std::pair<std::string, std::string>> kSnmpPrinters = {
    {"10.203.7.20", {"Hewlett-Packard", "HP Color LaserJet CP2025dn"}},
    {"10.203.7.21", {"Brother", "HL-L2350DW series"}},
    {"10.203.7.22", {"EPSON", "ET-2750 Series"}},
    {"10.203.7.23", {"Canon", "MF240 Series"}},
    {"10.203.7.24", {"Lexmark International", "Lexmark MS410dn"}},
    {"10.203.7.25", {"RICOH", ""}},
    {"10.203.7.26", {"", ""}},
    {"10.203.7.27", {"", ""}},
};

const std::string kEvilMfg = std::string("<b>Evil</b>\xff\xfe\"'\\");

class DnssdSearch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString(); }
};

TEST_F(DnssdSearch, everyPrinterIsReportedOnceWithItsMakerAndModel)
{
    Search search;
    ASSERT_TRUE(search.run());
    EXPECT_EQ(search.thread.state(), PrinterSearcher::kEndedNormally);

    std::map<std::string, std::pair<std::string, std::string>> expected = kSnmpPrinters;
    expected["10.203.7.40:8631"] = {"Brother", "MFC-L3770CDW series"};
    expected["10.203.7.40:8633"] = {"Brother", "HL-L8360CDW"};
    expected["10.203.7.41:8632"] = {"Canon", "G7000 series"};
    expected["10.203.7.46"] = {"Xerox", "VersaLink C400"};
    expected["10.203.7.47"] = {kEvilMfg, std::string(240, 'A')};
    std::map<std::string, std::pair<std::string, std::string>> seen;
    for (const auto& [ip, report] : search.reports) {
        seen[ip] = {report.mfg, report.mdl};
        EXPECT_EQ(search.count[ip], 1) << ip;
    }
    EXPECT_EQ(seen, expected);

    const auto details = [&](const char* ip) { return search.reports[ip].details; };
    EXPECT_EQ(details("10.203.7.40:8631"),
              QJsonObject({{"uri", "ipp://10.203.7.40:8631/ipp/print"},
                           {"port", 8631},
                           {"driverless", true},
                           {"uuid", uuidOf("brother")},
                           {"dnssdName", "Brother MFC-L3770CDW series"},
                           {"makeAndModel", "Brother MFC-L3770CDW series"},
                           {"adminUrl", "http://brother-mfc.local:8631/"},
                           {"services", QJsonArray{"_ipp._tcp"}},
                           {"source", QJsonArray{"dnssd", "ipp"}}}));
    // One printer announced four ways is one report (count above); plain IPP
    // is asked, not IPPS. Which of its other services are listed depends on
    // whether avahi had them cached when the IPP answer came.
    EXPECT_EQ(details("10.203.7.41:8632").value("uri"), QJsonValue("ipp://10.203.7.41:8632/ipp/print"));
    EXPECT_EQ(details("10.203.7.41:8632").value("uuid"), QJsonValue(uuidOf("canon")));
    EXPECT_TRUE(details("10.203.7.41:8632").value("services").toArray().contains("_ipp._tcp"));
    // Two printers on one host are two reports.
    EXPECT_EQ(details("10.203.7.40:8633").value("uri"), QJsonValue("ipp://10.203.7.40:8633/ipp/print"));
    EXPECT_EQ(details("10.203.7.40:8633").value("uuid"), QJsonValue(uuidOf("brother2")));
    // The SNMP printer that also answers IPP and DNS-SD: once, with its IPP
    // identity. Whether its SNMP or its DNS-SD answer came first is a race
    // (the DNS-SD one usually wins from avahi's cache); the other is merged
    // into the report already made.
    EXPECT_EQ(details("10.203.7.20").value("uuid"), QJsonValue(uuidOf("hp")));
    EXPECT_EQ(details("10.203.7.20").value("uri"), QJsonValue("ipp://10.203.7.20:631/ipp/print"));
    const QJsonArray hpSource = details("10.203.7.20").value("source").toArray();
    EXPECT_TRUE(hpSource.contains("ipp"));
    EXPECT_TRUE(hpSource.contains("snmp") || hpSource.contains("dnssd"));
    EXPECT_EQ(details("10.203.7.20").value("driverless"), QJsonValue(true));
    // Announced, but its host is not there: what DNS-SD said.
    EXPECT_EQ(details("10.203.7.46"),
              QJsonObject({{"uri", "ipp://10.203.7.46:631/ipp/print"},
                           {"port", 631},
                           {"driverless", true},
                           {"dnssdName", "Xerox VersaLink C400"},
                           {"makeAndModel", "Xerox VersaLink C400"},
                           {"services", QJsonArray{"_ipp._tcp"}},
                           {"source", QJsonArray{"dnssd"}}}));
    // The hostile record: its path, link and UUID are dropped.
    EXPECT_EQ(details("10.203.7.47"),
              QJsonObject({{"uri", "ipp://10.203.7.47:631/ipp/print"},
                           {"port", 631},
                           {"driverless", false},
                           {"dnssdName", "Evil <img src=x onerror=alert(1)>"},
                           {"makeAndModel", QString::fromUtf8("\x01\x02\x7f")},
                           {"services", QJsonArray{"_ipp._tcp"}},
                           {"source", QJsonArray{"dnssd"}}}));
    // An SNMP-only printer does not answer IPP.
    EXPECT_EQ(details("10.203.7.21"), QJsonObject({{"port", 631}, {"driverless", false}, {"source", QJsonArray{"snmp"}}}));
}

// libdbus reads the bus address once per process: this case needs a process
// of its own, as CTest gives every case.
TEST_F(DnssdSearch, withoutAvahiTheSearchReportsTheSnmpPrintersAsBefore)
{
    testsupport::ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/korvane-no-bus");
    Search search;
    ASSERT_TRUE(search.run());
    std::map<std::string, std::pair<std::string, std::string>> seen;
    for (const auto& [ip, report] : search.reports) {
        seen[ip] = {report.mfg, report.mdl};
        EXPECT_EQ(search.count[ip], 1) << ip;
        EXPECT_FALSE(report.details.value("source").toArray().contains("dnssd")) << ip;
    }
    EXPECT_EQ(seen, kSnmpPrinters);
}

TEST_F(DnssdSearch, interruptEndsTheSearchWhileDnssdRuns)
{
    Search search;
    std::atomic<bool> first{false};
    QObject::connect(
        &search.thread, &PrinterSearcherThread::netPrinter, &search.thread,
        [&](NetPrinterInfo) {
            if (!first.exchange(true))
                search.thread.requestInterrupt();
        },
        Qt::DirectConnection);
    ASSERT_TRUE(search.run());
    EXPECT_EQ(search.thread.state(), PrinterSearcher::kEndedByInterrupt);
    std::lock_guard<std::mutex> lock(search.mutex);
    EXPECT_EQ(search.reports.size(), 1u) << "nothing is reported after the interrupt";
}

TEST_F(DnssdSearch, theBrowserSeesEveryAnnouncedService)
{
    std::mutex mutex;
    std::multiset<std::pair<std::string, std::string>> services;
    DnssdBrowser browser([&](const DnssdService& service) {
        std::lock_guard<std::mutex> lock(mutex);
        services.insert({service.address, service.type});
    });
    std::string why;
    ASSERT_TRUE(browser.start(selectedInterfaceIndexes(), &why)) << why;
    ASSERT_TRUE(testsupport::waitFor([&] { return browser.settled(); }, std::chrono::seconds(30)));
    browser.stop();
    const std::multiset<std::pair<std::string, std::string>> expected = {
        {"10.203.7.20", "_ipp._tcp"},
        {"10.203.7.40", "_ipp._tcp"},
        {"10.203.7.40", "_ipp._tcp"},
        {"10.203.7.41", "_ipp._tcp"},
        {"10.203.7.41", "_ipps._tcp"},
        {"10.203.7.41", "_pdl-datastream._tcp"},
        {"10.203.7.41", "_printer._tcp"},
        {"10.203.7.46", "_ipp._tcp"},
        {"10.203.7.47", "_ipp._tcp"},
    };
    EXPECT_EQ(services, expected);
}

// The messages logged while a test runs.
class LogCapture {
public:
    LogCapture() { m_previous = qInstallMessageHandler(&LogCapture::handle); }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList lines()
    {
        std::lock_guard<std::mutex> lock(mutex());
        return captured();
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        std::lock_guard<std::mutex> lock(mutex());
        captured().append(text);
    }
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static QStringList& captured()
    {
        static QStringList list;
        return list;
    }
    QtMessageHandler m_previous = nullptr;
};

TEST_F(DnssdSearch, whenNoDnssdAnswerComesTheLogSaysTheFirewallBlocksMdns)
{
    LogCapture log;
    NetPrinterMerger::Settings settings;
    settings.mdnsBlockedBy = [] { return std::string("the firewall"); };
    std::vector<NetPrinterInfo> reported;
    NetPrinterMerger merger([&](const NetPrinterInfo& printer) { reported.push_back(printer); }, [] { return true; },
                            settings);
    // The scanner's avahi-daemon serves only the LAN adapter: browsing on
    // loopback finds nothing, as a blocked port 5353 would.
    merger.startDnssd({int(if_nametoindex("lo"))});
    ASSERT_TRUE(merger.dnssdRunning());
    merger.finish();
    EXPECT_TRUE(reported.empty());
    const QStringList lines = LogCapture::lines().filter(QStringLiteral("UDP 5353"));
    ASSERT_EQ(lines.size(), 1) << LogCapture::lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("the firewall blocks mDNS"))) << lines[0].toStdString();
}

}  // namespace
