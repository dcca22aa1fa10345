// Each reader on fake machines built from checked-in files and generated blobs.

#include "fixtureroot.h"

#include "sysinfo/systemquery.h"
#include "sysinfo/wmicexception.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace sysinfo;
using namespace sysinfotest;

namespace {

const devicetree::HardwareDatabase& noNames()
{
    return devicetree::HardwareDatabase::empty();
}

} // namespace

TEST(OperatingSystemReader, TakesTheCaptionVersionAndBuildFromOsRelease)
{
    struct Case {
        const char* data;
        const char* caption;
        const char* version;
        const char* build;
    };
    const Case cases[] = {
        { "debian", "Debian GNU/Linux 12 (bookworm)", "12", "" },
        { "arch", "Arch Linux", "", "rolling" },
        { "fedora-without-pretty-name", "Fedora Linux 39 (Workstation Edition)", "39", "" },
        { "quoted", "Say \"hi\" to $HOME \\ now", "7 \"seven\"", "2024.1" },
    };
    for (const Case& c : cases) {
        FixtureRoot root;
        root.dataFile("etc/os-release", QStringLiteral("os-release/") + c.data);
        const OperatingSystemInfo os = SystemQuery(root.path(), noNames()).getOperatingSystem();
        EXPECT_EQ(os.Caption, QString::fromUtf8(c.caption)) << c.data;
        EXPECT_EQ(os.Version, QString::fromUtf8(c.version)) << c.data;
        EXPECT_EQ(os.BuildNumber, QString::fromUtf8(c.build)) << c.data;
        EXPECT_TRUE(os.OSArchitecture == "64-bit" || os.OSArchitecture == "32-bit") << c.data;
    }
}

TEST(OperatingSystemReader, AcceptsWindowsLineEnds)
{
    FixtureRoot root;
    root.file("etc/os-release", "PRETTY_NAME=\"Windows-edited OS 1.0\"\r\nVERSION_ID=1.0\r\nBUILD_ID=\"b42\"\r\n");
    const OperatingSystemInfo os = SystemQuery(root.path(), noNames()).getOperatingSystem();
    EXPECT_EQ(os.Caption, "Windows-edited OS 1.0");
    EXPECT_EQ(os.Version, "1.0");
    EXPECT_EQ(os.BuildNumber, "b42");
}

TEST(OperatingSystemReader, FallsBackToTheVendorFileThenToNothing)
{
    FixtureRoot root;
    EXPECT_TRUE(SystemQuery(root.path(), noNames()).getOperatingSystem().Caption.isEmpty());
    root.dataFile("usr/lib/os-release", "os-release/arch");
    EXPECT_EQ(SystemQuery(root.path(), noNames()).getOperatingSystem().Caption, "Arch Linux");
    root.file("etc/os-release", "");
    EXPECT_EQ(SystemQuery(root.path(), noNames()).getOperatingSystem().Caption, "Linux");
}

TEST(OperatingSystemReader, AFolderInPlaceOfTheFileIsAFault)
{
    FixtureRoot root;
    root.folder("etc/os-release");
    try {
        SystemQuery(root.path(), noNames()).getOperatingSystem();
        FAIL() << "no exception";
    } catch (const WMICException& e) {
        EXPECT_STREQ(e.what(), "Query for xxx failed. Error code = 0x8007001f\n");
    }
}

