#pragma once
// Browses the printer services of DNS-SD (_ipp, _ipps, _pdl-datastream and
// _printer over TCP) through the desktop's avahi-daemon and resolves each one
// to an IPv4 address, a port and its TXT record.
//
// Thread: start() creates the browser's own thread, which alone owns the
// avahi client, its AvahiSimplePoll, browsers and resolvers (libavahi-client
// is not thread-safe). That thread calls the service callback for every
// resolved service. It ends when stop() is called (also by the destructor)
// or after kBrowseHardLimit at the latest; each turn of its loop waits at
// most kPollTurn, so stop() returns within about that time.

#include "discovery/dnssdtxt.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace discovery {

// The service types a printer announces.
extern const char* const kPrinterServiceTypes[4];

struct DnssdService {
    std::string name;      // instance name, bytes as received (at most 255)
    std::string type;      // one of kPrinterServiceTypes
    std::string hostName;  // "printer.local", bytes as received
    std::string address;   // dotted IPv4
    int port = 0;
    int interfaceIndex = 0;
    DnssdTxt txt;
};

class DnssdBrowser {
public:
    using ServiceFound = std::function<void(const DnssdService&)>;

    static constexpr std::chrono::milliseconds kPollTurn{50};
    static constexpr std::chrono::seconds kBrowseHardLimit{60};
    // Resolutions in flight and services taken in all; a LAN announcing
    // more printers than this is cut there.
    static constexpr int kResolverLimit = 64;
    static constexpr int kServiceLimit = 512;

    // onCacheRead (may be empty) is called once on the browser's thread when
    // every browse has read what avahi had cached and each service found
    // there is resolved: from then on, only new answers from the network
    // come.
    explicit DnssdBrowser(ServiceFound onService, std::function<void()> onCacheRead = {});
    ~DnssdBrowser();
    DnssdBrowser(const DnssdBrowser&) = delete;
    DnssdBrowser& operator=(const DnssdBrowser&) = delete;

    // Connects to avahi-daemon (on the system bus, DBUS_SYSTEM_BUS_ADDRESS
    // honoured) and browses on these interfaces. Blocks until the client is
    // connected or has failed; false with the reason when there is no daemon.
    bool start(const std::vector<int>& interfaceIndexes, std::string* why);
    // True once every browse has said it has everything for now and no
    // resolution is pending.
    bool settled() const;
    void stop();

private:
    struct Loop;
    void run(std::vector<int> interfaceIndexes);

    ServiceFound m_onService;
    std::function<void()> m_onCacheRead;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_settled{false};
    std::mutex m_startMutex;
    std::condition_variable m_startDone;
    bool m_started = false;
    bool m_connected = false;
    std::string m_startError;
    void* m_poll = nullptr;  // AvahiSimplePoll*, for the wake-up only; under m_startMutex
};

}  // namespace discovery
