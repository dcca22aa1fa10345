// The udev database reader over arbitrary bytes: no crash, no hang, and every
// device it reports is a populated one.

#include "sysinfo/udevmemory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (const sysinfo::MemoryDevice& device : sysinfo::parseUdevMemoryDevices(bytes)) {
        if (!device.sizeKnown)
            std::abort();
    }
    return 0;
}
