#pragma once
// SNMPv1 GET requests and their responses, as bytes. Only what the device-id
// query needs: one GET with NULL-valued varbinds out, one GetResponse in.
//
// The decoder reads a datagram from the network, so it trusts nothing: every
// length is checked against the bytes left, integers must fit, OIDs and
// varbind lists are bounded, and anything else is "not a response".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace discovery::snmp {

using Oid = std::vector<std::uint32_t>;

// BER tags of the values a response may carry that the scan looks at.
constexpr std::uint8_t kTagInteger = 0x02;
constexpr std::uint8_t kTagOctetString = 0x04;
constexpr std::uint8_t kTagNull = 0x05;
constexpr std::uint8_t kTagOid = 0x06;
constexpr std::uint8_t kTagSequence = 0x30;
constexpr std::uint8_t kTagGetRequest = 0xa0;
constexpr std::uint8_t kTagGetResponse = 0xa2;

constexpr std::int64_t kVersion1 = 0;
// Bounds on what a response may hold before it is refused.
constexpr std::size_t kMaxOidParts = 128;
constexpr std::size_t kMaxVarbinds = 64;

struct Varbind {
    Oid oid;
    std::uint8_t type = 0;  // the value's BER tag
    std::string value;      // the value's content bytes, undecoded
};

struct Response {
    std::int64_t version = 0;
    std::string community;
    std::int64_t requestId = 0;
    std::int64_t errorStatus = 0;
    std::int64_t errorIndex = 0;
    std::vector<Varbind> varbinds;
};

// A GET of each OID with a NULL value. Empty when an OID cannot be encoded
// (fewer than two parts, or a first part above 2).
std::vector<std::uint8_t> encodeGetRequest(std::string_view community, std::int32_t requestId,
                                           const std::vector<Oid>& oids);

// The GetResponse in one datagram, or nullopt when the bytes are anything
// else (another PDU type, a malformed or truncated encoding, trailing bytes).
std::optional<Response> decodeResponse(const std::uint8_t* data, std::size_t size);

// The dotted text of an OID, for log lines.
std::string oidText(const Oid& oid);

}  // namespace discovery::snmp
