// The IEEE 1284 device id a network printer answers over SNMP.

#include "discovery/deviceid.h"
#include "fuzzcheck.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const discovery::DeviceIdFields fields = discovery::parseDeviceId(text);
    FUZZ_CHECK(fields.manufacturer.size() + fields.model.size() <= size);
    FUZZ_CHECK(fields.manufacturer.find(';') == std::string::npos);
    FUZZ_CHECK(fields.model.find(';') == std::string::npos);

    // What was read, written out again, reads back the same.
    const std::string again = "MFG:" + fields.manufacturer + ";MDL:" + fields.model + ";";
    const discovery::DeviceIdFields reread = discovery::parseDeviceId(again);
    FUZZ_CHECK(reread.manufacturer == fields.manufacturer);
    FUZZ_CHECK(reread.model == fields.model);
    return 0;
}
