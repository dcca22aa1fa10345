#include "discovery/netprintermerge.h"

#include "discovery/deviceid.h"
#include "discovery/netscanadapters.h"
#include "sysutil/textconv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <algorithm>

#include <net/if.h>

namespace discovery {

namespace {
Q_LOGGING_CATEGORY(lcMerge, "korvane.discovery.dnssd")

constexpr int kIppPort = 631;
constexpr std::size_t kReportTextLimit = 255;
constexpr auto kWaitTurn = std::chrono::milliseconds(50);

bool isIppType(const std::string& type)
{
    return type == "_ipp._tcp" || type == "_ipps._tcp";
}

QString text(const std::string& bytes)
{
    return sysutil::fromUntrustedBytes(QByteArray::fromStdString(bytes), int(kReportTextLimit));
}

std::string cut(const std::string& value)
{
    return value.substr(0, kReportTextLimit);
}

std::string resourceFor(const DnssdTxt& txt)
{
    return "/" + (txt.rp.empty() ? std::string("ipp/print") : txt.rp);
}

QString shortName(const std::string& name)
{
    return text(name).left(64);
}

}  // namespace

NetPrinterInfo reportFor(const PrinterCandidate& c)
{
    NetPrinterInfo info;
    info.ip = c.address;
    const std::string makeAndModel =
        c.attributes && !c.attributes->makeAndModel.empty() ? c.attributes->makeAndModel : c.txt.ty;
    if (c.snmp && (!c.snmp->mfg.empty() || !c.snmp->mdl.empty())) {
        info.deviceId = c.snmp->deviceId;
        info.mfg = c.snmp->mfg;
        info.mdl = c.snmp->mdl;
    } else if (c.attributes && !c.attributes->deviceId.empty()
               && (!parseDeviceId(c.attributes->deviceId).manufacturer.empty()
                   || !parseDeviceId(c.attributes->deviceId).model.empty())) {
        const DeviceIdFields fields = parseDeviceId(c.attributes->deviceId);
        info.deviceId = c.attributes->deviceId;
        info.mfg = fields.manufacturer;
        info.mdl = fields.model;
    } else if (!c.txt.usbMfg.empty() || !c.txt.usbMdl.empty()) {
        info.mfg = c.txt.usbMfg;
        info.mdl = c.txt.usbMdl;
    } else if (!makeAndModel.empty()) {
        const std::size_t space = makeAndModel.find(' ');
        info.mfg = makeAndModel.substr(0, space);
        info.mdl = space == std::string::npos ? std::string() : makeAndModel.substr(space + 1);
    } else if (c.snmp) {
        info.deviceId = c.snmp->deviceId;
    }
    info.mfg = cut(info.mfg);
    info.mdl = cut(info.mdl);

    QJsonObject details;
    const bool answered = c.attributes.has_value();
    if (c.ippKnown && (c.fromDnssd || answered))
        details.insert(QStringLiteral("uri"), QString::fromStdString(ippUri(c.ipp)));
    if (c.ippKnown)
        details.insert(QStringLiteral("port"), c.ipp.port);
    else if (c.servicePort)
        details.insert(QStringLiteral("port"), c.servicePort);
    details.insert(QStringLiteral("driverless"),
                   answered ? c.attributes->driverless() : c.fromDnssd && listsDriverlessFormat(c.txt.pdl));
    if (!c.uuid.empty())
        details.insert(QStringLiteral("uuid"), QString::fromStdString(c.uuid));
    if (c.fromDnssd)
        details.insert(QStringLiteral("dnssdName"), text(c.dnssdName));
    if (!makeAndModel.empty())
        details.insert(QStringLiteral("makeAndModel"), text(makeAndModel));
    const std::string adminUrl = !c.txt.adminUrl.empty() ? c.txt.adminUrl
        : answered                                      ? c.attributes->moreInfo
                                                        : std::string();
    if (!adminUrl.empty())
        details.insert(QStringLiteral("adminUrl"), QString::fromStdString(adminUrl));
    if (c.fromDnssd) {
        QJsonArray types;
        for (const std::string& type : c.serviceTypes)
            types.append(QString::fromStdString(type));
        details.insert(QStringLiteral("services"), types);
    }
    QJsonArray source;
    if (c.fromDnssd)
        source.append(QStringLiteral("dnssd"));
    if (answered)
        source.append(QStringLiteral("ipp"));
    if (c.snmp)
        source.append(QStringLiteral("snmp"));
    details.insert(QStringLiteral("source"), source);
    info.details = QJsonDocument(details).toJson(QJsonDocument::Compact).toStdString();
    return info;
}

std::vector<int> selectedInterfaceIndexes()
{
    const std::vector<AdapterRecord> adapters = listAdapters();
    std::vector<int> indexes;
    for (const SelectedAddress& selected : selectAdapters(adapters)) {
        for (const AdapterRecord& adapter : adapters) {
            if (adapter.address != selected.address)
                continue;
            const int index = int(if_nametoindex(adapter.name.c_str()));
            if (index > 0 && std::find(indexes.begin(), indexes.end(), index) == indexes.end())
                indexes.push_back(index);
            break;
        }
    }
    return indexes;
}

NetPrinterMerger::NetPrinterMerger(Report report, std::function<bool()> running, Settings settings)
    : m_report(std::move(report)), m_running(std::move(running)), m_settings(std::move(settings))
{
}

NetPrinterMerger::NetPrinterMerger(Report report, std::function<bool()> running)
    : NetPrinterMerger(std::move(report), std::move(running), Settings{})
{
}

NetPrinterMerger::~NetPrinterMerger()
{
    stopThreads();
}

void NetPrinterMerger::startDnssd(const std::vector<int>& interfaceIndexes)
{
    if (interfaceIndexes.empty()) {
        qCInfo(lcMerge) << "DNS-SD skipped: no adapter to browse on";
        return;
    }
    m_browseStart = std::chrono::steady_clock::now();
    auto browser = std::make_unique<DnssdBrowser>([this](const DnssdService& service) { onService(service); },
                                                  [this] { onCacheRead(); });
    std::string why;
    if (!browser->start(interfaceIndexes, &why)) {
        qCInfo(lcMerge).noquote() << "DNS-SD skipped: avahi-daemon is not available (" + QString::fromStdString(why)
                + "); the search goes on with ICMP and SNMP";
        return;
    }
    m_browser = std::move(browser);
}

std::vector<PrinterCandidate> NetPrinterMerger::candidates() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_candidates;
}

