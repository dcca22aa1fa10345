#include "discovery/dnssdbrowser.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <QLoggingCategory>

#include <algorithm>

namespace discovery {

namespace {
Q_LOGGING_CATEGORY(lcDnssd, "korvane.discovery.dnssd")

constexpr std::size_t kNameLimit = 255;

std::string bounded(const char* text)
{
    if (!text)
        return {};
    std::string value(text, strnlen(text, kNameLimit));
    return value;
}
}  // namespace

const char* const kPrinterServiceTypes[4] = {"_ipp._tcp", "_ipps._tcp", "_pdl-datastream._tcp", "_printer._tcp"};

// Everything the avahi thread owns; lives on that thread's stack.
struct DnssdBrowser::Loop {
    explicit Loop(DnssdBrowser& browserOwner) : owner(browserOwner) {}
    DnssdBrowser& owner;
    AvahiSimplePoll* poll = nullptr;
    AvahiClient* client = nullptr;
    std::vector<AvahiServiceBrowser*> browsers;
    std::vector<bool> browserDone;
    std::vector<bool> cacheDone;
    int browsersReadingCache = 0;
    bool cacheReadSaid = false;
    int browsersWaiting = 0;  // not yet "all for now"
    int resolving = 0;
    int servicesTaken = 0;

    static void onBrowse(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
                         AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                         AvahiLookupResultFlags, void* data)
    {
        auto* loop = static_cast<Loop*>(data);
        switch (event) {
        case AVAHI_BROWSER_NEW:
            if (loop->resolving >= kResolverLimit || loop->servicesTaken >= kServiceLimit) {
                qCWarning(lcDnssd) << "too many DNS-SD services; ignoring" << type << "on interface" << interface;
                return;
            }
            if (avahi_service_resolver_new(loop->client, interface, protocol, name, type, domain, AVAHI_PROTO_INET,
                                           AvahiLookupFlags(0), onResolve, loop)) {
                ++loop->resolving;
                ++loop->servicesTaken;
            } else {
                qCWarning(lcDnssd) << "cannot resolve a" << type << "service:"
                                   << avahi_strerror(avahi_client_errno(loop->client));
            }
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
        case AVAHI_BROWSER_FAILURE:
            if (event == AVAHI_BROWSER_FAILURE)
                qCWarning(lcDnssd) << "browsing" << type << "failed:" << avahi_strerror(avahi_client_errno(loop->client));
            // Each browser says this once; a repeat is not counted again.
            // A failed browser reads no more of the cache either.
            for (std::size_t i = 0; i < loop->browsers.size(); ++i) {
                if (loop->browsers[i] == browser && !loop->browserDone[i]) {
                    loop->browserDone[i] = true;
                    --loop->browsersWaiting;
                }
                if (loop->browsers[i] == browser && !loop->cacheDone[i]) {
                    loop->cacheDone[i] = true;
                    --loop->browsersReadingCache;
                }
            }
            break;
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            for (std::size_t i = 0; i < loop->browsers.size(); ++i) {
                if (loop->browsers[i] == browser && !loop->cacheDone[i]) {
                    loop->cacheDone[i] = true;
                    --loop->browsersReadingCache;
                }
            }
            break;
        case AVAHI_BROWSER_REMOVE:
            break;
        }
        loop->updateSettled();
    }

    static void onResolve(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol,
                          AvahiResolverEvent event, const char* name, const char* type, const char*,
                          const char* hostName, const AvahiAddress* address, uint16_t port, AvahiStringList* txt,
                          AvahiLookupResultFlags, void* data)
    {
        auto* loop = static_cast<Loop*>(data);
        if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET) {
            DnssdService service;
            service.name = bounded(name);
            service.type = bounded(type);
            service.hostName = bounded(hostName);
            char text[AVAHI_ADDRESS_STR_MAX] = {};
            avahi_address_snprint(text, sizeof text, address);
            service.address = text;
            service.port = port;
            service.interfaceIndex = interface;
            std::vector<std::string> strings;
            for (AvahiStringList* entry = txt; entry && strings.size() < kTxtStringLimit;
                 entry = avahi_string_list_get_next(entry)) {
                strings.emplace_back(reinterpret_cast<const char*>(avahi_string_list_get_text(entry)),
                                     std::min<std::size_t>(avahi_string_list_get_size(entry), kTxtValueLimit));
            }
            service.txt = parseTxtStrings(strings);
            if (loop->owner.m_onService)
                loop->owner.m_onService(service);
        } else if (event == AVAHI_RESOLVER_FAILURE) {
            qCInfo(lcDnssd) << "a" << type << "service did not resolve:"
                            << avahi_strerror(avahi_client_errno(loop->client));
        }
        avahi_service_resolver_free(resolver);
        --loop->resolving;
        loop->updateSettled();
    }

