#pragma once
// The TXT record of a printer's DNS-SD service, read into the keys a printer
// search uses. The record comes from any host on the network: every string
// may hold any bytes, keys may repeat or lack a value, and each value kept is
// cut to kTxtValueLimit bytes. Pure functions, so they can be fuzzed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace discovery {

// One TXT string is at most 255 bytes on the wire; avahi hands us the same.
constexpr std::size_t kTxtValueLimit = 255;
// A record with more strings than this is read up to there.
constexpr std::size_t kTxtStringLimit = 64;

struct DnssdTxt {
    std::string ty;          // make and model for people
    std::string product;     // "(Model)", PostScript product string
    std::string usbMfg;      // IEEE 1284 MFG
    std::string usbMdl;      // IEEE 1284 MDL
    std::string pdl;         // comma-separated MIME types
    std::string uuid;        // lower-case canonical UUID, empty unless well-formed
    std::string rp;          // resource path, empty unless it is a safe relative path
    std::string adminUrl;    // only http:// or https://, else empty
    std::string urf;         // Apple raster capabilities
    bool color = false;      // Color=T
    bool duplex = false;     // Duplex=T
};

// Reads the record's strings ("key=value"; keys compared without case, the
// first occurrence of a key wins, as RFC 6763 section 6.4 says).
DnssdTxt parseTxtStrings(const std::vector<std::string>& strings);

// The same from the record's wire form: length-prefixed strings. A string
// whose length runs past the end is dropped.
DnssdTxt parseTxtRecord(const std::uint8_t* data, std::size_t size);

// "urn:uuid:XXXX..." or a bare UUID in any case: the lower-case 36-character
// form, or empty when the text is no UUID.
std::string canonicalUuid(std::string_view text);

// True when the comma-separated list names a format a driverless queue
// prints (PWG raster or PDF).
bool listsDriverlessFormat(std::string_view pdl);

}  // namespace discovery
