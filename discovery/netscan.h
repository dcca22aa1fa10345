#pragma once
// The network phase of a printer search: pick the adapters, sweep their
// subnets with ICMP echo, ask every host that answered for its IEEE 1284
// device id over SNMP, and report each printer and each queried host through
// the searcher's hooks.
//
// Threads: searchNetwork runs on the caller's thread (the search thread),
// which sweeps and calls every hook. It starts one DeviceIdQuerier thread for
// the phase, hands it each host as soon as its echo reply arrives, and joins
// it before returning; at most two threads work for the phase. The page sees
// progress 5, then 15 once the sweep is over, then one progress per live host
// with consecutive host numbers, a printer's netPrinter always just before
// its host's progress. The search stops early when the searcher leaves the
// running state: checked after the adapter listing, every turn of the sweep
// (no host is queried after that), after the sweep, while waiting for answers
// and after each host's progress.

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
    int liveHosts = 0;
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
