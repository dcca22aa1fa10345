#include "sysinfo/smbios.h"

#include "sysinfo/sourceroot.h"

namespace sysinfo {

namespace {

// Offsets inside the formatted areas, as the SMBIOS reference lays them out.
namespace board {
constexpr int kManufacturer = 0x04;
constexpr int kProduct = 0x05;
constexpr int kVersion = 0x06;
constexpr int kSerialNumber = 0x07;
} // namespace board

namespace memory {
constexpr int kSize = 0x0C;
constexpr int kDeviceLocator = 0x10;
constexpr int kSpeed = 0x15;
constexpr int kManufacturer = 0x17;
constexpr int kSerialNumber = 0x18;
constexpr int kPartNumber = 0x1A;
constexpr int kExtendedSize = 0x1C;
constexpr int kExtendedSpeed = 0x54;

constexpr std::uint16_t kSizeNotInstalled = 0x0000;
constexpr std::uint16_t kSizeUnknown = 0xFFFF;
constexpr std::uint16_t kSizeUseExtended = 0x7FFF;
constexpr std::uint16_t kSizeInKiB = 0x8000;
constexpr std::uint32_t kExtendedSizeMask = 0x7FFFFFFF;
constexpr std::uint16_t kSpeedUseExtended = 0xFFFF;
} // namespace memory

constexpr int kHeaderBytes = 4;

} // namespace

std::optional<std::uint8_t> SmbiosStructure::byteAt(int offset) const
{
    if (offset < 0 || offset >= formatted.size())
        return std::nullopt;
    return std::uint8_t(formatted.at(offset));
}

std::optional<std::uint16_t> SmbiosStructure::wordAt(int offset) const
{
    if (offset < 0 || offset + 2 > formatted.size())
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(formatted.constData()) + offset;
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::optional<std::uint32_t> SmbiosStructure::dwordAt(int offset) const
{
    if (offset < 0 || offset + 4 > formatted.size())
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(formatted.constData()) + offset;
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

QString SmbiosStructure::stringAt(int offset) const
{
    const auto index = byteAt(offset);
    if (!index || *index == 0 || *index > strings.size())
        return {};
    return strings.at(*index - 1);
}

SmbiosTable parseSmbiosTable(const QByteArray& tableBytes)
{
    SmbiosTable table;
    const QByteArray data = tableBytes.left(smbios::kMaxTableBytes);
    const int size = data.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    int offset = 0;
    bool sawEnd = false;
    while (offset + kHeaderBytes <= size && int(table.structures.size()) < smbios::kMaxStructures) {
        const int length = bytes[offset + 1];
        if (length < kHeaderBytes || offset + length > size)
            return table;
        // The string set follows the formatted area and ends with two NULs; a
        // structure without strings still carries both.
        int end = offset + length;
        SmbiosStructure structure;
        structure.type = bytes[offset];
        structure.handle = std::uint16_t(bytes[offset + 2] | (bytes[offset + 3] << 8));
        structure.formatted = data.mid(offset, length);
        if (end + 1 < size && bytes[end] == 0 && bytes[end + 1] == 0) {
            end += 2;
        } else {
            bool terminated = false;
            while (end < size) {
                const int nul = data.indexOf('\0', end);
                if (nul < 0)
                    return table;
                if (nul == end) { // the empty string that closes the set
                    ++end;
                    terminated = true;
                    break;
                }
                if (structure.strings.size() < 255)
                    structure.strings.append(cleanText(data.mid(end, nul - end), smbios::kMaxStringBytes));
                end = nul + 1;
            }
            if (!terminated)
                return table;
        }
        const bool last = structure.type == smbios::kTypeEndOfTable;
        table.structures.push_back(std::move(structure));
        offset = end;
        if (last) {
            sawEnd = true;
            break;
        }
    }
    table.complete = sawEnd || offset == size;
    return table;
}

std::vector<MemoryDevice> memoryDevices(const SmbiosTable& table)
{
    std::vector<MemoryDevice> devices;
    for (const SmbiosStructure& s : table.structures) {
        if (s.type != smbios::kTypeMemoryDevice)
            continue;
        const auto size = s.wordAt(memory::kSize);
        if (!size || *size == memory::kSizeNotInstalled)
            continue;
        MemoryDevice device;
        if (*size == memory::kSizeUseExtended) {
            if (const auto extended = s.dwordAt(memory::kExtendedSize)) {
                device.sizeMiB = *extended & memory::kExtendedSizeMask;
                device.sizeKnown = true;
            }
        } else if (*size != memory::kSizeUnknown) {
            const std::uint64_t value = *size & ~memory::kSizeInKiB;
            device.sizeMiB = (*size & memory::kSizeInKiB) ? value >> 10 : value;
            device.sizeKnown = true;
        }
        if (const auto speed = s.wordAt(memory::kSpeed)) {
            if (*speed == memory::kSpeedUseExtended) {
                // Past 65534 MT/s the word gives way to a double word.
                if (const auto extended = s.dwordAt(memory::kExtendedSpeed))
                    device.speedMTs = int(std::min<std::uint32_t>(*extended & 0x7FFFFFFF, 0x7FFFFFFF));
            } else {
                device.speedMTs = *speed;
            }
        }
        device.deviceLocator = s.stringAt(memory::kDeviceLocator);
        device.manufacturer = s.stringAt(memory::kManufacturer);
        device.serialNumber = s.stringAt(memory::kSerialNumber);
        device.partNumber = s.stringAt(memory::kPartNumber);
        devices.push_back(device);
    }
    return devices;
}

std::optional<BaseBoard> firstBaseBoard(const SmbiosTable& table)
{
    for (const SmbiosStructure& s : table.structures) {
        if (s.type != smbios::kTypeBaseBoard)
            continue;
        BaseBoard b;
        b.manufacturer = s.stringAt(board::kManufacturer);
        b.product = s.stringAt(board::kProduct);
        b.version = s.stringAt(board::kVersion);
        b.serialNumber = s.stringAt(board::kSerialNumber);
        return b;
    }
    return std::nullopt;
}

} // namespace sysinfo
