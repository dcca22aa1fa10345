// A scheduler that lists the USB printer but refuses to add a queue: the add
// is tried once more through pkexec with lpadmin, with the same name, usb://
// device and driver.

#include "devicetree/umockdevbed.h"
#include "discovery/usbsetup.h"
#include "printers/printerapi.h"
#include "printers/printertestutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace printertest;

namespace {

class AddUsbPrinterRefused : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bed.addFixture(QStringLiteral("usb-printers.umockdev"))) << m_bed.error().toStdString();
        PrinterAPI::setPasswordPrompt({});
    }

    QTemporaryDir m_logDir;
    testsupport::ScopedEnv m_log{"KORVANE_DEVICE_LOG", m_logDir.filePath("mysimple.log").toUtf8()};
    testsupport::ScopedEnv m_noIppUsb{"KORVANE_IPP_USB_URI", "none"};
    UmockdevBed m_bed;
    UsingBed m_using{m_bed};
};

}  // namespace

TEST_F(AddUsbPrinterRefused, RetriedOnceThroughPkexecWithLpadmin)
{
    FakePrograms fakes;
    fakes.add("pkexec", "exit 0\n");
    const QJsonObject added =
        discovery::addUsbPrinter(QStringLiteral("USB\\VID_03F0&PID_1853"), QStringLiteral("PHB1234567"));
    EXPECT_EQ(added.value(QStringLiteral("code")).toInt(-1), 0);
    EXPECT_EQ(added.value(QStringLiteral("printerName")).toString(), QStringLiteral("HP_LaserJet_Pro_M404-M405"));
    const QStringList argv = fakes.argumentsOf("pkexec");
    ASSERT_EQ(argv.size(), 10) << argv.join(' ').toStdString();
    EXPECT_TRUE(argv[0].endsWith("/lpadmin"));
    EXPECT_EQ(argv.mid(1), (QStringList{"-h", qEnvironmentVariable("CUPS_SERVER"), "-p", "HP_LaserJet_Pro_M404-M405",
                                        "-E", "-v", "usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567", "-m",
                                        "korvane-bed:usb-laser.ppd"}));
}

TEST_F(AddUsbPrinterRefused, DismissedDialogIsAccessDeniedAndNoQueue)
{
    FakePrograms fakes;
    fakes.add("pkexec", "exit 126\n");
    const QJsonObject added =
        discovery::addUsbPrinter(QStringLiteral("USB\\VID_03F0&PID_1853"), QStringLiteral("PHB1234567"));
    EXPECT_EQ(added.value(QStringLiteral("code")).toInt(-1), 5);
    EXPECT_FALSE(added.contains(QStringLiteral("printerName")));
    EXPECT_TRUE(fakes.ran("pkexec"));
    EXPECT_FALSE(queueExists(QStringLiteral("HP_LaserJet_Pro_M404-M405")));
}
