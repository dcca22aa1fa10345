#include "support/testsupport.h"
#include "sysutil/errorlog.h"
#include "sysutil/textconv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sysutil;

TEST(TextConversion, RoundTripsNonBmpCharacters)
{
    const std::string utf8 = "Drucker \xE6\x89\x93\xE5\x8D\xB0\xE6\x9C\xBA \xF0\x9F\x96\xA8 \xF0\x9F\x98\x80";
    const std::wstring wide = utf8ToWide(utf8);
    EXPECT_EQ(wide.back(), wchar_t(0x1F600));
    EXPECT_EQ(wideToUtf8(wide), utf8);
    EXPECT_EQ(fromWide(toWide(QString::fromStdString(utf8))), QString::fromStdString(utf8));
}

TEST(TextConversion, StopsAtTheFirstTerminator)
{
    EXPECT_EQ(utf8ToWide(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(wideToUtf8(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(intToWide(-42), L"-42");
}

TEST(TextConversion, ReplacesInvalidBytesAndBoundsLength)
{
    const QString text = fromUntrustedBytes(QByteArray("ok\xff\xfe", 4));
    EXPECT_TRUE(text.startsWith("ok"));
    EXPECT_TRUE(text.contains(QChar(0xFFFD)));
    EXPECT_EQ(fromUntrustedBytes(QByteArray(10000, 'x')).size(), 4096);
}

TEST(ErrorLog, AppendsFileLineAndMessage)
{
    QTemporaryDir dir;
    const std::wstring log = toWide(dir.filePath("mysimple.log"));
    logError(L"no root", "/src/devicetree/devicetree.cpp", 42, log);
    logError(L"\x6253\x5370", "x.cpp", -1, log);
    EXPECT_EQ(testsupport::readFile(dir.filePath("mysimple.log")),
              QByteArray("devicetree.cpp,42,no root\nx.cpp,-1,\xE6\x89\x93\xE5\x8D\xB0\n"));
}
