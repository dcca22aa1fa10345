// Adding a found USB printer: the device again from sysfs, its usb:// URI
// from the scheduler, ipp-usb's endpoint when it serves the printer.

#include "discovery/usbsetup.h"

#include "devicetree/ieee1284fields.h"
#include "devicetree/printqueues.h"
#include "devicetree/sysfssource.h"
#include "discovery/ippattributes.h"
#include "discovery/ippprobe.h"
#include "printers/cupsconnection.h"
#include "printers/printersetup.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cups/ipp.h>
#include <cstring>
#include <memory>

namespace discovery {

namespace {

namespace cups = PrinterAPI::cups;

constexpr std::size_t kMaxDevices = 256;
constexpr int kMaxText = 1024;
constexpr int kMaxSerialChars = 128;
constexpr int kMaxHardwareIdChars = 512;
constexpr int kMaxEndpoints = 16;
constexpr int kMaxProcesses = 65536;
// The scheduler runs its usb backend and waits for it at most this long...
constexpr int kDeviceListSeconds = 10;
// ...and the answer may take a little longer than that.
constexpr int kDeviceListWaitMs = 25 * 1000;
constexpr std::chrono::milliseconds kEndpointLimit{2000};
constexpr int kIppUsbFirstPort = 60000;
constexpr int kIppUsbPorts = 10;

QJsonObject codeOnly(win32::ErrorCode code)
{
    return QJsonObject{{QStringLiteral("code"), qint64(code)}};
}

QString bounded(ipp_attribute_t* attribute)
{
    return cups::attributeText(attribute).left(kMaxText);
}

std::vector<SchedulerDevice> devicesFrom(ipp_t* response)
{
    std::vector<SchedulerDevice> devices;
    if (!response || ippGetStatusCode(response) >= IPP_STATUS_REDIRECTION_OTHER_SITE)
        return devices;
    SchedulerDevice device;
    const auto flush = [&devices, &device] {
        if (!device.uri.isEmpty() && devices.size() < kMaxDevices)
            devices.push_back(device);
        device = SchedulerDevice();
    };
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char* name = ippGetName(a);
        if (!name) {
            flush();
            continue;
        }
        if (ippGetGroupTag(a) != IPP_TAG_PRINTER)
            continue;
        if (std::strcmp(name, "device-uri") == 0)
            device.uri = bounded(a);
        else if (std::strcmp(name, "device-id") == 0)
            device.deviceId = bounded(a);
        else if (std::strcmp(name, "device-make-and-model") == 0)
            device.makeAndModel = bounded(a);
    }
    flush();
    return devices;
}

bool equalText(const QString& a, const QString& b)
{
    return !a.trimmed().isEmpty() && a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// A serial number from the page: printable ASCII, no blanks at the ends.
bool isValidSerial(const QString& serial)
{
    if (serial.size() > kMaxSerialChars || serial.trimmed() != serial)
        return false;
    for (const QChar c : serial) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
            return false;
    }
    return true;
}

bool ippUsbRunning()
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    int seen = 0;
    for (const QString& entry : entries) {
        if (++seen > kMaxProcesses)
            break;
        bool number = false;
        entry.toUInt(&number);
        if (!number)
            continue;
        QFile comm(QStringLiteral("/proc/") + entry + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.read(64).trimmed() == "ipp-usb")
            return true;
    }
    return false;
}

}  // namespace

std::vector<SchedulerDevice> parseGetDevicesResponse(const std::uint8_t* data, std::size_t size)
{
    const cups::IppPtr response(discovery::readIppMessage(data, size));
    if (!response)
        return {};
    return devicesFrom(response.get());
}

int chooseUsbDevice(const std::vector<SchedulerDevice>& devices, const QStringList& serials, const QString& make,
                    const QString& model)
{
    QStringList wanted;
    for (const QString& serial : serials) {
        if (!serial.trimmed().isEmpty())
            wanted << serial.trimmed();
    }
    int candidate = -1;
    int candidates = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        devicetree::UsbDeviceUri uri;
        if (!devicetree::parseUsbDeviceUri(devices[i].uri, &uri) || !PrinterAPI::isValidUsbDeviceUri(devices[i].uri))
            continue;
        if (!wanted.isEmpty()) {
            if (!uri.serial.isEmpty() && wanted.contains(uri.serial))
                return int(i);
            continue;
        }
        const devicetree::Ieee1284Fields fields = devicetree::parseIeee1284Fields(devices[i].deviceId);
        if (equalText(fields.manufacturer, make) && equalText(fields.model, model)) {
            candidate = int(i);
            ++candidates;
        }
    }
    return candidates == 1 ? candidate : -1;
}

bool sameUsbPrinter(const QString& endpointDeviceId, const QString& make, const QString& model,
                    const QStringList& serials)
{
    const devicetree::Ieee1284Fields fields = devicetree::parseIeee1284Fields(endpointDeviceId.left(kMaxText));
    if (!equalText(fields.manufacturer, make) || !equalText(fields.model, model))
        return false;
    QStringList known;
    for (const QString& serial : serials) {
        if (!serial.trimmed().isEmpty())
            known << serial.trimmed();
    }
    return fields.serial.trimmed().isEmpty() || known.isEmpty() || known.contains(fields.serial.trimmed());
}

