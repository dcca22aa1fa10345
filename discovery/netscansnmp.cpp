#include "discovery/netscansnmp.h"

#include "discovery/netscansweep.h"
#include "sysutil/signalstack.h"

#include <QLoggingCategory>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <random>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace discovery {

namespace {

Q_LOGGING_CATEGORY(lcSnmp, "korvane.discovery.snmp", QtInfoMsg)

using Clock = std::chrono::steady_clock;

constexpr std::string_view kCommunity = "public";
constexpr auto kLongestPollTurn = std::chrono::milliseconds(200);
// Datagrams read per socket and turn; a flood from one host cannot hold up
// the others.
constexpr int kMaxReadsPerTurn = 8;
constexpr std::size_t kLargestDatagram = 65535;

struct Query {
    ~Query()
    {
        if (fd >= 0)
            ::close(fd);
    }
    std::uint32_t address = 0;
    int fd = -1;
    std::int32_t requestId = 0;
    std::vector<std::uint8_t> request;
    int sends = 0;
    Clock::time_point nextSendAt;
    std::optional<DeviceIdAnswer> answer;  // set once the query has ended
};

const char* endText(DeviceIdAnswer::End end)
{
    switch (end) {
    case DeviceIdAnswer::End::Answered: return "answered";
    case DeviceIdAnswer::End::NoDeviceId: return "no device id";
    case DeviceIdAnswer::End::Refused: return "no agent";
    case DeviceIdAnswer::End::Unreachable: return "unreachable";
    case DeviceIdAnswer::End::Silent: return "silent";
    case DeviceIdAnswer::End::Failed: return "failed";
    }
    return "?";
}

void finish(Query& query, DeviceIdAnswer::End end, std::string deviceId = {})
{
    DeviceIdAnswer answer;
    answer.address = query.address;
    answer.end = end;
    answer.answered = end == DeviceIdAnswer::End::Answered;
    answer.deviceId = std::move(deviceId);
    qCDebug(lcSnmp) << ipv4Text(query.address).c_str() << endText(end) << "after" << query.sends << "requests";
    query.answer = std::move(answer);
}

void send(Query& query, const SnmpSettings& settings, Clock::time_point now)
{
    const ssize_t sent = ::send(query.fd, query.request.data(), query.request.size(), MSG_DONTWAIT);
    ++query.sends;
    query.nextSendAt = now + settings.timeout;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS && errno != EINTR) {
        // A refusal left over from the previous request surfaces here.
        if (errno == ECONNREFUSED)
            finish(query, DeviceIdAnswer::End::Refused);
        else if (errno == EHOSTUNREACH || errno == ENETUNREACH)
            finish(query, DeviceIdAnswer::End::Unreachable);
        else {
            qCWarning(lcSnmp) << "cannot send to" << ipv4Text(query.address).c_str() << ':' << strerror(errno);
            finish(query, DeviceIdAnswer::End::Failed);
        }
    }
}

std::unique_ptr<Query> startQuery(std::uint32_t address, const SnmpSettings& settings, std::mt19937& random,
                                  Clock::time_point now)
{
    auto query = std::make_unique<Query>();
    query->address = address;
    query->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (query->fd < 0) {
        qCWarning(lcSnmp) << "no UDP socket for" << ipv4Text(address).c_str() << ':' << strerror(errno);
        finish(*query, DeviceIdAnswer::End::Failed);
        return query;
    }
    // "Host unreachable" is only handed to a socket that asks for ICMP errors.
    const int on = 1;
    ::setsockopt(query->fd, SOL_IP, IP_RECVERR, &on, sizeof on);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(settings.port);
    peer.sin_addr.s_addr = htonl(address);
    if (::connect(query->fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        const int error = errno;
        if (error == ENETUNREACH || error == EHOSTUNREACH) {
            finish(*query, DeviceIdAnswer::End::Unreachable);
        } else {
            qCWarning(lcSnmp) << "cannot address" << ipv4Text(address).c_str() << ':' << strerror(error);
            finish(*query, DeviceIdAnswer::End::Failed);
        }
        return query;
    }
    query->requestId = static_cast<std::int32_t>(random() & 0x7fffffff);
    query->request = snmp::encodeGetRequest(kCommunity, query->requestId, {deviceIdOid()});
    send(*query, settings, now);
    return query;
}

// The ICMP errors queued on the socket; the last one decides.
void readErrors(Query& query)
{
    for (int reads = 0; reads < kMaxReadsPerTurn; ++reads) {
        std::array<char, 512> control{};
        std::array<std::uint8_t, 64> payload{};
        iovec vector{payload.data(), payload.size()};
        msghdr message{};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        if (::recvmsg(query.fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            break;
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(header), sizeof error);
            if (error.ee_errno == ECONNREFUSED)
                finish(query, DeviceIdAnswer::End::Refused);
            else if (error.ee_errno == EHOSTUNREACH || error.ee_errno == ENETUNREACH)
                finish(query, DeviceIdAnswer::End::Unreachable);
        }
    }
    // Clears the pending error, so the next read sees data again.
    int pending = 0;
    socklen_t length = sizeof pending;
    ::getsockopt(query.fd, SOL_SOCKET, SO_ERROR, &pending, &length);
}

void readDatagrams(Query& query, std::vector<std::uint8_t>& buffer)
{
    for (int reads = 0; reads < kMaxReadsPerTurn && !query.answer; ++reads) {
        const ssize_t received = ::recv(query.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (received < 0) {
            if (errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH)
                readErrors(query);
            return;
        }
        auto answer = readDeviceIdResponse(buffer.data(), static_cast<std::size_t>(received), query.requestId,
                                           kCommunity);
        if (!answer) {
            qCDebug(lcSnmp) << "ignored a datagram from" << ipv4Text(query.address).c_str();
            continue;
        }
        finish(query, answer->end, std::move(answer->deviceId));
    }
}

}  // namespace

const snmp::Oid& deviceIdOid()
{
    static const snmp::Oid oid = {1, 3, 6, 1, 4, 1, 2699, 1, 2, 1, 2, 1, 1, 3, 1};
    return oid;
}

std::optional<DeviceIdAnswer> readDeviceIdResponse(const std::uint8_t* data, std::size_t size,
                                                    std::int32_t requestId, std::string_view community)
{
    const auto response = snmp::decodeResponse(data, size);
    if (!response || response->version != snmp::kVersion1 || response->requestId != requestId
        || response->community != community)
        return std::nullopt;
    DeviceIdAnswer answer;
    answer.end = DeviceIdAnswer::End::NoDeviceId;
    if (response->errorStatus != 0)
        return answer;
    for (const snmp::Varbind& varbind : response->varbinds) {
        if (varbind.oid != deviceIdOid()) {
            qCInfo(lcSnmp) << "an agent answered the device-id query with" << snmp::oidText(varbind.oid).c_str();
            continue;
        }
        if (varbind.type != snmp::kTagOctetString)
            continue;
        answer.end = DeviceIdAnswer::End::Answered;
        answer.answered = true;
        answer.deviceId = varbind.value.substr(0, varbind.value.find('\0'));
        return answer;
    }
    return answer;
}

DeviceIdQuerier::DeviceIdQuerier(const SnmpSettings& settings)
    : m_settings(settings), m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    m_thread = std::thread([this] {
        sysutil::ensureAlternateSignalStack();
        run();
    });
}

