// A Get-Printer-Attributes answer as any host on port 631 may send it.

#include "discovery/ippattributes.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const auto attributes = discovery::parseIppResponse(data, size))
        (void)attributes->driverless();
    return 0;
}
