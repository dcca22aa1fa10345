#include "sysutil/systeminfo.h"

#include "sysutil/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <net/if_arp.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>
#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace sysutil {

bool isOlderThanWin8()
{
    return false;
}

bool isWow64()
{
    return false;
}

QString architectureName(const QString& machine)
{
    if (machine == QLatin1String("x86_64") || machine == QLatin1String("amd64"))
        return QStringLiteral("amd64");
    if (machine == QLatin1String("i386") || machine == QLatin1String("i486") || machine == QLatin1String("i586")
        || machine == QLatin1String("i686"))
        return QStringLiteral("x86");
    if (machine == QLatin1String("aarch64") || machine == QLatin1String("arm64"))
        return QStringLiteral("arm64");
    if (machine.startsWith(QLatin1String("arm")))
        return QStringLiteral("arm");
    return QString();
}

static QString majorMinor(const QString& release)
{
    // "6.1.0-27-amd64" -> "6" and "1"; anything unreadable leaves the numbers empty.
    const QStringList parts = release.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return QStringLiteral(".");
    auto leadingDigits = [](const QString& s) {
        int n = 0;
        while (n < s.size() && s.at(n).isDigit())
            ++n;
        return s.left(n);
    };
    return leadingDigits(parts.at(0)) + QLatin1Char('.') + leadingDigits(parts.at(1));
}

QString decorationFor(const QString& machine, const QString& kernelRelease)
{
    return QStringLiteral("Linux") + architectureName(machine) + QLatin1Char('.') + majorMinor(kernelRelease);
}

static utsname unameOrEmpty()
{
    utsname names{};
    if (uname(&names) != 0)
        names = utsname{};
    return names;
}

QString platformDecoration()
{
    static const QString text = [] {
        const utsname names = unameOrEmpty();
        return decorationFor(QString::fromLatin1(names.machine), QString::fromLatin1(names.release));
    }();
    return text;
}

QString osVersion()
{
    static const QString text = majorMinor(QString::fromLatin1(unameOrEmpty().release));
    return text;
}

std::uint32_t djb2(const QString& text)
{
    std::uint32_t hash = 5381;
    for (const QChar unit : text)
        hash = hash * 33 + unit.unicode();
    return hash;
}

std::uint16_t fold16(std::uint32_t value)
{
    return std::uint16_t(value + (value >> 16));
}

std::uint16_t addressChecksum(const QByteArray& hardwareAddress)
{
    std::uint16_t sum = 0;
    int i = 0;
    for (; i + 1 < hardwareAddress.size(); i += 2)
        sum = std::uint16_t(sum + (std::uint8_t(hardwareAddress[i]) | (std::uint8_t(hardwareAddress[i + 1]) << 8)));
    if (i < hardwareAddress.size())
        sum = std::uint16_t(sum + std::uint8_t(hardwareAddress[i]));
    return sum;
}

static std::uint16_t processorValue()
{
#if defined(__i386__) || defined(__x86_64__)
    unsigned int regs[4] = {};
    __cpuid(0, regs[0], regs[1], regs[2], regs[3]);
    std::uint32_t sum = 0;
    for (unsigned int r : regs)
        sum += r + (r >> 16);
    return std::uint16_t(sum);
#else
    return 0;
#endif
}

static std::vector<QByteArray> adapterAddresses()
{
    // The adapters with a hardware address, in interface index order, as the
    // adapter list of the original platform gives them (loopback left out).
    struct Adapter {
        int index;
        QByteArray address;
    };
    std::vector<Adapter> adapters;
    const QString netRoot = envPath("KORVANE_SYSFS_NET", QStringLiteral("/sys/class/net"));
    const QStringList names = QDir(netRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& name : names) {
        auto read = [&](const char* attribute) {
            QFile file(netRoot + QLatin1Char('/') + name + QLatin1Char('/') + QLatin1String(attribute));
            return file.open(QIODevice::ReadOnly) ? file.read(256).trimmed() : QByteArray();
        };
        if (read("type").toInt() == ARPHRD_LOOPBACK)
            continue;
        const QByteArray text = read("address");
        QByteArray address;
        for (const QByteArray& octet : text.split(':'))
            if (!octet.isEmpty())
                address.append(char(octet.toUInt(nullptr, 16)));
        if (address.isEmpty() || address.count('\0') == address.size())
            continue;
        adapters.push_back({read("ifindex").toInt(), address});
    }
    std::sort(adapters.begin(), adapters.end(), [](const Adapter& a, const Adapter& b) { return a.index < b.index; });
    std::vector<QByteArray> result;
    for (const Adapter& adapter : adapters)
        result.push_back(adapter.address);
    return result;
}

