#include "discovery/netscansweep.h"

#include "discovery/netscanroutes.h"

#include <QDebug>
#include <QLoggingCategory>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace discovery {

namespace {

Q_LOGGING_CATEGORY(lcSweep, "korvane.discovery.sweep", QtInfoMsg)

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kIcmpEchoReply = 0;
constexpr std::uint8_t kIcmpEcho = 8;
constexpr std::size_t kEchoDataBytes = 32;
constexpr std::size_t kIcmpHeaderBytes = 8;
constexpr auto kLongestPollTurn = std::chrono::milliseconds(50);
// Replies read per socket and turn, so a flood cannot starve the sending.
constexpr int kMaxReadsPerTurn = 512;
constexpr int kReceiveBufferBytes = 1024 * 1024;
// Probes sent per turn before the replies are read again: a thousand probes
// in one burst bring a thousand replies at once, more than a socket buffers.
constexpr int kMaxSendsPerTurn = 64;
// How long the kernel keeps a neighbour entry for an address that does not
// answer before it may drop it: three solicitations a second apart, and a
// margin.
constexpr auto kUnresolvedHold = std::chrono::milliseconds(3500);
// On-link probes always allowed in flight, however many hosts answered.
constexpr int kMinimumUnresolved = 16;
constexpr auto kPacedPollTurn = std::chrono::milliseconds(20);

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

sockaddr_in socketAddress(std::uint32_t hostOrder)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(hostOrder);
    return address;
}

std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (length % 2)
        sum += static_cast<std::uint32_t>(data[length - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::mt19937& randomEngine()
{
    thread_local std::mt19937 engine{std::random_device{}()};
    return engine;
}

enum class ProbeState : std::uint8_t { Unsent, Outstanding, TimedOut, Answered };

// One adapter's socket and the bookkeeping of its probes. Sequence numbers
// start at a random base so a late reply to an earlier sweep is not taken for
// one of ours.
struct AdapterSweep {
    SweepRange range;
    UniqueFd fd;
    IcmpSocketKind kind = IcmpSocketKind::None;
    bool onLink = true;
    std::uint16_t identifier = 0;
    std::uint16_t sequenceBase = 0;
    std::uint32_t nextToSend = 0;
    std::vector<ProbeState> probes;
    std::vector<Clock::time_point> sentAt;
    std::deque<std::pair<std::uint32_t, Clock::time_point>> waiting;  // in send order
    std::optional<Clock::time_point> blockedSince;

    bool allSent() const { return nextToSend >= range.size(); }
};

bool openDatagramSocket(AdapterSweep& sweep)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!fd.valid())
        return false;
    // The kernel picks the echo identifier of a ping socket when it is bound
    // and only delivers replies that carry it.
    sockaddr_in local = socketAddress(sweep.range.source);
    socklen_t length = sizeof local;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0
        || ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return false;
    sweep.identifier = ntohs(local.sin_port);
    sweep.kind = IcmpSocketKind::Datagram;
    sweep.fd = std::move(fd);
    return true;
}

bool openRawSocket(AdapterSweep& sweep)
{
    UniqueFd fd(::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!fd.valid())
        return false;
    const sockaddr_in local = socketAddress(sweep.range.source);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return false;
    // A raw socket sees every ICMP message of the host; let only echo
    // replies through.
    icmp_filter filter{};
    filter.data = ~(1u << kIcmpEchoReply);
    ::setsockopt(fd.get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    sweep.identifier = static_cast<std::uint16_t>(randomEngine()());
    sweep.kind = IcmpSocketKind::Raw;
    sweep.fd = std::move(fd);
    return true;
}

bool openSocket(AdapterSweep& sweep, IcmpMode mode, int& error)
{
    int datagramError = 0;
    bool opened = false;
    if (mode != IcmpMode::RawOnly) {
        opened = openDatagramSocket(sweep);
        datagramError = errno;
    }
    if (!opened && mode != IcmpMode::DatagramOnly)
        opened = openRawSocket(sweep);
    if (!opened) {
        error = datagramError ? datagramError : errno;
        qCWarning(lcSweep).nospace() << "no ICMP socket for " << ipv4Text(sweep.range.source).c_str() << ": "
                                     << strerror(error);
        return false;
    }
    int size = kReceiveBufferBytes;
    ::setsockopt(sweep.fd.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sweep.sequenceBase = static_cast<std::uint16_t>(randomEngine()());
    sweep.probes.assign(sweep.range.size(), ProbeState::Unsent);
    sweep.sentAt.assign(sweep.range.size(), Clock::time_point{});
    return true;
}

enum class SendResult { Sent, Blocked, Failed };

SendResult sendProbe(AdapterSweep& sweep, std::uint32_t index)
{
    std::array<std::uint8_t, kIcmpHeaderBytes + kEchoDataBytes> packet{};
    const std::uint16_t sequence = static_cast<std::uint16_t>(sweep.sequenceBase + index);
    packet[0] = kIcmpEcho;
    packet[4] = static_cast<std::uint8_t>(sweep.identifier >> 8);
    packet[5] = static_cast<std::uint8_t>(sweep.identifier);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence);
    const std::uint16_t checksum = internetChecksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(checksum >> 8);
    packet[3] = static_cast<std::uint8_t>(checksum);

    const sockaddr_in target = socketAddress(sweep.range.addressAt(index));
    const ssize_t sent = ::sendto(sweep.fd.get(), packet.data(), packet.size(), MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent == static_cast<ssize_t>(packet.size()))
        return SendResult::Sent;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS || errno == EINTR))
        return SendResult::Blocked;
    return SendResult::Failed;
}

