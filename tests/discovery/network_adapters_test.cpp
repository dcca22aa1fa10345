// Which adapters a scan uses and which addresses it probes, checked with
// made-up adapters through the same code the real listing feeds.

#include "discovery/netscanadapters.h"
#include "discovery/netscansweep.h"

#include <gtest/gtest.h>

#include <vector>

using namespace discovery;

namespace {

AdapterRecord ethernet(std::string description, std::string address = "192.168.1.20",
                       std::string mask = "255.255.255.0")
{
    AdapterRecord record;
    record.name = "eth0";
    record.description = std::move(description);
    record.type = kIfTypeEthernet;
    record.operStatus = kOperOperational;
    record.address = std::move(address);
    record.mask = std::move(mask);
    return record;
}

struct AdapterCase {
    const char* name;
    AdapterRecord adapter;
    bool selected;
};

void PrintTo(const AdapterCase& c, std::ostream* os)
{
    *os << c.name;
}

AdapterRecord with(AdapterRecord record, void (*change)(AdapterRecord&))
{
    change(record);
    return record;
}

class NetworkAdapterFilter : public testing::TestWithParam<AdapterCase> {};

TEST_P(NetworkAdapterFilter, decidesWhetherTheAdapterIsScanned)
{
    const AdapterCase& c = GetParam();
    const auto selected = selectAdapters({c.adapter});
    ASSERT_EQ(selected.size(), c.selected ? 1u : 0u);
    if (c.selected) {
        EXPECT_EQ(selected[0].address, c.adapter.address);
        EXPECT_EQ(selected[0].mask, c.adapter.mask);
    }
}

const AdapterCase kAdapterCases[] = {
    {"wiredAdapter", ethernet("Intel(R) Ethernet Connection I219-LM"), true},
    {"wirelessAdapter",
     with(ethernet("Intel(R) Wi-Fi 6 AX201 160MHz"), [](AdapterRecord& r) { r.type = kIfTypeIeee80211; }), true},
    {"disconnectedWireless",
     with(ethernet("Intel(R) Wi-Fi 6 AX201 160MHz"),
          [](AdapterRecord& r) {
              r.type = kIfTypeIeee80211;
              r.operStatus = kOperDisconnected;
          }),
     false},
    {"unreachable", with(ethernet("Realtek PCIe GbE"), [](AdapterRecord& r) { r.operStatus = kOperUnreachable; }),
     false},
    {"nonOperational",
     with(ethernet("Realtek PCIe GbE"), [](AdapterRecord& r) { r.operStatus = kOperNonOperational; }), false},
    {"connectingCounts", with(ethernet("Realtek PCIe GbE"), [](AdapterRecord& r) { r.operStatus = kOperConnecting; }),
     true},
    {"vmwareAdapter", ethernet("VMware Virtual Ethernet Adapter for VMnet8"), false},
    {"vmwareNetworkAdapter", ethernet("VMware Network Adapter VMnet1"), false},
    {"virtualBoxHostOnly", ethernet("VirtualBox Host-Only Ethernet Adapter"), false},
    {"anyCapitalVM", ethernet("Hyper-V Virtual Ethernet Adapter (VM)"), false},
    {"capitalVMInsideAWord", ethernet("QEMU VMGuest NIC"), false},
    {"lowerCaseVmIsKept", ethernet("vmxnet3 Ethernet Adapter"), true},
    {"lowerCaseVirtualboxIsKept", ethernet("virtualbox bridge"), true},
    {"noIpv4", ethernet("Realtek PCIe GbE", "", ""), false},
    {"zeroAddress", ethernet("Realtek PCIe GbE", "0.0.0.0", "0.0.0.0"), false},
    {"loopback", with(ethernet("lo", "127.0.0.1", "255.0.0.0"), [](AdapterRecord& r) { r.type = kIfTypeSoftwareLoopback; }),
     false},
    {"otherType", with(ethernet("ppp0"), [](AdapterRecord& r) { r.type = kIfTypeOther; }), false},
    {"bridge", with(ethernet("br0"), [](AdapterRecord& r) { r.bridge = true; }), false},
    {"tap", with(ethernet("tap0"), [](AdapterRecord& r) { r.tunTap = true; }), false},
};

INSTANTIATE_TEST_SUITE_P(Cases, NetworkAdapterFilter, testing::ValuesIn(kAdapterCases),
                         [](const testing::TestParamInfo<AdapterCase>& param) { return std::string(param.param.name); });

TEST(NetworkAdapterSelection, keepsListOrderAndOneAddressEach)
{
    const auto selected = selectAdapters({ethernet("A", "10.1.0.5", "255.255.0.0"),
                                          ethernet("VMware Network Adapter VMnet8", "192.168.50.1"),
                                          ethernet("B", "172.16.3.4", "255.255.255.128")});
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_EQ(selected[0].address, "10.1.0.5");
    EXPECT_EQ(selected[0].mask, "255.255.0.0");
    EXPECT_EQ(selected[1].address, "172.16.3.4");
    EXPECT_EQ(selected[1].mask, "255.255.255.128");
}

struct RangeCase {
    const char* name;
    const char* address;
    const char* mask;
    const char* first;  // nullptr: nothing is probed
    const char* last;
    std::uint32_t count;
    // The /22 probed first, and the subnet's addresses left out.
    const char* nearFirst = nullptr;
    const char* nearLast = nullptr;
    std::uint32_t skipped = 0;
};

void PrintTo(const RangeCase& c, std::ostream* os)
{
    *os << c.name;
}

class NetworkSweepRange : public testing::TestWithParam<RangeCase> {};

TEST_P(NetworkSweepRange, probesTheHostAddresses)
{
    const RangeCase& c = GetParam();
    const auto range = sweepRangeFor(SelectedAddress{c.address, c.mask});
    if (!c.first) {
        EXPECT_FALSE(range.has_value());
        return;
    }
    ASSERT_TRUE(range.has_value());
    EXPECT_EQ(ipv4Text(range->first), c.first);
    EXPECT_EQ(ipv4Text(range->last), c.last);
    EXPECT_EQ(range->size(), c.count);
    EXPECT_EQ(ipv4Text(range->source), c.address);
    EXPECT_EQ(ipv4Text(range->nearFirst), c.nearFirst ? c.nearFirst : c.first);
    EXPECT_EQ(ipv4Text(range->nearLast), c.nearLast ? c.nearLast : c.last);
    EXPECT_EQ(range->skipped, c.skipped);
}

// Probing order: the /22 around the address, then the rest from the lowest;
// every address once, and indexOf is addressAt backwards.
TEST_P(NetworkSweepRange, probesEveryAddressOnceNearBlockFirst)
{
    const RangeCase& c = GetParam();
    const auto range = sweepRangeFor(SelectedAddress{c.address, c.mask});
    if (!range)
        return;
    std::vector<bool> seen(range->size());
    const std::uint32_t nearCount = range->nearLast - range->nearFirst + 1;
    std::uint32_t previous = 0;
    for (std::uint32_t index = 0; index < range->size(); ++index) {
        const std::uint32_t address = range->addressAt(index);
        ASSERT_GE(address, range->first);
        ASSERT_LE(address, range->last);
        ASSERT_FALSE(seen[address - range->first]) << ipv4Text(address);
        seen[address - range->first] = true;
        ASSERT_EQ(range->indexOf(address), index);
        const bool near = address >= range->nearFirst && address <= range->nearLast;
        ASSERT_EQ(near, index < nearCount) << ipv4Text(address);
        if (index != 0 && index != nearCount) {
            ASSERT_GT(address, previous);
        }
        previous = address;
    }
    EXPECT_FALSE(range->indexOf(range->first - 1).has_value());
    EXPECT_FALSE(range->indexOf(range->last + 1).has_value());
}

const RangeCase kRangeCases[] = {
    {"slash24", "192.168.1.20", "255.255.255.0", "192.168.1.1", "192.168.1.254", 254},
    {"slash30", "10.0.0.5", "255.255.255.252", "10.0.0.5", "10.0.0.6", 2},
    {"slash31", "10.0.0.5", "255.255.255.254", nullptr, nullptr, 0},
    {"slash32", "10.0.0.5", "255.255.255.255", nullptr, nullptr, 0},
    {"noNetworkBits", "10.0.0.5", "0.0.0.0", nullptr, nullptr, 0},
    {"slash23", "10.203.10.2", "255.255.254.0", "10.203.10.1", "10.203.11.254", 510},
    {"slash22", "10.203.6.9", "255.255.252.0", "10.203.4.1", "10.203.7.254", 1022},
    {"slash21", "10.203.6.9", "255.255.248.0", "10.203.0.1", "10.203.7.254", 2046, "10.203.4.0", "10.203.7.254"},
    {"slash20", "10.203.40.9", "255.255.240.0", "10.203.32.1", "10.203.47.254", 4094, "10.203.40.0",
     "10.203.43.255"},
    // Wider subnets: only the /20 around the adapter's own address.
    {"slash16KeepsItsSlash20", "172.16.9.77", "255.255.0.0", "172.16.0.1", "172.16.15.255", 4095, "172.16.8.0",
     "172.16.11.255", 65534 - 4095},
    {"slash8AtTheStart", "10.0.1.5", "255.0.0.0", "10.0.0.1", "10.0.15.255", 4095, "10.0.0.1", "10.0.3.255",
     16777214 - 4095},
    {"slash16AtTheEnd", "172.16.254.1", "255.255.0.0", "172.16.240.0", "172.16.255.254", 4095, "172.16.252.0",
     "172.16.255.254", 65534 - 4095},
    {"badAddress", "192.168.1", "255.255.255.0", nullptr, nullptr, 0},
    {"badMask", "192.168.1.20", "255.255.255.0.0", nullptr, nullptr, 0},
    {"emptyTexts", "", "", nullptr, nullptr, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, NetworkSweepRange, testing::ValuesIn(kRangeCases),
                         [](const testing::TestParamInfo<RangeCase>& param) { return std::string(param.param.name); });

TEST(NetworkSweepRange, emptyRangeListSweepsNothing)
{
    const auto stats = pingSweep({}, SweepSettings{}, [] { return true; }, [](std::uint32_t) { FAIL(); });
    EXPECT_EQ(stats.probesSent, 0);
    EXPECT_FALSE(stats.interrupted);
}

}  // namespace
