#include "support/testsupport.h"
#include "sysutil/formatmessage.h"
#include "sysutil/paths.h"
#include "sysutil/systeminfo.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sysutil;

TEST(PlatformDecoration, NamesArchitectureAndKernelVersion)
{
    EXPECT_EQ(decorationFor("x86_64", "6.1.0-27-amd64"), "Linuxamd64.6.1");
    EXPECT_EQ(decorationFor("aarch64", "5.15.0"), "Linuxarm64.5.15");
    EXPECT_EQ(decorationFor("i686", "4.19.0"), "Linuxx86.4.19");
    EXPECT_EQ(decorationFor("armv7l", "6.6.31+rpt-rpi-v7"), "Linuxarm.6.6");
    EXPECT_EQ(decorationFor("riscv64", "6.8.0"), "Linux.6.8");
    EXPECT_TRUE(platformDecoration().startsWith("Linux"));
    EXPECT_FALSE(isOlderThanWin8());
}

TEST(MachineIdentifier, IsTheMachineIdFileWhenPresent)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("machine-id");
    ASSERT_TRUE(testsupport::writeFile(file, "0123456789abcdef0123456789abcdef\n"));
    testsupport::ScopedEnv env("KORVANE_MACHINE_ID_FILE", file.toUtf8());
    EXPECT_EQ(readMachineIdentifier(), "0123456789abcdef0123456789abcdef");
}

TEST(MachineIdentifier, IsComposedWhenTheFileIsMissingOrEmpty)
{
    QTemporaryDir dir;
    const QString expected = composeMachineIdentifier(readMachineParts());
    {
        testsupport::ScopedEnv env("KORVANE_MACHINE_ID_FILE", dir.filePath("absent").toUtf8());
        EXPECT_EQ(readMachineIdentifier(), expected);
    }
    ASSERT_TRUE(testsupport::writeFile(dir.filePath("empty"), "\n"));
    testsupport::ScopedEnv env("KORVANE_MACHINE_ID_FILE", dir.filePath("empty").toUtf8());
    EXPECT_EQ(readMachineIdentifier(), expected);
    EXPECT_TRUE(QRegularExpression("^-?\\d+-\\d+-\\d+$").match(expected).hasMatch()) << expected.toStdString();
}

TEST(MachineIdentifier, HashesAndChecksumsMatchKnownVectors)
{
    EXPECT_EQ(djb2(""), 5381u);
    EXPECT_EQ(djb2("a"), 177670u);                 // 5381 * 33 + 97
    EXPECT_EQ(djb2("abc"), 193485963u);
    EXPECT_EQ(djb2(QString::fromUtf8("\xF0\x9F\x96\xA8")), (5381u * 33 + 0xD83D) * 33 + 0xDDA8);  // two UTF-16 units
    EXPECT_EQ(addressChecksum(QByteArray::fromHex("000000000000")), 0);
    // Little-endian words 0x3412 + 0x7856 + 0xBC9A = 0x16902 -> 0x6902
    EXPECT_EQ(addressChecksum(QByteArray::fromHex("123456789abc")), 0x6902);
    EXPECT_EQ(addressChecksum(QByteArray::fromHex("0102ff")), 0x0201 + 0xFF);  // odd byte added as is
    EXPECT_EQ(fold16(0x00010002u), 3);
}

TEST(MachineIdentifier, ComposesFromItsParts)
{
    MachineParts parts;
    parts.computerName = "host";
    parts.processorValue = 7;
    parts.volumeValue = 9;
    // Without adapters both numbers are the name's length.
    EXPECT_EQ(composeMachineIdentifier(parts), QString("%1-4-4").arg(qint32(djb2("host79"))));
    parts.hardwareAddresses = {QByteArray::fromHex("0500"), QByteArray::fromHex("0300")};
    EXPECT_EQ(composeMachineIdentifier(parts), QString("%1-3-5").arg(qint32(djb2("host7935"))));
    // One adapter: the missing second checksum counts as 0.
    parts.hardwareAddresses.pop_back();
    EXPECT_EQ(composeMachineIdentifier(parts), QString("%1-0-5").arg(qint32(djb2("host7905"))));
}

TEST(ProcessRunning, FindsItselfByFullPathOnly)
{
    EXPECT_TRUE(isProcessRunning(programFilePath()));
    EXPECT_FALSE(isProcessRunning(programFilePath() + "-not"));
    EXPECT_FALSE(isProcessRunning(""));
}

TEST(ProcessRunning, FollowsSymbolicLinks)
{
    QTemporaryDir dir;
    const QFileInfo self(programFilePath());
    ASSERT_TRUE(QFile::link(self.absoluteFilePath(), dir.filePath("linked-program")));
    ASSERT_TRUE(QFile::link(self.absolutePath(), dir.filePath("linked-folder")));
    EXPECT_TRUE(isProcessRunning(dir.filePath("linked-program")));
    EXPECT_TRUE(isProcessRunning(dir.filePath("linked-folder/") + self.fileName()));
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling")));
    EXPECT_FALSE(isProcessRunning(dir.filePath("dangling")));
}

TEST(FormatMessage, KnowsTheCodesThePagesReceive)
{
    EXPECT_EQ(formatMessage(0), "The operation completed successfully.");
    EXPECT_EQ(formatMessage(5), "Access is denied.");
    EXPECT_EQ(formatMessage(1722), "The RPC server is unavailable.");
    EXPECT_EQ(formatMessage(1801), "The printer name is invalid.");
    for (unsigned code : {2u, 3u, 31u, 87u, 122u, 740u})
        EXPECT_FALSE(formatMessage(code).isEmpty()) << code;
    EXPECT_EQ(formatMessage(999999), "");
}
