#pragma once
// The hardware facts the summary is made of, one plain record per kind of
// device. Text fields are empty and numbers 0 when the machine does not tell.

#include <QString>
#include <cstdint>

namespace sysinfo {

struct BaseBoardInfo {
    QString Name;
    QString Manufacturer;
    QString Product;
    QString Version;
    QString SerialNumber;
};

struct DesktopMonitorInfo {
    QString Name;
    QString Description;
    QString MonitorManufacturer;
};

struct DiskDriveInfo {
    QString Caption;
    QString PNPDeviceID;
    QString SerialNumber;
    std::uint64_t Size = 0; // whole GiB
};

struct NetworkAdapterInfo {
    QString Name;
    QString Description;
    QString Manufacturer;
    QString MACAddress;
    QString AdapterType;
};

struct OperatingSystemInfo {
    QString Caption;
    QString BuildNumber;
    QString Version;
    QString InstallDate;
    QString OSArchitecture;
    QString RegisteredUser;
    QString SerialNumber;
};

struct PhysicalMemoryInfo {
    QString Name;
    QString Manufacturer;
    QString SerialNumber;
    int Speed = 0; // MHz (MT/s)
    std::uint64_t Capacity = 0; // whole GiB
};

struct ProcessorInfo {
    QString Name;
    QString Description;
    QString Manufacturer;
    int NumberOfCores = 0;
    int ThreadCount = 0;
    QString ProcessId;
    double MaxClockSpeed = 0.0; // GHz
};

struct SoundDeviceInfo {
    QString Name;
    QString Description;
};

struct VideoControllerInfo {
    QString Name;
    QString PNPDeviceID;
};

} // namespace sysinfo
