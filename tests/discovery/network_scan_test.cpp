// The network phase against the LAN test bed, run inside the bed's scanner
// namespace (the binary re-executes itself there; see network_lanbed.h). The
// scanner's only adapter leads to a simulated /24 where the gateway, twelve
// plain hosts and eight printers with SNMP agents answer ping.

#include "discovery/netscan.h"
#include "discovery/printersearcher.h"
#include "network_lanbed.h"
#include "network_recordingsearcher.h"

#include "support/testsupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <variant>

using namespace discovery;
using scantest::Progress;
using scantest::RecordingSearcher;

namespace {

struct ExpectedPrinter {
    std::string mfg;
    std::string mdl;
};

// What the page must show for each printer of the bed's "test" profile.
const std::map<std::string, ExpectedPrinter> kExpectedPrinters = {
    {"10.203.7.20", {"Hewlett-Packard", "HP Color LaserJet CP2025dn"}},
    {"10.203.7.21", {"Brother", "HL-L2350DW series"}},
    {"10.203.7.22", {"EPSON", "ET-2750 Series"}},
    {"10.203.7.23", {"Canon", "MF240 Series"}},
    {"10.203.7.24", {"Lexmark International", "Lexmark MS410dn"}},
    {"10.203.7.25", {"RICOH", ""}},  // its last pair has no closing ";"
    {"10.203.7.26", {"", ""}},       // lower-case keys
    {"10.203.7.27", {"", ""}},       // the value starts with a zero byte
};

class NetworkScan : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString();
        // Never scan anything but the bed: the namespace must hold only its
        // loopback and the link to the simulated LAN.
        std::set<std::string> names;
        for (const AdapterRecord& adapter : listAdapters())
            names.insert(adapter.name);
        ASSERT_EQ(names, (std::set<std::string>{"lo", "scan0"}));

        profile = lanbed::readProfile(testsupport::sourceDir() + QStringLiteral("/tests/testbeds/lan/profiles/test.lan"));
        ASSERT_EQ(profile.prefixLength, 24);
        for (const lanbed::ProfileLine& line : profile.lines) {
            liveHosts.insert(line.address);
            if (line.kind == lanbed::ProfileLine::Printer)
                deviceIds[line.address] = line.deviceId.substr(0, line.deviceId.find('\0'));
        }
        ASSERT_EQ(liveHosts.size(), 22u);
        ASSERT_EQ(deviceIds.size(), kExpectedPrinters.size());
    }

    lanbed::Profile profile;
    std::set<std::string> liveHosts;
    std::map<std::string, std::string> deviceIds;
};

TEST_F(NetworkScan, everyPrinterIsReportedOnceWithItsMakerAndModel)
{
    RecordingSearcher searcher;
    NetScanStats stats;
    NetScanOptions options;
    options.stats = &stats;
    const auto returned = searchNetwork(searcher, options);

    const auto reported = searcher.printers();
    std::map<std::string, NetPrinterInfo> byIp;
    for (const NetPrinterInfo& printer : reported)
        EXPECT_TRUE(byIp.emplace(printer.ip, printer).second) << printer.ip << " reported twice";
    ASSERT_EQ(byIp.size(), kExpectedPrinters.size());
    for (const auto& [ip, expected] : kExpectedPrinters) {
        ASSERT_EQ(byIp.count(ip), 1u) << ip << " not reported";
        const NetPrinterInfo& printer = byIp[ip];
        EXPECT_EQ(printer.mfg, expected.mfg) << ip;
        EXPECT_EQ(printer.mdl, expected.mdl) << ip;
        EXPECT_EQ(printer.deviceId, deviceIds[ip]) << ip;
    }
    EXPECT_TRUE(byIp["10.203.7.27"].deviceId.empty());
    EXPECT_EQ(returned.size(), reported.size());
    EXPECT_EQ(stats.liveHosts, 22);
    EXPECT_EQ(stats.queriesStarted, 22);
    EXPECT_EQ(stats.printers, 8);
}

TEST_F(NetworkScan, progressRunsFromFiveToOneStepPerHost)
{
    RecordingSearcher searcher;
    searchNetwork(searcher);

    const std::int32_t n = 22;
    const std::int32_t perHost = 80 / n;
    std::vector<Progress> expected = {{5, 0, 1, 0, 0}, {15, 0, 2, 0, 0}};
    for (std::int32_t k = 1; k <= n; ++k)
        expected.push_back({15 + k * perHost, 0, 0, k, n});
    EXPECT_EQ(searcher.progressEvents(), expected);
    EXPECT_EQ(searcher.percentPerHost, perHost);
    EXPECT_EQ(searcher.hostsDone, n);

    // Each printer comes just before the progress of its host, after the sweep.
    ASSERT_GE(searcher.events.size(), 3u);
    for (std::size_t i = 0; i < searcher.events.size(); ++i) {
        if (!std::holds_alternative<NetPrinterInfo>(searcher.events[i]))
            continue;
        EXPECT_GE(i, 2u) << "a printer before the sweep finished";
        ASSERT_LT(i + 1, searcher.events.size());
        const auto* next = std::get_if<Progress>(&searcher.events[i + 1]);
        ASSERT_NE(next, nullptr) << "two printers without a progress between them";
        EXPECT_EQ(next->event, PrinterSearcher::kHostQueried);
    }
}

