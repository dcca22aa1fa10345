#pragma once
// The one-level JSON summary of the computer that the page asks for with
// "scan": host, system, processor, board, memory, disk, display, sound and
// network adapter.

#include "sysinfo/records.h"

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sysinfo {

class SystemQuery;

// What the readers gave; a reader that failed leaves its part empty.
struct HardwareFacts {
    std::optional<OperatingSystemInfo> operatingSystem;
    std::vector<ProcessorInfo> processors;
    std::optional<BaseBoardInfo> baseBoard;
    std::vector<VideoControllerInfo> videoControllers;
    std::vector<PhysicalMemoryInfo> physicalMemory;
    std::vector<DiskDriveInfo> diskDrives;
    std::vector<DesktopMonitorInfo> desktopMonitors;
    std::vector<SoundDeviceInfo> soundDevices;
    std::vector<NetworkAdapterInfo> networkAdapters;
};

// Runs every reader in turn. A reader's failure is written to standard output
// and costs only that reader's part.
HardwareFacts collectHardwareFacts(const SystemQuery& query);

// "8GB(M 2400MHz)"
QString memoryText(const PhysicalMemoryInfo& module);
// The first adapter whose description names none of the virtual kinds, or
// nothing when all of them do.
std::optional<QString> firstPhysicalAdapter(const std::vector<NetworkAdapterInfo>& adapters);

QJsonObject summaryObject(const HardwareFacts& facts, const QString& host, int bits);
// The indented JSON text.
QString summaryText(const HardwareFacts& facts, const QString& host, int bits);

// This machine's host name (at most 255 bytes).
QString computerName();

// The summary of the machine under `root` ("/" or KORVANE_SYSINFO_ROOT), with
// this machine's host name and word size.
QString hardwareSummary();
QString hardwareSummary(const SystemQuery& query);

// The background job the main window runs for "scan" (mode 0: the flag is 0
// and the argument unused). Blocking; never call it on the UI thread.
std::wstring hardwareSummaryJob(int flag, std::intptr_t userArgument);

} // namespace sysinfo