int NetPrinterMerger::findCandidate(const std::string& address, int port) const
{
    for (std::size_t i = 0; i < m_candidates.size(); ++i) {
        const PrinterCandidate& c = m_candidates[i];
        if (c.mergedInto < 0 && c.ippKnown && c.address == address && c.ipp.port == port)
            return int(i);
    }
    return -1;
}

int NetPrinterMerger::findUuid(const std::string& uuid, int except) const
{
    if (uuid.empty())
        return -1;
    for (std::size_t i = 0; i < m_candidates.size(); ++i) {
        if (int(i) != except && m_candidates[i].mergedInto < 0 && m_candidates[i].uuid == uuid)
            return int(i);
    }
    return -1;
}

void NetPrinterMerger::absorb(int into, int from)
{
    PrinterCandidate& a = m_candidates[std::size_t(into)];
    PrinterCandidate& b = m_candidates[std::size_t(from)];
    if (!a.fromDnssd && b.fromDnssd) {
        a.fromDnssd = true;
        a.dnssdName = b.dnssdName;
        a.txt = b.txt;
        a.servicePort = b.servicePort;
    }
    a.serviceTypes.insert(b.serviceTypes.begin(), b.serviceTypes.end());
    if (!a.snmp && b.snmp)
        a.snmp = b.snmp;
    if (!a.attributes && b.attributes)
        a.attributes = b.attributes;
    if (a.uuid.empty())
        a.uuid = b.uuid;
    b.mergedInto = into;
    if (b.reported)
        a.reported = true;
}

