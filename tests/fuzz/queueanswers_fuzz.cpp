// The scheduler's answers a queue's document list and supply bars are read
// from (Get-Jobs, Get-Printer-Attributes), as any program listening on the
// scheduler's socket may send them.

#include "fuzzcheck.h"
#include "printers/printercontrol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const auto jobs = PrinterAPI::jobsFromIppBytes(data, size)) {
        FUZZ_CHECK(jobs->size() <= 500);
        for (const PrinterAPI::QueueJob& job : *jobs) {
            FUZZ_CHECK(job.id > 0);
            FUZZ_CHECK(job.name.size() <= 255 && job.owner.size() <= 255);
            FUZZ_CHECK(job.size >= 0 && job.time >= 0);
        }
    }
    if (const auto supplies = PrinterAPI::suppliesFromIppBytes(data, size)) {
        FUZZ_CHECK(supplies->size() <= 32);
        for (const PrinterAPI::Supply& supply : *supplies) {
            FUZZ_CHECK(supply.level >= -3 && supply.level <= 100);
            FUZZ_CHECK(supply.name.size() <= 255);
        }
    }
    return 0;
}
