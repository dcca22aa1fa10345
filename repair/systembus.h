#pragma once
// A private connection to the system bus for one check or repair. A shared
// connection would remember a bus that was absent when first asked; this one
// is opened for the job (DBUS_SYSTEM_BUS_ADDRESS is honoured) and closed with
// the object. Every call carries a time-out, since a daemon can hang.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <optional>

namespace repair {

class SystemBus {
public:
    // Checks must answer quickly; repairs pass a longer time-out.
    static constexpr int kCheckTimeoutMs = 700;

    explicit SystemBus(int callTimeoutMs = kCheckTimeoutMs);
    ~SystemBus();
    SystemBus(const SystemBus&) = delete;
    SystemBus& operator=(const SystemBus&) = delete;

    bool isConnected() const;
    // Whether a daemon owns the well-known name right now.
    bool hasOwner(const QString& service) const;
    // Calls a method; an error reply comes back as a message of type ErrorMessage.
    QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {}, int timeoutMs = 0) const;
    // One property through org.freedesktop.DBus.Properties.Get.
    std::optional<QVariant> property(const QString& service, const QString& path, const QString& interface,
                                     const QString& name) const;

private:
    int m_timeoutMs;
    QString m_name;
    QDBusConnection m_connection;
};

// The first return value of a successful reply.
std::optional<QVariant> firstValue(const QDBusMessage& reply);

}  // namespace repair