TEST(ProcessorReader, DescribesEachX86Package)
{
    FixtureRoot root;
    root.dataFile("proc/cpuinfo", "cpuinfo/x86-desktop");
    std::vector<ProcessorInfo> cpus = SystemQuery(root.path(), noNames()).getProcessors();
    ASSERT_EQ(cpus.size(), 1u);
    EXPECT_EQ(cpus[0].Name, "Intel(R) Core(TM) i5-7500 CPU @ 3.40GHz");
    EXPECT_EQ(cpus[0].Manufacturer, "GenuineIntel");
    EXPECT_EQ(cpus[0].Description, "Intel64 Family 6 Model 158 Stepping 9");
    EXPECT_EQ(cpus[0].NumberOfCores, 4);
    EXPECT_EQ(cpus[0].ThreadCount, 4);
    EXPECT_DOUBLE_EQ(cpus[0].MaxClockSpeed, 3.4); // no cpufreq: the reported clock

    for (int n = 0; n < 4; ++n)
        root.file(QStringLiteral("sys/devices/system/cpu/cpu%1/cpufreq/cpuinfo_max_freq").arg(n),
            n == 2 ? "3800000\n" : "3600000\n");
    cpus = SystemQuery(root.path(), noNames()).getProcessors();
    ASSERT_EQ(cpus.size(), 1u);
    EXPECT_DOUBLE_EQ(cpus[0].MaxClockSpeed, 3.8);

    root.dataFile("proc/cpuinfo", "cpuinfo/x86-two-sockets");
    cpus = SystemQuery(root.path(), noNames()).getProcessors();
    ASSERT_EQ(cpus.size(), 2u);
    EXPECT_EQ(cpus[1].Name, "AMD EPYC 7302 16-Core Processor");
    EXPECT_EQ(cpus[1].Description, "AMD64 Family 23 Model 49 Stepping 0");
    EXPECT_EQ(cpus[0].NumberOfCores, 2); // distinct core ids
    EXPECT_EQ(cpus[1].NumberOfCores, 1);
    EXPECT_EQ(cpus[1].ThreadCount, 2);
    EXPECT_EQ(cpus[1].ProcessId, "CPU1");
}

