#pragma once
// The manufacturer and model inside an IEEE 1284 device id
// ("MFG:ACME;MDL:Laser 100;CLS:PRINTER;"). The text is taken byte for byte as
// the printer sent it; nothing is trimmed or case-folded, so a printer that
// writes "mfg:" or "; MDL:" is not recognised.

#include <string>
#include <string_view>

namespace discovery {

struct DeviceIdFields {
    std::string manufacturer;
    std::string model;
};

// Pairs are read up to the last ";"; a final pair without its ";" is ignored,
// and a later pair replaces an earlier one with the same meaning.
DeviceIdFields parseDeviceId(std::string_view text);

}  // namespace discovery
