// The SMBIOS structure table the firmware leaves in /sys/firmware/dmi/tables/DMI.

#include "fuzzcheck.h"
#include "sysinfo/smbios.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sysinfo;
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const SmbiosTable table = parseSmbiosTable(bytes);
    FUZZ_CHECK(int(table.structures.size()) <= smbios::kMaxStructures);
    qint64 formattedBytes = 0;
    for (const SmbiosStructure& s : table.structures) {
        FUZZ_CHECK(s.formatted.size() >= 4);
        FUZZ_CHECK(std::uint8_t(s.formatted.at(0)) == s.type);
        FUZZ_CHECK(s.strings.size() <= 255);
        formattedBytes += s.formatted.size();
        // At most one UTF-16 unit per byte read (an invalid byte reads as U+FFFD).
        for (const QString& text : s.strings)
            FUZZ_CHECK(text.size() <= smbios::kMaxStringBytes);
        // Every field reader is bounded by the structure, whatever the offset.
        for (int offset = -2; offset <= s.formatted.size() + 4; ++offset) {
            FUZZ_CHECK(s.byteAt(offset).has_value() == (offset >= 0 && offset < s.formatted.size()));
            FUZZ_CHECK(s.wordAt(offset).has_value() == (offset >= 0 && offset + 2 <= s.formatted.size()));
            FUZZ_CHECK(s.dwordAt(offset).has_value() == (offset >= 0 && offset + 4 <= s.formatted.size()));
            FUZZ_CHECK(s.stringAt(offset).size() <= smbios::kMaxStringBytes);
        }
    }
    FUZZ_CHECK(formattedBytes <= qint64(size));

    const std::vector<MemoryDevice> memory = memoryDevices(table);
    FUZZ_CHECK(memory.size() <= table.structures.size());
    for (const MemoryDevice& device : memory) {
        FUZZ_CHECK(device.deviceLocator.size() <= smbios::kMaxStringBytes);
        FUZZ_CHECK(device.partNumber.size() <= smbios::kMaxStringBytes);
        FUZZ_CHECK(device.sizeMiB <= 0x7FFFFFFFu);
    }
    if (const std::optional<BaseBoard> board = firstBaseBoard(table))
        FUZZ_CHECK(board->product.size() <= smbios::kMaxStringBytes);
    return 0;
}
