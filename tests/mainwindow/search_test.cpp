// A whole search from the page contract, inside the LAN test bed: startScan
// to "notifyScanFinishiByCpp", with the bed's SNMP printers reported.

#include "mainwindowfixture.h"

#include "../discovery/network_lanbed.h"

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
    QJsonArray hp;
    for (const QJsonValue& call : callsOf("notifyNetworkPrinterByCpp")) {
        const QJsonArray args = call.toArray();
        const QString ip = args[1].toString();
        EXPECT_FALSE(seen.contains(ip)) << "reported twice: " << ip.toStdString();
        seen.insert(ip);
        EXPECT_TRUE(ip.startsWith("10.203.7.")) << ip.toStdString();
        if (ip == "10.203.7.20")
            hp = args;
    }
    const QSet<QString> bedPrinters = {"10.203.7.20", "10.203.7.21", "10.203.7.22", "10.203.7.23",
                                       "10.203.7.24", "10.203.7.25", "10.203.7.26", "10.203.7.27"};
    EXPECT_EQ(seen, bedPrinters) << "the bed runs eight agents";
    EXPECT_EQ(hp, QJsonArray({"notifyNetworkPrinterByCpp", "10.203.7.20", "Hewlett-Packard", "HP Color LaserJet CP2025dn"}));

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
