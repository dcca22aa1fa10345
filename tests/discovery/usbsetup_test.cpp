// Adding a found USB printer at a private scheduler whose stand-in usb
// backend lists the printers of the umockdev fixture (the cups bed with
// KORVANE_CUPS_BED_USB): the usb:// URI is picked by serial number, a
// device the scheduler does not list or that is not plugged in is not added,
// nor one without a driver.

#include "devicetree/umockdevbed.h"
#include "discovery/usbsetup.h"
#include "printers/printersetup.h"
#include "support/testsupport.h"

#include <cups/ipp.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMap>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QThread>
#include <cstring>
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

class UsbPrinterSetup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bed.addFixture(QStringLiteral("usb-printers.umockdev"))) << m_bed.error().toStdString();
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("KORVANE_USB_CUPS_BED")) << "run through ctest";
    }
    void TearDown() override
    {
        for (const QString& name : m_added)
            runProgram(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
    }

    QString added(const QJsonObject& result)
    {
        const QString name = result.value(QStringLiteral("printerName")).toString();
        if (!name.isEmpty())
            m_added << name;
        return name;
    }

    QTemporaryDir m_logDir;
    testsupport::ScopedEnv m_log{"KORVANE_DEVICE_LOG", m_logDir.filePath("mysimple.log").toUtf8()};
    // No ipp-usb lookup on this machine: only the scheduler's list counts.
    testsupport::ScopedEnv m_noIppUsb{"KORVANE_IPP_USB_URI", "none"};
    UmockdevBed m_bed;
    UsingBed m_using{m_bed};
    QStringList m_added;
};

}  // namespace

TEST_F(UsbPrinterSetup, TheSerialNumberPicksTheRightOneOfTwoListedPrintersAndItPrints)
{
    const QMap<QString, QString> before = deviceUris();
    const QJsonObject result = addUsbPrinter(QStringLiteral("USB\\VID_03F0&PID_1853"), QStringLiteral("PHB1234567"));
    ASSERT_EQ(code(result), 0) << QJsonDocument(result).toJson().toStdString();
    const QString name = added(result);
    EXPECT_EQ(name, QStringLiteral("HP_LaserJet_Pro_M404-M405"));
    QMap<QString, QString> after = deviceUris();
    EXPECT_EQ(after.value(name), QStringLiteral("usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567"));
    after.remove(name);
    EXPECT_EQ(after, before);
    const QString options = runProgram(QStringLiteral("lpoptions"), {QStringLiteral("-p"), name});
    EXPECT_TRUE(options.contains(QStringLiteral("printer-make-and-model='HP LaserJet Pro M404-M405 (test bed)'")))
        << options.toStdString();
    EXPECT_TRUE(options.contains(QStringLiteral("printer-is-accepting-jobs=true"))) << options.toStdString();
    EXPECT_TRUE(options.contains(QStringLiteral("printer-info='HP LaserJet Pro M404-M405'"))) << options.toStdString();

    // A job reaches the stand-in backend's output folder.
    QTemporaryDir jobDir;
    QFile job(jobDir.filePath(QStringLiteral("job.txt")));
    ASSERT_TRUE(job.open(QIODevice::WriteOnly));
    job.write("%!PS\n% korvane usb job\nshowpage\n");
    job.close();
    int exitCode = -1;
    const QString submitted = runProgram(QStringLiteral("lp"), {QStringLiteral("-d"), name, QStringLiteral("-o"),
                                                            QStringLiteral("raw"), job.fileName()}, &exitCode);
    ASSERT_EQ(exitCode, 0) << submitted.toStdString();
    const QRegularExpressionMatch id = QRegularExpression(QStringLiteral("request id is \\S+-(\\d+)")).match(submitted);
    ASSERT_TRUE(id.hasMatch()) << submitted.toStdString();
    QFile output(qEnvironmentVariable("KORVANE_USB_CUPS_BED") + QStringLiteral("/usb-output/job-") + id.captured(1));
    for (int i = 0; i < 600 && !output.exists(); ++i)  // 60 s at most
        QThread::msleep(100);
    ASSERT_TRUE(output.open(QIODevice::ReadOnly)) << output.fileName().toStdString();
    EXPECT_EQ(output.readAll(), QByteArray("%!PS\n% korvane usb job\nshowpage\n"));
}

TEST_F(UsbPrinterSetup, APrinterTheSchedulerDoesNotListIsNotFound)
{
    const QMap<QString, QString> before = deviceUris();
    // The Brother is plugged in but the usb backend does not list it.
    EXPECT_EQ(code(addUsbPrinter(QStringLiteral("USB\\VID_04F9&PID_0042"), QStringLiteral("000J5N123456"))), 2);
    EXPECT_EQ(deviceUris(), before);
}

