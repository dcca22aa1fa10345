#pragma once
// The ICMP echo sweep of the network scan.
//
// On-link probes are paced: each makes the kernel resolve the address and hold
// a neighbour entry for it (about three seconds for an address nobody has, for
// good for one that answers), and the table is shared by the whole machine.
// The sweep keeps the entries its probes may hold under a budget, so it never
// crowds out the machine's own neighbours.
//
// Thread: runs on the caller's thread (the search thread) and starts none of
// its own. It owns one non-blocking ICMP socket per adapter for the length of
// one call, sends while it reads, and hands each address that answers to the
// caller's callback on the same thread. It stops when every probe has been
// answered or has waited its full time, or at the first turn after
// keepRunning() says no (checked at least every 50 ms).

#include "discovery/netscanadapters.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace discovery {

// The addresses one adapter probes, in host byte order, first to last
// inclusive. Probes leave from `source`, the adapter's own address. The /22
// around the source (nearFirst..nearLast, inside first..last) is probed
// before the rest: the printers a user means are most often close by.
struct SweepRange {
    std::uint32_t source = 0;
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::uint32_t nearFirst = 0;
    std::uint32_t nearLast = 0;
    // Host addresses of the subnet left out because it is wider than a /20.
    std::uint32_t skipped = 0;
    std::uint32_t size() const { return last - first + 1; }
    // The index-th address in probing order, and back; index < size().
    std::uint32_t addressAt(std::uint32_t index) const;
    std::optional<std::uint32_t> indexOf(std::uint32_t address) const;
};

// Nothing wider than a /20 (4094 probes) is swept; a wider subnet is cut to
// the /20 around the adapter's address.
constexpr int kWidestSweptPrefix = 20;
constexpr int kNearBlockPrefix = 22;

// Every host address of the subnet (its network and broadcast addresses left
// out) inside the /20 that holds the address. nullopt when a text does not
// parse, or the mask leaves fewer than two host bits or no network bits.
std::optional<SweepRange> sweepRangeFor(const SelectedAddress& selected);
std::optional<SweepRange> sweepRangeFor(std::uint32_t address, std::uint32_t mask);

// Dotted-decimal text and host-order numbers for IPv4 addresses; parsing
// accepts only the four-number form.
std::optional<std::uint32_t> parseIpv4(const std::string& text);
std::string ipv4Text(std::uint32_t hostOrder);

enum class IcmpSocketKind { None, Datagram, Raw };
// Automatic tries an unprivileged ICMP datagram socket first (allowed by
// net.ipv4.ping_group_range) and falls back to a raw socket (root or
// CAP_NET_RAW).
enum class IcmpMode { Automatic, DatagramOnly, RawOnly };

struct SweepSettings {
    IcmpMode mode = IcmpMode::Automatic;
    // How long a probe waits for its answer; also how long the sweep lasts
    // after its last request.
    std::chrono::milliseconds replyWait{1000};
    // Probes sent and neither answered nor timed out, over all adapters
    // (on-link ones are held lower by neighbourBudget). A second's worth of
    // a routed /20's probes in flight keeps its sweep near four seconds.
    int maxOutstanding = 1024;
    // Neighbour entries that on-link probes may hold at once (see
    // netscanroutes.h); 0: half the kernel's gc_thresh3. Probes through a
    // gateway are not counted.
    int neighbourBudget = 0;
};

struct SweepStats {
    int probesSent = 0;
    int replies = 0;
    IcmpSocketKind socketKind = IcmpSocketKind::None;  // of the last socket opened
    int socketsOpened = 0;
    // Why the last socket could not be opened (an errno value), 0 if none failed.
    int socketError = 0;
    bool interrupted = false;
    // The ranges no ICMP socket could be opened for, so not swept.
    std::vector<SweepRange> unswept;
    // The most neighbour entries the on-link probes held at once, as counted
    // for neighbourBudget, and that budget.
    int peakNeighbourEntries = 0;
    int neighbourBudget = 0;
};

// Probes every address of every range once and calls onAlive with each
// address (host byte order) the first time it answers on that adapter.
SweepStats pingSweep(const std::vector<SweepRange>& ranges, const SweepSettings& settings,
                     const std::function<bool()>& keepRunning,
                     const std::function<void(std::uint32_t)>& onAlive);

}  // namespace discovery