// The index of the probe a datagram answers, after checking type, identifier,
// sequence and that it came from the address that probe went to.
std::optional<std::uint32_t> matchReply(const AdapterSweep& sweep, const std::uint8_t* data, std::size_t length,
                                        const sockaddr_in& from)
{
    if (sweep.kind == IcmpSocketKind::Raw) {
        if (length < sizeof(iphdr))
            return std::nullopt;
        const std::size_t headerBytes = static_cast<std::size_t>(data[0] & 0x0f) * 4;
        if ((data[0] >> 4) != 4 || headerBytes < sizeof(iphdr) || headerBytes > length)
            return std::nullopt;
        data += headerBytes;
        length -= headerBytes;
    }
    if (length < kIcmpHeaderBytes || data[0] != kIcmpEchoReply || data[1] != 0)
        return std::nullopt;
    const std::uint16_t identifier = static_cast<std::uint16_t>(data[4] << 8 | data[5]);
    const std::uint16_t sequence = static_cast<std::uint16_t>(data[6] << 8 | data[7]);
    if (identifier != sweep.identifier)
        return std::nullopt;
    const std::uint32_t index = static_cast<std::uint16_t>(sequence - sweep.sequenceBase);
    if (index >= sweep.nextToSend || from.sin_family != AF_INET
        || ntohl(from.sin_addr.s_addr) != sweep.range.addressAt(index))
        return std::nullopt;
    return index;
}

class Sweeper {
public:
    Sweeper(const SweepSettings& settings, const std::function<void(std::uint32_t)>& onAlive)
        : m_settings(settings), m_onAlive(onAlive)
    {
    }

    void open(const std::vector<SweepRange>& ranges)
    {
        const std::vector<RouteEntry> routes = readRouteTable();
        m_budget = m_settings.neighbourBudget > 0 ? m_settings.neighbourBudget : neighbourTableLimit() / 2;
        m_stats.neighbourBudget = m_budget;
        for (const SweepRange& range : ranges) {
            AdapterSweep sweep;
            sweep.range = range;
            sweep.onLink = !reachedThroughGateway(routes, range.first);
            if (openSocket(sweep, m_settings.mode, m_stats.socketError)) {
                m_stats.socketKind = sweep.kind;
                ++m_stats.socketsOpened;
                qCDebug(lcSweep).nospace() << "sweeping " << range.size() << " addresses from "
                                           << ipv4Text(range.source).c_str()
                                           << (sweep.onLink ? ", on-link" : ", through a gateway");
                m_sweeps.push_back(std::move(sweep));
            } else {
                m_stats.unswept.push_back(range);
            }
        }
    }

