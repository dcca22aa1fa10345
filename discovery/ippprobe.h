#pragma once
// One Get-Printer-Attributes request to a network printer, bounded in time:
// the connect and every wait for the answer end after the given limit, and a
// cancel flag set by another thread ends the connect at once.

#include "discovery/ippattributes.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace discovery {

struct IppTarget {
    std::string address;  // dotted IPv4 or a host name (IPv4 addresses only)
    int port = 631;
    std::string resource = "/ipp/print";  // begins with "/"
    bool tls = false;                     // ipps
};

struct IppProbeResult {
    std::optional<PrinterAttributes> attributes;  // set when the printer answered
    std::string error;                            // why not, for the log
};

struct IppResponseDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppResponse = std::unique_ptr<ipp_t, IppResponseDeleter>;

struct IppAnswer {
    IppResponse response;  // set when the printer answered (any status)
    std::string error;     // why not, for the log
};

// The printer's URI as a queue would use it ("ipp://10.0.0.5:631/ipp/print").
std::string ippUri(const IppTarget& target);

// Runs on the caller's thread. cancel (may be null) is read by libcups while
// it connects; a non-zero value ends the probe.
IppProbeResult probePrinter(const IppTarget& target, std::chrono::milliseconds limit, int* cancel);

// Get-Printer-Attributes for the named attributes, bounded as probePrinter.
IppAnswer askPrinter(const IppTarget& target, std::chrono::milliseconds limit, int* cancel,
                     const char* const* attributes, int attributeCount);

}  // namespace discovery
