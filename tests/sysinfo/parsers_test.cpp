// The firmware-table and EDID parsers, on well-formed and hostile blocks.

#include "fixtureroot.h"

#include "sysinfo/edid.h"
#include "sysinfo/smbios.h"
#include "sysinfo/udevmemory.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace sysinfo;
using namespace sysinfotest;

namespace {

QByteArray boardAndTwoDimms()
{
    return smbiosBaseBoard("Board Maker", "B450 Board", "Rev 1.0", "BSN-0001")
        + smbiosMemoryDevice(0, 0, "", "") // an empty slot
        + smbiosMemoryDevice(8192, 2400, "M", "S-1") + smbiosMemoryDevice(16384, 3200, "X", "S-2") + smbiosEndOfTable();
}

} // namespace

TEST(SmbiosTable, FindsTheBoardAndThePopulatedSlots)
{
    const SmbiosTable table = parseSmbiosTable(boardAndTwoDimms());
    EXPECT_TRUE(table.complete);
    const auto board = firstBaseBoard(table);
    ASSERT_TRUE(board);
    EXPECT_EQ(board->manufacturer, "Board Maker");
    EXPECT_EQ(board->product, "B450 Board");
    EXPECT_EQ(board->version, "Rev 1.0");
    EXPECT_EQ(board->serialNumber, "BSN-0001");

    const std::vector<MemoryDevice> dimms = memoryDevices(table);
    ASSERT_EQ(dimms.size(), 2u);
    EXPECT_EQ(dimms[0].sizeMiB, 8192u);
    EXPECT_EQ(dimms[0].speedMTs, 2400);
    EXPECT_EQ(dimms[0].manufacturer, "M");
    EXPECT_EQ(dimms[0].serialNumber, "S-1");
    EXPECT_EQ(dimms[0].deviceLocator, "DIMM_A1");
    EXPECT_EQ(dimms[1].sizeMiB, 16384u);
}

TEST(SmbiosTable, ReadsEverySizeEncoding)
{
    struct Case {
        const char* what;
        std::uint16_t sizeWord;
        std::uint32_t extended;
        std::uint64_t mib;
        bool known;
    };
    const Case cases[] = {
        { "megabytes", 8192, 0, 8192, true },
        { "one MiB short of a GiB", 1023, 0, 1023, true },
        { "kilobytes", 0x8000 | 0x7FFE, 0, 31, true },
        { "extended", 0x7FFF, 65536, 65536, true },
        { "extended with the reserved bit", 0x7FFF, 0x80000000u | 32768, 32768, true },
        { "absurd extended", 0x7FFF, 0x7FFFFFFF, 0x7FFFFFFF, true },
        { "unknown", 0xFFFF, 0, 0, false },
    };
    for (const Case& c : cases) {
        const auto dimms = memoryDevices(parseSmbiosTable(smbiosMemoryDevice(c.sizeWord, 2400, "M", "S", c.extended)));
        ASSERT_EQ(dimms.size(), 1u) << c.what;
        EXPECT_EQ(dimms[0].sizeMiB, c.mib) << c.what;
        EXPECT_EQ(dimms[0].sizeKnown, c.known) << c.what;
    }
}

TEST(SmbiosTable, KeepsWhatPrecedesATruncationOrCorruption)
{
    const QByteArray good = smbiosBaseBoard("A", "B", "C", "D") + smbiosMemoryDevice(8192, 2400, "M", "S");
    const QByteArray third = smbiosMemoryDevice(4096, 2133, "N", "T");
    // Cut inside the third structure's formatted area, inside its strings, and
    // before its closing NUL.
    for (int cut : { 3, 10, third.size() - 8, third.size() - 1 }) {
        const SmbiosTable table = parseSmbiosTable(good + third.left(cut));
        EXPECT_FALSE(table.complete) << cut;
        EXPECT_EQ(table.structures.size(), 2u) << cut;
        EXPECT_EQ(memoryDevices(table).size(), 1u) << cut;
    }
    // A structure claiming a length shorter than its own header.
    QByteArray corrupt = good + third;
    corrupt[good.size() + 1] = 2;
    EXPECT_EQ(parseSmbiosTable(corrupt).structures.size(), 2u);
}

