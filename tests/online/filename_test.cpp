// The names downloads are saved under.

#include "online/downloadname.h"

#include <gtest/gtest.h>

namespace {

TEST(OnlineDownloadName, KeepsOnlyAPlainLastSegment)
{
    struct Case {
        const char* url;
        const char* fallback;
        const char* name;
    };
    const Case cases[] = {
        {"https://dl.example/drivers/HP%20Setup.exe?x=1#y", "pkg", "HP Setup.exe"},
        {"https://dl.example/drivers/", "setup", "setup.exe"},
        {"https://dl.example", "setup", "setup.exe"},
        {"https://dl.example/a/%2F..%2F..%2F.bashrc", "pkg", "bashrc"},
        {"https://dl.example/a/..%2F..%2Fevil", "pkg", "evil"},
        {"https://dl.example/a/..%5C..%5Cwin.exe", "pkg", "win.exe"},
        {"https://dl.example/a/%2E%2E", "pkg", "pkg.exe"},
        {"https://dl.example/a/...", "pkg", "pkg.exe"},
        {"https://dl.example/a/%00%01x%7F.bin", "pkg", "x.bin"},
        {"https://dl.example/a/%E9%A9%B1%E5%8A%A8.zip", "pkg", "驱动.zip"},
        {"https://dl.example/a/", "../../etc/passwd", "passwd.exe"},
        {"https://dl.example/a/", "..", "download.exe"},
        {"https://dl.example/a/", "", "download.exe"},
        {"dl.example/pkg.run", "pkg", "pkg.run"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(online::downloadFileName(QString::fromUtf8(c.url), QString::fromUtf8(c.fallback)),
                  QString::fromUtf8(c.name))
            << c.url;
    }
}

TEST(OnlineDownloadName, LongNamesAreCutButKeepTheirExtension)
{
    const QString longName = QString(300, QChar(0x9A71)) + QStringLiteral(".exe");
    const QString name = online::safeFileName(longName);
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_TRUE(name.endsWith(QStringLiteral(".exe")));
    EXPECT_GT(name.size(), 50);
}

TEST(OnlineDownloadName, ACutNameDoesNotEndInBlanks)
{
    const QString longName = QString(250, QLatin1Char('a')) + QString(10, QLatin1Char(' ')) + QStringLiteral("tail");
    const QString name = online::safeFileName(longName);
    EXPECT_EQ(name, QString(250, QLatin1Char('a')));
    EXPECT_EQ(online::safeFileName(name), name) << "cleaning a clean name changes nothing";
}

}  // namespace
