// Asking one typed-in host what printer it is.

#include "discovery/addressprobe.h"

#include "discovery/deviceid.h"
#include "discovery/ippprobe.h"
#include "discovery/netscansnmp.h"
#include "sysutil/hostname.h"
#include "sysutil/win32errors.h"

#include <QDebug>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>

namespace discovery {

namespace {

using namespace std::chrono_literals;

constexpr auto kIppLimit = 1500ms;

struct AddrInfoFree {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

// The host's first IPv4 address in host byte order.
std::optional<std::uint32_t> resolveIpv4(const QString& host)
{
    in_addr parsed{};
    const QByteArray text = host.toLatin1();
    if (inet_pton(AF_INET, text.constData(), &parsed) == 1)
        return ntohl(parsed.s_addr);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(text.constData(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::unique_ptr<addrinfo, AddrInfoFree> owner(found);
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr)
            return ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
    }
    return std::nullopt;
}

std::string dotted(std::uint32_t address)
{
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

QJsonObject code(win32::ErrorCode value)
{
    return QJsonObject{{QStringLiteral("code"), qint64(value)}};
}

}  // namespace

bool isValidPrinterHost(const QString& host)
{
    return sysutil::isHostName(host);
}

QJsonObject probeNetworkPrinter(const QString& host)
{
    if (!isValidPrinterHost(host))
        return code(win32::kInvalidParameter);
    const std::optional<std::uint32_t> address = resolveIpv4(host);
    if (!address)
        return code(win32::kInvalidName);
    const std::string ip = dotted(*address);

    std::optional<PrinterAttributes> attributes;
    std::string uri;
    const IppTarget targets[] = {
        {ip, 631, "/ipp/print", false},
        {ip, 631, "/ipp", false},
        {ip, 631, "/ipp/print", true},
    };
    bool plainRefused = false;
    for (const IppTarget& target : targets) {
        if (plainRefused && !target.tls)
            continue;
        const IppProbeResult probe = probePrinter(target, kIppLimit, nullptr);
        if (probe.attributes) {
            attributes = probe.attributes;
            uri = ippUri(target);
            break;
        }
        qInfo("discovery: %s: %s", ippUri(target).c_str(), probe.error.c_str());
        if (probe.error.rfind("no connection", 0) == 0)
            plainRefused = true;
    }

    SnmpSettings settings;
    settings.timeout = 500ms;
    settings.retries = 2;
    settings.maxInFlight = 1;
    std::string snmpDeviceId;
    {
        DeviceIdQuerier querier(settings);
        querier.enqueue(*address);
        if (const std::optional<DeviceIdAnswer> answer = querier.takeFinished(3s); answer && answer->answered)
            snmpDeviceId = answer->deviceId.substr(0, kIppTextLimit);
    }
    if (!attributes && snmpDeviceId.empty())
        return code(win32::kPrinterNotFound);

    QJsonObject result = code(win32::kSuccess);
    result.insert(QStringLiteral("address"), QString::fromStdString(ip));
    result.insert(QStringLiteral("ipp"), bool(attributes));
    result.insert(QStringLiteral("driverless"), attributes ? attributes->driverless() : false);
    result.insert(QStringLiteral("uri"), attributes ? QString::fromStdString(uri)
                                                    : QStringLiteral("socket://%1:9100").arg(QString::fromStdString(ip)));
    const std::string deviceId = attributes && !attributes->deviceId.empty() ? attributes->deviceId : snmpDeviceId;
    if (!deviceId.empty())
        result.insert(QStringLiteral("deviceId"), QString::fromUtf8(deviceId.data(), int(deviceId.size())));
    QString makeAndModel = attributes ? QString::fromUtf8(attributes->makeAndModel.c_str()) : QString();
    if (makeAndModel.isEmpty() && !deviceId.empty()) {
        const DeviceIdFields parsed = parseDeviceId(deviceId);
        const QString both = QString::fromUtf8(parsed.manufacturer.c_str()) + QLatin1Char(' ') +
                             QString::fromUtf8(parsed.model.c_str());
        makeAndModel = both.trimmed();
    }
    if (!makeAndModel.isEmpty())
        result.insert(QStringLiteral("makeAndModel"), makeAndModel);
    return result;
}

}  // namespace discovery
