#pragma once
// A reader for the SMBIOS structure table as the kernel exports it
// (/sys/firmware/dmi/tables/DMI: the structures only, no entry point). The table
// is firmware-written and may be truncated or corrupt: parsing stops at the
// first structure that does not fit and keeps what came before.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace sysinfo {

namespace smbios {
constexpr std::uint8_t kTypeBaseBoard = 2;
constexpr std::uint8_t kTypeMemoryDevice = 17;
constexpr std::uint8_t kTypeEndOfTable = 127;

// Bounds for what a sane table holds; anything past them is ignored.
constexpr int kMaxTableBytes = 1024 * 1024;
constexpr int kMaxStructures = 4096;
constexpr int kMaxStringBytes = 256;
} // namespace smbios

struct SmbiosStructure {
    std::uint8_t type = 0;
    std::uint16_t handle = 0;
    QByteArray formatted; // the formatted area, header included
    QStringList strings; // the string set, cleaned

    std::optional<std::uint8_t> byteAt(int offset) const;
    std::optional<std::uint16_t> wordAt(int offset) const;
    std::optional<std::uint32_t> dwordAt(int offset) const;
    // The string a byte field at `offset` points to (1-based); empty for 0,
    // for a number past the set, or for a field beyond the structure.
    QString stringAt(int offset) const;
};

struct SmbiosTable {
    std::vector<SmbiosStructure> structures;
    bool complete = false; // false when the table ended inside a structure or was corrupt
};

SmbiosTable parseSmbiosTable(const QByteArray& table);

struct MemoryDevice {
    QString deviceLocator;
    QString manufacturer;
    QString serialNumber;
    QString partNumber;
    std::uint64_t sizeMiB = 0;
    bool sizeKnown = false;
    int speedMTs = 0;
};

// The populated memory slots (type 17 with a non-zero size), in table order.
std::vector<MemoryDevice> memoryDevices(const SmbiosTable& table);

struct BaseBoard {
    QString manufacturer;
    QString product;
    QString version;
    QString serialNumber;
};
std::optional<BaseBoard> firstBaseBoard(const SmbiosTable& table);

} // namespace sysinfo
