// The summary the page receives for "scan", on fake machines and on this one.

#include "fixtureroot.h"
#include "support/testsupport.h"

#include "sysinfo/hardwaresummary.h"
#include "sysinfo/systemquery.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using namespace sysinfo;
using namespace sysinfotest;

namespace {

const QStringList kAllKeys = { "audioCard", "baseboard", "bit", "cpu", "diskDrive", "host", "monitor", "networkAdapter",
    "physicalMemory", "system", "videoController" };

QJsonObject parse(const QString& text)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
    EXPECT_TRUE(doc.isObject());
    return doc.object();
}

// A desktop: board and two DIMMs in the firmware table, an NVMe disk, Intel
// graphics with a Dell monitor, HD audio, a Docker bridge before the wired NIC.
void buildDesktop(const FixtureRoot& root)
{
    root.dataFile("etc/os-release", "os-release/debian");
    root.dataFile("proc/cpuinfo", "cpuinfo/x86-desktop");
    root.dataFile("proc/meminfo", "meminfo");
    root.file("sys/firmware/dmi/tables/DMI",
        smbiosBaseBoard("Board Maker", "B450 Board", "1.0", "BSN") + smbiosMemoryDevice(8192, 2400, "M", "S-1")
            + smbiosMemoryDevice(16384, 3200, "X", "S-2") + smbiosEndOfTable());
    const QString gpu = root.pciDevice("0000:00:02.0", 0x8086, 0x3e92, 0x030000, "i915");
    root.drmConnector("card0", "HDMI-A-1", "connected", edidBlock("DEL", 0xA0B1, "DELL U2415"), gpu);
    root.pciDevice("0000:00:1f.3", 0x8086, 0xa348, 0x040300, "snd_hda_intel");
    const QString nvme = root.pciDevice("0000:01:00.0", 0x144d, 0xa808, 0x010802, "nvme") + "/nvme/nvme0";
    root.file(nvme + "/model", "Samsung SSD 970 EVO 1TB\n");
    root.blockDevice("nvme0n1", "1953525168", nvme);
    root.blockDevice("loop0", "1024", QString());
    root.netInterface("lo", 1, 772, "00:00:00:00:00:00");
    root.netInterface("docker0", 2, 1, "02:42:ac:11:00:01", QString(), "bridge");
    root.netInterface(
        "eno1", 3, 1, "a8:a1:59:12:34:56", root.pciDevice("0000:00:1f.6", 0x8086, 0x15bc, 0x020000, "e1000e"));
}

} // namespace

TEST(SummaryPieces, MemoryFollowsTheSizeMakerSpeedPattern)
{
    struct Case {
        std::uint64_t gib;
        const char* maker;
        int speed;
        const char* expected;
    };
    const Case cases[] = {
        { 8, "M", 2400, "8GB(M 2400MHz)" },
        { 16, "", 0, "16GB( 0MHz)" },
        { 32, "%3 Corp %1", 3200, "32GB(%3 Corp %1 3200MHz)" }, // maker text is never a pattern
        { 0, "Samsung", 2133, "0GB(Samsung 2133MHz)" },
    };
    for (const Case& c : cases) {
        PhysicalMemoryInfo module;
        module.Capacity = c.gib;
        module.Manufacturer = QString::fromUtf8(c.maker);
        module.Speed = c.speed;
        EXPECT_EQ(memoryText(module), QString::fromUtf8(c.expected));
    }
}

TEST(SummaryPieces, TheFirstAdapterWithoutAVirtualMarkerIsChosen)
{
    auto adapter = [](const char* name, const char* description) {
        NetworkAdapterInfo a;
        a.Name = QString::fromUtf8(name);
        a.Description = QString::fromUtf8(description);
        return a;
    };
    struct Case {
        std::vector<NetworkAdapterInfo> adapters;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        { {}, std::nullopt },
        { { adapter("v", "VMware Virtual Ethernet Adapter for VMnet8"), adapter("b", "VirtualBox Host-Only"),
              adapter("br", "Virtual network interface (bridge)") },
            std::nullopt },
        { { adapter("vm", "VMware VMXNET3 Ethernet Controller"), adapter("eth", "Intel Ethernet I219-V"),
              adapter("late", "Realtek") },
            QString("eth") },
        { { adapter("lower", "virtual in lower case"), adapter("x", "Virtual") }, QString("lower") },
    };
    for (const Case& c : cases)
        EXPECT_EQ(firstPhysicalAdapter(c.adapters), c.expected);
}

