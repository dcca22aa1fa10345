#include "sysinfo/udevmemory.h"

#include "sysinfo/sourceroot.h"

#include <map>

namespace sysinfo {

namespace {

struct Slot {
    quint64 sizeBytes = 0;
    bool sized = false;
    bool absent = false;
    int speed = 0;
    QString manufacturer;
    QString serialNumber;
    QString partNumber;
    QString locator;
};

// What udev writes for a string the firmware left out.
bool isPlaceholder(const QString& text)
{
    return text == QLatin1String("Not Specified") || text == QLatin1String("<BAD INDEX>");
}

QString fieldText(const QByteArray& value)
{
    const QString text = cleanText(value, smbios::kMaxStringBytes);
    return isPlaceholder(text) ? QString() : text;
}

} // namespace

std::vector<MemoryDevice> parseUdevMemoryDevices(const QByteArray& database)
{
    static const QByteArray kPrefix("E:MEMORY_DEVICE_");
    std::map<int, Slot> slots;
    const QByteArray bounded = database.left(udevdb::kMaxDatabaseBytes);
    for (const QByteArray& rawLine : bounded.split('\n')) {
        const QByteArray line = rawLine.endsWith('\r') ? rawLine.chopped(1) : rawLine;
        if (!line.startsWith(kPrefix))
            continue;
        // "<n>_<KEY>=<value>"
        int pos = kPrefix.size();
        int slot = 0;
        int digits = 0;
        while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9' && digits < 5) {
            slot = slot * 10 + (line[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || slot > udevdb::kMaxSlot || pos >= line.size() || line[pos] != '_')
            continue;
        const int equals = line.indexOf('=', pos + 1);
        if (equals < 0)
            continue;
        const QByteArray key = line.mid(pos + 1, equals - pos - 1);
        const QByteArray value = line.mid(equals + 1);
        Slot& entry = slots[slot];
        if (key == "SIZE") {
            bool ok = false;
            const quint64 bytes = value.trimmed().toULongLong(&ok, 10);
            if (ok) {
                entry.sizeBytes = bytes;
                entry.sized = true;
            }
        } else if (key == "PRESENT") {
            entry.absent = value.trimmed() == "0";
        } else if (key == "SPEED_MTS") {
            bool ok = false;
            const uint speed = value.trimmed().toUInt(&ok, 10);
            if (ok && speed <= 0x7FFFFFFF)
                entry.speed = int(speed);
        } else if (key == "MANUFACTURER") {
            entry.manufacturer = fieldText(value);
        } else if (key == "SERIAL_NUMBER") {
            entry.serialNumber = fieldText(value);
        } else if (key == "PART_NUMBER") {
            entry.partNumber = fieldText(value);
        } else if (key == "LOCATOR") {
            entry.locator = fieldText(value);
        }
    }

    std::vector<MemoryDevice> devices;
    for (const auto& [index, slot] : slots) {
        Q_UNUSED(index)
        if (slot.absent || !slot.sized || slot.sizeBytes == 0)
            continue;
        MemoryDevice device;
        device.deviceLocator = slot.locator;
        device.manufacturer = slot.manufacturer;
        device.serialNumber = slot.serialNumber;
        device.partNumber = slot.partNumber;
        device.sizeMiB = slot.sizeBytes >> 20;
        device.sizeKnown = true;
        device.speedMTs = slot.speed;
        devices.push_back(device);
    }
    return devices;
}

} // namespace sysinfo
