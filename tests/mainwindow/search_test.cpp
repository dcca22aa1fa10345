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
    QMap<QString, QJsonArray> byIp;  // by address, and port when not 631
    for (const QJsonValue& call : callsOf("notifyNetworkPrinterByCpp")) {
        const QJsonArray args = call.toArray();
        // Five arguments: the three every page reads, then the details.
        ASSERT_EQ(args.size(), 5) << args[1].toString().toStdString();
        const QJsonObject details = QJsonDocument::fromJson(args[4].toString().toUtf8()).object();
        EXPECT_FALSE(details.isEmpty()) << args[1].toString().toStdString();
        // Two printers on one host differ by their port, as the page keys them.
        const int port = details.value("port").toInt();
        const QString key = args[1].toString() + (port && port != 631 ? ":" + QString::number(port) : QString());
        EXPECT_FALSE(seen.contains(key)) << "reported twice: " << key.toStdString();
        seen.insert(key);
        byIp.insert(key, args);
    }
    EXPECT_EQ(seen, QSet<QString>({"10.203.7.20", "10.203.7.21", "10.203.7.22", "10.203.7.23", "10.203.7.24",
                                   "10.203.7.25", "10.203.7.26", "10.203.7.27", "10.203.7.40:8631",
                                   "10.203.7.40:8633", "10.203.7.41:8632", "10.203.7.46", "10.203.7.47"}));
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
    EXPECT_EQ(firstFour("10.203.7.40:8631"),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.40", "Brother", "MFC-L3770CDW series"}));
    EXPECT_EQ(details("10.203.7.40:8631").value("driverless"), QJsonValue(true));
    EXPECT_EQ(details("10.203.7.40:8631").value("uri"), QJsonValue("ipp://10.203.7.40:8631/ipp/print"));
    // A second printer on the same host.
    EXPECT_EQ(firstFour("10.203.7.40:8633"),
              QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.40", "Brother", "HL-L8360CDW"}));
    EXPECT_EQ(firstFour("10.203.7.41:8632"),
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
    EXPECT_EQ(host, 22) << "every live host of the bed is a step";
}

TEST_F(SearchTest, InterruptEndsTheSearchWithStateOne)
{
    EXPECT_EQ(command("JSON.stringify([startScan(), interrupt()])"), QJsonValue("[0,true]"));
    ASSERT_TRUE(testsupport::waitFor([this] { return !callsOf("notifyScanFinishiByCpp").isEmpty(); },
                                     std::chrono::seconds(60)));
    EXPECT_EQ(callsOf("notifyScanFinishiByCpp")[0].toArray(), QJsonArray({"notifyScanFinishiByCpp", 1, "ok"}));
    EXPECT_TRUE(callsOf("notifyNetworkPrinterByCpp").isEmpty());
}