TEST_F(UsbPrinterSetup, AListedPrinterThatIsNotPluggedInIsNotFound)
{
    const QMap<QString, QString> before = deviceUris();
    // The scheduler lists an M404 with this serial number; this machine has
    // only the other one.
    EXPECT_EQ(code(addUsbPrinter(QStringLiteral("USB\\VID_03F0&PID_1853"), QStringLiteral("PHB7654321"))), 2);
    EXPECT_EQ(code(addUsbPrinter(QStringLiteral("USB\\VID_1234&PID_5678"), QString())), 2);
    EXPECT_EQ(deviceUris(), before);
}

TEST_F(UsbPrinterSetup, WithoutAnInstalledDriverNothingIsAdded)
{
    const QMap<QString, QString> before = deviceUris();
    const QJsonObject result =
        addUsbPrinter(QStringLiteral("USB\\VID_04B8&PID_1181"), QStringLiteral("583834503031363251"));
    EXPECT_EQ(code(result), 1797);
    EXPECT_FALSE(result.contains(QStringLiteral("printerName")));
    EXPECT_EQ(deviceUris(), before);
}

TEST_F(UsbPrinterSetup, ArgumentsThatAreNotValidAreRefusedWithoutAsking)
{
    const QMap<QString, QString> before = deviceUris();
    const char* const ids[] = {"", "USB\\VID_03F0", "USB\\VID_03F0&PID_18531", "usbprint\\HPLaserJet",
                               "USB\\VID_03F0&PID_1853\"; rm -rf /", "VID_03F0&PID_1853"};
    for (const char* id : ids)
        EXPECT_EQ(code(addUsbPrinter(QString::fromLatin1(id), QStringLiteral("PHB1234567"))), 87) << id;
    const QString serials[] = {QStringLiteral("PHB\n1234567"), QStringLiteral(" PHB1234567"), QString(129, QLatin1Char('A')),
                               QString::fromUtf8("PHB\xC3\xA9")};
    for (const QString& serial : serials)
        EXPECT_EQ(code(addUsbPrinter(QStringLiteral("USB\\VID_03F0&PID_1853"), serial)), 87) << serial.toStdString();
    EXPECT_EQ(deviceUris(), before);
}

TEST(ChooseUsbDevice, BySerialNumberElseByAnOnlyMakeAndModel)
{
    const std::vector<SchedulerDevice> devices = {
        {QStringLiteral("socket://10.0.0.1"), QStringLiteral("MFG:HP;MDL:X;"), {}},
        {QStringLiteral("usb://HP/X?serial=A1"), QStringLiteral("MFG:HP;MDL:X;SN:A1;"), {}},
        {QStringLiteral("usb://HP/X?serial=B2&interface=1"), QStringLiteral("MFG:HP;MDL:X;SN:B2;"), {}},
        {QStringLiteral("usb://Acme/Y"), QStringLiteral("MFG:Acme;MDL:Y;"), {}},
        {QStringLiteral("usb://Evil/\"Z\"?serial=C3"), QStringLiteral("MFG:Evil;MDL:Z;"), {}},
    };
    EXPECT_EQ(chooseUsbDevice(devices, {QStringLiteral("B2")}, QStringLiteral("HP"), QStringLiteral("X")), 2);
    EXPECT_EQ(chooseUsbDevice(devices, {QStringLiteral("Z9"), QStringLiteral("A1")}, QStringLiteral("HP"),
                              QStringLiteral("X")), 1);
    EXPECT_EQ(chooseUsbDevice(devices, {QStringLiteral("Z9")}, QStringLiteral("HP"), QStringLiteral("X")), -1)
        << "a serial number that is not listed is not guessed by model";
    EXPECT_EQ(chooseUsbDevice(devices, {}, QStringLiteral("acme"), QStringLiteral("y")), 3);
    EXPECT_EQ(chooseUsbDevice(devices, {}, QStringLiteral("HP"), QStringLiteral("X")), -1) << "two candidates";
    EXPECT_EQ(chooseUsbDevice(devices, {QStringLiteral("C3")}, QStringLiteral("Evil"), QStringLiteral("Z")), -1)
        << "a URI with quotes is never handed on";
    EXPECT_EQ(chooseUsbDevice({}, {QStringLiteral("A1")}, QStringLiteral("HP"), QStringLiteral("X")), -1);
}

TEST(UsbDeviceUri, OnlyAPlainUsbUriIsHandedToTheScheduler)
{
    using PrinterAPI::isValidUsbDeviceUri;
    EXPECT_TRUE(isValidUsbDeviceUri(QStringLiteral("usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567")));
    EXPECT_TRUE(isValidUsbDeviceUri(QStringLiteral("usb://EPSON/ET-2810%20Series?serial=1&interface=1")));
    EXPECT_FALSE(isValidUsbDeviceUri(QStringLiteral("usb://HP")));
    EXPECT_FALSE(isValidUsbDeviceUri(QStringLiteral("usb:///x")));
    EXPECT_FALSE(isValidUsbDeviceUri(QStringLiteral("usb://HP/../../etc/passwd")));
    EXPECT_FALSE(isValidUsbDeviceUri(QStringLiteral("usb://HP/Laser Jet")));
    EXPECT_FALSE(isValidUsbDeviceUri(QStringLiteral("usb://HP/X'; rm -rf /")));
    EXPECT_FALSE(isValidUsbDeviceUri(QStringLiteral("file:///dev/usb/lp0")));
    EXPECT_FALSE(isValidUsbDeviceUri(QStringLiteral("usb://HP/") + QString(1020, QLatin1Char('x'))));
    EXPECT_FALSE(isValidUsbDeviceUri(QString::fromUtf8("usb://HP/Ã©")));
}

