// A scheduler that refuses to add a queue: the add is tried once more
// through pkexec with lpadmin, with the same name, device and driverless model.

#include "printers/printersetup.h"
#include "printers/printertestutil.h"

#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;

TEST(AddNetworkPrinterRefused, RetriedOnceThroughPkexecWithLpadmin)
{
    setPasswordPrompt({});
    FakePrograms fakes;
    fakes.add("pkexec", "exit 0\n");
    const QJsonObject added =
        addNetworkPrinter(QStringLiteral("ipp://10.203.7.40:8631/ipp/print"), QStringLiteral("Acme Laser 100"), {});
    EXPECT_EQ(added.value(QStringLiteral("code")).toInt(-1), 0);
    EXPECT_EQ(added.value(QStringLiteral("printerName")).toString(), QStringLiteral("Acme_Laser_100"));
    const QStringList argv = fakes.argumentsOf("pkexec");
    ASSERT_EQ(argv.size(), 10) << argv.join(' ').toStdString();
    EXPECT_TRUE(argv[0].endsWith("/lpadmin"));
    EXPECT_EQ(argv.mid(1), (QStringList{"-h", qEnvironmentVariable("CUPS_SERVER"), "-p", "Acme_Laser_100", "-E", "-v",
                                        "ipp://10.203.7.40:8631/ipp/print", "-m", "everywhere"}));
}

TEST(AddNetworkPrinterRefused, DismissedDialogIsAccessDeniedAndNoQueue)
{
    setPasswordPrompt({});
    FakePrograms fakes;
    fakes.add("pkexec", "exit 126\n");
    const QJsonObject added =
        addNetworkPrinter(QStringLiteral("ipp://10.203.7.40:8631/ipp/print"), QStringLiteral("Acme Laser 100"), {});
    EXPECT_EQ(added.value(QStringLiteral("code")).toInt(-1), 5);
    EXPECT_FALSE(added.contains(QStringLiteral("printerName")));
    EXPECT_TRUE(fakes.ran("pkexec"));
    EXPECT_FALSE(queueExists(QStringLiteral("Acme_Laser_100")));
}

TEST(AddNetworkPrinterRefused, WithoutPkexecIsAccessDenied)
{
    setPasswordPrompt({});
    FakePrograms fakes;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", fakes.dir().toUtf8() + ":/usr/sbin:/sbin");  // lpadmin, no pkexec
    const QJsonObject added =
        addNetworkPrinter(QStringLiteral("ipp://10.203.7.40:8631/ipp/print"), QStringLiteral("Acme Laser 100"), {});
    qputenv("PATH", oldPath);
    EXPECT_EQ(added.value(QStringLiteral("code")).toInt(-1), 5);
}