TEST(ProcessorReader, NamesArmCoresFromTheirPartNumbers)
{
    struct Case {
        const char* data;
        const char* name;
        const char* description;
        int cores;
    };
    const Case cases[] = {
        { "arm64-rpi4", "ARM Cortex-A72", "ARMv8", 4 },
        { "armv7", "ARMv7 Processor rev 4 (v7l)", "ARMv7", 2 },
    };
    for (const Case& c : cases) {
        FixtureRoot root;
        root.dataFile("proc/cpuinfo", QStringLiteral("cpuinfo/") + c.data);
        root.file("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "1800000\n");
        const std::vector<ProcessorInfo> cpus = SystemQuery(root.path(), noNames()).getProcessors();
        ASSERT_EQ(cpus.size(), 1u) << c.data;
        EXPECT_EQ(cpus[0].Name, c.name) << c.data;
        EXPECT_EQ(cpus[0].Manufacturer, "ARM") << c.data;
        EXPECT_EQ(cpus[0].Description, c.description) << c.data;
        EXPECT_EQ(cpus[0].NumberOfCores, c.cores) << c.data;
        EXPECT_EQ(cpus[0].ThreadCount, c.cores) << c.data;
        EXPECT_DOUBLE_EQ(cpus[0].MaxClockSpeed, 1.8) << c.data;
    }

    FixtureRoot bigLittle;
    QByteArray text;
    for (int n = 0; n < 4; ++n)
        text += "processor\t: " + QByteArray::number(n)
            + "\nCPU implementer\t: 0x41\nCPU part\t: " + (n < 2 ? "0xd05" : "0xd0b") + "\n\n";
    bigLittle.file("proc/cpuinfo", text);
    const auto cpus = SystemQuery(bigLittle.path(), noNames()).getProcessors();
    ASSERT_EQ(cpus.size(), 1u);
    EXPECT_EQ(cpus[0].Name, "ARM Cortex-A55 + ARM Cortex-A76");
}

TEST(BoardAndMemoryReaders, PreferTheFirmwareTable)
{
    FixtureRoot root;
    root.file("sys/firmware/dmi/tables/DMI",
        smbiosBaseBoard("Board Maker", "B450 Board", "1.0", "BSN") + smbiosMemoryDevice(8192, 2400, "M", "S-1")
            + smbiosMemoryDevice(16384, 3200, "X", "S-2") + smbiosEndOfTable());
    root.dataFile("proc/meminfo", "meminfo");
    const SystemQuery query(root.path(), noNames());

    const BaseBoardInfo board = query.getBaseBoard();
    EXPECT_EQ(board.Name, "Base Board");
    EXPECT_EQ(board.Manufacturer, "Board Maker");
    EXPECT_EQ(board.Product, "B450 Board");
    EXPECT_EQ(board.SerialNumber, "BSN");

    const std::vector<PhysicalMemoryInfo> memory = query.getPhysicalMemory();
    ASSERT_EQ(memory.size(), 2u);
    EXPECT_EQ(memory[0].Capacity, 8u);
    EXPECT_EQ(memory[0].Manufacturer, "M");
    EXPECT_EQ(memory[0].Speed, 2400);
    EXPECT_EQ(memory[0].SerialNumber, "S-1");
    EXPECT_EQ(memory[1].Capacity, 16u);

    // The attributes win over the table; the table fills what they lack.
    root.file("sys/class/dmi/id/board_vendor", "ASUSTeK COMPUTER INC.\n");
    root.file("sys/class/dmi/id/board_name", "PRIME B450M-A\n");
    const BaseBoardInfo mixed = SystemQuery(root.path(), noNames()).getBaseBoard();
    EXPECT_EQ(mixed.Manufacturer, "ASUSTeK COMPUTER INC.");
    EXPECT_EQ(mixed.Product, "PRIME B450M-A");
    EXPECT_EQ(mixed.SerialNumber, "BSN");
}

TEST(BoardAndMemoryReaders, FallBackToMeminfoAndTheDeviceTree)
{
    FixtureRoot root;
    root.dataFile("proc/meminfo", "meminfo");
    root.file("proc/device-tree/model", QByteArray("Raspberry Pi 4 Model B Rev 1.4\0", 32));
    root.file("proc/device-tree/compatible", QByteArray("raspberrypi,4-model-b\0brcm,bcm2711\0", 35));
    const SystemQuery query(root.path(), noNames());
    const std::vector<PhysicalMemoryInfo> memory = query.getPhysicalMemory();
    ASSERT_EQ(memory.size(), 1u);
    EXPECT_EQ(memory[0].Capacity, 16u); // 15.56 GiB reported
    EXPECT_TRUE(memory[0].Manufacturer.isEmpty());
    EXPECT_EQ(memory[0].Speed, 0);
    const BaseBoardInfo board = query.getBaseBoard();
    EXPECT_EQ(board.Product, "Raspberry Pi 4 Model B Rev 1.4");
    EXPECT_EQ(board.Manufacturer, "raspberrypi");

    FixtureRoot nothing;
    EXPECT_TRUE(SystemQuery(nothing.path(), noNames()).getPhysicalMemory().empty());
    EXPECT_TRUE(SystemQuery(nothing.path(), noNames()).getBaseBoard().Name.isEmpty());
}

// What udev keeps of the memory devices, as systemd's dmi_memory_id writes it:
// an empty slot 0, an 8 GiB module in slot 1, a 16 GiB one in slot 2.
const QByteArray kUdevDmiRecord = "I:4321987\n"
                                  "E:MODALIAS=dmi:bvnAmericanMegatrendsInc.:bvr1.0:\n"
                                  "E:MEMORY_ARRAY_LOCATION=System Board Or Motherboard\n"
                                  "E:MEMORY_ARRAY_NUM_DEVICES=3\n"
                                  "E:MEMORY_DEVICE_0_PRESENT=0\n"
                                  "E:MEMORY_DEVICE_0_LOCATOR=DIMM_A1\n"
                                  "E:MEMORY_DEVICE_1_TOTAL_WIDTH=64\n"
                                  "E:MEMORY_DEVICE_1_SIZE=8589934592\n"
                                  "E:MEMORY_DEVICE_1_FORM_FACTOR=DIMM\n"
                                  "E:MEMORY_DEVICE_1_LOCATOR=DIMM_A2\n"
                                  "E:MEMORY_DEVICE_1_TYPE=DDR4\n"
                                  "E:MEMORY_DEVICE_1_SPEED_MTS=3200\n"
                                  "E:MEMORY_DEVICE_1_MANUFACTURER=Kingston\n"
                                  "E:MEMORY_DEVICE_1_SERIAL_NUMBER=0A1B2C3D\n"
                                  "E:MEMORY_DEVICE_1_PART_NUMBER=KHX3200C16D4/8GX\n"
                                  "E:MEMORY_DEVICE_1_CONFIGURED_SPEED_MTS=2933\n"
                                  "E:MEMORY_DEVICE_2_SIZE=17179869184\n"
                                  "E:MEMORY_DEVICE_2_SPEED_MTS=2666\n"
                                  "E:MEMORY_DEVICE_2_MANUFACTURER=Not Specified\n"
                                  "G:systemd\n"
                                  "Q:systemd\n"
                                  "V:1\n";

TEST(BoardAndMemoryReaders, MemoryComesFromUdevThenTheTableThenMeminfo)
{
    struct Case {
        const char* name;
        bool udev;
        bool table;
        bool meminfo;
        std::vector<std::tuple<std::uint64_t, const char*, int>> modules; // GiB, maker, speed
    };
    const Case cases[] = {
        { "udev wins over the table", true, true, true, { { 8, "Kingston", 3200 }, { 16, "", 2666 } } },
        { "udev alone (an ordinary user)", true, false, true, { { 8, "Kingston", 3200 }, { 16, "", 2666 } } },
        { "the table without udev (root, no udevd)", false, true, true, { { 4, "T", 2400 } } },
        { "the kernel's total last", false, false, true, { { 16, "", 0 } } },
        { "nothing", false, false, false, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureRoot root;
        if (c.udev)
            root.file("run/udev/data/+dmi:id", kUdevDmiRecord);
        if (c.table)
            root.file("sys/firmware/dmi/tables/DMI", smbiosMemoryDevice(4096, 2400, "T", "S") + smbiosEndOfTable());
        if (c.meminfo)
            root.dataFile("proc/meminfo", "meminfo");
        const std::vector<PhysicalMemoryInfo> memory = SystemQuery(root.path(), noNames()).getPhysicalMemory();
        ASSERT_EQ(memory.size(), c.modules.size());
        for (size_t i = 0; i < memory.size(); ++i) {
            EXPECT_EQ(memory[i].Capacity, std::get<0>(c.modules[i])) << i;
            EXPECT_EQ(memory[i].Manufacturer, QString::fromUtf8(std::get<1>(c.modules[i]))) << i;
            EXPECT_EQ(memory[i].Speed, std::get<2>(c.modules[i])) << i;
        }
    }
    // A record without usable memory devices (a VM's udev) leaves the
    // choice to the next source.
    FixtureRoot vm;
    vm.file("run/udev/data/+dmi:id", "E:MEMORY_DEVICE_0_PRESENT=0\nE:MEMORY_DEVICE_1_SIZE=0\n");
    vm.dataFile("proc/meminfo", "meminfo");
    const std::vector<PhysicalMemoryInfo> fallback = SystemQuery(vm.path(), noNames()).getPhysicalMemory();
    ASSERT_EQ(fallback.size(), 1u);
    EXPECT_EQ(fallback[0].Capacity, 16u);
    // A folder where the record belongs is skipped, not fatal.
    FixtureRoot odd;
    odd.folder("run/udev/data/+dmi:id");
    odd.dataFile("proc/meminfo", "meminfo");
    EXPECT_EQ(SystemQuery(odd.path(), noNames()).getPhysicalMemory().size(), 1u);
}

TEST(DiskReader, ListsHardwareDisksOnly)
{
    FixtureRoot root;
    const QString nvme = root.pciDevice("0000:01:00.0", 0x144d, 0xa808, 0x010802, "nvme") + "/nvme/nvme0";
    root.file(nvme + "/model", "Samsung SSD 970 EVO 1TB                 \n");
    root.file(nvme + "/serial", "S4EWNX0N123456      \n");
    root.blockDevice("nvme0n1", "1953525168", nvme);
    const QString sata = "sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
    root.file(sata + "/vendor", "ATA     \n");
    root.file(sata + "/model", "WDC WD10EZEX-08W\n");
    root.file(sata + "/vpd_pg80",
        QByteArray("\x00\x80\x00\x0c"
                   "WD-WCC6Y1234",
            16));
    root.blockDevice("sda", "1953525168", sata);
    const QString virtio = root.pciDevice("0000:00:02.0", 0x1af4, 0x1042, 0x018000, "virtio-pci") + "/virtio1";
    root.file(virtio + "/vendor", "0x1af4\n");
    root.blockDevice("vda", "536870912", virtio);
    for (const char* software : { "loop0", "zram0", "ram0", "dm-0", "md127" })
        root.blockDevice(software, "2097152", software[0] == 'l' || software[0] == 'z' ? virtio : QString());

    const std::vector<DiskDriveInfo> disks = SystemQuery(root.path(), noNames()).getDiskDrives();
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[0].Caption, "WDC WD10EZEX-08W"); // "ATA" is the SCSI layer, not the maker
    EXPECT_EQ(disks[0].SerialNumber, "WD-WCC6Y1234");
    EXPECT_EQ(disks[0].Size, 931u);
    EXPECT_EQ(disks[1].Caption, "vda");
    EXPECT_EQ(disks[1].Size, 256u);
    EXPECT_EQ(disks[2].Caption, "Samsung SSD 970 EVO 1TB");
    EXPECT_EQ(disks[2].SerialNumber, "S4EWNX0N123456");
    EXPECT_EQ(disks[2].Size, 931u);
    EXPECT_TRUE(disks[2].PNPDeviceID.endsWith("nvme/nvme0"));
}

TEST(PciReaders, FindDisplayAndAudioFunctions)
{
    FixtureRoot root;
    root.pciDevice("0000:00:00.0", 0x8086, 0x3e1f, 0x060000);
    root.pciDevice("0000:00:02.0", 0x8086, 0x3e92, 0x030000, "i915");
    root.pciDevice("0000:00:1f.3", 0x8086, 0xa348, 0x040300, "snd_hda_intel");
    root.pciDevice("0000:00:1f.4", 0x8086, 0xa323, 0x040000); // a video capture function
    root.pciDevice("0000:01:00.0", 0x10de, 0x1f82, 0x030000, "nouveau");
    FakeHardwareDatabase names;
    names.add("pci:v000010DE*", "ID_VENDOR_FROM_DATABASE", "NVIDIA Corporation");
    names.add("pci:v000010DEd00001F82*", "ID_MODEL_FROM_DATABASE", "TU117 [GeForce GTX 1650]");
    const SystemQuery query(root.path(), names);

    const std::vector<VideoControllerInfo> video = query.getVideoControllers();
    ASSERT_EQ(video.size(), 2u);
    EXPECT_EQ(video[0].Name, "PCI device 8086:3E92");
    EXPECT_EQ(video[0].PNPDeviceID, "PCI\\VEN_8086&DEV_3E92&SUBSYS_00018086&REV_02\\0000:00:02.0");
    EXPECT_EQ(video[1].Name, "NVIDIA Corporation TU117 [GeForce GTX 1650]");

    const std::vector<SoundDeviceInfo> sound = query.getSoundDevices();
    ASSERT_EQ(sound.size(), 1u);
    EXPECT_EQ(sound[0].Name, "PCI device 8086:A348");
    EXPECT_EQ(sound[0].Description, sound[0].Name);
}

TEST(PciReaders, AddCardsOffThePciBus)
{
    FixtureRoot root;
    const QString soc = "sys/devices/platform/soc/gpu";
    root.folder("sys/bus/platform/drivers/vc4-drm");
    root.link(soc + "/driver", "sys/bus/platform/drivers/vc4-drm");
    root.link(soc + "/drm/card1/device", soc);
    root.link("sys/class/drm/card1", soc + "/drm/card1");
    const QString usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    root.file(usb + "/idVendor", "046d\n");
    root.file(usb + "/idProduct", "0a44\n");
    root.file(usb + "/product", "Logitech USB Headset\n");
    root.link(usb + "/1-2:1.0/sound/card2/device", usb + "/1-2:1.0");
    root.link("sys/class/sound/card2", usb + "/1-2:1.0/sound/card2");
    const SystemQuery query(root.path(), noNames());

    const auto video = query.getVideoControllers();
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].Name, "vc4-drm");
    EXPECT_EQ(video[0].PNPDeviceID, "PLATFORM\\gpu");
    const auto sound = query.getSoundDevices();
    ASSERT_EQ(sound.size(), 1u);
    EXPECT_EQ(sound[0].Name, "Logitech USB Headset");
}