TEST(SummaryPieces, EmptyPartsGiveTheirFallbacks)
{
    HardwareFacts facts;
    QJsonObject summary = summaryObject(facts, "pc", 64);
    EXPECT_EQ(summary.value("system").toString(), "");
    EXPECT_EQ(summary.value("baseboard").toString(), " ");
    EXPECT_EQ(summary.value("bit").toInt(), 64);
    for (const char* key :
        { "cpu", "videoController", "physicalMemory", "diskDrive", "monitor", "audioCard", "networkAdapter" })
        EXPECT_EQ(summary.value(key).toString(), "unknown") << key;

    NetworkAdapterInfo bridge;
    bridge.Name = "virbr0";
    bridge.Description = "Virtual network interface (bridge)";
    facts.networkAdapters = { bridge };
    ProcessorInfo unnamed;
    facts.processors = { unnamed };
    summary = summaryObject(facts, "pc", 32);
    EXPECT_FALSE(summary.contains("networkAdapter"));
    EXPECT_EQ(summary.value("cpu").toString(), "unknown");
    EXPECT_EQ(summary.value("bit").toInt(), 32);
}

TEST(Summary, DescribesTheFixtureDesktop)
{
    FixtureRoot root;
    buildDesktop(root);
    const QJsonObject summary = parse(hardwareSummary(SystemQuery(root.path(), devicetree::HardwareDatabase::empty())));
    const QJsonObject expected {
        { "host", computerName() },
        { "bit", operatingSystemBits() },
        { "system", "Debian GNU/Linux 12 (bookworm)" },
        { "cpu", "Intel(R) Core(TM) i5-7500 CPU @ 3.40GHz" },
        { "baseboard", "Board Maker B450 Board" },
        { "videoController", "PCI device 8086:3E92" },
        { "physicalMemory", "8GB(M 2400MHz)" },
        { "diskDrive", "Samsung SSD 970 EVO 1TB" },
        { "monitor", "DELL U2415" },
        { "audioCard", "PCI device 8086:A348" },
        { "networkAdapter", "e1000e (eno1)" },
    };
    EXPECT_EQ(summary, expected) << QJsonDocument(summary).toJson().toStdString();
}

TEST(Summary, AnEmptyMachineStillNamesHostAndWordSize)
{
    FixtureRoot root;
    const QString text = hardwareSummary(SystemQuery(root.path(), devicetree::HardwareDatabase::empty()));
    const QString expected = QStringLiteral("{\n"
                                            "    \"audioCard\": \"unknown\",\n"
                                            "    \"baseboard\": \" \",\n"
                                            "    \"bit\": %1,\n"
                                            "    \"cpu\": \"unknown\",\n"
                                            "    \"diskDrive\": \"unknown\",\n"
                                            "    \"host\": \"%2\",\n"
                                            "    \"monitor\": \"unknown\",\n"
                                            "    \"networkAdapter\": \"unknown\",\n"
                                            "    \"physicalMemory\": \"unknown\",\n"
                                            "    \"system\": \"\",\n"
                                            "    \"videoController\": \"unknown\"\n"
                                            "}\n")
                                 .arg(operatingSystemBits())
                                 .arg(computerName());
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(computerName().isEmpty());
}

TEST(Summary, OnlyVirtualAdaptersLeaveOutTheAdapterKey)
{
    FixtureRoot root;
    root.netInterface("lo", 1, 772, "00:00:00:00:00:00");
    root.netInterface("virbr0", 2, 1, "52:54:00:12:34:56", QString(), "bridge");
    root.netInterface("veth1a2b", 3, 1, "6a:11:22:33:44:55");
    const QString vmxnet = root.pciDevice("0000:0b:00.0", 0x15ad, 0x07b0, 0x020000, "vmxnet3");
    root.netInterface("ens192", 4, 1, "00:50:56:aa:bb:cc", vmxnet);
    FakeHardwareDatabase names;
    names.add("pci:v000015AD*", "ID_VENDOR_FROM_DATABASE", "VMware");
    names.add("pci:v000015ADd000007B0*", "ID_MODEL_FROM_DATABASE", "VMXNET3 Ethernet Controller");
    const QJsonObject summary = parse(hardwareSummary(SystemQuery(root.path(), names)));
    EXPECT_FALSE(summary.contains("networkAdapter"));
    EXPECT_EQ(summary.size(), kAllKeys.size() - 1);
}