    SweepStats run(const std::function<bool()>& keepRunning)
    {
        std::vector<pollfd> fds;
        for (;;) {
            if (!keepRunning()) {
                m_stats.interrupted = true;
                break;
            }
            const Clock::time_point now = Clock::now();
            expire(now);
            m_paced = false;
            m_turnFull = false;
            const bool blocked = sendSome(now);
            if (finished())
                break;

            fds.clear();
            for (const AdapterSweep& sweep : m_sweeps)
                fds.push_back({sweep.fd.get(), POLLIN, 0});
            auto wait = blocked ? std::chrono::milliseconds(5) : untilNextExpiry(now);
            if (m_paced)
                wait = std::min(wait, std::chrono::milliseconds(kPacedPollTurn));
            if (m_turnFull)
                wait = std::chrono::milliseconds(0);
            const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
            if (ready < 0 && errno != EINTR) {
                qCWarning(lcSweep) << "poll failed:" << strerror(errno);
                break;
            }
            for (std::size_t i = 0; i < m_sweeps.size(); ++i) {
                if (ready > 0 && (fds[i].revents & (POLLIN | POLLERR)))
                    readReplies(m_sweeps[i]);
            }
        }
        return m_stats;
    }

private:
    void expire(Clock::time_point now)
    {
        while (!m_recentOnLink.empty() && m_recentOnLink.front().second + kUnresolvedHold <= now) {
            const auto [sweepIndex, index] = m_recentOnLink.front().first;
            if (m_sweeps[sweepIndex].probes[index] == ProbeState::Answered)
                --m_answeredRecent;
            m_recentOnLink.pop_front();
        }
        for (AdapterSweep& sweep : m_sweeps) {
            while (!sweep.waiting.empty() && sweep.waiting.front().second + m_settings.replyWait <= now) {
                const std::uint32_t index = sweep.waiting.front().first;
                sweep.waiting.pop_front();
                if (sweep.probes[index] == ProbeState::Outstanding) {
                    sweep.probes[index] = ProbeState::TimedOut;
                    --m_outstanding;
                }
            }
        }
    }

    // Sends round-robin over the adapters while the window allows; true when a
    // socket could not take more for now.
    bool sendSome(Clock::time_point now)
    {
        bool blocked = false;
        bool progress = true;
        int sent = 0;
        while (progress && m_outstanding < m_settings.maxOutstanding) {
            if (sent >= kMaxSendsPerTurn) {
                m_turnFull = true;
                break;
            }
            progress = false;
            for (std::size_t sweepIndex = 0; sweepIndex < m_sweeps.size(); ++sweepIndex) {
                AdapterSweep& sweep = m_sweeps[sweepIndex];
                if (sweep.allSent() || m_outstanding >= m_settings.maxOutstanding)
                    continue;
                if (sweep.onLink && !mayProbeOnLink()) {
                    m_paced = true;
                    continue;
                }
                const std::uint32_t index = sweep.nextToSend;
                switch (sendProbe(sweep, index)) {
                case SendResult::Sent:
                    ++sent;
                    sweep.probes[index] = ProbeState::Outstanding;
                    sweep.sentAt[index] = now;
                    if (sweep.onLink) {
                        m_recentOnLink.push_back({{sweepIndex, index}, now});
                        m_stats.peakNeighbourEntries = std::max(m_stats.peakNeighbourEntries, neighbourEntries());
                    }
                    sweep.waiting.emplace_back(index, now);
                    sweep.blockedSince.reset();
                    ++sweep.nextToSend;
                    ++m_outstanding;
                    ++m_stats.probesSent;
                    progress = true;
                    break;
                case SendResult::Blocked:
                    // A probe the kernel keeps refusing for a whole reply wait
                    // counts as unanswered.
                    if (!sweep.blockedSince)
                        sweep.blockedSince = now;
                    if (now - *sweep.blockedSince >= m_settings.replyWait) {
                        sweep.probes[index] = ProbeState::TimedOut;
                        sweep.blockedSince.reset();
                        ++sweep.nextToSend;
                        progress = true;
                    } else {
                        blocked = true;
                    }
                    break;
                case SendResult::Failed:
                    sweep.probes[index] = ProbeState::TimedOut;
                    ++sweep.nextToSend;
                    progress = true;
                    break;
                }
            }
        }
        return blocked;
    }

    // Entries the on-link probes hold: those still resolving (or failed but
    // not yet free), and one per host that answered.
    int neighbourEntries() const
    {
        return static_cast<int>(m_recentOnLink.size()) - m_answeredRecent + m_answeredOnLink;
    }

    bool mayProbeOnLink() const
    {
        const int unresolved = static_cast<int>(m_recentOnLink.size()) - m_answeredRecent;
        return unresolved < kMinimumUnresolved || neighbourEntries() < m_budget;
    }

    bool finished() const
    {
        if (m_outstanding > 0)
            return false;
        return std::all_of(m_sweeps.begin(), m_sweeps.end(), [](const AdapterSweep& s) { return s.allSent(); });
    }

