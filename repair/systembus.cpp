#include "repair/systembus.h"

#include <QDBusVariant>
#include <atomic>

namespace repair {

namespace {
QString uniqueConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("korvane-repair-%1").arg(++counter);
}

// libdbus reads DBUS_SYSTEM_BUS_ADDRESS once per process; reading it here on
// every connection follows a bus that moved (a test's private one).
QDBusConnection connectSystemBus(const QString& name)
{
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address.isEmpty())
        return QDBusConnection::connectToBus(address, name);
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
}
}  // namespace

SystemBus::SystemBus(int callTimeoutMs)
    : m_timeoutMs(callTimeoutMs),
      m_name(uniqueConnectionName()), m_connection(connectSystemBus(m_name))
{
}

SystemBus::~SystemBus()
{
    QDBusConnection::disconnectFromBus(m_name);
}

bool SystemBus::isConnected() const
{
    return m_connection.isConnected();
}

bool SystemBus::hasOwner(const QString& service) const
{
    if (!isConnected())
        return false;
    const auto owned = firstValue(call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"),
                                       {service}));
    return owned && owned->toBool();
}

QDBusMessage SystemBus::call(const QString& service, const QString& path, const QString& interface,
                             const QString& method, const QVariantList& args, int timeoutMs) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    if (!isConnected())
        return message.createErrorReply(QDBusError::Disconnected, QStringLiteral("no system bus"));
    return m_connection.call(message, QDBus::Block, timeoutMs > 0 ? timeoutMs : m_timeoutMs);
}

std::optional<QVariant> SystemBus::property(const QString& service, const QString& path, const QString& interface,
                                            const QString& name) const
{
    const auto value = firstValue(call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("Get"), {interface, name}));
    if (!value)
        return std::nullopt;
    return value->value<QDBusVariant>().variant();
}

std::optional<QVariant> firstValue(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst();
}

}  // namespace repair
