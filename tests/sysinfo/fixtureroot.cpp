#include "fixtureroot.h"

#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sysinfotest {

namespace {

QByteArray hexId(unsigned value, int digits)
{
    return "0x" + QByteArray::number(value, 16).rightJustified(digits, '0');
}

} // namespace

FixtureRoot::FixtureRoot() = default;

void FixtureRoot::file(const QString& relative, const QByteArray& bytes) const
{
    if (!testsupport::writeFile(m_dir.filePath(relative), bytes))
        qFatal("cannot write fixture file %s", qPrintable(relative));
}

void FixtureRoot::dataFile(const QString& relative, const QString& dataName) const
{
    file(relative, testsupport::readFile(testsupport::sourceDir() + QStringLiteral("/tests/data/sysinfo/") + dataName));
}

void FixtureRoot::folder(const QString& relative) const
{
    QDir().mkpath(m_dir.filePath(relative));
}

void FixtureRoot::link(const QString& relative, const QString& target) const
{
    const QString at = m_dir.filePath(relative);
    QDir().mkpath(QFileInfo(at).absolutePath());
    const QString relativeTarget = QDir(QFileInfo(at).absolutePath()).relativeFilePath(m_dir.filePath(target));
    QFile::remove(at);
    if (!QFile::link(relativeTarget, at))
        qFatal("cannot link %s", qPrintable(relative));
}

QString FixtureRoot::pciDevice(
    const QString& address, unsigned vendor, unsigned device, unsigned classCode, const QString& driver) const
{
    const QString dir = QStringLiteral("sys/devices/pci0000:00/") + address;
    file(dir + QStringLiteral("/vendor"), hexId(vendor, 4) + "\n");
    file(dir + QStringLiteral("/device"), hexId(device, 4) + "\n");
    file(dir + QStringLiteral("/class"), hexId(classCode, 6) + "\n");
    file(dir + QStringLiteral("/subsystem_vendor"), hexId(vendor, 4) + "\n");
    file(dir + QStringLiteral("/subsystem_device"), "0x0001\n");
    file(dir + QStringLiteral("/revision"), "0x02\n");
    if (!driver.isEmpty()) {
        folder(QStringLiteral("sys/bus/pci/drivers/") + driver);
        link(dir + QStringLiteral("/driver"), QStringLiteral("sys/bus/pci/drivers/") + driver);
    }
    link(QStringLiteral("sys/bus/pci/devices/") + address, dir);
    return dir;
}

void FixtureRoot::netInterface(const QString& name, int ifindex, unsigned linkType, const QString& mac,
    const QString& parentDevice, const QString& devtype) const
{
    const QString dir = (parentDevice.isEmpty() ? QStringLiteral("sys/devices/virtual") : parentDevice)
        + QStringLiteral("/net/") + name;
    file(dir + QStringLiteral("/ifindex"), QByteArray::number(ifindex) + "\n");
    file(dir + QStringLiteral("/type"), QByteArray::number(linkType) + "\n");
    file(dir + QStringLiteral("/address"), mac.toUtf8() + "\n");
    file(dir + QStringLiteral("/uevent"),
        "INTERFACE=" + name.toUtf8() + "\n"
            + (devtype.isEmpty() ? QByteArray() : "DEVTYPE=" + devtype.toUtf8() + "\n"));
    if (!parentDevice.isEmpty())
        link(dir + QStringLiteral("/device"), parentDevice);
    link(QStringLiteral("sys/class/net/") + name, dir);
}

QString FixtureRoot::blockDevice(const QString& name, const QString& sectors, const QString& parentDevice) const
{
    const QString dir = (parentDevice.isEmpty() ? QStringLiteral("sys/devices/virtual") : parentDevice)
        + QStringLiteral("/block/") + name;
    file(dir + QStringLiteral("/size"), sectors.toUtf8() + "\n");
    if (!parentDevice.isEmpty())
        link(dir + QStringLiteral("/device"), parentDevice);
    link(QStringLiteral("sys/block/") + name, dir);
    return dir;
}

void FixtureRoot::drmConnector(const QString& card, const QString& connector, const QString& status,
    const QByteArray& edid, const QString& parentDevice) const
{
    const QString cardDir = parentDevice + QStringLiteral("/drm/") + card;
    link(cardDir + QStringLiteral("/device"), parentDevice);
    link(QStringLiteral("sys/class/drm/") + card, cardDir);
    const QString name = card + QLatin1Char('-') + connector;
    const QString dir = cardDir + QLatin1Char('/') + name;
    file(dir + QStringLiteral("/status"), status.toUtf8() + "\n");
    file(dir + QStringLiteral("/edid"), edid);
    link(QStringLiteral("sys/class/drm/") + name, dir);
}

