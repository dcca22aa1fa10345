// "Add by address" against the IPP Everywhere printer of the test bed: this
// binary runs inside the bed's loopback-only namespace, where the printer
// listens on 127.0.0.1:631, nothing answers SNMP and no other network is
// reachable.

#include "discovery/addressprobe.h"

#include <gtest/gtest.h>

using discovery::isValidPrinterHost;
using discovery::probeNetworkPrinter;

TEST(ProbeNetworkPrinter, AnIppPrinterByAddress)
{
    const QJsonObject found = probeNetworkPrinter(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(found.value(QStringLiteral("code")).toInt(-1), 0);
    EXPECT_EQ(found.value(QStringLiteral("address")).toString(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(found.value(QStringLiteral("uri")).toString(), QStringLiteral("ipp://127.0.0.1:631/ipp/print"));
    EXPECT_TRUE(found.value(QStringLiteral("ipp")).toBool());
    EXPECT_TRUE(found.value(QStringLiteral("driverless")).toBool());
    EXPECT_EQ(found.value(QStringLiteral("makeAndModel")).toString(), QStringLiteral("Acme Laser 100"));
}

TEST(ProbeNetworkPrinter, AnIppPrinterByName)
{
    const QJsonObject found = probeNetworkPrinter(QStringLiteral("localhost"));
    EXPECT_EQ(found.value(QStringLiteral("code")).toInt(-1), 0);
    EXPECT_EQ(found.value(QStringLiteral("address")).toString(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(found.value(QStringLiteral("uri")).toString(), QStringLiteral("ipp://127.0.0.1:631/ipp/print"));
}

TEST(ProbeNetworkPrinter, NothingThereIsNotFound)
{
    EXPECT_EQ(probeNetworkPrinter(QStringLiteral("10.203.255.1")).value(QStringLiteral("code")).toInt(-1), 3012);
}

TEST(ProbeNetworkPrinter, UnresolvableNameIsInvalidName)
{
    EXPECT_EQ(probeNetworkPrinter(QStringLiteral("no-such-printer.invalid")).value(QStringLiteral("code")).toInt(-1),
              123);
}

TEST(ProbeNetworkPrinter, HostsThatAreNotHostsAreRefused)
{
    for (const char* host : {"", "a b", "host;reboot", "-x", ".x", "ipp://host", "host/path", "10.0.0.1:631",
                             "h\xc3\xb3st", "[::1]"})
        EXPECT_EQ(probeNetworkPrinter(QString::fromUtf8(host)).value(QStringLiteral("code")).toInt(-1), 87) << host;
    EXPECT_FALSE(isValidPrinterHost(QString(254, QLatin1Char('a'))));
    EXPECT_TRUE(isValidPrinterHost(QString(253, QLatin1Char('a'))));
    EXPECT_TRUE(isValidPrinterHost(QStringLiteral("printer-1.example.org")));
}