TEST(Summary, ABrokenSourceCostsOnlyItsOwnKey)
{
    FixtureRoot root;
    buildDesktop(root);
    QFile::remove(root.path() + "/etc/os-release");
    root.folder("etc/os-release");
    QDir(root.path() + "/sys/block").removeRecursively();
    root.file("sys/block", "junk");
    testing::internal::CaptureStdout();
    const QJsonObject summary = parse(hardwareSummary(SystemQuery(root.path(), devicetree::HardwareDatabase::empty())));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Query for xxx failed. Error code = 0x8007001f\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Query for xxx failed. Error code = 0x80070003\n"), std::string::npos) << printed;
    EXPECT_EQ(summary.value("system").toString(), "");
    EXPECT_EQ(summary.value("diskDrive").toString(), "unknown");
    // Readers after the broken ones still answer.
    EXPECT_EQ(summary.value("monitor").toString(), "DELL U2415");
    EXPECT_EQ(summary.value("networkAdapter").toString(), "e1000e (eno1)");
    EXPECT_EQ(summary.value("physicalMemory").toString(), "8GB(M 2400MHz)");
}

TEST(Summary, JunkSourcesNeverStopTheSummary)
{
    FixtureRoot root;
    QRandomGenerator random(77);
    auto junk = [&](int size) {
        QByteArray bytes(size, '\0');
        for (char& c : bytes)
            c = char(random.bounded(256));
        return bytes;
    };
    root.file("etc/os-release", junk(3000));
    root.file("proc/cpuinfo", "model name\t: " + junk(600) + "\nvendor_id: \xff\xfe\n\n");
    root.file("proc/meminfo", "MemTotal: 18446744073709551615 kB\n");
    root.file("sys/firmware/dmi/tables/DMI", junk(5000));
    root.file("sys/class/dmi/id/board_vendor", junk(100000));
    const QString gpu = root.pciDevice("0000:00:02.0", 0x8086, 0x3e92, 0x030000);
    root.file(gpu + "/class", junk(50));
    root.drmConnector("card0", "HDMI-A-1", "connected", junk(128), gpu);
    root.drmConnector("card0", "DP-1", "connected", edidBlock("DEL", 1, junk(13)), gpu);
    const QString disk = root.blockDevice("sdz", "18446744073709551615", gpu);
    root.file(disk + "/device/model", junk(300));
    root.netInterface("eth0", 2, 1, QString::fromLatin1(junk(40).toHex()), gpu);
    root.link("sys/class/net/loop", "sys/class/net/loop"); // a link to itself
    root.link("sys/class/net/escape", "../../../../../../etc"); // out of the root
    ASSERT_EQ(mkfifo(QFile::encodeName(root.path() + "/proc/cpuinfo.fifo").constData(), 0600), 0);
    QFile::remove(root.path() + "/proc/cpuinfo");
    QFile::rename(root.path() + "/proc/cpuinfo.fifo", root.path() + "/proc/cpuinfo"); // would block a plain read

    testing::internal::CaptureStdout();
    const QJsonObject summary = parse(hardwareSummary(SystemQuery(root.path(), devicetree::HardwareDatabase::empty())));
    testing::internal::GetCapturedStdout();
    for (const QString& key : kAllKeys)
        EXPECT_TRUE(summary.contains(key)) << key.toStdString();
    EXPECT_EQ(summary.value("cpu").toString(), "unknown");
    EXPECT_LE(summary.value("baseboard").toString().size(), 600);
    EXPECT_EQ(summary.value("diskDrive").toString().size() > 0, true);
    EXPECT_TRUE(summary.value("physicalMemory").toString().endsWith("GB( 0MHz)"));
}