QByteArray smbiosStructure(
    std::uint8_t type, std::uint16_t handle, const QByteArray& fields, const QList<QByteArray>& strings)
{
    QByteArray s;
    s.append(char(type));
    s.append(char(4 + fields.size()));
    s.append(char(handle & 0xFF));
    s.append(char(handle >> 8));
    s.append(fields);
    for (const QByteArray& text : strings)
        s.append(text).append('\0');
    if (strings.isEmpty())
        s.append('\0');
    s.append('\0');
    return s;
}

QByteArray smbiosBaseBoard(
    const QByteArray& maker, const QByteArray& product, const QByteArray& version, const QByteArray& serial)
{
    // Manufacturer, product, version, serial, asset tag (none), feature flags.
    const QByteArray fields = QByteArray::fromHex("0102030400"
                                                  "01");
    return smbiosStructure(2, 0x0200, fields, { maker, product, version, serial });
}

QByteArray smbiosMemoryDevice(std::uint16_t sizeWord, std::uint16_t speed, const QByteArray& maker,
    const QByteArray& serial, std::uint32_t extendedSize)
{
    // The SMBIOS 2.8 layout: 0x28 bytes of formatted area.
    QByteArray fields(0x28 - 4, '\0');
    auto putWord = [&](int offset, std::uint16_t v) {
        fields[offset - 4] = char(v & 0xFF);
        fields[offset - 3] = char(v >> 8);
    };
    putWord(0x04, 0x1000); // array handle
    putWord(0x06, 0xFFFE); // no error information
    putWord(0x08, 64);
    putWord(0x0A, 64);
    putWord(0x0C, sizeWord);
    fields[0x0E - 4] = 0x09; // DIMM
    fields[0x10 - 4] = 1; // device locator: string 1
    fields[0x11 - 4] = 2; // bank locator: string 2
    fields[0x12 - 4] = 0x1A; // DDR4
    putWord(0x15, speed);
    // Absent strings are number 0, never an empty string in the set.
    QList<QByteArray> strings = { "DIMM_A1", "BANK 0" };
    auto addString = [&](int offset, const QByteArray& text) {
        if (text.isEmpty())
            return;
        strings.append(text);
        fields[offset - 4] = char(strings.size());
    };
    addString(0x17, maker);
    addString(0x18, serial);
    addString(0x1A, "PART-1");
    fields[0x1C - 4] = char(extendedSize & 0xFF);
    fields[0x1D - 4] = char((extendedSize >> 8) & 0xFF);
    fields[0x1E - 4] = char((extendedSize >> 16) & 0xFF);
    fields[0x1F - 4] = char((extendedSize >> 24) & 0xFF);
    putWord(0x20, speed);
    return smbiosStructure(17, 0x1100, fields, strings);
}

QByteArray smbiosEndOfTable()
{
    return smbiosStructure(127, 0xFEFF, QByteArray(), {});
}

QByteArray edidBlock(const char manufacturer[3], std::uint16_t productCode, const QByteArray& name, bool fixChecksum)
{
    QByteArray b(128, '\0');
    const unsigned char header[8] = { 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00 };
    for (int i = 0; i < 8; ++i)
        b[i] = char(header[i]);
    const unsigned id = unsigned(manufacturer[0] - 'A' + 1) << 10 | unsigned(manufacturer[1] - 'A' + 1) << 5
        | unsigned(manufacturer[2] - 'A' + 1);
    b[8] = char(id >> 8);
    b[9] = char(id & 0xFF);
    b[10] = char(productCode & 0xFF);
    b[11] = char(productCode >> 8);
    b[18] = 1;
    b[19] = 4;
    // First descriptor: a detailed timing (non-zero clock); second: the name;
    // third: a serial number.
    b[54] = 0x02;
    b[55] = 0x3A;
    auto text = [&](int at, unsigned char tag, const QByteArray& value) {
        b[at + 3] = char(tag);
        QByteArray padded = value.left(13);
        if (padded.size() < 13)
            padded.append('\n');
        while (padded.size() < 13)
            padded.append(' ');
        for (int i = 0; i < 13; ++i)
            b[at + 5 + i] = padded[i];
    };
    if (!name.isNull())
        text(72, 0xFC, name);
    text(90, 0xFF, "SN1234");
    if (fixChecksum) {
        unsigned sum = 0;
        for (int i = 0; i < 127; ++i)
            sum += std::uint8_t(b[i]);
        b[127] = char((256 - (sum & 0xFF)) & 0xFF);
    }
    return b;
}

} // namespace sysinfotest
