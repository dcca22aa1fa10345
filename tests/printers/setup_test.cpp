// Adding a driverless queue for an IPP Everywhere printer (ippeveprinter)
// at a private scheduler in the same loopback-only namespace.

#include "printers/printerapi.h"
#include "printers/printersetup.h"
#include "printers/printertestutil.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;

namespace {

QString bedDir()
{
    return qEnvironmentVariable("KORVANE_IPP_PRINTER_BED");
}

QString printerUri()
{
    QFile file(bedDir() + QStringLiteral("/uri"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).trimmed();
}

QString optionsOf(const QString& name)
{
    QByteArray output;
    run(QStringLiteral("lpoptions"), {QStringLiteral("-p"), name}, &output);
    return QString::fromUtf8(output);
}

}  // namespace

TEST(AddNetworkPrinter, CreatesADriverlessQueueThatPrintsToThePrinter)
{
    const QString uri = printerUri();
    ASSERT_FALSE(uri.isEmpty());
    const QJsonObject added = addNetworkPrinter(uri, QStringLiteral("Acme Laser 100"), QString());
    ASSERT_EQ(added.value(QStringLiteral("code")).toInt(-1), 0);
    const QString name = added.value(QStringLiteral("printerName")).toString();
    EXPECT_EQ(name, QStringLiteral("Acme_Laser_100"));
    ASSERT_TRUE(queueExists(name));

    const QString options = optionsOf(name);
    EXPECT_TRUE(options.contains(QStringLiteral("device-uri=") + uri)) << qPrintable(options);
    // The scheduler made the PPD from the printer's attributes.
    EXPECT_TRUE(options.contains(QStringLiteral("IPP Everywhere"))) << qPrintable(options);
    EXPECT_TRUE(options.contains(QStringLiteral("printer-is-accepting-jobs=true"))) << qPrintable(options);
    EXPECT_TRUE(options.contains(QStringLiteral("printer-state=3"))) << qPrintable(options);
    EXPECT_TRUE(options.contains(QStringLiteral("printer-info='Acme Laser 100'"))) << qPrintable(options);

    // A test page reaches the printer's output folder.
    const QDir spool(bedDir() + QStringLiteral("/spool"));
    const int before = int(spool.entryList(QDir::Files).size());
    ASSERT_EQ(printTestPage(name, QString()), 0);
    int after = before;
    for (int i = 0; i < 600 && after == before; ++i) {  // 60 s at most
        QThread::msleep(100);
        after = int(spool.entryList(QDir::Files).size());
    }
    EXPECT_EQ(after, before + 1);
}

TEST(AddNetworkPrinter, ASecondPrinterOfTheSameModelGetsItsOwnName)
{
    const QString uri = printerUri();
    ASSERT_FALSE(uri.isEmpty());
    addQueue(QStringLiteral("acme_tiny"));
    const QJsonObject first = addNetworkPrinter(uri, QStringLiteral("Acme Tiny"), QString());
    const QJsonObject second = addNetworkPrinter(uri, QStringLiteral("Acme Tiny"), QString());
    EXPECT_EQ(first.value(QStringLiteral("code")).toInt(-1), 0);
    EXPECT_EQ(first.value(QStringLiteral("printerName")).toString(), QStringLiteral("Acme_Tiny_2"));
    EXPECT_EQ(second.value(QStringLiteral("code")).toInt(-1), 0);
    EXPECT_EQ(second.value(QStringLiteral("printerName")).toString(), QStringLiteral("Acme_Tiny_3"));
    EXPECT_TRUE(queueExists(QStringLiteral("Acme_Tiny_3")));
}

TEST(AddNetworkPrinter, RefusesAnInvalidUriWithoutAsking)
{
    const QStringList before = listingByName().keys();
    EXPECT_EQ(addNetworkPrinter(QStringLiteral("ipp://host/x\"; rm -rf /"), QStringLiteral("Evil"), QString())
                  .value(QStringLiteral("code"))
                  .toInt(-1),
              87);
    EXPECT_EQ(addNetworkPrinter(QStringLiteral("file:///etc/passwd"), QStringLiteral("Evil"), QString())
                  .value(QStringLiteral("code"))
                  .toInt(-1),
              87);
    EXPECT_EQ(listingByName().keys(), before);
}

TEST(AddNetworkPrinter, WithoutIppTakesTheInstalledDriverMatchingTheDeviceId)
{
    const QString uri = QStringLiteral("socket://10.203.7.99:9100");
    const QJsonObject added =
        addNetworkPrinter(uri, QStringLiteral("FUJI XEROX DocuPrint CM305 df"),
                          QStringLiteral("MFG:FUJI XEROX;CMD:PJL,PCL;MDL:DocuPrint CM305 df;CLS:PRINTER;"));
    ASSERT_EQ(added.value(QStringLiteral("code")).toInt(-1), 0);
    const QString name = added.value(QStringLiteral("printerName")).toString();
    EXPECT_EQ(name, QStringLiteral("FUJI_XEROX_DocuPrint_CM305_df"));
    const QString options = optionsOf(name);
    EXPECT_TRUE(options.contains(QStringLiteral("device-uri=") + uri)) << qPrintable(options);
    EXPECT_TRUE(options.contains(QStringLiteral("printer-make-and-model='Fuji Xerox DocuPrint CM305 df PDF'")))
        << qPrintable(options);
}

TEST(AddNetworkPrinter, WithoutIppByMakeAndModelWhenTheIdSaysNothing)
{
    const QJsonObject added = addNetworkPrinter(QStringLiteral("socket://10.203.7.98"),
                                                QStringLiteral("Epson 9-Pin Series"), QString());
    ASSERT_EQ(added.value(QStringLiteral("code")).toInt(-1), 0);
    const QString options = optionsOf(added.value(QStringLiteral("printerName")).toString());
    EXPECT_TRUE(options.contains(QStringLiteral("printer-make-and-model='Epson 9-Pin Series'"))) << qPrintable(options);
}

TEST(AddNetworkPrinter, WithoutIppAndNoMatchingDriverAddsNothing)
{
    const QStringList before = listingByName().keys();
    const QJsonObject added = addNetworkPrinter(QStringLiteral("socket://10.203.7.97:9100"),
                                                QStringLiteral("Acme Unheard-Of 9"),
                                                QStringLiteral("MFG:Acme;MDL:Unheard-Of 9;"));
    EXPECT_EQ(added.value(QStringLiteral("code")).toInt(-1), 1797);
    EXPECT_FALSE(added.contains(QStringLiteral("printerName")));
    EXPECT_EQ(listingByName().keys(), before);
}

TEST(AddNetworkPrinter, APrinterTheSchedulerCannotReachLeavesNoQueue)
{
    // Nothing listens on port 9 in the bed's namespace.
    const QStringList before = listingByName().keys();
    const QJsonObject added =
        addNetworkPrinter(QStringLiteral("ipp://127.0.0.1:9/ipp/print"), QStringLiteral("Gone Printer"), QString());
    EXPECT_EQ(added.value(QStringLiteral("code")).toInt(-1), 3012);
    EXPECT_FALSE(added.contains(QStringLiteral("printerName")));
    EXPECT_FALSE(queueExists(QStringLiteral("Gone_Printer")));
    EXPECT_EQ(listingByName().keys(), before);
}

TEST(AddNetworkPrinter, TakesAChosenQueueName)
{
    const QString uri = printerUri();
    ASSERT_FALSE(uri.isEmpty());
    const QJsonObject added = addNetworkPrinter(uri, QStringLiteral("Acme Laser 100"), QString(),
                                                QStringLiteral("front-desk"));
    ASSERT_EQ(added.value(QStringLiteral("code")).toInt(-1), 0);
    EXPECT_EQ(added.value(QStringLiteral("printerName")).toString(), QStringLiteral("front-desk"));
    EXPECT_TRUE(queueExists(QStringLiteral("front-desk")));
    const QString options = optionsOf(QStringLiteral("front-desk"));
    EXPECT_TRUE(options.contains(QStringLiteral("device-uri=") + uri)) << qPrintable(options);
    EXPECT_TRUE(options.contains(QStringLiteral("IPP Everywhere"))) << qPrintable(options);
}

TEST(AddNetworkPrinter, RefusesAChosenNameCupsWouldNotTakeOrThatIsTaken)
{
    const QString uri = printerUri();
    ASSERT_FALSE(uri.isEmpty());
    addQueue(QStringLiteral("back-office"));
    const QStringList before = listingByName().keys();
    const auto code = [&uri](const QString& name) {
        return addNetworkPrinter(uri, QStringLiteral("Acme Laser 100"), QString(), name)
            .value(QStringLiteral("code"))
            .toInt(-1);
    };
    EXPECT_EQ(code(QStringLiteral("a b")), 1801);
    EXPECT_EQ(code(QStringLiteral("x'; lpadmin -x laser")), 1801);
    EXPECT_EQ(code(QString(128, QLatin1Char('n'))), 1801);
    EXPECT_EQ(code(QStringLiteral("back-office")), 1802);
    EXPECT_EQ(code(QStringLiteral("BACK-Office")), 1802);
    EXPECT_EQ(listingByName().keys(), before);
}
