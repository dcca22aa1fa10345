#include "sysutil/hostname.h"

namespace sysutil {

namespace {

constexpr int kMostHostNameChars = 253;

bool isHostNameCharacter(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '.';
}

}  // namespace

bool isHostName(const QString& host)
{
    if (host.isEmpty() || host.size() > kMostHostNameChars || host.startsWith(QLatin1Char('-')) ||
        host.startsWith(QLatin1Char('.')) || host.contains(QLatin1String("..")))
        return false;
    for (const QChar c : host) {
        if (!isHostNameCharacter(c))
            return false;
    }
    return true;
}

}  // namespace sysutil