MachineParts readMachineParts()
{
    MachineParts parts;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0)
        parts.computerName = QString::fromLocal8Bit(host);
    parts.processorValue = processorValue();
    struct statfs info{};
    if (statfs("/", &info) == 0) {
        std::uint32_t serial = 0;
        static_assert(sizeof info.f_fsid >= sizeof serial, "fsid too small");
        std::memcpy(&serial, &info.f_fsid, sizeof serial);
        parts.volumeValue = fold16(serial);
    }
    parts.hardwareAddresses = adapterAddresses();
    return parts;
}

QString composeMachineIdentifier(const MachineParts& parts)
{
    int lo = 0;
    int hi = 0;
    QString text;
    if (parts.hardwareAddresses.empty()) {
        lo = hi = parts.computerName.size();
        text = parts.computerName + QString::number(parts.processorValue) + QString::number(parts.volumeValue);
    } else {
        const int first = addressChecksum(parts.hardwareAddresses[0]);
        const int second = parts.hardwareAddresses.size() > 1 ? addressChecksum(parts.hardwareAddresses[1]) : 0;
        lo = std::min(first, second);
        hi = std::max(first, second);
        text = parts.computerName + QString::number(parts.processorValue) + QString::number(parts.volumeValue)
            + QString::number(lo) + QString::number(hi);
    }
    return QStringLiteral("%1-%2-%3").arg(qint32(djb2(text))).arg(lo).arg(hi);
}

QString readMachineIdentifier()
{
    QFile file(machineIdFile());
    if (file.open(QIODevice::ReadOnly)) {
        const QString text = QString::fromLatin1(file.read(512)).trimmed();
        if (!text.isEmpty())
            return text;
    }
    return composeMachineIdentifier(readMachineParts());
}

QString machineIdentifier()
{
    static const QString id = readMachineIdentifier();
    return id;
}

QStringList runningExecutables()
{
    QStringList paths;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toInt(&numeric);
        if (!numeric)
            continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/") + entry + QStringLiteral("/exe"));
        if (!exe.isEmpty())
            paths << exe;
    }
    return paths;
}

bool isProcessRunning(const QString& executablePath)
{
    if (executablePath.isEmpty())
        return false;
    // The kernel names a process's executable by its real path; a path through
    // a symbolic link (/usr/bin/x -> /opt/x/x) is the same program.
    const QFileInfo info(executablePath);
    const QString canonical = info.canonicalFilePath();
    return runningExecutables().contains(canonical.isEmpty() ? info.absoluteFilePath() : canonical);
}

ScaledSize scaleSize(const QWidget* window, int width, int height)
{
    ScaledSize size{1.0f, width, height};
    const QScreen* screen = nullptr;
    if (window && window->windowHandle())
        screen = window->windowHandle()->screen();
    if (!screen && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return size;
    const double dpi = screen->logicalDotsPerInch();
    if (dpi <= 0)
        return size;
    size.scaleFactor = float(dpi / 96.0);
    size.width = int(qRound64(double(width) * dpi / 96.0));
    size.height = int(qRound64(double(height) * dpi / 96.0));
    return size;
}

QString packageName()
{
    static const QString name = [] {
        const QString value = QSettings().value(QStringLiteral("PackageName")).toString();
        return value.isEmpty() ? QStringLiteral("empty") : value.left(2048);
    }();
    return name;
}

}  // namespace sysutil
