#include "repair/scheduleraddress.h"

#include "sysutil/hostname.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace repair {

namespace {

constexpr int kStandardPort = 631;

struct HostAndPort {
    QString host;  // without brackets
    int port = 0;  // 0 when none was given
    bool valid = false;
};

bool isIpv6(const QString& text)
{
    if (text.isEmpty() || text.size() > 45)
        return false;
    for (const QChar c : text) {
        if (!(c.isDigit() && c.unicode() < 0x80) && !QStringLiteral("abcdefABCDEF:.").contains(c))
            return false;
    }
    in6_addr parsed{};
    return inet_pton(AF_INET6, text.toLatin1().constData(), &parsed) == 1;
}

// "1".."65535" with digits only.
int portNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 5)
        return 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    const int port = text.toInt();
    return port >= 1 && port <= 65535 ? port : 0;
}

HostAndPort splitHost(const QString& address)
{
    HostAndPort parts;
    QString rest = address;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return parts;
        parts.host = rest.mid(1, close - 1);
        rest = rest.mid(close + 1);
        if (!isIpv6(parts.host))
            return parts;
        if (rest.isEmpty()) {
            parts.valid = true;
            return parts;
        }
        if (!rest.startsWith(QLatin1Char(':')))
            return parts;
        parts.port = portNumber(rest.mid(1));
        parts.valid = parts.port != 0;
        return parts;
    }
    if (address.count(QLatin1Char(':')) > 1) {
        // A bare IPv6 address: no room for a port.
        parts.host = address;
        parts.valid = isIpv6(address);
        return parts;
    }
    const int colon = address.indexOf(QLatin1Char(':'));
    parts.host = colon < 0 ? address : address.left(colon);
    if (colon >= 0) {
        parts.port = portNumber(address.mid(colon + 1));
        if (parts.port == 0)
            return parts;
    }
    parts.valid = sysutil::isHostName(parts.host);
    return parts;
}

bool isSocketPath(const QString& address)
{
    if (!address.startsWith(QLatin1Char('/')) || address.toUtf8().size() > kMostSocketPathBytes)
        return false;
    for (int i = 0; i < address.size(); ++i) {
        const QChar c = address.at(i);
        if (c.isHighSurrogate() && i + 1 < address.size() && address.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0) ||
            c.isSurrogate() || c == QChar::ReplacementCharacter || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            return false;
    }
    return true;
}

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        host.compare(QLatin1String("localhost."), Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray text = host.toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, text.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

}  // namespace

bool isValidSchedulerAddress(const QString& address)
{
    if (address.startsWith(QLatin1Char('/')))
        return isSocketPath(address);
    return splitHost(address).valid;
}

bool isLocalSchedulerAddress(const QString& address)
{
    if (!isValidSchedulerAddress(address))
        return false;
    if (address.startsWith(QLatin1Char('/')))
        return true;
    return isLoopbackHost(splitHost(address).host);
}

QStringList standardSchedulerSockets()
{
    return {QStringLiteral("/run/cups/cups.sock"), QStringLiteral("/var/run/cups/cups.sock")};
}

QStringList systemSchedulerSockets()
{
    const QString configured = qEnvironmentVariable("KORVANE_CUPS_SYSTEM_SOCKET");
    return configured.isEmpty() ? standardSchedulerSockets() : QStringList{configured};
}

bool isSystemSchedulerAddress(const QString& address, const QStringList& systemSockets)
{
    if (!isLocalSchedulerAddress(address))
        return false;
    if (address.startsWith(QLatin1Char('/')))
        return systemSockets.contains(address);
    const HostAndPort parts = splitHost(address);
    return parts.port == 0 || parts.port == kStandardPort;
}

}  // namespace repair
