// Which printer URIs are taken from a page, and the queue names made from a
// make and model.

#include "printers/printersetup.h"

#include <gtest/gtest.h>

using namespace PrinterAPI;

TEST(PrinterUri, TakesIppAndIppsPrinterUris)
{
    for (const char* uri : {"ipp://10.203.7.40:8631/ipp/print", "ipps://printer.local/ipp/print",
                            "ipp://[fe80::1]:631/ipp/print", "ipp://[2001:db8::5]/printers/x",
                            "ipp://HP-Printer.local.:631/ipp/print", "ipp://host/"})
        EXPECT_TRUE(isValidIppPrinterUri(QString::fromLatin1(uri))) << uri;
}

TEST(PrinterUri, RefusesOtherSchemesAndUnsafeText)
{
    const QString longPath = QStringLiteral("ipp://host/") + QString(1100, QLatin1Char('a'));
    for (const QString& uri :
         {QStringLiteral(""), QStringLiteral("http://host/ipp/print"), QStringLiteral("socket://host:9100"),
          QStringLiteral("ipp://host"), QStringLiteral("ipp:///ipp/print"), QStringLiteral("ipp://host:0/ipp"),
          QStringLiteral("ipp://host:65536/ipp"), QStringLiteral("ipp://host:+631/ipp"),
          QStringLiteral("ipp://host:x/ipp"), QStringLiteral("ipp://user@host/ipp"),
          QStringLiteral("ipp://ho st/ipp"), QStringLiteral("ipp://host/ipp print"),
          QStringLiteral("ipp://host/ipp\"print"), QStringLiteral("ipp://host/ipp'print"),
          QStringLiteral("ipp://host/ipp\nprint"), QStringLiteral("ipp://host/ipp\x7fprint"),
          QStringLiteral("ipp://hóst/ipp"), QStringLiteral("ipp://-host/ipp"), QStringLiteral("ipp://[::1/ipp"),
          QStringLiteral("ipp://[zz::1]/ipp"), QStringLiteral("ipp://host//ipp"), longPath})
        EXPECT_FALSE(isValidIppPrinterUri(uri)) << qPrintable(uri);
}

TEST(QueueName, MadeFromTheMakeAndModel)
{
    const struct {
        const char* makeAndModel;
        const char* name;
    } cases[] = {
        {"HP Color LaserJet MFP M477fdw", "HP_Color_LaserJet_MFP_M477fdw"},
        {"  Brother  HL-L8360CDW series ", "Brother_HL-L8360CDW_series"},
        {"Evil/..\\name?'\"#x", "Evil_.._name_x"},
        {"Tab\tand\nnewline\x7f", "Tab_and_newline"},
        {"", "Printer"},
        {" /#? ", "Printer"},
        {"Canon G7000 séries", "Canon_G7000_séries"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(queueNameFor(QString::fromUtf8(c.makeAndModel), {}), QString::fromUtf8(c.name)) << c.makeAndModel;
}

TEST(QueueName, UniqueIgnoringCase)
{
    EXPECT_EQ(queueNameFor(QStringLiteral("Acme Laser"), {QStringLiteral("acme_laser")}), QStringLiteral("Acme_Laser_2"));
    EXPECT_EQ(queueNameFor(QStringLiteral("Acme Laser"),
                           {QStringLiteral("Acme_Laser"), QStringLiteral("ACME_LASER_2"), QStringLiteral("other")}),
              QStringLiteral("Acme_Laser_3"));
}

TEST(QueueName, AtMost127BytesNeverCuttingACharacter)
{
    const QString longModel = QString(200, QChar(0x00E9));  // two bytes each in UTF-8
    const QString name = queueNameFor(longModel, {});
    EXPECT_LE(name.toUtf8().size(), 127);
    EXPECT_EQ(name, QString(63, QChar(0x00E9)));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x96\xA8");  // four bytes, a surrogate pair
    QString many;
    for (int i = 0; i < 40; ++i)
        many += emoji;
    const QString cut = queueNameFor(many, {});
    EXPECT_EQ(cut.toUtf8().size(), 124);
    EXPECT_FALSE(QChar(cut.back()).isHighSurrogate());
    const QString second = queueNameFor(many, {cut});
    EXPECT_LE(second.toUtf8().size(), 127);
    EXPECT_TRUE(second.endsWith(QLatin1String("_2")));
}

TEST(PrinterUri, SocketUrisAreHostAndPortOnly)
{
    EXPECT_TRUE(isValidSocketPrinterUri(QStringLiteral("socket://10.203.7.20:9100")));
    EXPECT_TRUE(isValidSocketPrinterUri(QStringLiteral("socket://printer.local")));
    EXPECT_TRUE(isValidSocketPrinterUri(QStringLiteral("socket://[2001:db8::5]:9100")));
    for (const char* uri : {"socket://", "socket://10.203.7.20:9100/x", "socket://host:99999", "socket://a b",
                            "socket://host;reboot", "ipp://host/ipp/print", "socket://host:9100?x"})
        EXPECT_FALSE(isValidSocketPrinterUri(QString::fromLatin1(uri))) << uri;
    EXPECT_FALSE(isValidIppPrinterUri(QStringLiteral("socket://10.203.7.20:9100")));
}