void NetPrinterMerger::onService(const DnssdService& service)
{
    std::vector<NetPrinterInfo> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_servicesSeen;
        int index = -1;
        for (std::size_t i = 0; i < m_candidates.size() && index < 0; ++i) {
            const PrinterCandidate& c = m_candidates[i];
            if (c.mergedInto < 0 && c.fromDnssd && c.dnssdName == service.name && c.address == service.address)
                index = int(i);
        }
        if (index < 0)
            index = findUuid(service.txt.uuid, -1);
        if (index < 0 && isIppType(service.type))
            index = findCandidate(service.address, service.port);
        if (index < 0) {
            if (int(m_candidates.size()) >= m_settings.maxPrinters) {
                qCWarning(lcMerge) << "too many printers; ignoring a" << service.type.c_str() << "service";
                return;
            }
            m_candidates.emplace_back();
            index = int(m_candidates.size()) - 1;
            m_candidates.back().address = service.address;
        }
        PrinterCandidate& c = m_candidates[std::size_t(index)];
        if (!c.fromDnssd) {
            c.fromDnssd = true;
            c.dnssdName = service.name;
            c.txt = service.txt;
            c.servicePort = service.port;
        }
        c.serviceTypes.insert(service.type);
        if (c.uuid.empty())
            c.uuid = service.txt.uuid;
        qCDebug(lcMerge).noquote() << "DNS-SD" << QString::fromStdString(service.type) << shortName(service.name)
                                   << QString::fromStdString(service.address) << service.port;
        const bool tls = service.type == "_ipps._tcp";
        if (isIppType(service.type) && (!c.ippKnown || (c.ippsOnly && !tls && !c.probeStarted))) {
            c.ipp.address = service.address;
            c.ipp.port = service.port;
            c.ipp.resource = resourceFor(service.txt);
            c.ipp.tls = tls;
            c.ippKnown = true;
            // A printer announces _ipp and _ipps together; plain IPP is asked
            // first, TLS only when no _ipp came within the window.
            c.ippsOnly = tls;
            if (!tls && !c.reported)
                scheduleProbe(index);
        }
        ready = takeReady(false);
    }
    deliver(ready);
}

void NetPrinterMerger::onCacheRead()
{
    std::vector<NetPrinterInfo> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cacheRead = true;
        ready = takeReady(false);
    }
    deliver(ready);
}

void NetPrinterMerger::addSnmpPrinter(const NetPrinterInfo& printer)
{
    std::vector<NetPrinterInfo> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int index = findCandidate(printer.ip, kIppPort);
        if (index >= 0) {
            PrinterCandidate& c = m_candidates[std::size_t(index)];
            c.snmp = printer;
            if (c.reported)
                qCInfo(lcMerge) << "SNMP printer" << printer.ip.c_str() << "was already reported through DNS-SD";
            return;
        }
        if (int(m_candidates.size()) >= m_settings.maxPrinters) {
            ready.push_back(printer);
        } else {
            m_candidates.emplace_back();
            PrinterCandidate& c = m_candidates.back();
            c.address = printer.ip;
            c.snmp = printer;
            c.ipp.address = printer.ip;
            c.ipp.port = kIppPort;
            c.ippKnown = true;
            scheduleProbe(int(m_candidates.size()) - 1);
        }
    }
    deliver(ready);
}

void NetPrinterMerger::scheduleProbe(int index)
{
    PrinterCandidate& c = m_candidates[std::size_t(index)];
    if (c.probeStarted || m_stopping)
        return;
    c.probeStarted = true;
    m_probeQueue.push_back(index);
    if (int(m_probeThreads.size()) < m_settings.maxProbes
        && int(m_probeThreads.size()) - m_probesBusy < int(m_probeQueue.size()))
        m_probeThreads.emplace_back(&NetPrinterMerger::probeLoop, this);
    m_changed.notify_all();
}

void NetPrinterMerger::probeLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_probeQueue.empty(); });
        if (m_stopping)
            return;
        const int index = m_probeQueue.front();
        m_probeQueue.pop_front();
        const IppTarget target = m_candidates[std::size_t(index)].ipp;
        ++m_probesBusy;
        lock.unlock();
        IppProbeResult result = probePrinter(target, m_settings.ippLimit, &m_cancel);
        if (!result.attributes)
            qCInfo(lcMerge).noquote() << "IPP" << QString::fromStdString(ippUri(target)) << "did not answer:"
                                      << QString::fromStdString(result.error);
        onProbeDone(index, std::move(result));
        lock.lock();
        --m_probesBusy;
        m_changed.notify_all();
    }
}