TEST(MonitorReader, NamesConnectedMonitorsFromTheirEdid)
{
    FixtureRoot root;
    const QString gpu = root.pciDevice("0000:00:02.0", 0x8086, 0x3e92, 0x030000, "i915");
    root.drmConnector("card0", "DP-1", "disconnected", QByteArray(), gpu);
    root.drmConnector("card0", "HDMI-A-1", "connected", edidBlock("DEL", 0xA0B1, "DELL U2415"), gpu);
    root.drmConnector("card0", "HDMI-A-2", "connected", edidBlock("GSM", 0x5B7F, QByteArray()), gpu);
    root.drmConnector("card0", "eDP-1", "connected", QByteArray("\x00\xff\xff", 3), gpu);
    FakeHardwareDatabase names;
    names.add("acpi:GSM5B7F:", "ID_VENDOR_FROM_DATABASE", "LG Electronics");

    const std::vector<DesktopMonitorInfo> monitors = SystemQuery(root.path(), names).getDesktopMonitors();
    ASSERT_EQ(monitors.size(), 3u);
    EXPECT_EQ(monitors[0].Name, "Generic PnP Monitor"); // eDP-1: a truncated block
    EXPECT_EQ(monitors[0].Description, "Monitor on eDP-1");
    EXPECT_TRUE(monitors[0].MonitorManufacturer.isEmpty());
    EXPECT_EQ(monitors[1].Name, "DELL U2415");
    EXPECT_EQ(monitors[1].MonitorManufacturer, "DEL");
    EXPECT_EQ(monitors[2].Name, "GSM 5B7F");
    EXPECT_EQ(monitors[2].MonitorManufacturer, "LG Electronics");
}

