#pragma once
// Small helpers of the device tree: the instance-id hash that identifies the
// root node, the machine's name shown on that node, and the error the tree
// raises for structural faults.

#include <QString>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace devicetree {

// Raised for a snapshot that cannot form one tree ("exception") and for an
// unsupported hash algorithm ("unimplement"). Callers treat the snapshot as empty.
class DeviceTreeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// h = c + h * 65599 over the UTF-16 units of text (a..z shifted to A..Z when
// foldCase). Only algorithm 2 exists; 0 and 1 log and throw, others yield 0.
std::uint32_t instanceIdHash(const QString& text, bool foldCase = true, int algorithm = 2);

// The host name, as the root node's name.
QString computerName();

// Where the device tree writes its diagnostics: KORVANE_DEVICE_LOG, else
// "mysimple.log" in the user's cache folder.
std::wstring deviceLogPath();

}  // namespace devicetree

#define KORVANE_DEVICE_LOG_ERROR(message) \
    ::sysutil::logError((message), __FILE__, __LINE__, ::devicetree::deviceLogPath())
