#pragma once
// The few facts a monitor's EDID block gives about who made it and what it is
// called. The block comes from the monitor itself: short, garbled or
// checksum-failing blocks yield what can be read safely, never more.

#include <QByteArray>
#include <QString>

namespace sysinfo {

namespace edid {
constexpr int kBlockBytes = 128;
constexpr int kMaxBytes = 256 * kBlockBytes; // base block and every extension
} // namespace edid

struct EdidFacts {
    bool valid = false; // a full base block with the fixed header
    bool checksumOk = false;
    QString manufacturerId; // three-letter PNP id ("DEL"), empty when malformed
    unsigned productCode = 0;
    QString monitorName; // the display product name descriptor
    QString serialText; // the display serial number descriptor
};

EdidFacts parseEdid(const QByteArray& block);

} // namespace sysinfo