TEST_F(NetworkScan, secondSearchCountsFromOneAgain)
{
    RecordingSearcher searcher;
    searchNetwork(searcher);
    const auto first = searcher.progressEvents();
    searcher.events.clear();
    searchNetwork(searcher);
    const auto second = searcher.progressEvents();

    ASSERT_GE(second.size(), 3u);
    EXPECT_EQ(second[2].curMachine, 1);
    EXPECT_EQ(second.back().curMachine, 22);
    EXPECT_EQ(first, second);
    EXPECT_EQ(searcher.printers().size(), kExpectedPrinters.size());
}

// Hosts are handed to the querier while the sweep runs, so an interrupt in
// the middle of the sweep leaves the hosts already handed over asked (and
// unreported). Interrupting at the very first live host stops before any.
TEST_F(NetworkScan, interruptAtTheFirstLiveHostQueriesNoHost)
{
    RecordingSearcher searcher;
    NetScanStats stats;
    NetScanOptions options;
    options.stats = &stats;
    options.onLiveHost = [&searcher](std::uint32_t) { searcher.state = PrinterSearcher::kInterruptRequested; };
    const auto returned = searchNetwork(searcher, options);

    EXPECT_TRUE(stats.sweep.interrupted);
    EXPECT_EQ(stats.queriesStarted, 0);
    EXPECT_TRUE(returned.empty());
    EXPECT_TRUE(searcher.printers().empty());
    const std::vector<Progress> expected = {{5, 0, 1, 0, 0}, {15, 0, 2, 0, 0}};
    EXPECT_EQ(searcher.progressEvents(), expected);
    EXPECT_EQ(searcher.state.load(), PrinterSearcher::kInterruptRequested);
    EXPECT_EQ(searcher.hostsDone, 0);
}

TEST_F(NetworkScan, interruptBeforeSweepSendsNothing)
{
    RecordingSearcher searcher;
    searcher.onProgress = [&searcher](const Progress& p) {
        if (p.event == PrinterSearcher::kNetworkStarted)
            searcher.state = PrinterSearcher::kInterruptRequested;
    };
    NetScanStats stats;
    NetScanOptions options;
    options.stats = &stats;
    searchNetwork(searcher, options);

    EXPECT_EQ(stats.sweep.probesSent, 0);
    const std::vector<Progress> expected = {{5, 0, 1, 0, 0}};
    EXPECT_EQ(searcher.progressEvents(), expected);
}

TEST_F(NetworkScan, interruptAfterAHostStopsTheReports)
{
    RecordingSearcher searcher;
    searcher.onProgress = [&searcher](const Progress& p) {
        if (p.event == PrinterSearcher::kHostQueried && p.curMachine == 3)
            searcher.state = PrinterSearcher::kInterruptRequested;
    };
    searchNetwork(searcher);

    const auto progress = searcher.progressEvents();
    ASSERT_EQ(progress.size(), 5u);
    EXPECT_EQ(progress.back().curMachine, 3);
    EXPECT_EQ(searcher.hostsDone, 3);
    EXPECT_LE(searcher.printers().size(), 3u);
}

TEST_F(NetworkScan, hostsOfTwoAdaptersOnOneSubnetAreQueriedOnce)
{
    RecordingSearcher searcher;
    NetScanStats stats;
    NetScanOptions options;
    options.stats = &stats;
    options.adapters = [] {
        return std::vector<SelectedAddress>{{"10.203.7.2", "255.255.255.0"}, {"10.203.7.2", "255.255.255.0"}};
    };
    searchNetwork(searcher, options);

    EXPECT_EQ(stats.liveHosts, 22);
    EXPECT_EQ(stats.queriesStarted, 22);
    EXPECT_EQ(searcher.printers().size(), kExpectedPrinters.size());
    EXPECT_EQ(searcher.progressEvents().back().totalMachine, 22);
}

TEST_F(NetworkScan, noSelectedAdapterEndsAfterTheTwoFirstSteps)
{
    RecordingSearcher searcher;
    NetScanOptions options;
    options.adapters = [] { return std::vector<SelectedAddress>{}; };
    searchNetwork(searcher, options);

    const std::vector<Progress> expected = {{5, 0, 1, 0, 0}, {15, 0, 2, 0, 0}};
    EXPECT_EQ(searcher.progressEvents(), expected);
    EXPECT_TRUE(searcher.printers().empty());
}

