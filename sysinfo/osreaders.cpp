// The operating system (os-release) and the processors (cpuinfo, cpufreq).

#include "sysinfo/systemquery.h"

#include "devicetree/hwdb.h"

#include <QHash>
#include <QRegularExpression>
#include <cmath>
#include <sys/utsname.h>

namespace sysinfo {

namespace {

constexpr qint64 kMaxOsReleaseBytes = 64 * 1024;
constexpr qint64 kMaxCpuinfoBytes = 8 * 1024 * 1024;
constexpr int kMaxProcessors = 8192;
constexpr int kMaxFrequencyReads = 256; // per package: one cpufreq file each
constexpr int kMaxValueChars = 256;

QString unquoteOsReleaseValue(const QString& raw)
{
    // Shell-style quoting as os-release allows: "..." with backslash escapes,
    // '...' literal, or a bare word.
    const QString v = raw.trimmed();
    if (v.size() >= 1 && v.at(0) == QLatin1Char('"')) {
        QString out;
        for (int i = 1; i < v.size(); ++i) {
            const QChar c = v.at(i);
            if (c == QLatin1Char('\\') && i + 1 < v.size()) {
                out.append(v.at(++i));
                continue;
            }
            if (c == QLatin1Char('"'))
                break;
            out.append(c);
        }
        return out;
    }
    if (v.size() >= 1 && v.at(0) == QLatin1Char('\'')) {
        const int close = v.indexOf(QLatin1Char('\''), 1);
        return close < 0 ? v.mid(1) : v.mid(1, close - 1);
    }
    return v;
}

QHash<QString, QString> parseOsRelease(const QByteArray& bytes)
{
    QHash<QString, QString> values;
    static const QRegularExpression key(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    for (const QByteArray& rawLine : bytes.left(int(kMaxOsReleaseBytes)).split('\n')) {
        const QString line = cleanText(rawLine, 4096);
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString name = line.left(eq).trimmed();
        if (!key.match(name).hasMatch() || values.contains(name))
            continue;
        values.insert(name, unquoteOsReleaseValue(line.mid(eq + 1)).left(kMaxValueChars).trimmed());
    }
    return values;
}

// One "key : value" block of /proc/cpuinfo.
using CpuBlock = QHash<QString, QString>;

std::vector<CpuBlock> parseCpuinfo(const QByteArray& bytes)
{
    std::vector<CpuBlock> blocks;
    CpuBlock current;
    for (const QByteArray& rawLine : bytes.split('\n')) {
        const QString line = cleanText(rawLine, 4096);
        if (line.isEmpty()) {
            if (!current.isEmpty()) {
                blocks.push_back(current);
                current.clear();
                if (int(blocks.size()) >= kMaxProcessors)
                    return blocks;
            }
            continue;
        }
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const QString name = line.left(colon).trimmed();
        if (!current.contains(name))
            current.insert(name, line.mid(colon + 1).simplified().left(kMaxValueChars));
    }
    if (!current.isEmpty())
        blocks.push_back(current);
    return blocks;
}

int boundedCount(const QString& text)
{
    return int(std::min<quint64>(parseNumber(text), quint64(kMaxProcessors) * 64));
}

QString armImplementer(unsigned code)
{
    switch (code) {
    case 0x41:
        return QStringLiteral("ARM");
    case 0x42:
        return QStringLiteral("Broadcom");
    case 0x43:
        return QStringLiteral("Cavium");
    case 0x46:
        return QStringLiteral("Fujitsu");
    case 0x48:
        return QStringLiteral("HiSilicon");
    case 0x4E:
        return QStringLiteral("NVIDIA");
    case 0x51:
        return QStringLiteral("Qualcomm");
    case 0x53:
        return QStringLiteral("Samsung");
    case 0x61:
        return QStringLiteral("Apple");
    case 0x69:
        return QStringLiteral("Intel");
    case 0xC0:
        return QStringLiteral("Ampere");
    default:
        return {};
    }
}

QString armCoreName(unsigned part)
{
    static const QHash<unsigned, QString> parts = {
        { 0xb76, QStringLiteral("ARM1176") },
        { 0xc07, QStringLiteral("Cortex-A7") },
        { 0xc09, QStringLiteral("Cortex-A9") },
        { 0xc0f, QStringLiteral("Cortex-A15") },
        { 0xd03, QStringLiteral("Cortex-A53") },
        { 0xd04, QStringLiteral("Cortex-A35") },
        { 0xd05, QStringLiteral("Cortex-A55") },
        { 0xd07, QStringLiteral("Cortex-A57") },
        { 0xd08, QStringLiteral("Cortex-A72") },
        { 0xd09, QStringLiteral("Cortex-A73") },
        { 0xd0a, QStringLiteral("Cortex-A75") },
        { 0xd0b, QStringLiteral("Cortex-A76") },
        { 0xd0c, QStringLiteral("Neoverse-N1") },
        { 0xd0d, QStringLiteral("Cortex-A77") },
        { 0xd40, QStringLiteral("Neoverse-V1") },
        { 0xd41, QStringLiteral("Cortex-A78") },
        { 0xd44, QStringLiteral("Cortex-X1") },
        { 0xd46, QStringLiteral("Cortex-A510") },
        { 0xd47, QStringLiteral("Cortex-A710") },
        { 0xd48, QStringLiteral("Cortex-X2") },
        { 0xd49, QStringLiteral("Neoverse-N2") },
        { 0xd4b, QStringLiteral("Cortex-A78C") },
    };
    return parts.value(part);
}

// The highest cpufreq ceiling among the given logical processors, in MHz; 0
// when cpufreq is absent.
int maxFrequencyMHz(const SourceRoot& root, const QStringList& processorNumbers)
{
    quint64 best = 0;
    int reads = 0;
    for (const QString& n : processorNumbers) {
        if (++reads > kMaxFrequencyReads)
            break;
        static const QRegularExpression number(QStringLiteral("^\\d{1,5}$"));
        if (!number.match(n).hasMatch())
            continue;
        const quint64 kHz
            = parseNumber(root.text(QStringLiteral("sys/devices/system/cpu/cpu%1/cpufreq/cpuinfo_max_freq").arg(n)));
        best = std::max(best, kHz);
    }
    return int(std::min<quint64>(best / 1000, 1000000));
}

int megahertzFromText(const QString& text)
{
    bool ok = false;
    const double mhz = text.toDouble(&ok);
    return ok && std::isfinite(mhz) && mhz > 0 && mhz < 1000000 ? int(std::lround(mhz)) : 0;
}

std::vector<ProcessorInfo> x86Packages(const SourceRoot& root, const std::vector<CpuBlock>& blocks)
{
    // Logical processors grouped by physical package, in order of appearance.
    QStringList packageOrder;
    QHash<QString, std::vector<const CpuBlock*>> packages;
    for (const CpuBlock& block : blocks) {
        const QString id = block.value(QStringLiteral("physical id"), QStringLiteral("0"));
        if (!packages.contains(id))
            packageOrder.append(id);
        packages[id].push_back(&block);
    }
    std::vector<ProcessorInfo> result;
    for (const QString& id : packageOrder) {
        const std::vector<const CpuBlock*>& members = packages[id];
        const CpuBlock& first = *members.front();
        ProcessorInfo cpu;
        cpu.Name = first.value(QStringLiteral("model name"));
        cpu.Manufacturer = first.value(QStringLiteral("vendor_id"));
        const QString family = first.value(QStringLiteral("cpu family"));
        if (!family.isEmpty()) {
            const QString arch = cpu.Manufacturer == QLatin1String("GenuineIntel") ? QStringLiteral("Intel64")
                : cpu.Manufacturer == QLatin1String("AuthenticAMD")                ? QStringLiteral("AMD64")
                                                                                   : QStringLiteral("x86");
            cpu.Description
                = QStringLiteral("%1 Family %2 Model %3 Stepping %4")
                      .arg(arch, family, first.value(QStringLiteral("model")), first.value(QStringLiteral("stepping")));
        }
        QStringList coreIds;
        QStringList processorNumbers;
        for (const CpuBlock* member : members) {
            const QString core = member->value(QStringLiteral("core id"));
            if (!core.isEmpty() && !coreIds.contains(core) && coreIds.size() < kMaxProcessors)
                coreIds.append(core);
            processorNumbers.append(member->value(QStringLiteral("processor")));
        }
        cpu.NumberOfCores = first.contains(QStringLiteral("cpu cores"))
            ? boundedCount(first.value(QStringLiteral("cpu cores")))
            : !coreIds.isEmpty() ? int(coreIds.size())
                                 : int(members.size());
        cpu.ThreadCount = first.contains(QStringLiteral("siblings"))
            ? boundedCount(first.value(QStringLiteral("siblings")))
            : int(members.size());
        cpu.ProcessId = QStringLiteral("CPU") + id;
        int mhz = maxFrequencyMHz(root, processorNumbers);
        if (mhz == 0)
            mhz = megahertzFromText(first.value(QStringLiteral("cpu MHz")));
        cpu.MaxClockSpeed = mhz / 1000.0;
        result.push_back(cpu);
    }
    return result;
}

ProcessorInfo otherProcessor(const SourceRoot& root, const std::vector<CpuBlock>& blocks)
{
    // ARM and the rest describe cores, not packages: one record for the machine.
    ProcessorInfo cpu;
    QStringList names;
    QStringList processorNumbers;
    int logical = 0;
    for (const CpuBlock& block : blocks) {
        if (!block.contains(QStringLiteral("processor")) && !block.contains(QStringLiteral("CPU part")))
            continue; // machine-wide trailer lines ("Hardware", "Serial", "Model")
        ++logical;
        processorNumbers.append(block.value(QStringLiteral("processor")));
        QString name;
        for (const char* key : { "model name", "cpu model", "uarch", "cpu" }) {
            name = block.value(QLatin1String(key));
            if (!name.isEmpty())
                break;
        }
        const unsigned implementer = unsigned(parseNumber(block.value(QStringLiteral("CPU implementer")), 0));
        if (cpu.Manufacturer.isEmpty())
            cpu.Manufacturer = armImplementer(implementer);
        if (name.isEmpty() && block.contains(QStringLiteral("CPU part"))) {
            const unsigned part = unsigned(parseNumber(block.value(QStringLiteral("CPU part")), 0));
            const QString core = implementer == 0x41 ? armCoreName(part) : QString();
            const QString maker = armImplementer(implementer);
            if (!core.isEmpty())
                name = QStringLiteral("ARM ") + core;
            else
                name = (maker.isEmpty() ? QStringLiteral("ARM") : maker) + QStringLiteral(" CPU part 0x")
                    + QString::number(part, 16);
        }
        if (!name.isEmpty() && !names.contains(name) && names.size() < 8)
            names.append(name);
        if (cpu.Description.isEmpty() && block.contains(QStringLiteral("CPU architecture")))
            cpu.Description = QStringLiteral("ARMv") + block.value(QStringLiteral("CPU architecture"));
    }
    cpu.Name = names.join(QStringLiteral(" + "));
    cpu.NumberOfCores = logical;
    cpu.ThreadCount = logical;
    cpu.ProcessId = QStringLiteral("CPU0");
    cpu.MaxClockSpeed = maxFrequencyMHz(root, processorNumbers) / 1000.0;
    return cpu;
}

} // namespace

int operatingSystemBits()
{
    if (sizeof(void*) == 8)
        return 64;
    utsname names {};
    if (uname(&names) != 0)
        return 32;
    const QString machine = QString::fromLatin1(names.machine);
    return machine.contains(QLatin1String("64")) || machine == QLatin1String("s390x") ? 64 : 32;
}

OperatingSystemInfo SystemQuery::getOperatingSystem() const
{
    OperatingSystemInfo os;
    SourceRead file = m_root.read(QStringLiteral("etc/os-release"), kMaxOsReleaseBytes);
    if (file.status == SourceStatus::Absent)
        file = m_root.read(QStringLiteral("usr/lib/os-release"), kMaxOsReleaseBytes);
    SourceRoot::requireReadable(file.status, file.error);
    if (file.status != SourceStatus::Ok)
        return os;
    const QHash<QString, QString> values = parseOsRelease(file.bytes);
    os.Caption = values.value(QStringLiteral("PRETTY_NAME"));
    if (os.Caption.isEmpty()) {
        const QString name = values.value(QStringLiteral("NAME"), QStringLiteral("Linux"));
        const QString version = values.value(QStringLiteral("VERSION"));
        os.Caption = version.isEmpty() ? name : name + QLatin1Char(' ') + version;
    }
    os.Version = values.value(QStringLiteral("VERSION_ID"));
    os.BuildNumber = values.value(QStringLiteral("BUILD_ID"));
    os.OSArchitecture = QStringLiteral("%1-bit").arg(operatingSystemBits());
    return os;
}

std::vector<ProcessorInfo> SystemQuery::getProcessors() const
{
    const SourceRead file = m_root.read(QStringLiteral("proc/cpuinfo"), kMaxCpuinfoBytes);
    SourceRoot::requireReadable(file.status, file.error);
    if (file.status != SourceStatus::Ok)
        return {};
    const std::vector<CpuBlock> blocks = parseCpuinfo(file.bytes);
    if (blocks.empty())
        return {};
    const bool x86 = std::any_of(blocks.begin(), blocks.end(), [](const CpuBlock& b) {
        return b.contains(QStringLiteral("vendor_id")) || b.contains(QStringLiteral("cpu family"));
    });
    if (x86)
        return x86Packages(m_root, blocks);
    ProcessorInfo cpu = otherProcessor(m_root, blocks);
    if (cpu.ThreadCount == 0)
        return {};
    return { cpu };
}

} // namespace sysinfo
