#pragma once
// Plain reads of a sysfs tree. Everything read here is written by drivers and
// often by the device itself, so values are bounded, decoded leniently and
// absent when the file is gone (a device may be unplugged mid-read).

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace devicetree {

// The sysfs root: KORVANE_SYSFS_ROOT, else "/sys".
QString sysfsRoot();

// Attribute values longer than this are cut.
constexpr int kMaxAttributeBytes = 4096;

// The raw bytes of an attribute file (at most kMaxAttributeBytes), or nothing
// when it does not exist or cannot be read.
std::optional<QByteArray> readAttributeBytes(const QString& dir, const char* name);
// The attribute as text: invalid UTF-8 replaced, trailing line breaks and
// NULs removed. Empty when absent.
QString readAttribute(const QString& dir, const char* name);
// A hexadecimal attribute such as idVendor ("03f0"); -1 when absent or malformed.
int readHexAttribute(const QString& dir, const char* name);
// The last path element of a symbolic link ("driver" -> "usblp"); empty when
// there is no such link. `target` receives the whole link text when asked.
QString readLinkName(const QString& dir, const char* name, QString* target = nullptr);
bool exists(const QString& path);

// Walks `devicesDir` depth first in name order without following symbolic
// links and calls `visit(folder, name, parentToken)` for every folder holding
// a `uevent` file; visit returns the token its descendants receive. The walk
// stops after maxNodes devices or below maxDepth levels.
void walkDevices(const QString& devicesDir, int rootToken,
                 const std::function<int(const QString& dir, const QString& name, int parentToken)>& visit,
                 int maxNodes = 100000, int maxDepth = 64);

}  // namespace devicetree
