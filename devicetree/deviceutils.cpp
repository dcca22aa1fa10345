#include "devicetree/deviceutils.h"

#include "sysutil/errorlog.h"
#include "sysutil/paths.h"
#include "sysutil/textconv.h"

#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

namespace devicetree {

std::uint32_t instanceIdHash(const QString& text, bool foldCase, int algorithm)
{
    if (algorithm == 0 || algorithm == 1) {
        KORVANE_DEVICE_LOG_ERROR(L"unimplement");
        throw DeviceTreeError("unimplement");
    }
    if (algorithm != 2)
        return 0;
    std::uint32_t hash = 0;
    for (const QChar ch : text) {
        std::uint32_t unit = ch.unicode();
        if (foldCase && unit >= u'a' && unit <= u'z')
            unit -= 32;
        hash = unit + hash * 65599u;
    }
    return hash;
}

QString computerName()
{
    return QSysInfo::machineHostName();
}

std::wstring deviceLogPath()
{
    QString fallback = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (fallback.isEmpty())
        fallback = QDir::tempPath();
    QString path = sysutil::envPath("KORVANE_DEVICE_LOG", QString());
    if (path.isEmpty()) {
        QDir().mkpath(fallback);
        path = fallback + QStringLiteral("/mysimple.log");
    }
    return sysutil::toWide(path);
}

}  // namespace devicetree