    static void onClientState(AvahiClient*, AvahiClientState state, void* data)
    {
        auto* loop = static_cast<Loop*>(data);
        if (state == AVAHI_CLIENT_FAILURE) {
            qCWarning(lcDnssd) << "avahi-daemon went away; DNS-SD browsing ends";
            loop->owner.m_stop = true;
        }
    }

    void updateSettled()
    {
        owner.m_settled = browsersWaiting <= 0 && resolving == 0;
        const bool cacheRead = browsersReadingCache <= 0 && resolving == 0;
        if (cacheRead && !cacheReadSaid && owner.m_onCacheRead) {
            cacheReadSaid = true;
            owner.m_onCacheRead();
        }
    }
};

DnssdBrowser::DnssdBrowser(ServiceFound onService, std::function<void()> onCacheRead)
    : m_onService(std::move(onService)), m_onCacheRead(std::move(onCacheRead))
{
}

DnssdBrowser::~DnssdBrowser()
{
    stop();
}

bool DnssdBrowser::start(const std::vector<int>& interfaceIndexes, std::string* why)
{
    if (m_thread.joinable()) {
        if (why)
            *why = "already started";
        return false;
    }
    m_stop = false;
    m_settled = false;
    m_started = false;
    m_thread = std::thread(&DnssdBrowser::run, this, interfaceIndexes);
    std::unique_lock<std::mutex> lock(m_startMutex);
    m_startDone.wait(lock, [this] { return m_started; });
    if (!m_connected && why)
        *why = m_startError;
    if (!m_connected) {
        lock.unlock();
        m_thread.join();
    }
    return m_connected;
}

bool DnssdBrowser::settled() const
{
    return m_settled.load();
}

void DnssdBrowser::stop()
{
    m_stop = true;
    {
        std::lock_guard<std::mutex> lock(m_startMutex);
        if (m_poll)
            avahi_simple_poll_wakeup(static_cast<AvahiSimplePoll*>(m_poll));
    }
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void DnssdBrowser::run(std::vector<int> interfaceIndexes)
{
    Loop loop(*this);
    auto report = [this](bool connected, std::string error) {
        std::lock_guard<std::mutex> lock(m_startMutex);
        m_connected = connected;
        m_startError = std::move(error);
        m_started = true;
        m_startDone.notify_all();
    };
    loop.poll = avahi_simple_poll_new();
    if (!loop.poll) {
        report(false, "cannot create the avahi poll");
        return;
    }
    int error = 0;
    loop.client = avahi_client_new(avahi_simple_poll_get(loop.poll), AvahiClientFlags(0), Loop::onClientState, &loop,
                                   &error);
    if (!loop.client) {
        avahi_simple_poll_free(loop.poll);
        report(false, avahi_strerror(error));
        return;
    }
    for (int index : interfaceIndexes) {
        for (const char* type : kPrinterServiceTypes) {
            AvahiServiceBrowser* browser = avahi_service_browser_new(
                loop.client, index, AVAHI_PROTO_INET, type, nullptr, AvahiLookupFlags(0), Loop::onBrowse, &loop);
            if (!browser) {
                qCWarning(lcDnssd) << "cannot browse" << type << "on interface" << index << ":"
                                   << avahi_strerror(avahi_client_errno(loop.client));
                continue;
            }
            loop.browsers.push_back(browser);
            loop.browserDone.push_back(false);
            loop.cacheDone.push_back(false);
            ++loop.browsersWaiting;
            ++loop.browsersReadingCache;
        }
    }
    loop.updateSettled();
    {
        std::lock_guard<std::mutex> lock(m_startMutex);
        m_poll = loop.poll;
    }
    report(true, {});

    const auto hardEnd = std::chrono::steady_clock::now() + kBrowseHardLimit;
    while (!m_stop.load() && std::chrono::steady_clock::now() < hardEnd) {
        if (avahi_simple_poll_iterate(loop.poll, int(kPollTurn.count())) != 0)
            break;
    }
    {
        std::lock_guard<std::mutex> lock(m_startMutex);
        m_poll = nullptr;
    }
    m_settled = true;
    // Freeing the client frees its browsers and resolvers.
    avahi_client_free(loop.client);
    avahi_simple_poll_free(loop.poll);
}

}  // namespace discovery
