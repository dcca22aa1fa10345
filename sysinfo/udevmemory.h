#pragma once
// Memory modules as udev's device database records them for the DMI device
// (/run/udev/data/+dmi:id): udev reads the root-only SMBIOS table at boot and
// keeps the memory devices world-readable, as "E:KEY=value" lines:
//
//   E:MEMORY_DEVICE_0_SIZE=8589934592      bytes
//   E:MEMORY_DEVICE_0_SPEED_MTS=3200
//   E:MEMORY_DEVICE_0_MANUFACTURER=Samsung
//   E:MEMORY_DEVICE_1_PRESENT=0            an empty slot (no SIZE then)
//
// The file is only as trustworthy as whoever wrote it: lines, slot numbers
// and texts are bounded, and anything malformed is skipped.

#include "sysinfo/smbios.h"

#include <QByteArray>
#include <vector>

namespace sysinfo {

namespace udevdb {
constexpr int kMaxDatabaseBytes = 256 * 1024;
constexpr int kMaxSlot = 1023;
} // namespace udevdb

// The populated slots (a non-zero SIZE, not PRESENT=0) in slot order.
std::vector<MemoryDevice> parseUdevMemoryDevices(const QByteArray& database);

} // namespace sysinfo
