// Network adapters (/sys/class/net).

#include "sysinfo/adaptertypes.h"
#include "sysinfo/deviceidentity.h"
#include "sysinfo/systemquery.h"

#include "devicetree/hwdb.h"

#include <QRegularExpression>
#include <algorithm>

namespace sysinfo {

namespace {

constexpr int kMaxInterfaces = 512;
const char* const kExcludedManufacturer = "Microsoft";
const char* const kVirtualDescription = "Virtual network interface";

QString macAddress(const QString& text)
{
    static const QRegularExpression format(QStringLiteral("^[0-9a-fA-F]{2}(:[0-9a-fA-F]{2}){1,31}$"));
    if (!format.match(text).hasMatch())
        return {};
    QString upper = text.toUpper();
    if (upper.count(QLatin1Char('0')) + upper.count(QLatin1Char(':')) == upper.size())
        return {}; // all zero: no hardware address
    return upper;
}

QString adapterType(unsigned linkType, bool wireless)
{
    switch (linkType) {
    case adaptertype::kLinkEther:
        return QLatin1String(wireless ? adaptertype::kWireless : adaptertype::kEthernet);
    case adaptertype::kLinkAtm:
        return QLatin1String(adaptertype::kAtm);
    case adaptertype::kLinkIeee1394:
        return QLatin1String(adaptertype::kFirewire);
    default:
        return {};
    }
}

QString ueventValue(const SourceRoot& root, const QString& file, const QString& key)
{
    const SourceRead uevent = root.read(file, 4096);
    if (uevent.status != SourceStatus::Ok)
        return {};
    for (const QByteArray& line : uevent.bytes.split('\n')) {
        const QString text = cleanText(line, 256);
        if (text.startsWith(key + QLatin1Char('=')))
            return text.mid(key.size() + 1);
    }
    return {};
}

} // namespace

std::vector<NetworkAdapterInfo> SystemQuery::getNetworkAdapters() const
{
    struct Ordered {
        quint64 index;
        NetworkAdapterInfo adapter;
    };
    std::vector<Ordered> found;
    const SourceListing listing = m_root.list(QStringLiteral("sys/class/net"), kMaxInterfaces);
    SourceRoot::requireReadable(listing.status, listing.error);
    for (const QString& name : listing.names) {
        const QString base = QStringLiteral("sys/class/net/") + name;
        const unsigned linkType = unsigned(parseNumber(m_root.text(base + QStringLiteral("/type")), 0));
        if (linkType == adaptertype::kLinkLoopback)
            continue;
        NetworkAdapterInfo adapter;
        const bool wireless
            = m_root.exists(base + QStringLiteral("/wireless")) || m_root.exists(base + QStringLiteral("/phy80211"));
        adapter.AdapterType = adapterType(linkType, wireless);
        adapter.MACAddress = macAddress(m_root.text(base + QStringLiteral("/address"), 128));
        const QString devicePath = m_root.exists(base + QStringLiteral("/device"))
            ? m_root.resolve(base + QStringLiteral("/device"))
            : QString();
        if (devicePath.isEmpty()) {
            // Bridges, veth pairs, tunnels: made by software, and said so in
            // the description so that a summary can pass over them.
            const QString kind = ueventValue(m_root, base + QStringLiteral("/uevent"), QStringLiteral("DEVTYPE"));
            adapter.Name = cleanText(name.toUtf8(), 64);
            adapter.Description = QLatin1String(kVirtualDescription)
                + (kind.isEmpty() ? QString() : QStringLiteral(" (") + kind + QLatin1Char(')'));
        } else {
            const DeviceIdentity id = identifyDevice(m_root, devicePath, m_hwdb);
            // Without a model name, the driver and the interface name tell a
            // user more than bare bus ids.
            if (!id.modelName.isEmpty())
                adapter.Name = id.displayName();
            else if (!id.driver.isEmpty())
                adapter.Name = id.driver + QStringLiteral(" (") + name + QLatin1Char(')');
            else
                adapter.Name = id.displayName().isEmpty() ? name : id.displayName();
            adapter.Description = adapter.Name;
            adapter.Manufacturer = id.vendorName;
        }
        if (adapter.Manufacturer == QLatin1String(kExcludedManufacturer))
            continue;
        found.push_back({ parseNumber(m_root.text(base + QStringLiteral("/ifindex")), ~0ull), adapter });
    }
    // The kernel's interface order, as the adapters were registered.
    std::stable_sort(found.begin(), found.end(), [](const Ordered& a, const Ordered& b) { return a.index < b.index; });
    std::vector<NetworkAdapterInfo> adapters;
    adapters.reserve(found.size());
    for (Ordered& entry : found)
        adapters.push_back(std::move(entry.adapter));
    return adapters;
}

} // namespace sysinfo
