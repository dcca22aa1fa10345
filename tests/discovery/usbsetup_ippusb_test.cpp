// A USB printer that ipp-usb serves gets a driverless queue to ipp-usb's
// endpoint. Runs inside the IPP printer bed's namespace, where ippeveprinter
// on 127.0.0.1:631 stands in for ipp-usb and the bed's scheduler reaches it.

#include "devicetree/umockdevbed.h"
#include "discovery/usbsetup.h"
#include "support/testsupport.h"

#include <QJsonDocument>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace discovery;

using testsupport::runProgram;

namespace {

// Queue name -> device URI, from lpstat -v.
QMap<QString, QString> deviceUris()
{
    return testsupport::queueDevices(runProgram(QStringLiteral("lpstat"), {QStringLiteral("-v")}));
}

int code(const QJsonObject& result)
{
    return result.value(QStringLiteral("code")).toInt(-1);
}

}  // namespace

// ippeveprinter plays ipp-usb serving a plugged-in "Acme Laser 100"; the
// first endpoint named answers nothing.
TEST(IppUsb, APrinterIppUsbServesGetsADriverlessQueueToItsEndpoint)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("KORVANE_IPP_PRINTER_BED")) << "run through ctest";
    QTemporaryDir logDir;
    testsupport::ScopedEnv log("KORVANE_DEVICE_LOG", logDir.filePath("mysimple.log").toUtf8());
    testsupport::ScopedEnv ippUsb("KORVANE_IPP_USB_URI", "ipp://127.0.0.1:9/ipp/print,ipp://localhost:631/ipp/print");
    UmockdevBed bed;
    ASSERT_TRUE(bed.addText(QStringLiteral(
        "P: /devices/usb9\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor=1d6b\nA: idProduct=0002\n\n"
        "P: /devices/usb9/9-1\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor=1234\nA: idProduct=5678\n"
        "A: manufacturer=Acme\nA: product=Laser 100\nA: serial=ACME0001\n\n"
        "P: /devices/usb9/9-1/9-1:1.0\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\nA: bInterfaceNumber=00\n"
        "A: bInterfaceClass=07\nA: bInterfaceSubClass=01\nA: bInterfaceProtocol=04\n")))
        << bed.error().toStdString();
    UsingBed using_(bed);
    const QMap<QString, QString> before = deviceUris();

    const QJsonObject result = addUsbPrinter(QStringLiteral("USB\\VID_1234&PID_5678"), QStringLiteral("ACME0001"));
    ASSERT_EQ(code(result), 0) << QJsonDocument(result).toJson().toStdString();
    const QString name = result.value(QStringLiteral("printerName")).toString();
    QMap<QString, QString> after = deviceUris();
    EXPECT_EQ(after.value(name), QStringLiteral("ipp://127.0.0.1:631/ipp/print"));
    const QString options = runProgram(QStringLiteral("lpoptions"), {QStringLiteral("-p"), name});
    EXPECT_TRUE(options.contains(QStringLiteral("IPP Everywhere"))) << options.toStdString();
    runProgram(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
    after.remove(name);
    EXPECT_EQ(after, before);

}
