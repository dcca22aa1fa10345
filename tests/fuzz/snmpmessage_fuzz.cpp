// Any datagram through the SNMP response decoder and the device-id reading on
// top of it: no crash, no read outside the bytes, and what decodes stays
// within the decoder's bounds.

#include "discovery/netscansnmp.h"
#include "discovery/snmpmessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace discovery;
    if (const auto response = snmp::decodeResponse(data, size)) {
        if (response->varbinds.size() > snmp::kMaxVarbinds)
            std::abort();
        for (const snmp::Varbind& varbind : response->varbinds) {
            if (varbind.oid.size() > snmp::kMaxOidParts || varbind.value.size() > size)
                std::abort();
        }
    }
    if (const auto answer = readDeviceIdResponse(data, size, 0x1234, "public")) {
        if (answer->deviceId.size() > size || answer->answered != (answer->end == DeviceIdAnswer::End::Answered))
            std::abort();
    }
    return 0;
}
