#pragma once
// The hardware and operating-system facts of one machine, read from the
// kernel's and the firmware's files under a root folder ("/" for this machine,
// a fixture folder in tests). One reader per kind of record.
//
// A source that is missing or unreadable for this user is an empty answer.
// Readers throw WMICException only when a source exists but is structurally
// broken (a listing that is not a folder, a file that fails to read).
// Readers are const and share nothing mutable: any thread may call them.

#include "sysinfo/records.h"
#include "sysinfo/sourceroot.h"

#include <vector>

namespace devicetree {
class HardwareDatabase;
}

namespace sysinfo {

class SystemQuery {
public:
    explicit SystemQuery(const QString& root = defaultSourceRoot());
    SystemQuery(const QString& root, const devicetree::HardwareDatabase& hwdb);

    BaseBoardInfo getBaseBoard() const;
    std::vector<DesktopMonitorInfo> getDesktopMonitors() const;
    std::vector<DiskDriveInfo> getDiskDrives() const;
    std::vector<NetworkAdapterInfo> getNetworkAdapters() const;
    OperatingSystemInfo getOperatingSystem() const;
    std::vector<PhysicalMemoryInfo> getPhysicalMemory() const;
    std::vector<ProcessorInfo> getProcessors() const;
    std::vector<SoundDeviceInfo> getSoundDevices() const;
    std::vector<VideoControllerInfo> getVideoControllers() const;

    const SourceRoot& sources() const { return m_root; }

private:
    SourceRoot m_root;
    const devicetree::HardwareDatabase& m_hwdb;
};

// 64 when this machine runs a 64-bit kernel (or this is a 64-bit build), else 32.
int operatingSystemBits();

} // namespace sysinfo