void NetPrinterMerger::onProbeDone(int index, IppProbeResult result)
{
    std::vector<NetPrinterInfo> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        PrinterCandidate& c = m_candidates[std::size_t(index)];
        c.probeDone = true;
        if (c.mergedInto >= 0) {
            PrinterCandidate& into = m_candidates[std::size_t(c.mergedInto)];
            if (!into.attributes)
                into.attributes = std::move(result.attributes);
            return;
        }
        c.attributes = std::move(result.attributes);
        if (c.attributes && !c.attributes->uuid.empty())
            c.uuid = c.attributes->uuid;
        // The same printer reached another way (another service, its SNMP
        // address) is one printer: what is already reported stays reported.
        for (int other = findUuid(c.uuid, index); other >= 0; other = findUuid(c.uuid, index)) {
            PrinterCandidate& o = m_candidates[std::size_t(other)];
            if (o.reported) {
                absorb(other, index);
                qCInfo(lcMerge) << "printer at" << c.address.c_str() << "is" << o.address.c_str()
                                << "already reported (same printer-uuid)";
                break;
            }
            absorb(index, other);
        }
        ready = takeReady(false);
    }
    deliver(ready);
    m_changed.notify_all();
}

std::vector<NetPrinterInfo> NetPrinterMerger::takeReady(bool windowOver)
{
    std::vector<NetPrinterInfo> ready;
    for (PrinterCandidate& c : m_candidates) {
        if (c.reported || c.mergedInto >= 0)
            continue;
        // Until the window is over, a printer waits for the attributes we
        // asked it for, and a DNS-SD one also for the browse to have read
        // avahi's cache (so its report lists all the services avahi knows
        // of it); one we did not ask waits for the window.
        if (!windowOver && (!(c.probeStarted && c.probeDone) || (c.fromDnssd && !m_cacheRead)))
            continue;
        c.reported = true;
        ready.push_back(reportFor(c));
    }
    return ready;
}

void NetPrinterMerger::deliver(const std::vector<NetPrinterInfo>& reports)
{
    // One report at a time, each checking the state: an interrupt asked for
    // while one is being reported holds back every later one.
    std::lock_guard<std::mutex> lock(m_reportMutex);
    for (const NetPrinterInfo& report : reports) {
        if (!m_running())
            return;
        m_report(report);
    }
}

void NetPrinterMerger::finish()
{
    const auto interrupted = [this] { return !m_running(); };
    // The browse window.
    if (m_browser) {
        const auto end = m_browseStart + m_settings.newAnswerWindow;
        while (!interrupted() && !m_browser->settled() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(kWaitTurn);
        m_browser->stop();
        int seen = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            seen = m_servicesSeen;
        }
        if (seen == 0 && !interrupted()) {
            const std::string blocker = m_settings.mdnsBlockedBy ? m_settings.mdnsBlockedBy() : std::string();
            if (!blocker.empty())
                qCWarning(lcMerge).noquote() << "no DNS-SD printer answered, and" << QString::fromStdString(blocker)
                                             << "blocks mDNS (UDP 5353): printers that announce themselves over"
                                                " DNS-SD cannot be seen until it allows mDNS";
            else
                qCInfo(lcMerge) << "no DNS-SD printer answered";
        }
    }
    // Printers announced only over TLS are asked now.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (std::size_t i = 0; i < m_candidates.size(); ++i) {
            if (m_candidates[i].mergedInto < 0 && m_candidates[i].ippsOnly && !m_candidates[i].reported)
                scheduleProbe(int(i));
        }
    }
    // The probes still running, each bounded by its own limit; the wait
    // for all of them is bounded too, so a stuck library call cannot hold
    // the search.
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto probeEnd = std::chrono::steady_clock::now()
            + (m_settings.ippLimit * 3) * (1 + int(m_candidates.size()) / std::max(1, m_settings.maxProbes));
        while (!interrupted() && (!m_probeQueue.empty() || m_probesBusy > 0)
               && std::chrono::steady_clock::now() < probeEnd)
            m_changed.wait_for(lock, kWaitTurn);
    }
    if (interrupted()) {
        stopThreads();
        return;
    }
    std::vector<NetPrinterInfo> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ready = takeReady(true);
    }
    deliver(ready);
    stopThreads();
}

void NetPrinterMerger::stopThreads()
{
    if (m_browser)
        m_browser->stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_cancel = 1;
        m_probeQueue.clear();
    }
    m_changed.notify_all();
    for (std::thread& thread : m_probeThreads) {
        if (thread.joinable())
            thread.join();
    }
    m_probeThreads.clear();
}

}  // namespace discovery