    std::chrono::milliseconds untilNextExpiry(Clock::time_point now) const
    {
        auto next = now + kLongestPollTurn;
        for (const AdapterSweep& sweep : m_sweeps) {
            if (!sweep.waiting.empty())
                next = std::min(next, sweep.waiting.front().second + m_settings.replyWait);
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
        return std::max(wait, std::chrono::milliseconds(0));
    }

    void readReplies(AdapterSweep& sweep)
    {
        std::array<std::uint8_t, 1500> buffer{};
        for (int reads = 0; reads < kMaxReadsPerTurn; ++reads) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t received = ::recvfrom(sweep.fd.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                                reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (received < 0) {
                // Queued ICMP errors (an unreachable host) surface here once
                // each; only an empty queue ends the turn.
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    return;
                continue;
            }
            const auto index = matchReply(sweep, buffer.data(), static_cast<std::size_t>(received), from);
            if (!index || sweep.probes[*index] == ProbeState::Answered)
                continue;
            if (sweep.probes[*index] == ProbeState::Outstanding)
                --m_outstanding;
            sweep.probes[*index] = ProbeState::Answered;
            if (sweep.onLink) {
                ++m_answeredOnLink;
                if (Clock::now() < sweep.sentAt[*index] + kUnresolvedHold)
                    ++m_answeredRecent;
            }
            ++m_stats.replies;
            m_onAlive(sweep.range.addressAt(*index));
        }
    }

    SweepSettings m_settings;
    const std::function<void(std::uint32_t)>& m_onAlive;
    std::vector<AdapterSweep> m_sweeps;
    int m_outstanding = 0;
    // On-link probes sent within kUnresolvedHold (adapter, probe; send time),
    // how many of them were answered, and every on-link answer so far.
    std::deque<std::pair<std::pair<std::size_t, std::uint32_t>, Clock::time_point>> m_recentOnLink;
    int m_answeredRecent = 0;
    int m_answeredOnLink = 0;
    int m_budget = 0;
    bool m_paced = false;
    bool m_turnFull = false;
    SweepStats m_stats;
};

}  // namespace

std::optional<std::uint32_t> parseIpv4(const std::string& text)
{
    in_addr parsed{};
    if (text.empty() || text.size() > 15 || inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return std::nullopt;
    return ntohl(parsed.s_addr);
}

std::string ipv4Text(std::uint32_t hostOrder)
{
    const in_addr address{htonl(hostOrder)};
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text))
        return {};
    return text;
}

std::optional<SweepRange> sweepRangeFor(std::uint32_t address, std::uint32_t mask)
{
    const int prefix = __builtin_popcount(mask);
    if (prefix == 0 || prefix > 30)
        return std::nullopt;
    const std::uint32_t hostBits = 32u - static_cast<std::uint32_t>(prefix);
    const std::uint32_t network = address & ~((1u << hostBits) - 1u);
    const std::uint32_t broadcast = network | ((1u << hostBits) - 1u);
    SweepRange range;
    range.source = address;
    range.first = network + 1;
    range.last = broadcast - 1;
    const auto clip = [address](std::uint32_t& first, std::uint32_t& last, int blockPrefix) {
        const std::uint32_t blockBits = 32u - static_cast<std::uint32_t>(blockPrefix);
        const std::uint32_t blockStart = address & ~((1u << blockBits) - 1u);
        const std::uint32_t blockEnd = blockStart | ((1u << blockBits) - 1u);
        first = std::max(first, blockStart);
        last = std::min(last, blockEnd);
    };
    if (prefix < kWidestSweptPrefix) {
        const std::uint32_t hosts = range.size();
        clip(range.first, range.last, kWidestSweptPrefix);
        range.skipped = hosts - range.size();
    }
    range.nearFirst = range.first;
    range.nearLast = range.last;
    clip(range.nearFirst, range.nearLast, kNearBlockPrefix);
    return range;
}

std::uint32_t SweepRange::addressAt(std::uint32_t index) const
{
    const std::uint32_t nearCount = nearLast - nearFirst + 1;
    if (index < nearCount)
        return nearFirst + index;
    const std::uint32_t rest = index - nearCount;
    return first + rest < nearFirst ? first + rest : first + rest + nearCount;
}

std::optional<std::uint32_t> SweepRange::indexOf(std::uint32_t address) const
{
    if (address < first || address > last)
        return std::nullopt;
    const std::uint32_t nearCount = nearLast - nearFirst + 1;
    if (address >= nearFirst && address <= nearLast)
        return address - nearFirst;
    return address < nearFirst ? nearCount + (address - first) : address - first;
}

std::optional<SweepRange> sweepRangeFor(const SelectedAddress& selected)
{
    const auto address = parseIpv4(selected.address);
    const auto mask = parseIpv4(selected.mask);
    if (!address || !mask)
        return std::nullopt;
    return sweepRangeFor(*address, *mask);
}

SweepStats pingSweep(const std::vector<SweepRange>& ranges, const SweepSettings& settings,
                     const std::function<bool()>& keepRunning,
                     const std::function<void(std::uint32_t)>& onAlive)
{
    Sweeper sweeper(settings, onAlive);
    sweeper.open(ranges);
    return sweeper.run(keepRunning);
}

}  // namespace discovery
