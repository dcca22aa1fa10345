#pragma once
// The network phase of a printer search: pick the adapters, sweep their
// subnets with ICMP echo (up to a /20 each, the /22 around the adapter's
// address first), ask every host that answered for its IEEE 1284 device id
// over SNMP, and report each printer and each queried host through the
// searcher's hooks. When no ICMP socket can be opened for an adapter, every
// address of its range is asked over SNMP instead.
//
// Threads: searchNetwork runs on the caller's thread (the search thread),
// which sweeps and calls every hook. It starts one DeviceIdQuerier thread for
// the phase, hands it each host as soon as its echo reply arrives (the
// queries overlap the sweep), and joins it before returning; at most two
// threads work for the phase. The page sees progress 5, then 15 once the
// sweep is over, then one progress per asked host in the order the answers
// end, with consecutive host numbers, a printer's netPrinter always just
// before its host's progress: a printer that answers at once is reported at
// once, while silent hosts use up their whole SNMP window. Host k of n is at
// 15 + k * (80 / n) while that step is at least 1, else at 15 + k * 80 / n.
// The search stops early when the searcher leaves the running state: checked
// after the adapter listing, every turn of the sweep (no further host is
// handed to the querier after that; those already handed are not reported),
// after the sweep, while waiting for answers and after each host's progress.

#include "discovery/netprinterinfo.h"
#include "discovery/netscanadapters.h"
#include "discovery/netscansnmp.h"
#include "discovery/netscansweep.h"

#include <functional>
#include <vector>

class PrinterSearcher;

namespace discovery {

struct NetScanStats {
    SweepStats sweep;
    int liveHosts = 0;  // hosts asked over SNMP, those of unswept ranges included
    int askedUnswept = 0;
    int queriesStarted = 0;
    int printers = 0;
};

struct NetScanOptions {
    // The adapters to sweep; selectAdapters() when empty.
    std::function<std::vector<SelectedAddress>()> adapters;
    SweepSettings sweep;
    SnmpSettings snmp;
    // Called on the search thread for each new live host, before it is
    // queried.
    std::function<void(std::uint32_t)> onLiveHost;
    NetScanStats* stats = nullptr;
};

// The whole network phase. Returns the printers found, each already reported
// through the netPrinter hook.
std::vector<NetPrinterInfo> searchNetwork(PrinterSearcher& searcher, const NetScanOptions& options);
std::vector<NetPrinterInfo> searchNetwork(PrinterSearcher& searcher);

}  // namespace discovery

// The search phases are called by their plain names, beside PrinterSearcher.
using discovery::searchNetwork;
