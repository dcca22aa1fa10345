// The adapter listing against real interfaces: runs inside the LAN bed's
// probe namespace, which holds one plain adapter and one of each kind the
// scan must leave alone. Nothing is sent from here.

#include "discovery/netscanadapters.h"
#include "network_lanbed.h"

#include "support/testsupport.h"

#include <QDir>
#include <gtest/gtest.h>

#include <map>

using namespace discovery;

namespace {

class NetworkAdapterListing : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString();
        for (AdapterRecord& adapter : listAdapters())
            adapters[adapter.name] = adapter;
    }

    std::map<std::string, AdapterRecord> adapters;
};

TEST_F(NetworkAdapterListing, plainAdapterIsTheOnlyOneSelected)
{
    const auto selected = selectAdapters();
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].address, "10.203.60.2");  // the first of its two addresses
    EXPECT_EQ(selected[0].mask, "255.255.255.0");
}

TEST_F(NetworkAdapterListing, everyInterfaceIsListedWithItsKind)
{
    for (const char* name : {"lo", "plain0", "plain1", "vmnet8", "vbox0", "vm0", "down0", "br0", "brport0", "tap0"})
        ASSERT_EQ(adapters.count(name), 1u) << name;

    const AdapterRecord& plain = adapters["plain0"];
    EXPECT_EQ(plain.type, kIfTypeEthernet);
    EXPECT_EQ(plain.operStatus, kOperOperational);
    EXPECT_EQ(plain.description, "Intel(R) Ethernet Connection I219-LM");
    EXPECT_FALSE(plain.bridge);
    EXPECT_FALSE(plain.tunTap);

    EXPECT_EQ(adapters["lo"].type, kIfTypeSoftwareLoopback);
    EXPECT_TRUE(adapters["plain1"].address.empty());
    EXPECT_EQ(adapters["plain1"].type, kIfTypeEthernet);
    EXPECT_EQ(adapters["vmnet8"].description, "VMware Virtual Ethernet Adapter for vmnet8");
    EXPECT_EQ(adapters["vbox0"].description, "VirtualBox Host-Only Ethernet Adapter");
    EXPECT_EQ(adapters["vm0"].description, "Hyper-V Virtual Ethernet Adapter (VM)");
    EXPECT_EQ(adapters["vm0"].address, "10.203.64.1");
    EXPECT_LE(adapters["down0"].operStatus, kOperDisconnected);
    EXPECT_EQ(adapters["down0"].address, "10.203.65.1");
    EXPECT_TRUE(adapters["br0"].bridge);
    EXPECT_EQ(adapters["br0"].address, "10.203.66.1");
    EXPECT_TRUE(adapters["tap0"].tunTap);
    EXPECT_EQ(adapters["tap0"].address, "10.203.67.1");
    // Without a driver behind it, an unnamed veth is described by its name.
    EXPECT_EQ(adapters["brport0"].description, "brport0");
}

TEST_F(NetworkAdapterListing, wirelessAdapterIsTypeIeee80211)
{
    // The same interface seen through a sysfs that says it is wireless.
    QTemporaryDir sysfs;
    ASSERT_TRUE(sysfs.isValid());
    const QString plain = sysfs.path() + QStringLiteral("/plain0");
    ASSERT_TRUE(testsupport::writeFile(plain + QStringLiteral("/type"), "1\n"));
    ASSERT_TRUE(testsupport::writeFile(plain + QStringLiteral("/operstate"), "up\n"));
    ASSERT_TRUE(testsupport::writeFile(plain + QStringLiteral("/ifalias"), "Intel(R) Wi-Fi 6 AX201 160MHz\n"));
    ASSERT_TRUE(QDir().mkpath(plain + QStringLiteral("/wireless")));
    const testsupport::ScopedEnv env("KORVANE_SYSFS_NET", sysfs.path().toUtf8());

    std::map<std::string, AdapterRecord> seen;
    for (AdapterRecord& adapter : listAdapters())
        seen[adapter.name] = adapter;
    EXPECT_EQ(seen["plain0"].type, kIfTypeIeee80211);
    EXPECT_EQ(seen["plain0"].description, "Intel(R) Wi-Fi 6 AX201 160MHz");
    const auto selected = selectAdapters(std::vector<AdapterRecord>{seen["plain0"]});
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].address, "10.203.60.2");
}

TEST_F(NetworkAdapterListing, wirelessThatIsNotConnectedIsSkipped)
{
    QTemporaryDir sysfs;
    ASSERT_TRUE(sysfs.isValid());
    const QString plain = sysfs.path() + QStringLiteral("/plain0");
    ASSERT_TRUE(testsupport::writeFile(plain + QStringLiteral("/type"), "1\n"));
    ASSERT_TRUE(testsupport::writeFile(plain + QStringLiteral("/operstate"), "dormant\n"));
    ASSERT_TRUE(QDir().mkpath(plain + QStringLiteral("/phy80211")));
    const testsupport::ScopedEnv env("KORVANE_SYSFS_NET", sysfs.path().toUtf8());

    for (const AdapterRecord& adapter : listAdapters()) {
        if (adapter.name == "plain0") {
            EXPECT_EQ(adapter.type, kIfTypeIeee80211);
            EXPECT_EQ(adapter.operStatus, kOperDisconnected);
        }
    }
    EXPECT_TRUE(selectAdapters().empty());
}

}  // namespace