TEST(SmbiosTable, ShortStructuresAndBadStringNumbersGiveEmptyFields)
{
    // A memory device from SMBIOS 2.0: no speed, no strings past the locators.
    QByteArray fields = QByteArray::fromHex("0010FEFF40004000"
                                            "0020"
                                            "09000102"
                                            "1A0000");
    const SmbiosTable table = parseSmbiosTable(smbiosStructure(17, 1, fields, { "DIMM0" }));
    const auto dimms = memoryDevices(table);
    ASSERT_EQ(dimms.size(), 1u);
    EXPECT_EQ(dimms[0].sizeMiB, 0x2000u);
    EXPECT_EQ(dimms[0].speedMTs, 0);
    EXPECT_EQ(dimms[0].deviceLocator, "DIMM0");
    EXPECT_TRUE(dimms[0].manufacturer.isEmpty());

    // String numbers pointing past the set.
    const auto board
        = firstBaseBoard(parseSmbiosTable(smbiosStructure(2, 2, QByteArray::fromHex("09FF0301"), { "only" })));
    ASSERT_TRUE(board);
    EXPECT_TRUE(board->manufacturer.isEmpty());
    EXPECT_TRUE(board->product.isEmpty());
    EXPECT_TRUE(board->version.isEmpty());
    EXPECT_EQ(board->serialNumber, "only");
}

TEST(SmbiosTable, StringsAreCleanedAndBounded)
{
    const QByteArray junk = QByteArray("\x01\x1b[31mRed\xff\xfe", 11) + QByteArray(5000, 'x');
    const auto board = firstBaseBoard(parseSmbiosTable(smbiosBaseBoard(junk, "  padded  ", "", "")));
    ASSERT_TRUE(board);
    EXPECT_FALSE(board->manufacturer.contains(QChar(0x1b)));
    EXPECT_LE(board->manufacturer.size(), smbios::kMaxStringBytes);
    EXPECT_EQ(board->product, "padded");
}

TEST(SmbiosTable, SurvivesRandomBytes)
{
    QRandomGenerator random(20240610);
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes(int(random.bounded(1, 4096)), '\0');
        for (char& c : bytes)
            c = char(random.bounded(256));
        if (round % 2)
            bytes.prepend(boardAndTwoDimms().left(int(random.bounded(120))));
        const SmbiosTable table = parseSmbiosTable(bytes);
        EXPECT_LE(table.structures.size(), size_t(smbios::kMaxStructures));
        for (const MemoryDevice& dimm : memoryDevices(table))
            EXPECT_LE(dimm.manufacturer.size(), smbios::kMaxStringBytes);
    }
    EXPECT_TRUE(parseSmbiosTable(QByteArray()).structures.empty());
}

TEST(Edid, GivesMakerProductAndName)
{
    const EdidFacts facts = parseEdid(edidBlock("DEL", 0xA0B1, "DELL U2415"));
    EXPECT_TRUE(facts.valid);
    EXPECT_TRUE(facts.checksumOk);
    EXPECT_EQ(facts.manufacturerId, "DEL");
    EXPECT_EQ(facts.productCode, 0xA0B1u);
    EXPECT_EQ(facts.monitorName, "DELL U2415");
    EXPECT_EQ(facts.serialText, "SN1234");
}

