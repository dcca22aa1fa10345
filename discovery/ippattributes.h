#pragma once
// What a printer's Get-Printer-Attributes answer says about it, read into
// bounded fields. The answer comes from any host on the network: values of the
// wrong type are skipped, texts are cut, lists are capped. Pure functions over
// an ipp_t or raw response bytes, so they can be fuzzed.

#include <cups/ipp.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace discovery {

constexpr std::size_t kIppTextLimit = 1023;
constexpr std::size_t kIppFormatLimit = 64;

struct PrinterAttributes {
    std::string makeAndModel;
    std::string deviceId;  // IEEE 1284 device id
    std::string uuid;      // lower-case canonical UUID, empty unless well-formed
    std::string moreInfo;  // http:// or https:// only
    std::vector<std::string> formats;
    bool ippEverywhere = false;  // ipp-features-supported has "ipp-everywhere"

    // A queue for it needs no driver of its own.
    bool driverless() const;
};

// The attributes the search asks for.
extern const char* const kRequestedPrinterAttributes[];
extern const int kRequestedPrinterAttributeCount;

// Reads a successful answer; nothing when the status says it failed.
std::optional<PrinterAttributes> printerAttributesFrom(ipp_t* response);

// The same from an IPP response message as received.
std::optional<PrinterAttributes> parseIppResponse(const std::uint8_t* data, std::size_t size);

// An IPP message from bytes as received, which the caller frees with
// ippDelete; null unless the bytes hold one whole message.
ipp_t* readIppMessage(const std::uint8_t* data, std::size_t size);

}  // namespace discovery