TEST(Summary, TheJobDescribesTheConfiguredRootFromAnyThread)
{
    FixtureRoot root;
    buildDesktop(root);
    testsupport::ScopedEnv env("KORVANE_SYSINFO_ROOT", root.path().toUtf8());
    std::vector<std::wstring> results(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, i] { results[i] = hardwareSummaryJob(0, 0); });
    for (std::thread& t : threads)
        t.join();
    for (const std::wstring& result : results) {
        EXPECT_EQ(result, results.front());
        const QJsonObject summary = parse(QString::fromStdWString(result));
        // Keys whose text does not depend on the machine's hardware database.
        EXPECT_EQ(summary.value("cpu").toString(), "Intel(R) Core(TM) i5-7500 CPU @ 3.40GHz");
        EXPECT_EQ(summary.value("physicalMemory").toString(), "8GB(M 2400MHz)");
        EXPECT_EQ(summary.value("monitor").toString(), "DELL U2415");
        EXPECT_EQ(summary.value("host").toString(), computerName());
    }
}

// What this machine's own files say, read plainly here to check the summary.
static QString firstValue(const QString& path, const QString& key, QChar separator)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const int at = line.indexOf(separator);
        if (at > 0 && line.left(at).trimmed() == key) {
            QString value = line.mid(at + 1).trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

static QString attribute(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

TEST(Summary, DescribesThisMachine)
{
    testsupport::ScopedEnv env("KORVANE_SYSINFO_ROOT", "");
    const QString text = QString::fromStdWString(hardwareSummaryJob(0, 0));
    const QJsonObject summary = parse(text);
    for (const QString& key : kAllKeys) {
        if (key != "networkAdapter") {
            EXPECT_TRUE(summary.contains(key)) << key.toStdString();
        }
    }
    EXPECT_EQ(summary.value("host").toString(), computerName());
    const bool wide = sizeof(void*) == 8 || QSysInfo::currentCpuArchitecture().contains("64");
    EXPECT_EQ(summary.value("bit").toInt(), wide ? 64 : 32);

    const QString pretty = firstValue("/etc/os-release", "PRETTY_NAME", '=');
    if (!pretty.isEmpty() && !pretty.contains('\\') && !pretty.contains('$')) {
        EXPECT_EQ(summary.value("system").toString(), pretty);
    }
    const QString model = firstValue("/proc/cpuinfo", "model name", ':');
    if (!model.isEmpty()) {
        EXPECT_EQ(summary.value("cpu").toString().simplified(), model.simplified());
    }
    const QString vendor = attribute("/sys/class/dmi/id/board_vendor");
    const QString board = attribute("/sys/class/dmi/id/board_name");
    if (!vendor.isEmpty() && !board.isEmpty()) {
        EXPECT_EQ(summary.value("baseboard").toString(), vendor + " " + board);
    }

    // Memory: the modules where udev or the firmware table tell (their sum
    // is at least the kernel's total), else the kernel's total in GiB.
    const QString memory = summary.value("physicalMemory").toString();
    const quint64 totalKiB = firstValue("/proc/meminfo", "MemTotal", ':').section(' ', 0, 0).toULongLong();
    ASSERT_GT(totalKiB, 0u);
    const bool modulesKnown = QFileInfo(QStringLiteral("/run/udev/data/+dmi:id")).isReadable()
        || QFileInfo(QStringLiteral("/sys/firmware/dmi/tables/DMI")).isReadable();
    const QRegularExpression pattern(QStringLiteral("^(\\d+)GB\\((.*) (\\d+)MHz\\)$"));
    const QRegularExpressionMatch match = pattern.match(memory);
    ASSERT_TRUE(match.hasMatch()) << memory.toStdString();
    const quint64 roundedGiB = (totalKiB >> 20) + ((totalKiB >> 19) & 1);
    if (!modulesKnown) {
        EXPECT_EQ(memory, QStringLiteral("%1GB( 0MHz)").arg(roundedGiB));
    } else {
        EXPECT_GE(match.captured(1).toULongLong(), 1u) << memory.toStdString();
    }
    testsupport::writeFile(testsupport::outputDir() + "/sysinfo-this-machine.json", text.toUtf8());
}
