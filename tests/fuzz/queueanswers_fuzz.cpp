// The scheduler's answers a queue's document list and supply bars are read
// from (Get-Jobs, Get-Printer-Attributes), as any program listening on the
// scheduler's socket may send them, and a printer's own printer-supply answer
// as any host on the network may send it.

#include "fuzzcheck.h"
#include "printers/printercontrol.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
    if (const auto supplies = PrinterAPI::printerSuppliesFromIppBytes(data, size)) {
        FUZZ_CHECK(supplies->size() <= 32);
        for (const PrinterAPI::Supply& supply : *supplies) {
            FUZZ_CHECK(supply.level >= -3 && supply.level <= 100);
            FUZZ_CHECK(supply.name.size() <= 255 && supply.type.size() <= 63);
            FUZZ_CHECK(supply.color.isEmpty() || supply.color.size() == 7);
        }
    }
    // The same values given directly: the bytes split at newlines, the first
    // half printer-supply values, the rest descriptions.
    std::vector<QByteArray> values;
    QStringList descriptions;
    const QList<QByteArray> lines = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)).split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (i < lines.size() / 2 + 1)
            values.push_back(lines.at(i));
        else
            descriptions << QString::fromUtf8(lines.at(i)).left(255);
    }
    const std::vector<PrinterAPI::Supply> direct = PrinterAPI::suppliesFromPrinterSupply(values, descriptions);
    FUZZ_CHECK(direct.size() <= 32 && direct.size() <= values.size());
    for (const PrinterAPI::Supply& supply : direct)
        FUZZ_CHECK(supply.level >= -3 && supply.level <= 100);
    return 0;
}
