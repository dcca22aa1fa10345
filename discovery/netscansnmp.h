#pragma once
// Device-id queries over SNMP for the network scan.
//
// Thread: each DeviceIdQuerier owns one thread, started by its constructor
// and joined by its destructor; the search thread creates one per network
// phase and hands it hosts while the sweep still runs, so the queries overlap
// the sweep. The thread keeps up to maxInFlight queries, each on its own
// connected UDP socket, and puts every finished query into a queue that
// takeFinished() reads from any thread. The destructor stops it; queries
// still waiting are closed unheard.
//
// A connected socket only receives datagrams from the host and port it asked,
// and the kernel hands it the ICMP errors about its own datagrams (with
// IP_RECVERR also "host unreachable"): a host without an agent answers "port
// unreachable" and its query ends at once, while a host that stays silent
// gets the whole window (timeout * (retries + 1)) to wake up and answer.

#include "discovery/snmpmessage.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace discovery {

struct DeviceIdAnswer {
    enum class End {
        Answered,     // the device id came back
        NoDeviceId,   // an agent answered, but not with a device id
        Refused,      // port unreachable: no agent
        Unreachable,  // host or network unreachable
        Silent,       // nothing within the window
        Failed,       // the query could not be sent
    };
    std::uint32_t address = 0;  // host byte order
    bool answered = false;      // End::Answered
    std::string deviceId;       // up to its first zero byte
    End end = End::Silent;
};

// The printer MIB's IEEE 1284 device id of printer 1
// (ppmPrinterIEEE1284DeviceId).
const snmp::Oid& deviceIdOid();

struct SnmpSettings {
    // Each request waits this long for its answer before it is sent again,
    // up to `retries` times.
    std::chrono::milliseconds timeout{1000};
    int retries = 5;
    int maxInFlight = 128;
    std::uint16_t port = 161;
};

class DeviceIdQuerier {
public:
    explicit DeviceIdQuerier(const SnmpSettings& settings = {});
    ~DeviceIdQuerier();
    DeviceIdQuerier(const DeviceIdQuerier&) = delete;
    DeviceIdQuerier& operator=(const DeviceIdQuerier&) = delete;

    // Asks the host (host byte order) for its IEEE 1284 device id.
    void enqueue(std::uint32_t address);
    // The next finished query, waiting at most `wait` for one.
    std::optional<DeviceIdAnswer> takeFinished(std::chrono::milliseconds wait);
    // Requests handed to the network so far.
    int queriesStarted() const;

private:
    void run();
    void wake();

    const SnmpSettings m_settings;
    int m_wakeFd = -1;
    mutable std::mutex m_mutex;
    std::condition_variable m_finishedChanged;
    std::deque<std::uint32_t> m_pending;
    std::deque<DeviceIdAnswer> m_finished;
    int m_started = 0;
    bool m_stop = false;
    std::thread m_thread;
};

// The device id a response carries for the query with this request id and
// community: the OCTET STRING of the varbind naming deviceIdOid(), cut at its
// first zero byte. nullopt when the datagram is not that response at all (a
// stale or foreign datagram, to be ignored); End::NoDeviceId when it is the
// response but holds no device id (an error status, another OID, another
// type).
std::optional<DeviceIdAnswer> readDeviceIdResponse(const std::uint8_t* data, std::size_t size,
                                                    std::int32_t requestId, std::string_view community);

}  // namespace discovery