// The sweep alone, with each kind of ICMP socket.
class NetworkSweep : public NetworkScan {
protected:
    std::set<std::string> sweep(const SweepSettings& settings, SweepStats* statsOut = nullptr)
    {
        const auto range = sweepRangeFor(SelectedAddress{"10.203.7.2", "255.255.255.0"});
        EXPECT_TRUE(range.has_value());
        std::set<std::string> alive;
        const auto stats = pingSweep({*range}, settings, [] { return true; }, [&alive](std::uint32_t address) {
            EXPECT_TRUE(alive.insert(ipv4Text(address)).second) << "reported twice";
        });
        EXPECT_EQ(stats.probesSent, 254);
        EXPECT_EQ(stats.replies, static_cast<int>(alive.size()));
        if (statsOut)
            *statsOut = stats;
        return alive;
    }
};

TEST_F(NetworkSweep, rawSocketFindsEveryLiveHost)
{
    SweepSettings settings;
    settings.mode = IcmpMode::RawOnly;
    SweepStats stats;
    EXPECT_EQ(sweep(settings, &stats), liveHosts);
    EXPECT_EQ(stats.socketKind, IcmpSocketKind::Raw);
}

// One case for all three steps: they change a sysctl of the scanner's
// namespace, which cases running side by side must not see half-way.
TEST_F(NetworkSweep, socketKindFollowsPingGroupRange)
{
    const QString pingGroupRange = QStringLiteral("/proc/sys/net/ipv4/ping_group_range");
    {
        const lanbed::ScopedSysctl allowRoot(pingGroupRange, "0 0");
        ASSERT_TRUE(allowRoot.ok());
        SweepSettings settings;
        settings.mode = IcmpMode::DatagramOnly;
        SweepStats stats;
        EXPECT_EQ(sweep(settings, &stats), liveHosts) << "ping socket";
        EXPECT_EQ(stats.socketKind, IcmpSocketKind::Datagram);
    }
    const lanbed::ScopedSysctl nobody(pingGroupRange, "1 0");
    ASSERT_TRUE(nobody.ok());
    {
        SweepStats stats;
        EXPECT_EQ(sweep(SweepSettings{}, &stats), liveHosts) << "fallback";
        EXPECT_EQ(stats.socketKind, IcmpSocketKind::Raw);
    }
    {
        const auto range = sweepRangeFor(SelectedAddress{"10.203.7.2", "255.255.255.0"});
        SweepSettings settings;
        settings.mode = IcmpMode::DatagramOnly;
        const auto stats = pingSweep({*range}, settings, [] { return true; }, [](std::uint32_t) {});
        EXPECT_EQ(stats.probesSent, 0) << "refused ping socket and no fallback";
        EXPECT_EQ(stats.socketKind, IcmpSocketKind::None);
    }
}

// On this /24 every probe is on-link; a budget below the subnet's size makes
// the sweep wait for the neighbour entries of unanswered probes to expire.
TEST_F(NetworkSweep, onLinkProbesStayWithinTheNeighbourBudget)
{
    SweepSettings settings;
    settings.neighbourBudget = 100;
    SweepStats stats;
    EXPECT_EQ(sweep(settings, &stats), liveHosts);
    EXPECT_EQ(stats.neighbourBudget, 100);
    EXPECT_EQ(stats.peakNeighbourEntries, 100);
}

TEST_F(NetworkSweep, narrowWindowStillFindsEveryLiveHost)
{
    SweepSettings settings;
    settings.maxOutstanding = 16;
    settings.replyWait = std::chrono::milliseconds(300);
    EXPECT_EQ(sweep(settings), liveHosts);
}

// The querier alone: a printer, a host without an agent, a zero-byte answer.
TEST_F(NetworkScan, querierAnswersEachHostOnce)
{
    DeviceIdQuerier querier;
    const std::vector<std::string> hosts = {"10.203.7.21", "10.203.7.30", "10.203.7.27"};
    for (const std::string& host : hosts)
        querier.enqueue(*parseIpv4(host));
    std::map<std::string, DeviceIdAnswer> answers;
    for (int turns = 0; answers.size() < hosts.size() && turns < 100; ++turns) {
        if (auto answer = querier.takeFinished(std::chrono::milliseconds(100))) {
            EXPECT_TRUE(answers.emplace(ipv4Text(answer->address), *answer).second);
        }
    }
    ASSERT_EQ(answers.size(), hosts.size());
    EXPECT_TRUE(answers["10.203.7.21"].answered);
    EXPECT_EQ(answers["10.203.7.21"].end, DeviceIdAnswer::End::Answered);
    EXPECT_EQ(answers["10.203.7.21"].deviceId, deviceIds["10.203.7.21"]);
    EXPECT_FALSE(answers["10.203.7.30"].answered);
    EXPECT_EQ(answers["10.203.7.30"].end, DeviceIdAnswer::End::Refused) << "no agent: port unreachable";
    EXPECT_TRUE(answers["10.203.7.27"].answered);
    EXPECT_EQ(answers["10.203.7.27"].deviceId, "");
    EXPECT_EQ(querier.queriesStarted(), 3);
}

}  // namespace