TEST(Edid, ReadsWhatItSafelyCanFromBadBlocks)
{
    const QByteArray good = edidBlock("GSM", 0x5B7F, "LG ULTRAGEAR");
    struct Case {
        const char* what;
        QByteArray block;
        bool valid;
        QString maker;
        QString name;
    };
    QByteArray badHeader = good;
    badHeader[1] = 0;
    QByteArray badChecksum = good;
    badChecksum[127] = char(good[127] + 1);
    QByteArray badLetters = good;
    badLetters[8] = 0;
    badLetters[9] = 0;
    QByteArray controlName = edidBlock("ABC", 1, QByteArray("A\x01\x7f\xffZ", 5));
    const Case cases[] = {
        { "empty", QByteArray(), false, QString(), QString() },
        { "truncated", good.left(100), false, QString(), QString() },
        { "bad header", badHeader, false, QString(), QString() },
        { "bad checksum", badChecksum, true, "GSM", "LG ULTRAGEAR" },
        { "letters out of range", badLetters, true, QString(), "LG ULTRAGEAR" },
        { "no name descriptor", edidBlock("SAM", 7, QByteArray()), true, "SAM", QString() },
        { "control characters in the name", controlName, true, "ABC", "A   Z" },
        { "with an extension block", good + QByteArray(128, '\x02'), true, "GSM", "LG ULTRAGEAR" },
    };
    for (const Case& c : cases) {
        const EdidFacts facts = parseEdid(c.block);
        EXPECT_EQ(facts.valid, c.valid) << c.what;
        EXPECT_EQ(facts.manufacturerId, c.maker) << c.what;
        EXPECT_EQ(facts.monitorName, c.name) << c.what;
    }
    EXPECT_FALSE(parseEdid(badChecksum).checksumOk);
}

TEST(UdevMemoryParser, SkipsWhatIsMalformedAndBoundsSlots)
{
    struct Case {
        const char* name;
        QByteArray text;
        std::vector<std::uint64_t> sizesMiB;
    };
    const Case cases[] = {
        { "plain", "E:MEMORY_DEVICE_0_SIZE=8589934592\n", { 8192 } },
        { "slot order, not line order", "E:MEMORY_DEVICE_3_SIZE=2147483648\nE:MEMORY_DEVICE_1_SIZE=1073741824\n",
            { 1024, 2048 } },
        { "carriage returns", "E:MEMORY_DEVICE_0_SIZE=1073741824\r\n", { 1024 } },
        { "empty slot", "E:MEMORY_DEVICE_0_PRESENT=0\nE:MEMORY_DEVICE_0_SIZE=1073741824\n", {} },
        { "not a number", "E:MEMORY_DEVICE_0_SIZE=8G\n", {} },
        { "zero", "E:MEMORY_DEVICE_0_SIZE=0\n", {} },
        { "overflowing number", "E:MEMORY_DEVICE_0_SIZE=99999999999999999999999\n", {} },
        { "slot past the bound", "E:MEMORY_DEVICE_1024_SIZE=1073741824\n", {} },
        { "slot with too many digits", "E:MEMORY_DEVICE_000001_SIZE=1073741824\n", {} },
        { "no slot", "E:MEMORY_DEVICE__SIZE=1073741824\n", {} },
        { "no value", "E:MEMORY_DEVICE_0_SIZE\n", {} },
        { "another record type", "S:MEMORY_DEVICE_0_SIZE=1073741824\n", {} },
        { "cut short", "E:MEMORY_DEVICE_", {} },
        { "empty", "", {} },
    };
    for (const Case& c : cases) {
        const std::vector<MemoryDevice> devices = parseUdevMemoryDevices(c.text);
        ASSERT_EQ(devices.size(), c.sizesMiB.size()) << c.name;
        for (size_t i = 0; i < devices.size(); ++i)
            EXPECT_EQ(devices[i].sizeMiB, c.sizesMiB[i]) << c.name;
    }
    // Texts are cleaned and bounded; placeholders for missing strings read
    // as nothing.
    const std::vector<MemoryDevice> texts = parseUdevMemoryDevices(
        "E:MEMORY_DEVICE_0_SIZE=1073741824\nE:MEMORY_DEVICE_0_MANUFACTURER=Mic\x01ron  \n"
        "E:MEMORY_DEVICE_1_SIZE=1073741824\nE:MEMORY_DEVICE_1_MANUFACTURER=<BAD INDEX>\n"
        "E:MEMORY_DEVICE_2_SIZE=1073741824\nE:MEMORY_DEVICE_2_MANUFACTURER="
        + QByteArray(100000, 'x') + "\n");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].manufacturer, "Mic ron");
    EXPECT_TRUE(texts[1].manufacturer.isEmpty());
    EXPECT_LE(texts[2].manufacturer.size(), smbios::kMaxStringBytes);
}
