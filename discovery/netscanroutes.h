#pragma once
// What the kernel's IPv4 routes and neighbour limits tell the sweep.
//
// A probe to an on-link address makes the kernel resolve it (ARP) and keep an
// entry for it in the neighbour table, which the whole machine shares (every
// namespace counts against it) and which refuses new entries past
// gc_thresh3. A probe through a gateway needs only the gateway's entry. The
// sweep paces on-link probes by what it reads here.

#include <cstdint>
#include <string_view>
#include <vector>

namespace discovery {

struct RouteEntry {
    std::uint32_t destination = 0;  // host byte order
    std::uint32_t mask = 0;
    bool throughGateway = false;
};

// The up routes of /proc/net/route's text; malformed lines are skipped.
std::vector<RouteEntry> parseRouteTable(std::string_view text);
std::vector<RouteEntry> readRouteTable();

// True when the most specific route to the address goes through a gateway;
// false when it is on-link or no route matches.
bool reachedThroughGateway(const std::vector<RouteEntry>& routes, std::uint32_t address);

// net.ipv4.neigh.default.gc_thresh3 (only the first namespace shows it; the
// kernel's default elsewhere).
int neighbourTableLimit();

}  // namespace discovery
