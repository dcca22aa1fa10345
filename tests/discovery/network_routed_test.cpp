// The network phase on the LAN bed's routed /20 (profile routed20): 4094
// addresses behind a gateway, printers with snmpd, printers that answer
// seconds late, an agent that answers with another OID, one that never
// answers and one that answers from another port. Runs inside the bed's
// scanner namespace (see network_lanbed.h).

#include "discovery/netscan.h"
#include "discovery/printersearcher.h"
#include "network_lanbed.h"
#include "network_recordingsearcher.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace discovery;
using scantest::Progress;
using scantest::RecordingSearcher;

namespace {

class RoutedScan : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString();
        std::set<std::string> names;
        for (const AdapterRecord& adapter : listAdapters())
            names.insert(adapter.name);
        ASSERT_EQ(names, (std::set<std::string>{"lo", "scan0"}));

        profile =
            lanbed::readProfile(testsupport::sourceDir() + QStringLiteral("/tests/testbeds/lan/profiles/routed20.lan"));
        ASSERT_EQ(profile.prefixLength, 20);
        ASSERT_TRUE(profile.routed);
        for (const lanbed::ProfileLine& line : profile.lines) {
            liveHosts.insert(line.address);
            kinds[line.address] = line.kind;
            if (line.kind == lanbed::ProfileLine::Printer || line.kind == lanbed::ProfileLine::SlowPrinter)
                printers[line.address] = line.deviceId;
        }
        ASSERT_EQ(liveHosts.size(), 24u);
        ASSERT_EQ(printers.size(), 6u);
    }

    std::string firstOf(lanbed::ProfileLine::Kind kind) const
    {
        for (const auto& [address, k] : kinds) {
            if (k == kind)
                return address;
        }
        return {};
    }

    lanbed::Profile profile;
    std::set<std::string> liveHosts;
    std::map<std::string, lanbed::ProfileLine::Kind> kinds;
    std::map<std::string, std::string> printers;  // address -> device id
};

TEST_F(RoutedScan, wholeSlash20IsSweptAndEveryAnsweringPrinterReportedOnce)
{
    RecordingSearcher searcher;
    NetScanStats stats;
    NetScanOptions options;
    options.stats = &stats;
    std::vector<std::string> live;
    options.onLiveHost = [&live](std::uint32_t address) { live.push_back(ipv4Text(address)); };
    searchNetwork(searcher, options);

    EXPECT_EQ(stats.sweep.probesSent, 4094);
    EXPECT_EQ(stats.sweep.peakNeighbourEntries, 0) << "every probe went through the gateway";
    EXPECT_EQ(std::set<std::string>(live.begin(), live.end()), liveHosts);
    EXPECT_EQ(live.size(), liveHosts.size());
    EXPECT_EQ(stats.queriesStarted, 24);

    std::map<std::string, std::string> reported;
    for (const NetPrinterInfo& printer : searcher.printers())
        EXPECT_TRUE(reported.emplace(printer.ip, printer.deviceId).second) << printer.ip << " reported twice";
    // Not the agent that answers with sysDescr, not the silent one, not the
    // one whose answer comes from another port.
    EXPECT_EQ(reported, printers);

    const std::int32_t n = 24;
    std::vector<Progress> expected = {{5, 0, 1, 0, 0}, {15, 0, 2, 0, 0}};
    for (std::int32_t k = 1; k <= n; ++k)
        expected.push_back({15 + k * (80 / n), 0, 0, k, n});
    EXPECT_EQ(searcher.progressEvents(), expected);
}

// The /22 around the scanner (10.203.32.0/22) is probed first. With a window
// of probes in flight far smaller than that block, and probes to empty routed
// addresses waiting their full second, every host inside it answers before
// any probe leaves for the rest of the /20.
TEST_F(RoutedScan, hostsOfTheNearSlash22AreFoundFirst)
{
    const auto range = sweepRangeFor(SelectedAddress{"10.203.32.2", "255.255.240.0"});
    ASSERT_TRUE(range.has_value());
    std::vector<std::uint32_t> order;
    SweepSettings settings;
    settings.maxOutstanding = 256;
    const auto stats = pingSweep({*range}, settings, [] { return true; },
                                 [&order](std::uint32_t address) { order.push_back(address); });
    EXPECT_EQ(stats.probesSent, 4094);
    ASSERT_EQ(order.size(), liveHosts.size());
    std::size_t nearCount = 0;
    for (const std::string& host : liveHosts)
        nearCount += *parseIpv4(host) >> 10 == *parseIpv4("10.203.32.0") >> 10 ? 1 : 0;
    ASSERT_GT(nearCount, 3u);
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(i < nearCount, order[i] >> 10 == *parseIpv4("10.203.32.0") >> 10) << i << ' ' << ipv4Text(order[i]);
}

// Each kind of host ends its query as it behaves: a printer with its id, a
// late printer with its id after its delay, a host without an agent at once
// on "port unreachable", the others after the whole window.
TEST_F(RoutedScan, querierEndsEachKindOfHostAsItBehaves)
{
    DeviceIdQuerier querier;
    const std::string printer = firstOf(lanbed::ProfileLine::Printer);
    const std::string slow = firstOf(lanbed::ProfileLine::SlowPrinter);
    const std::string wrongOid = firstOf(lanbed::ProfileLine::WrongOid);
    const std::string silent = firstOf(lanbed::ProfileLine::Silent);
    const std::string otherPort = firstOf(lanbed::ProfileLine::OtherPort);
    const std::string host = firstOf(lanbed::ProfileLine::Host);
    const std::string nobody = "10.203.40.41";  // nobody has it: the router drops the request
    ASSERT_EQ(liveHosts.count(nobody), 0u);
    const std::vector<std::string> asked = {silent, otherPort, nobody, slow, wrongOid, printer, host};
    for (const std::string& address : asked)
        querier.enqueue(*parseIpv4(address));

    std::map<std::string, DeviceIdAnswer> answers;
    std::vector<std::string> order;
    for (int turns = 0; answers.size() < asked.size() && turns < 300; ++turns) {
        if (auto answer = querier.takeFinished(std::chrono::milliseconds(100))) {
            order.push_back(ipv4Text(answer->address));
            EXPECT_TRUE(answers.emplace(order.back(), *answer).second);
        }
    }
    ASSERT_EQ(answers.size(), asked.size());
    EXPECT_EQ(answers[printer].end, DeviceIdAnswer::End::Answered);
    EXPECT_EQ(answers[printer].deviceId, printers[printer]);
    EXPECT_EQ(answers[slow].end, DeviceIdAnswer::End::Answered);
    EXPECT_EQ(answers[slow].deviceId, printers[slow]);
    EXPECT_EQ(answers[wrongOid].end, DeviceIdAnswer::End::NoDeviceId);
    EXPECT_FALSE(answers[wrongOid].answered);
    EXPECT_EQ(answers[host].end, DeviceIdAnswer::End::Refused);
    EXPECT_EQ(answers[silent].end, DeviceIdAnswer::End::Silent);
    EXPECT_EQ(answers[otherPort].end, DeviceIdAnswer::End::Silent);
    EXPECT_FALSE(answers[otherPort].answered);
    EXPECT_EQ(answers[nobody].end, DeviceIdAnswer::End::Silent);
    // The four that end on an answer come before the three that wait out the
    // window (six seconds); the late printer needs several.
    const std::set<std::string> first(order.begin(), order.begin() + 4);
    EXPECT_EQ(first, (std::set<std::string>{printer, host, wrongOid, slow}));
    EXPECT_EQ(querier.queriesStarted(), 7);
}

}  // namespace
