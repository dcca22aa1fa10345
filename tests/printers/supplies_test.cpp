// Supplies of a driverless queue: the scheduler passes on no marker-* values
// for it, so they come from the printer (ippeveprinter) itself. Runs inside
// the ippprinter bed's namespace, where the printer listens on 127.0.0.1:631.

#include "printers/printercontrol.h"
#include "printers/printersetup.h"
#include "printers/printertestutil.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;

namespace {

QString printerUri()
{
    QFile file(qEnvironmentVariable("KORVANE_IPP_PRINTER_BED") + QStringLiteral("/uri"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).trimmed();
}

QJsonObject parsed(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QJsonObject supply(const char* name, const char* color, int level, const char* type)
{
    return QJsonObject { { "name", name }, { "color", color }, { "level", level }, { "type", type } };
}

} // namespace

TEST(DriverlessSupplies, AreThePrintersOwn)
{
    const QString uri = printerUri();
    ASSERT_FALSE(uri.isEmpty());
    const QString name = QStringLiteral("supplies-acme");
    removeQueue(name);
    const QJsonObject added = addNetworkPrinter(uri, QStringLiteral("Acme Laser 100"), QString(), name);
    ASSERT_EQ(added.value(QStringLiteral("code")).toInt(-1), 0);

    // ippeveprinter's printer-supply and printer-supply-description.
    const QJsonObject expected { { "code", 0 },
        { "supplies",
            QJsonArray { supply("Toner Waste Tank", "", 25, "waste-toner"),
                supply("Black Toner", "#000000", 75, "toner") } } };
    const QString answer = getPrinterSupplies(name);
    EXPECT_EQ(parsed(answer), expected) << qPrintable(answer);
    EXPECT_TRUE(removeQueue(name));
}

TEST(DriverlessSupplies, APrinterThatRefusesTheConnectionHasNone)
{
    // Nothing listens on port 9 in the namespace: the connection is refused.
    const QString name = QStringLiteral("supplies-gone");
    removeQueue(name);
    ASSERT_EQ(run(QStringLiteral("lpadmin"),
                  { QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                      QStringLiteral("ipp://127.0.0.1:9/ipp/print") }),
        0);
    const QString answer = getPrinterSupplies(name);
    EXPECT_EQ(parsed(answer), QJsonObject({ { "code", 0 }, { "supplies", QJsonArray() } })) << qPrintable(answer);
    EXPECT_TRUE(removeQueue(name));
}

TEST(DriverlessSupplies, APrinterThatNeverAnswersIsAskedOnceAndGivesNone)
{
    // Takes the connection (the kernel does) but never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QString name = QStringLiteral("supplies-silent");
    removeQueue(name);
    ASSERT_EQ(run(QStringLiteral("lpadmin"),
                  { QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                      QStringLiteral("ipp://127.0.0.1:%1/ipp/print").arg(silent.serverPort()) }),
        0);
    const QJsonObject none { { "code", 0 }, { "supplies", QJsonArray() } };
    EXPECT_EQ(parsed(getPrinterSupplies(name)), none); // after the time limit
    EXPECT_EQ(parsed(getPrinterSupplies(name)), none); // kept: not asked again
    int connections = 0;
    while (silent.waitForNewConnection(0)) {
        while (QTcpSocket* socket = silent.nextPendingConnection()) {
            ++connections;
            delete socket;
        }
    }
    EXPECT_EQ(connections, 1);
    EXPECT_TRUE(removeQueue(name));
}
