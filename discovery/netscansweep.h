#pragma once
// The ICMP echo sweep of the network scan.
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
// inclusive. Probes leave from `source`, the adapter's own address.
struct SweepRange {
    std::uint32_t source = 0;
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::uint32_t size() const { return last - first + 1; }
};

// Nothing wider than a /22 (1022 probes) is swept: every on-link probe takes a
// slot in the kernel's neighbour table, which holds 1024 for the whole
// machine, and a larger office network is rarely one flat subnet.
constexpr int kWidestSweptPrefix = 22;

// Every host address of the subnet (its network and broadcast addresses left
// out) inside the /22 that holds the address. nullopt when a text does not
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
    // Probes sent and neither answered nor timed out, over all adapters.
    int maxOutstanding = 256;
};

struct SweepStats {
    int probesSent = 0;
    int replies = 0;
    IcmpSocketKind socketKind = IcmpSocketKind::None;  // of the last socket opened
    bool interrupted = false;
};

// Probes every address of every range once and calls onAlive with each
// address (host byte order) the first time it answers on that adapter.
SweepStats pingSweep(const std::vector<SweepRange>& ranges, const SweepSettings& settings,
                     const std::function<bool()>& keepRunning,
                     const std::function<void(std::uint32_t)>& onAlive);

}  // namespace discovery
