#pragma once
// The DNS-SD and IPP side of the network search, and the merge of every
// answer about one printer into one report.
//
// A printer is known by its DNS-SD services (_ipp, _ipps, _pdl-datastream,
// _printer; one instance name on one host is one printer), its SNMP answer,
// and its Get-Printer-Attributes answer. Two answers are the same printer when
// they carry the same printer UUID (TXT "UUID" or printer-uuid), or the same
// address and IPP port; an SNMP printer is asked for its IPP attributes on port
// 631. Two print services on one host with different ports and UUIDs are two
// printers. Each printer is reported once, as soon as what makes it up is
// known: a DNS-SD IPP printer once its attributes came (or did not) and the
// browse has read avahi's cache, an SNMP
// printer once its port 631 answered (or did not), a printer announced only
// as _pdl-datastream or _printer when the browse window ends.
//
// Threads: the search thread owns the merger (startDnssd, addSnmpPrinter,
// finish, destruction). The DNS-SD browser's thread hands it services, and up
// to Settings::maxProbes probe threads run the IPP requests; all three meet
// under one mutex. The report callback runs on any of them, never under the
// mutex, and only while the search is running. finish() returns after the
// browse window and the last probe, or at once on interrupt; the destructor
// joins every thread.

#include "discovery/dnssdbrowser.h"
#include "discovery/ippprobe.h"
#include "discovery/netprinterinfo.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace discovery {

// One printer as the merge sees it.
struct PrinterCandidate {
    std::string address;
    // DNS-SD
    bool fromDnssd = false;
    std::string dnssdName;
    std::set<std::string> serviceTypes;
    int servicePort = 0;  // of the first service seen
    DnssdTxt txt;
    // IPP: where to ask (port 0: nowhere yet), and the answer
    IppTarget ipp;
    bool ippKnown = false;     // ipp holds a target
    bool ippsOnly = false;     // only _ipps so far: asked at the end of the window
    bool probeStarted = false;
    bool probeDone = false;
    std::optional<PrinterAttributes> attributes;
    // SNMP
    std::optional<NetPrinterInfo> snmp;

    std::string uuid;
    bool reported = false;
    int mergedInto = -1;
};

// The report for a candidate: ip, mfg and mdl from the SNMP device id, else the
// IPP printer-device-id, else TXT usb_MFG/usb_MDL, else the make and model
// (IPP, else TXT ty) split after its first word; details as the JSON text the
// page receives.
NetPrinterInfo reportFor(const PrinterCandidate& candidate);

// The interface indexes of the adapters the network phase sweeps.
std::vector<int> selectedInterfaceIndexes();

class NetPrinterMerger {
public:
    using Report = std::function<void(const NetPrinterInfo&)>;

    struct Settings {
        // How long after the browse starts new answers are awaited; answers
        // from avahi's cache come at once, and the window ends earlier once
        // every browse has everything for now.
        std::chrono::milliseconds newAnswerWindow{2500};
        // Each IPP request, connect and answer.
        std::chrono::milliseconds ippLimit{1500};
        int maxProbes = 4;
        int maxPrinters = 256;
        // Where the log should look when no DNS-SD answer came: says
        // whether a firewall blocks mDNS (UDP 5353), or "" when unknown.
        std::function<std::string()> mdnsBlockedBy;
    };

    NetPrinterMerger(Report report, std::function<bool()> running, Settings settings);
    NetPrinterMerger(Report report, std::function<bool()> running);
    ~NetPrinterMerger();
    NetPrinterMerger(const NetPrinterMerger&) = delete;
    NetPrinterMerger& operator=(const NetPrinterMerger&) = delete;

    // Starts browsing on these interfaces; without avahi-daemon (or without
    // interfaces) logs one line and leaves the search to SNMP.
    void startDnssd(const std::vector<int>& interfaceIndexes);
    bool dnssdRunning() const { return m_browser != nullptr; }
    // An SNMP printer the sweep found (search thread).
    void addSnmpPrinter(const NetPrinterInfo& printer);
    // Waits for the window and the probes, reports what is left.
    void finish();

    // For tests and benchmarks: the candidates as they stand.
    std::vector<PrinterCandidate> candidates() const;

private:
    void onService(const DnssdService& service);
    void onCacheRead();
    void probeLoop();
    void scheduleProbe(int index);  // under m_mutex
    void onProbeDone(int index, IppProbeResult result);
    // Takes the candidates ready to report (under m_mutex) and reports them.
    std::vector<NetPrinterInfo> takeReady(bool windowOver);  // under m_mutex
    void deliver(const std::vector<NetPrinterInfo>& reports);
    int findCandidate(const std::string& address, int port) const;  // under m_mutex
    int findUuid(const std::string& uuid, int except) const;        // under m_mutex
    void absorb(int into, int from);                                 // under m_mutex
    void stopThreads();

    Report m_report;
    std::function<bool()> m_running;
    Settings m_settings;

    std::mutex m_reportMutex;  // never held together with m_mutex
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<PrinterCandidate> m_candidates;
    std::deque<int> m_probeQueue;
    int m_probesBusy = 0;
    bool m_stopping = false;
    int m_cancel = 0;  // read by libcups while connecting
    std::vector<std::thread> m_probeThreads;

    std::unique_ptr<DnssdBrowser> m_browser;
    std::chrono::steady_clock::time_point m_browseStart;
    int m_servicesSeen = 0;
    bool m_cacheRead = false;  // under m_mutex
};

}  // namespace discovery
