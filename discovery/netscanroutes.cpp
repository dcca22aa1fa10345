#include "discovery/netscanroutes.h"

#include <QFile>

#include <arpa/inet.h>
#include <charconv>

namespace discovery {

namespace {

constexpr int kKernelDefaultGcThresh3 = 1024;
constexpr unsigned kRouteUp = 0x1;       // RTF_UP
constexpr unsigned kRouteGateway = 0x2;  // RTF_GATEWAY

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> result;
    std::size_t position = 0;
    while (position < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t", position);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
        result.push_back(line.substr(start, end - start));
        position = end;
    }
    return result;
}

bool parseHex(std::string_view text, std::uint32_t& value)
{
    if (text.empty() || text.size() > 8)
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::vector<RouteEntry> parseRouteTable(std::string_view text)
{
    std::vector<RouteEntry> routes;
    bool header = true;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (std::exchange(header, false))
            continue;
        // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the
        // addresses are the raw network-order words printed as numbers.
        const auto parts = fields(line);
        std::uint32_t destination = 0, flags = 0, mask = 0;
        if (parts.size() < 8 || !parseHex(parts[1], destination) || !parseHex(parts[3], flags)
            || !parseHex(parts[7], mask) || !(flags & kRouteUp))
            continue;
        routes.push_back({ntohl(destination), ntohl(mask), (flags & kRouteGateway) != 0});
    }
    return routes;
}

std::vector<RouteEntry> readRouteTable()
{
    QFile file(QStringLiteral("/proc/net/route"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.read(1 << 20);
    return parseRouteTable(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

bool reachedThroughGateway(const std::vector<RouteEntry>& routes, std::uint32_t address)
{
    const RouteEntry* best = nullptr;
    for (const RouteEntry& route : routes) {
        if ((address & route.mask) != (route.destination & route.mask))
            continue;
        if (!best || __builtin_popcount(route.mask) > __builtin_popcount(best->mask))
            best = &route;
    }
    return best && best->throughGateway;
}

int neighbourTableLimit()
{
    QFile file(QStringLiteral("/proc/sys/net/ipv4/neigh/default/gc_thresh3"));
    if (!file.open(QIODevice::ReadOnly))
        return kKernelDefaultGcThresh3;
    bool ok = false;
    const int limit = file.read(32).trimmed().toInt(&ok);
    return ok && limit > 0 ? limit : kKernelDefaultGcThresh3;
}

}  // namespace discovery
