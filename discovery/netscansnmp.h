#pragma once
// Device-id queries over SNMP for the network scan.
//
// Thread: each DeviceIdQuerier owns one thread, started by its constructor
// and joined by its destructor; the search thread creates one per network
// phase. That thread is the only one that calls Net-SNMP (Debian's build is
// not internally locked, and a process-wide lock keeps a second querier
// waiting until the first has gone): it initialises the library once, keeps
// up to maxInFlight single sessions with an asynchronous GET each, and puts
// every finished query into a queue that takeFinished() reads from any
// thread. The destructor stops it; sessions still waiting are closed unheard.

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace discovery {

struct DeviceIdAnswer {
    std::uint32_t address = 0;  // host byte order
    bool answered = false;      // the host returned at least one OCTET STRING
    std::string deviceId;       // the last one, up to its first zero byte
};

struct SnmpSettings {
    std::chrono::milliseconds timeout{1000};
    int retries = 1;
    int maxInFlight = 128;
    std::uint16_t port = 161;
};

// Where Net-SNMP may keep files (it creates index folders even when told not
// to persist anything): KORVANE_SNMP_DIR, else Korvane's folder in the user's
// cache.
QString snmpStateDir();

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

}  // namespace discovery
