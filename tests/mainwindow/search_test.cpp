// A whole search from the page contract, inside the LAN test bed with its
// DNS-SD printers: startScan to "notifyScanFinishiByCpp", with the bed's SNMP
// printers, DNS-SD printers and the printer answering both reported once.

#include "mainwindowfixture.h"

#include "../discovery/network_lanbed.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>

using mainwindowtest::MainWindowTest;

class SearchTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString();
        MainWindowTest::SetUp();
    }
};

TEST_F(SearchTest, StartScanFindsTheBedPrintersAndEnds)
{
    ASSERT_EQ(command("startScan()"), QJsonValue(0));
    ASSERT_TRUE(testsupport::waitFor([this] { return !callsOf("notifyScanFinishiByCpp").isEmpty(); },
                                     std::chrono::seconds(60)));
    EXPECT_EQ(callsOf("notifyScanFinishiByCpp")[0].toArray(), QJsonArray({"notifyScanFinishiByCpp", 0, "ok"}));

    QSet<QString> seen;
    QMap<QString, QJsonArray> byIp;
    for (const QJsonValue& call : callsOf("notifyNetworkPrinterByCpp")) {
        const QJsonArray args = call.toArray();
        const QString ip = args[1].toString();
        EXPECT_FALSE(seen.contains(ip)) << "reported twice: " << ip.toStdString();
        seen.insert(ip);
        byIp.insert(ip, args);
        // Five arguments: the three every page reads, then the details.
        ASSERT_EQ(args.size(), 5) << ip.toStdString();
        EXPECT_TRUE(QJsonDocument::fromJson(args[4].toString().toUtf8()).isObject()) << ip.toStdString();
    }
    EXPECT_EQ(seen, QSet<QString>({"10.203.7.20", "10.203.7.21", "10.203.7.22", "10.203.7.23", "10.203.7.24",
                                   "10.203.7.25", "10.203.7.26", "10.203.7.27", "10.203.7.40", "10.203.7.41",
                                   "10.203.7.46", "10.203.7.47"}));
    const auto firstFour = [&](const char* ip) {
        QJsonArray args = byIp.value(QString::fromLatin1(ip));
        while (args.size() > 4)
            args.removeLast();
        return args;
    };
    const auto details = [&](const char* ip) {
        return QJsonDocument::fromJson(byIp.value(QString::fromLatin1(ip)).at(4).toString().toUtf8()).object();
    };
    // SNMP and DNS-SD: once, with the SNMP names.
    EXPECT_EQ(firstFour("10.203.7.20"),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.20", "Hewlett-Packard", "HP Color LaserJet CP2025dn"}));
    EXPECT_EQ(details("10.203.7.20").value("uri"), QJsonValue("ipp://10.203.7.20:631/ipp/print"));
    // DNS-SD and IPP, no SNMP: names from the printer's IEEE 1284 id.
    EXPECT_EQ(firstFour("10.203.7.40"),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.40", "Brother", "MFC-L3770CDW series"}));
    EXPECT_EQ(details("10.203.7.40").value("driverless"), QJsonValue(true));
    EXPECT_EQ(details("10.203.7.40").value("uri"), QJsonValue("ipp://10.203.7.40:8631/ipp/print"));
    EXPECT_EQ(firstFour("10.203.7.41"),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.41", "Canon", "G7000 series"}));
    // Announced on a host that does not answer: names from its TXT record.
    EXPECT_EQ(firstFour("10.203.7.46"),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.46", "Xerox", "VersaLink C400"}));
    // A hostile TXT record arrives as text, invalid bytes replaced.
    EXPECT_EQ(firstFour("10.203.7.47"),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.47", QString::fromUtf8("<b>Evil</b>\uFFFD\uFFFD\"'\\"),
                          QString(240, QLatin1Char('A'))}));
    // SNMP only.
    EXPECT_EQ(firstFour("10.203.7.21"),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.21", "Brother", "HL-L2350DW series"}));
    EXPECT_EQ(details("10.203.7.21").value("source"), QJsonValue(QJsonArray{"snmp"}));

    // Progress: the USB steps, the network start and sweep, then one step per
    // live host with consecutive numbers, never going back.
    int last = 0;
    int host = 0;
    for (const QJsonValue& call : callsOf("notifyScanProgressByCpp")) {
        const QJsonArray args = call.toArray();
        EXPECT_GE(args[1].toInt(), last);
        last = args[1].toInt();
        EXPECT_EQ(args[2].toInt(), 100);
        if (args[3].toInt() == 0) {
            EXPECT_EQ(args[4].toInt(), ++host);
        }
    }
    EXPECT_GT(host, 7) << "every live host is a step";
}

TEST_F(SearchTest, InterruptEndsTheSearchWithStateOne)
{
    EXPECT_EQ(command("JSON.stringify([startScan(), interrupt()])"), QJsonValue("[0,true]"));
    ASSERT_TRUE(testsupport::waitFor([this] { return !callsOf("notifyScanFinishiByCpp").isEmpty(); },
                                     std::chrono::seconds(60)));
    EXPECT_EQ(callsOf("notifyScanFinishiByCpp")[0].toArray(), QJsonArray({"notifyScanFinishiByCpp", 1, "ok"}));
    EXPECT_TRUE(callsOf("notifyNetworkPrinterByCpp").isEmpty());
}
