// The scheduler address the repair tool takes on its command line (-h):
// validity, locality and the machine's-own test over arbitrary bytes.

#include "repair/scheduleraddress.h"

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString address = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const bool valid = repair::isValidSchedulerAddress(address);
    const bool local = repair::isLocalSchedulerAddress(address);
    const bool system = repair::isSystemSchedulerAddress(address, repair::standardSchedulerSockets());
    // Each answer implies the one before it.
    if ((local && !valid) || (system && !local))
        __builtin_trap();
    return 0;
}
