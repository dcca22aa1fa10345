#include "discovery/netscanadapters.h"

#include "sysutil/paths.h"

#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if_arp.h>
#include <map>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>

namespace discovery {

namespace {

Q_LOGGING_CATEGORY(lcAdapters, "korvane.discovery.adapters")

struct IfAddrsFree {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
using IfAddrsList = std::unique_ptr<ifaddrs, IfAddrsFree>;

QString sysClassNet()
{
    return sysutil::envPath("KORVANE_SYSFS_NET", QStringLiteral("/sys/class/net"));
}

// Small sysfs attribute, first line only.
QByteArray readAttribute(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(256).split('\n').value(0).trimmed();
}

std::string dotted(const sockaddr* address)
{
    if (!address || address->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
        return {};
    return text;
}

// Maps the kernel's operstate to the interface row's status. "unknown" is what
// drivers without carrier reporting say; they count as up while running.
std::int32_t operStatusOf(const QByteArray& operstate, unsigned flags)
{
    if (!(flags & IFF_UP))
        return kOperNonOperational;
    if (operstate == "up")
        return kOperOperational;
    if (operstate == "unknown")
        return (flags & IFF_RUNNING) ? kOperOperational : kOperDisconnected;
    if (operstate == "notpresent" || operstate == "testing")
        return kOperNonOperational;
    return kOperDisconnected;  // down, lowerlayerdown, dormant
}

std::string describe(const std::string& name, const QString& dir)
{
    const QByteArray alias = readAttribute(dir + QStringLiteral("/ifalias"));
    if (!alias.isEmpty())
        return alias.toStdString();
    // The names these host-side adapters carry on Windows, where the rule
    // that skips virtual adapters was made for them.
    if (name.rfind("vmnet", 0) == 0)
        return "VMware Virtual Ethernet Adapter for " + name;
    if (name.rfind("vboxnet", 0) == 0)
        return "VirtualBox Host-Only Ethernet Adapter";
    const QString driver = QFileInfo(dir + QStringLiteral("/device/driver")).symLinkTarget();
    if (!driver.isEmpty())
        return QFileInfo(driver).fileName().toStdString();
    return name;
}

void fillFromSysfs(AdapterRecord& record, unsigned flags)
{
    const QString dir = sysClassNet() + QLatin1Char('/') + QString::fromStdString(record.name);
    bool ok = false;
    const int arpType = readAttribute(dir + QStringLiteral("/type")).toInt(&ok);
    const bool wireless = QFileInfo::exists(dir + QStringLiteral("/wireless"))
                          || QFileInfo::exists(dir + QStringLiteral("/phy80211"));
    if (ok && arpType == ARPHRD_ETHER)
        record.type = wireless ? kIfTypeIeee80211 : kIfTypeEthernet;
    else if ((ok && arpType == ARPHRD_LOOPBACK) || (flags & IFF_LOOPBACK))
        record.type = kIfTypeSoftwareLoopback;
    else
        record.type = kIfTypeOther;
    record.bridge = QFileInfo::exists(dir + QStringLiteral("/bridge"));
    record.tunTap = QFileInfo::exists(dir + QStringLiteral("/tun_flags"));
    record.operStatus = operStatusOf(readAttribute(dir + QStringLiteral("/operstate")), flags);
    record.description = describe(record.name, dir);
}

// "eth0:1" (an address label) belongs to "eth0".
std::string baseName(const char* name)
{
    std::string base = name ? name : "";
    const std::size_t colon = base.find(':');
    if (colon != std::string::npos)
        base.resize(colon);
    return base;
}

}  // namespace

std::vector<AdapterRecord> listAdapters()
{
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) {
        qCWarning(lcAdapters) << "cannot list network interfaces:" << strerror(errno);
        return {};
    }
    const IfAddrsList list(raw);

    struct Entry {
        AdapterRecord record;
        unsigned flags = 0;
    };
    std::map<std::string, Entry> byName;
    std::vector<std::string> order;
    for (const ifaddrs* it = list.get(); it; it = it->ifa_next) {
        const std::string name = baseName(it->ifa_name);
        if (name.empty())
            continue;
        auto [entry, inserted] = byName.try_emplace(name);
        if (inserted) {
            entry->second.record.name = name;
            order.push_back(name);
        }
        entry->second.flags |= it->ifa_flags;
        if (it->ifa_addr && it->ifa_addr->sa_family == AF_INET && entry->second.record.address.empty()) {
            entry->second.record.address = dotted(it->ifa_addr);
            entry->second.record.mask = dotted(it->ifa_netmask);
        }
    }

    std::vector<AdapterRecord> adapters;
    adapters.reserve(order.size());
    for (const std::string& name : order) {
        Entry& entry = byName[name];
        fillFromSysfs(entry.record, entry.flags);
        adapters.push_back(std::move(entry.record));
    }
    return adapters;
}

std::vector<SelectedAddress> selectAdapters(const std::vector<AdapterRecord>& adapters)
{
    std::vector<SelectedAddress> selected;
    for (const AdapterRecord& adapter : adapters) {
        if (adapter.operStatus <= kOperDisconnected) {
            qCDebug(lcAdapters) << "skipping" << adapter.name.c_str() << "with status" << adapter.operStatus;
            continue;
        }
        if (adapter.address.empty() || adapter.address == "0.0.0.0")
            continue;
        if (adapter.type != kIfTypeEthernet && adapter.type != kIfTypeIeee80211)
            continue;
        if (adapter.bridge || adapter.tunTap)
            continue;
        if (adapter.description.find("VirtualBox") != std::string::npos
            || adapter.description.find("VM") != std::string::npos)
            continue;
        selected.push_back({adapter.address, adapter.mask});
    }
    return selected;
}

std::vector<SelectedAddress> selectAdapters()
{
    return selectAdapters(listAdapters());
}

}  // namespace discovery
