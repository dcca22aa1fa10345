// Runs on the main window's one-shot worker thread (one per "scan" command);
// several may run at once. It reads files only, shares nothing mutable, and
// reports back by returning the text, which the worker emits to the UI thread.

#include "sysinfo/hardwaresummary.h"

#include "sysinfo/systemquery.h"
#include "sysinfo/wmicexception.h"

#include <QJsonDocument>
#include <iostream>
#include <unistd.h>

namespace sysinfo {

namespace {

const char* const kUnknown = "unknown";
const char* const kVirtualMarkers[] = { "Virtual", "VMware", "VirtualBox" };

template <typename Reader> void readInto(Reader&& reader)
{
    try {
        reader();
    } catch (const WMICException& e) {
        std::cout << e.what() << std::endl;
    }
}

template <typename Record, typename Field> QString firstOrUnknown(const std::vector<Record>& records, Field field)
{
    if (records.empty())
        return QLatin1String(kUnknown);
    const QString value = records.front().*field;
    return value.trimmed().isEmpty() ? QLatin1String(kUnknown) : value;
}

} // namespace

HardwareFacts collectHardwareFacts(const SystemQuery& query)
{
    // Each reader on its own: one broken source must not hide the others.
    HardwareFacts facts;
    readInto([&] { facts.operatingSystem = query.getOperatingSystem(); });
    readInto([&] { facts.processors = query.getProcessors(); });
    readInto([&] { facts.baseBoard = query.getBaseBoard(); });
    readInto([&] { facts.videoControllers = query.getVideoControllers(); });
    readInto([&] { facts.physicalMemory = query.getPhysicalMemory(); });
    readInto([&] { facts.diskDrives = query.getDiskDrives(); });
    readInto([&] { facts.desktopMonitors = query.getDesktopMonitors(); });
    readInto([&] { facts.soundDevices = query.getSoundDevices(); });
    readInto([&] { facts.networkAdapters = query.getNetworkAdapters(); });
    return facts;
}

QString memoryText(const PhysicalMemoryInfo& module)
{
    // One multi-argument fill: a maker text holding "%3" must stay as it is.
    return QStringLiteral("%1GB(%2 %3MHz)")
        .arg(QString::number(module.Capacity), module.Manufacturer, QString::number(module.Speed));
}

std::optional<QString> firstPhysicalAdapter(const std::vector<NetworkAdapterInfo>& adapters)
{
    for (const NetworkAdapterInfo& adapter : adapters) {
        bool isVirtual = false;
        for (const char* marker : kVirtualMarkers)
            isVirtual = isVirtual || adapter.Description.contains(QLatin1String(marker), Qt::CaseSensitive);
        if (!isVirtual)
            return adapter.Name;
    }
    return std::nullopt;
}

QJsonObject summaryObject(const HardwareFacts& facts, const QString& host, int bits)
{
    QJsonObject summary;
    summary.insert(QStringLiteral("host"), host);
    summary.insert(QStringLiteral("bit"), bits);
    summary.insert(QStringLiteral("system"), facts.operatingSystem ? facts.operatingSystem->Caption : QString());
    summary.insert(QStringLiteral("cpu"), firstOrUnknown(facts.processors, &ProcessorInfo::Name));
    const BaseBoardInfo board = facts.baseBoard.value_or(BaseBoardInfo());
    summary.insert(QStringLiteral("baseboard"), QString(board.Manufacturer + QLatin1Char(' ') + board.Product));
    summary.insert(
        QStringLiteral("videoController"), firstOrUnknown(facts.videoControllers, &VideoControllerInfo::Name));
    summary.insert(QStringLiteral("physicalMemory"),
        facts.physicalMemory.empty() ? QLatin1String(kUnknown) : memoryText(facts.physicalMemory.front()));
    summary.insert(QStringLiteral("diskDrive"), firstOrUnknown(facts.diskDrives, &DiskDriveInfo::Caption));
    summary.insert(QStringLiteral("monitor"), firstOrUnknown(facts.desktopMonitors, &DesktopMonitorInfo::Name));
    summary.insert(QStringLiteral("audioCard"), firstOrUnknown(facts.soundDevices, &SoundDeviceInfo::Name));
    if (facts.networkAdapters.empty()) {
        summary.insert(QStringLiteral("networkAdapter"), QLatin1String(kUnknown));
    } else if (const auto name = firstPhysicalAdapter(facts.networkAdapters)) {
        summary.insert(QStringLiteral("networkAdapter"), *name);
    }
    return summary;
}

QString summaryText(const HardwareFacts& facts, const QString& host, int bits)
{
    return QString::fromUtf8(QJsonDocument(summaryObject(facts, host, bits)).toJson(QJsonDocument::Indented));
}

QString computerName()
{
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return {};
    return cleanText(QByteArray(host), 255);
}

QString hardwareSummary(const SystemQuery& query)
{
    return summaryText(collectHardwareFacts(query), computerName(), operatingSystemBits());
}

QString hardwareSummary()
{
    return hardwareSummary(SystemQuery());
}

std::wstring hardwareSummaryJob(int, std::intptr_t)
{
    return hardwareSummary().toStdWString();
}

} // namespace sysinfo
