#include "repair/firewalld.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QMap>

namespace repair {

namespace {
const QString kFirewalld = QStringLiteral("org.fedoraproject.FirewallD1");
const QString kPath = QStringLiteral("/org/fedoraproject/FirewallD1");
const QString kZoneInterface = QStringLiteral("org.fedoraproject.FirewallD1.zone");
const QString kConfigPath = QStringLiteral("/org/fedoraproject/FirewallD1/config");
const QString kConfigInterface = QStringLiteral("org.fedoraproject.FirewallD1.config");
const QString kConfigZoneInterface = QStringLiteral("org.fedoraproject.FirewallD1.config.zone");

std::optional<QStringList> activeZones(const SystemBus& bus)
{
    const auto zones = firstValue(bus.call(kFirewalld, kPath, kZoneInterface, QStringLiteral("getActiveZones")));
    if (!zones)
        return std::nullopt;
    QStringList names;
    const QDBusArgument map = zones->value<QDBusArgument>();
    if (map.currentType() != QDBusArgument::MapType)
        return std::nullopt;
    map.beginMap();
    while (!map.atEnd() && names.size() < 256) {
        QString zone;
        QMap<QString, QStringList> bindings;
        map.beginMapEntry();
        map >> zone >> bindings;
        map.endMapEntry();
        names << zone;
    }
    map.endMap();
    if (names.isEmpty()) {
        const auto fallback = firstValue(bus.call(kFirewalld, kPath, kFirewalld, QStringLiteral("getDefaultZone")));
        if (!fallback)
            return std::nullopt;
        names << fallback->toString();
    }
    return names;
}

std::optional<QStringList> runtimeServices(const SystemBus& bus, const QString& zone)
{
    const auto services = firstValue(bus.call(kFirewalld, kPath, kZoneInterface, QStringLiteral("getServices"), {zone}));
    if (!services)
        return std::nullopt;
    return services->toStringList();
}

// Adds a service to the permanent definition of a zone; empty on success.
QString addPermanentService(const SystemBus& bus, const QString& zone, const QString& service)
{
    const auto path = firstValue(bus.call(kFirewalld, kConfigPath, kConfigInterface, QStringLiteral("getZoneByName"), {zone}));
    if (!path)
        return QStringLiteral("zone %1 has no permanent configuration").arg(zone);
    const QString zonePath = path->value<QDBusObjectPath>().path();
    const auto present = firstValue(bus.call(kFirewalld, zonePath, kConfigZoneInterface, QStringLiteral("queryService"), {service}));
    if (present && present->toBool())
        return {};
    const QDBusMessage reply = bus.call(kFirewalld, zonePath, kConfigZoneInterface, QStringLiteral("addService"), {service});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return QStringLiteral("permanent %1 in zone %2: %3").arg(service, zone, reply.errorMessage());
    return {};
}
}  // namespace

QStringList firewalldServicesOf(FirewallGroup group)
{
    if (group == FirewallGroup::NetworkDiscovery)
        return {QStringLiteral("mdns")};
    return {QStringLiteral("ipp"), QStringLiteral("samba")};
}

bool firewalldRunning(const SystemBus& bus)
{
    return bus.hasOwner(kFirewalld);
}

std::optional<bool> firewalldAllows(const SystemBus& bus, FirewallGroup group)
{
    const auto zones = activeZones(bus);
    if (!zones)
        return std::nullopt;
    for (const QString& zone : *zones) {
        const auto services = runtimeServices(bus, zone);
        if (!services)
            return std::nullopt;
        for (const QString& needed : firewalldServicesOf(group)) {
            if (!services->contains(needed))
                return false;
        }
    }
    return true;
}

FirewallChange firewalldOpenPrinting(const SystemBus& bus)
{
    const auto zones = activeZones(bus);
    if (!zones)
        return {false, QStringLiteral("firewalld does not answer")};
    QStringList problems;
    const QStringList wanted = firewalldServicesOf(FirewallGroup::NetworkDiscovery) +
                               firewalldServicesOf(FirewallGroup::FileAndPrinterSharing);
    for (const QString& zone : *zones) {
        const QStringList present = runtimeServices(bus, zone).value_or(QStringList());
        for (const QString& service : wanted) {
            if (!present.contains(service)) {
                const QDBusMessage reply = bus.call(kFirewalld, kPath, kZoneInterface, QStringLiteral("addService"),
                                                    {zone, service, 0});
                if (reply.type() != QDBusMessage::ReplyMessage)
                    problems << QStringLiteral("%1 in zone %2: %3").arg(service, zone, reply.errorMessage());
            }
            const QString permanent = addPermanentService(bus, zone, service);
            if (!permanent.isEmpty())
                problems << permanent;
        }
    }
    if (!problems.isEmpty())
        return {false, problems.join(QStringLiteral("; "))};
    // Believe only what firewalld reports back.
    const bool open = firewalldAllows(bus, FirewallGroup::NetworkDiscovery).value_or(false) &&
                      firewalldAllows(bus, FirewallGroup::FileAndPrinterSharing).value_or(false);
    if (!open)
        return {false, QStringLiteral("firewalld still blocks printing services")};
    return {true, QStringLiteral("services %1 allowed in zone(s) %2").arg(wanted.join(QLatin1Char(',')), zones->join(QLatin1Char(',')))};
}

}  // namespace repair