QStringList ippUsbEndpoints()
{
    QStringList endpoints;
    const QString configured = qEnvironmentVariable("KORVANE_IPP_USB_URI");
    if (!configured.isEmpty()) {
        static const QRegularExpression kLoopback(
            QStringLiteral("^ipp://(?:127\\.0\\.0\\.1|localhost):([0-9]{1,5})(/[A-Za-z0-9_./-]{0,200})$"));
        for (const QString& part : configured.left(4096).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = kLoopback.match(part.trimmed());
            const int port = m.hasMatch() ? m.captured(1).toInt() : 0;
            if (port < 1 || port > 65535 || m.captured(2).contains(QLatin1String("..")))
                continue;
            endpoints << QStringLiteral("ipp://127.0.0.1:%1%2").arg(port).arg(m.captured(2));
            if (endpoints.size() >= kMaxEndpoints)
                break;
        }
        return endpoints;
    }
    if (!ippUsbRunning())
        return endpoints;
    for (int port = kIppUsbFirstPort; port < kIppUsbFirstPort + kIppUsbPorts; ++port)
        endpoints << QStringLiteral("ipp://127.0.0.1:%1/ipp/print").arg(port);
    return endpoints;
}

QJsonObject addUsbPrinter(const QString& hardwareId, const QString& serial)
{
    static const QRegularExpression kId(QStringLiteral("^USB\\\\VID_([0-9A-F]{4})&PID_([0-9A-F]{4})(?:[&\\\\].*)?$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch id =
        hardwareId.size() <= kMaxHardwareIdChars ? kId.match(hardwareId) : QRegularExpressionMatch();
    if (!id.hasMatch() || !isValidSerial(serial))
        return codeOnly(win32::kInvalidParameter);
    const int vendor = id.captured(1).toInt(nullptr, 16);
    const int product = id.captured(2).toInt(nullptr, 16);

    // The device as it is now: present, with this id and serial number.
    devicetree::SysfsDeviceSource source;
    if (source.open() != 0)
        return codeOnly(win32::kFileNotFound);
    int device = -1;
    int matches = 0;
    for (std::size_t i = 0; i < source.nodes().size(); ++i) {
        const devicetree::SysfsNode& node = source.nodes()[i];
        if (node.kind != devicetree::SysfsNodeKind::UsbDevice || node.rootHub || node.vendorId != vendor ||
            node.productId != product)
            continue;
        if (!serial.isEmpty() && node.serial != serial)
            continue;
        device = int(i);
        ++matches;
    }
    if (matches != 1) {
        qInfo("usb: no single device %04x:%04x%s present", unsigned(vendor), unsigned(product),
              serial.isEmpty() ? "" : " with that serial");
        return codeOnly(win32::kFileNotFound);
    }
    const QString ieee1284 = source.ieee1284Id(device).left(kMaxText);
    const devicetree::Ieee1284Fields fields = devicetree::parseIeee1284Fields(ieee1284);
    const devicetree::UsbPrinterIdentity identity = source.identity(device);
    const QString make = identity.make.trimmed().left(256);
    const QString model = identity.model.trimmed().left(256);
    QStringList serials;
    for (const QString& s : {source.nodes()[std::size_t(device)].serial, fields.serial}) {
        if (!s.trimmed().isEmpty() && !serials.contains(s.trimmed()))
            serials << s.trimmed();
    }
    const QString makeAndModel =
        model.startsWith(make, Qt::CaseInsensitive) ? model : QString(make + QLatin1Char(' ') + model).trimmed();

    // ipp-usb serves the printer over IPP: a driverless queue to it.
    for (const QString& endpoint : ippUsbEndpoints()) {
        static const QRegularExpression kEndpoint(QStringLiteral("^ipp://127\\.0\\.0\\.1:([0-9]+)(/.*)$"));
        const QRegularExpressionMatch m = kEndpoint.match(endpoint);
        if (!m.hasMatch())
            continue;
        IppTarget target;
        target.address = "127.0.0.1";
        target.port = m.captured(1).toInt();
        target.resource = m.captured(2).toStdString();
        const IppProbeResult probe = probePrinter(target, kEndpointLimit, nullptr);
        if (!probe.attributes)
            continue;
        const QString endpointId = QString::fromStdString(probe.attributes->deviceId).left(kMaxText);
        if (!sameUsbPrinter(endpointId, make, model, serials))
            continue;
        qInfo("usb: %s is served by ipp-usb at %s", qPrintable(makeAndModel), qPrintable(endpoint));
        return PrinterAPI::addNetworkPrinter(endpoint, makeAndModel, endpointId);
    }

    // A scheduler elsewhere lists its own USB printers, not this machine's.
    if (!cups::SpoolerConnection::serverIsLocal())
        return codeOnly(win32::kFileNotFound);
    cups::SpoolerConnection connection(kDeviceListWaitMs);
    if (!connection.isOpen())
        return codeOnly(win32::kRpcServerUnavailable);
    cups::IppPtr request = cups::newRequest(IPP_OP_CUPS_GET_DEVICES);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "include-schemes", nullptr, "usb");
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", int(kMaxDevices));
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "timeout", kDeviceListSeconds);
    const cups::Reply reply = connection.send(std::move(request));
    if (!reply.response)
        return codeOnly(reply.error);
    const std::vector<SchedulerDevice> devices = devicesFrom(reply.response.get());
    const int chosen = chooseUsbDevice(devices, serials, make, model);
    if (chosen < 0) {
        qInfo("usb: the scheduler lists no usb device for %s", qPrintable(makeAndModel));
        return codeOnly(win32::kFileNotFound);
    }
    const SchedulerDevice& listed = devices[std::size_t(chosen)];
    return PrinterAPI::addUsbDeviceQueue(listed.uri, makeAndModel, ieee1284.isEmpty() ? listed.deviceId : ieee1284);
}

}  // namespace discovery