TEST(NetworkReader, DescribesAdaptersInInterfaceOrder)
{
    FixtureRoot root;
    root.netInterface("lo", 1, 772, "00:00:00:00:00:00");
    const QString nic = root.pciDevice("0000:00:1f.6", 0x8086, 0x15bc, 0x020000, "e1000e");
    root.netInterface("eno1", 3, 1, "a8:a1:59:12:34:56", nic);
    root.netInterface("docker0", 2, 1, "02:42:ac:11:00:01", QString(), "bridge");
    const QString wifi = root.pciDevice("0000:02:00.0", 0x8086, 0x2723, 0x028000, "iwlwifi");
    root.netInterface("wlp2s0", 4, 1, "00:00:00:00:00:00", wifi);
    root.folder(wifi + "/net/wlp2s0/phy80211");
    FakeHardwareDatabase names;
    names.add("pci:v00008086*", "ID_VENDOR_FROM_DATABASE", "Intel Corporation");
    names.add("pci:v00008086d00002723*", "ID_MODEL_FROM_DATABASE", "Wi-Fi 6 AX200");

    const std::vector<NetworkAdapterInfo> adapters = SystemQuery(root.path(), names).getNetworkAdapters();
    ASSERT_EQ(adapters.size(), 3u);
    EXPECT_EQ(adapters[0].Name, "docker0");
    EXPECT_EQ(adapters[0].Description, "Virtual network interface (bridge)");
    EXPECT_EQ(adapters[0].MACAddress, "02:42:AC:11:00:01");
    EXPECT_EQ(adapters[1].Name, "e1000e (eno1)");
    EXPECT_EQ(adapters[1].Manufacturer, "Intel Corporation");
    EXPECT_EQ(adapters[1].AdapterType, "Ethernet 802.3");
    EXPECT_EQ(adapters[1].MACAddress, "A8:A1:59:12:34:56");
    EXPECT_EQ(adapters[2].Name, "Intel Corporation Wi-Fi 6 AX200");
    EXPECT_EQ(adapters[2].Description, adapters[2].Name);
    EXPECT_EQ(adapters[2].AdapterType, "Wireless");
    EXPECT_TRUE(adapters[2].MACAddress.isEmpty());
}

TEST(Readers, ABrokenListingIsAFaultAndAMissingOneIsEmpty)
{
    FixtureRoot root;
    const SystemQuery query(root.path(), noNames());
    EXPECT_TRUE(query.getDiskDrives().empty());
    EXPECT_TRUE(query.getNetworkAdapters().empty());
    EXPECT_TRUE(query.getDesktopMonitors().empty());
    EXPECT_TRUE(query.getVideoControllers().empty());
    EXPECT_TRUE(query.getProcessors().empty());

    root.file("sys/block", "not a folder");
    root.file("sys/class/net", "not a folder");
    root.folder("proc/cpuinfo");
    for (const auto& reader : std::vector<std::function<void()>> {
             [&] { query.getDiskDrives(); }, [&] { query.getNetworkAdapters(); }, [&] { query.getProcessors(); } }) {
        EXPECT_THROW(reader(), WMICException);
    }
    try {
        query.getDiskDrives();
    } catch (const WMICException& e) {
        EXPECT_STREQ(e.what(), "Query for xxx failed. Error code = 0x80070003\n");
    }
}