DeviceIdQuerier::~DeviceIdQuerier()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    wake();
    m_thread.join();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void DeviceIdQuerier::enqueue(std::uint32_t address)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.push_back(address);
    }
    wake();
}

std::optional<DeviceIdAnswer> DeviceIdQuerier::takeFinished(std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_finishedChanged.wait_for(lock, wait, [this] { return !m_finished.empty(); }))
        return std::nullopt;
    DeviceIdAnswer answer = std::move(m_finished.front());
    m_finished.pop_front();
    return answer;
}

int DeviceIdQuerier::queriesStarted() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_started;
}

void DeviceIdQuerier::wake()
{
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
}

void DeviceIdQuerier::run()
{
    pthread_setname_np(pthread_self(), "korvane-snmp");
    std::mt19937 random{std::random_device{}()};
    std::deque<std::uint32_t> waiting;
    std::vector<std::unique_ptr<Query>> inFlight;
    std::vector<pollfd> fds;
    std::vector<std::uint8_t> buffer(kLargestDatagram);

    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                break;
            waiting.insert(waiting.end(), m_pending.begin(), m_pending.end());
            m_pending.clear();
        }

        int started = 0;
        Clock::time_point now = Clock::now();
        while (!waiting.empty() && static_cast<int>(inFlight.size()) < m_settings.maxInFlight) {
            inFlight.push_back(startQuery(waiting.front(), m_settings, random, now));
            waiting.pop_front();
            ++started;
        }

        bool anyEnded = false;
        fds.assign(1, pollfd{m_wakeFd, POLLIN, 0});
        auto wait = kLongestPollTurn;
        for (const auto& query : inFlight) {
            fds.push_back({query->answer ? -1 : query->fd, POLLIN, 0});
            if (query->answer)
                anyEnded = true;
            else
                wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(query->nextSendAt - now));
        }
        if (!anyEnded)
            ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(wait.count(), 0)));

        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
        }
        now = Clock::now();
        std::vector<DeviceIdAnswer> finished;
        for (std::size_t i = 0; i < inFlight.size(); ++i) {
            Query& query = *inFlight[i];
            const short events = fds[i + 1].revents;
            if (!query.answer && (events & POLLERR))
                readErrors(query);
            if (!query.answer && (events & POLLIN))
                readDatagrams(query, buffer);
            if (!query.answer && now >= query.nextSendAt) {
                if (query.sends > m_settings.retries)
                    finish(query, DeviceIdAnswer::End::Silent);
                else
                    send(query, m_settings, now);
            }
        }
        for (auto it = inFlight.begin(); it != inFlight.end();) {
            if ((*it)->answer) {
                finished.push_back(std::move(*(*it)->answer));
                it = inFlight.erase(it);
            } else {
                ++it;
            }
        }

        if (started || !finished.empty()) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_started += started;
            for (DeviceIdAnswer& answer : finished)
                m_finished.push_back(std::move(answer));
        }
        if (!finished.empty())
            m_finishedChanged.notify_all();
    }
}

}  // namespace discovery