TEST(SameUsbPrinter, MakeModelAndSerialWhenBothSayOne)
{
    const QStringList serials{QStringLiteral("PHB1")};
    EXPECT_TRUE(sameUsbPrinter(QStringLiteral("MFG:HP;MDL:LaserJet 1;CMD:PS;"), QStringLiteral("hp"),
                               QStringLiteral("laserjet 1"), serials));
    EXPECT_TRUE(sameUsbPrinter(QStringLiteral("MFG:HP;MDL:LaserJet 1;SN:PHB1;"), QStringLiteral("HP"),
                               QStringLiteral("LaserJet 1"), serials));
    EXPECT_FALSE(sameUsbPrinter(QStringLiteral("MFG:HP;MDL:LaserJet 1;SN:PHB2;"), QStringLiteral("HP"),
                                QStringLiteral("LaserJet 1"), serials));
    EXPECT_FALSE(sameUsbPrinter(QStringLiteral("MFG:HP;MDL:LaserJet 2;"), QStringLiteral("HP"),
                                QStringLiteral("LaserJet 1"), serials));
    EXPECT_FALSE(sameUsbPrinter(QString(), QString(), QString(), {}));
}

TEST(IppUsbEndpoints, TheVariableNamesLoopbackEndpointsOnly)
{
    testsupport::ScopedEnv env("KORVANE_IPP_USB_URI",
                               "ipp://localhost:60000/ipp/print, ipp://10.0.0.1:631/ipp/print,"
                               "ipp://127.0.0.1:70000/ipp/print,ipp://127.0.0.1:631/ipp/../x,"
                               "ipps://127.0.0.1:631/ipp/print,ipp://127.0.0.1:8631/ipp/print");
    EXPECT_EQ(ippUsbEndpoints(), (QStringList{QStringLiteral("ipp://127.0.0.1:60000/ipp/print"),
                                              QStringLiteral("ipp://127.0.0.1:8631/ipp/print")}));
    testsupport::ScopedEnv off("KORVANE_IPP_USB_URI", "none");
    EXPECT_TRUE(ippUsbEndpoints().isEmpty());
}

TEST(GetDevicesResponse, ReadsTheDevicesOfAnAnswerAndNothingOfGarbage)
{
    ipp_t* response = ippNew();
    ippSetStatusCode(response, IPP_STATUS_OK);
    ippSetRequestId(response, 1);
    ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_CHARSET, "attributes-charset", nullptr, "utf-8");
    ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_LANGUAGE, "attributes-natural-language", nullptr, "en");
    for (const char* serial : {"A1", "B2"}) {
        ippAddSeparator(response);
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "device-class", nullptr, "direct");
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                     QStringLiteral("usb://HP/X?serial=%1").arg(QLatin1String(serial)).toUtf8().constData());
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "device-id", nullptr,
                     QStringLiteral("MFG:HP;MDL:X;SN:%1;").arg(QLatin1String(serial)).toUtf8().constData());
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "device-make-and-model", nullptr, "HP X");
    }
    QByteArray bytes(int(ippLength(response)), '\0');
    struct Writer {
        QByteArray* out;
        int position;
    } writer{&bytes, 0};
    ippSetState(response, IPP_STATE_IDLE);
    ASSERT_EQ(ippWriteIO(&writer,
                         [](void* context, ipp_uchar_t* buffer, size_t size) -> ssize_t {
                             auto* w = static_cast<Writer*>(context);
                             if (w->position + int(size) > w->out->size())
                                 w->out->resize(w->position + int(size));
                             std::memcpy(w->out->data() + w->position, buffer, size);
                             w->position += int(size);
                             return ssize_t(size);
                         },
                         1, nullptr, response),
              IPP_STATE_DATA);
    ippDelete(response);
    bytes.resize(writer.position);

    const std::vector<SchedulerDevice> devices =
        parseGetDevicesResponse(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].uri, QStringLiteral("usb://HP/X?serial=B2"));
    EXPECT_EQ(devices[1].deviceId, QStringLiteral("MFG:HP;MDL:X;SN:B2;"));
    EXPECT_EQ(devices[1].makeAndModel, QStringLiteral("HP X"));
    for (int cut = 0; cut < bytes.size(); cut += 7)
        EXPECT_LE(parseGetDevicesResponse(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(cut)).size(),
                  2u);
    EXPECT_TRUE(parseGetDevicesResponse(nullptr, 0).empty());
}
