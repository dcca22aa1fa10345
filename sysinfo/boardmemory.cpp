// The main board (DMI attributes, the SMBIOS table, the device tree) and the
// memory modules (udev's world-readable copy of the SMBIOS memory devices, the
// SMBIOS table itself when readable, else the kernel's total).

#include "sysinfo/smbios.h"
#include "sysinfo/systemquery.h"
#include "sysinfo/udevmemory.h"

#include <QLoggingCategory>

namespace sysinfo {

namespace {

Q_LOGGING_CATEGORY(lcBoard, "korvane.sysinfo.board")

constexpr qint64 kMaxMeminfoBytes = 64 * 1024;
const char* const kBoardName = "Base Board";
const char* const kMemoryName = "Physical Memory";

SmbiosTable readSmbiosTable(const SourceRoot& root)
{
    // Only root may read the raw table on most systems; without it the
    // attributes and /proc/meminfo still answer.
    const SourceRead file = root.read(QStringLiteral("sys/firmware/dmi/tables/DMI"), smbios::kMaxTableBytes);
    if (file.status == SourceStatus::Broken)
        qCWarning(lcBoard) << "SMBIOS table unreadable, errno" << file.error;
    if (file.status != SourceStatus::Ok)
        return {};
    SmbiosTable table = parseSmbiosTable(file.bytes);
    if (!table.complete)
        qCWarning(lcBoard) << "SMBIOS table truncated or corrupt after" << table.structures.size() << "structures";
    return table;
}

std::vector<MemoryDevice> readUdevMemory(const SourceRoot& root)
{
    const SourceRead file = root.read(QStringLiteral("run/udev/data/+dmi:id"), udevdb::kMaxDatabaseBytes);
    if (file.status == SourceStatus::Broken)
        qCWarning(lcBoard) << "udev DMI record unreadable, errno" << file.error;
    if (file.status != SourceStatus::Ok)
        return {};
    return parseUdevMemoryDevices(file.bytes);
}

void fillBlank(QString& field, const QString& value)
{
    if (field.isEmpty())
        field = value;
}

} // namespace

BaseBoardInfo SystemQuery::getBaseBoard() const
{
    BaseBoardInfo board;
    const QString dmi = QStringLiteral("sys/class/dmi/id/");
    board.Manufacturer = m_root.text(dmi + QStringLiteral("board_vendor"));
    board.Product = m_root.text(dmi + QStringLiteral("board_name"));
    board.Version = m_root.text(dmi + QStringLiteral("board_version"));
    board.SerialNumber = m_root.text(dmi + QStringLiteral("board_serial")); // root only

    if (board.Manufacturer.isEmpty() || board.Product.isEmpty() || board.SerialNumber.isEmpty()) {
        if (const auto fromTable = firstBaseBoard(readSmbiosTable(m_root))) {
            fillBlank(board.Manufacturer, fromTable->manufacturer);
            fillBlank(board.Product, fromTable->product);
            fillBlank(board.Version, fromTable->version);
            fillBlank(board.SerialNumber, fromTable->serialNumber);
        }
    }
    if (board.Manufacturer.isEmpty() && board.Product.isEmpty()) {
        // Boards without firmware tables (most ARM machines) name themselves in
        // the device tree: "Raspberry Pi 4 Model B Rev 1.4", "raspberrypi,4-model-b".
        board.Product = m_root.text(QStringLiteral("proc/device-tree/model"));
        const QString compatible = m_root.text(QStringLiteral("proc/device-tree/compatible"));
        const int comma = compatible.indexOf(QLatin1Char(','));
        if (!board.Product.isEmpty() && comma > 0)
            board.Manufacturer = compatible.left(comma);
    }
    if (!board.Manufacturer.isEmpty() || !board.Product.isEmpty())
        board.Name = QString::fromLatin1(kBoardName);
    return board;
}

std::vector<PhysicalMemoryInfo> SystemQuery::getPhysicalMemory() const
{
    std::vector<PhysicalMemoryInfo> modules;
    // udev first: the table itself is readable by root only, and the program
    // runs as the desktop user.
    std::vector<MemoryDevice> devices = readUdevMemory(m_root);
    if (devices.empty())
        devices = memoryDevices(readSmbiosTable(m_root));
    for (const MemoryDevice& device : devices) {
        PhysicalMemoryInfo module;
        module.Name = QString::fromLatin1(kMemoryName);
        module.Manufacturer = device.manufacturer;
        module.SerialNumber = device.serialNumber;
        module.Speed = device.speedMTs;
        module.Capacity = device.sizeMiB >> 10; // whole GiB, the remainder dropped
        modules.push_back(module);
    }
    if (!modules.empty())
        return modules;

    const SourceRead meminfo = m_root.read(QStringLiteral("proc/meminfo"), kMaxMeminfoBytes);
    SourceRoot::requireReadable(meminfo.status, meminfo.error);
    if (meminfo.status != SourceStatus::Ok)
        return modules;
    for (const QByteArray& rawLine : meminfo.bytes.split('\n')) {
        const QString line = cleanText(rawLine);
        if (!line.startsWith(QLatin1String("MemTotal:")))
            continue;
        QString number = line.mid(9).trimmed();
        number = number.left(number.indexOf(QLatin1Char(' ')) < 0 ? number.size() : number.indexOf(QLatin1Char(' ')));
        const quint64 kiB = parseNumber(number, 0);
        if (kiB == 0)
            break;
        // The kernel's total leaves out what firmware and the kernel reserved
        // (a 16 GiB machine reports about 15.6 GiB): round to the nearest GiB.
        PhysicalMemoryInfo total;
        total.Name = QString::fromLatin1(kMemoryName);
        total.Capacity = (kiB >> 20) + ((kiB >> 19) & 1);
        modules.push_back(total);
        break;
    }
    return modules;
}

} // namespace sysinfo
