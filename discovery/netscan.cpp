#include "discovery/netscan.h"

#include "discovery/deviceid.h"
#include "discovery/printersearcher.h"

#include <QLoggingCategory>

#include <cstring>
#include <optional>
#include <unordered_set>

namespace discovery {

namespace {

Q_LOGGING_CATEGORY(lcScan, "korvane.discovery.network")

// Progress values of the network phase (out of the search's total).
constexpr std::int32_t kProgressAdaptersSelected = 5;
constexpr std::int32_t kProgressSweepFinished = 15;
constexpr std::int32_t kProgressForAllHosts = 80;

// How often a wait for answers looks at the searcher's state, and how long it
// waits without any answer before it gives the rest up (far beyond what the
// querier's own time limits allow).
constexpr auto kAnswerPollTurn = std::chrono::milliseconds(100);
constexpr auto kAnswerStallLimit = std::chrono::seconds(30);

NetPrinterInfo printerInfo(const DeviceIdAnswer& answer)
{
    NetPrinterInfo info;
    info.ip = ipv4Text(answer.address);
    info.deviceId = answer.deviceId;
    const DeviceIdFields fields = parseDeviceId(info.deviceId);
    info.mfg = fields.manufacturer;
    info.mdl = fields.model;
    return info;
}

}  // namespace

std::vector<NetPrinterInfo> searchNetwork(PrinterSearcher& searcher, const NetScanOptions& options)
{
    NetScanStats localStats;
    NetScanStats& stats = options.stats ? *options.stats : localStats;
    stats = {};
    searcher.hostsDone = 0;
    searcher.percentPerHost = 0;

    const std::vector<SelectedAddress> selected = options.adapters ? options.adapters() : selectAdapters();
    std::vector<SweepRange> ranges;
    for (const SelectedAddress& address : selected) {
        const auto range = sweepRangeFor(address);
        if (!range)
            continue;
        ranges.push_back(*range);
        if (range->skipped)
            qCWarning(lcScan).nospace() << "the subnet of " << address.address.c_str() << '/' << address.mask.c_str()
                                        << " has " << range->size() + range->skipped
                                        << " host addresses; sweeping the " << range->size()
                                        << " of the /" << kWidestSweptPrefix << " around it, " << range->skipped
                                        << " skipped";
    }

    searcher.progress(kProgressAdaptersSelected, PrinterSearcher::kPhaseNetwork, PrinterSearcher::kNetworkStarted,
                      0, 0);
    if (!searcher.running())
        return {};

    // Started with the first live host, so a search that finds none never
    // starts its thread.
    std::optional<DeviceIdQuerier> querier;
    std::unordered_set<std::uint32_t> liveHosts;
    const auto ask = [&](std::uint32_t address) {
        // Two adapters on one subnet see the same host; it is one host.
        if (!liveHosts.insert(address).second || !searcher.running())
            return;
        if (options.onLiveHost)
            options.onLiveHost(address);
        if (!searcher.running())
            return;
        if (!querier)
            querier.emplace(options.snmp);
        querier->enqueue(address);
    };
    stats.sweep = pingSweep(ranges, options.sweep, [&searcher] { return searcher.running(); }, ask);

    // Without an ICMP socket (no privilege, and ping sockets closed by
    // net.ipv4.ping_group_range) nobody can be pinged; SNMP needs no
    // privilege, so every address of those ranges is asked instead.
    for (const SweepRange& range : stats.sweep.unswept) {
        if (!searcher.running())
            break;
        qCWarning(lcScan).nospace() << "cannot ping from " << ipv4Text(range.source).c_str() << " ("
                                    << std::strerror(stats.sweep.socketError)
                                    << "; ping sockets need net.ipv4.ping_group_range to hold the user's group,"
                                    << " raw ones CAP_NET_RAW): asking all " << range.size()
                                    << " addresses over SNMP";
        for (std::uint32_t index = 0; index < range.size() && searcher.running(); ++index) {
            ++stats.askedUnswept;
            ask(range.addressAt(index));
        }
    }
    stats.liveHosts = static_cast<int>(liveHosts.size());

    searcher.progress(kProgressSweepFinished, PrinterSearcher::kPhaseNetwork, PrinterSearcher::kSweepFinished, 0,
                      0);
    std::vector<NetPrinterInfo> printers;
    const std::int32_t hostCount = static_cast<std::int32_t>(liveHosts.size());
    if (searcher.running() && hostCount > 0 && querier) {
        searcher.percentPerHost = kProgressForAllHosts / hostCount;
        // With more hosts than steps a fixed step per host is zero; then the
        // bar follows the share of hosts done.
        const auto progressAfter = [&searcher, hostCount](std::int32_t host) {
            if (searcher.percentPerHost >= 1)
                return kProgressSweepFinished + host * searcher.percentPerHost;
            return kProgressSweepFinished + host * kProgressForAllHosts / hostCount;
        };
        auto lastAnswer = std::chrono::steady_clock::now();
        bool stalled = false;
        for (std::int32_t host = 1; host <= hostCount && searcher.running();) {
            std::optional<DeviceIdAnswer> answer =
                querier->takeFinished(stalled ? std::chrono::milliseconds(0) : kAnswerPollTurn);
            if (!answer) {
                if (!stalled && std::chrono::steady_clock::now() - lastAnswer < kAnswerStallLimit)
                    continue;
                if (!stalled)
                    qCWarning(lcScan) << "device-id queries stalled;" << hostCount - host + 1 << "hosts left unasked";
                stalled = true;
                answer = DeviceIdAnswer{};
            }
            lastAnswer = std::chrono::steady_clock::now();
            if (answer->answered) {
                printers.push_back(printerInfo(*answer));
                searcher.netPrinter(printers.back());
            }
            searcher.progress(progressAfter(host), PrinterSearcher::kPhaseNetwork, PrinterSearcher::kHostQueried, host,
                              hostCount);
            searcher.hostsDone = host;
            ++host;
        }
    }
    stats.queriesStarted = querier ? querier->queriesStarted() : 0;
    stats.printers = static_cast<int>(printers.size());
    return printers;
}

std::vector<NetPrinterInfo> searchNetwork(PrinterSearcher& searcher)
{
    return searchNetwork(searcher, NetScanOptions{});
}

}  // namespace discovery
