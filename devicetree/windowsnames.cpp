#include "devicetree/windowsnames.h"

#include <QHash>

namespace devicetree {

QString serviceForDriver(const QString& driver)
{
    static const QHash<QString, QString> twins = {
        {QStringLiteral("usblp"), QStringLiteral("usbprint")},
        {QStringLiteral("usb-storage"), QStringLiteral("USBSTOR")},
        {QStringLiteral("uas"), QStringLiteral("UASPStor")},
        {QStringLiteral("usbhid"), QStringLiteral("HidUsb")},
        {QStringLiteral("hub"), QStringLiteral("usbhub")},
        {QStringLiteral("uvcvideo"), QStringLiteral("usbvideo")},
        {QStringLiteral("btusb"), QStringLiteral("BTHUSB")},
        // The generic USB device driver configures the device and creates its
        // interfaces: the composite driver's job.
        {QStringLiteral("usb"), QStringLiteral("usbccgp")},
    };
    return twins.value(driver, driver);
}

QString classForInterfaceDriver(const QString& driver)
{
    static const QHash<QString, QString> classes = {
        {QStringLiteral("usbhid"), QStringLiteral("HIDClass")},
        {QStringLiteral("uvcvideo"), QStringLiteral("Camera")},
        {QStringLiteral("btusb"), QStringLiteral("Bluetooth")},
        {QStringLiteral("snd-usb-audio"), QStringLiteral("MEDIA")},
        {QStringLiteral("cdc_acm"), QStringLiteral("Ports")},
        {QStringLiteral("cdc_ether"), QStringLiteral("Net")},
        {QStringLiteral("cdc_ncm"), QStringLiteral("Net")},
        {QStringLiteral("rndis_host"), QStringLiteral("Net")},
        {QStringLiteral("r8152"), QStringLiteral("Net")},
        {QStringLiteral("ax88179_178a"), QStringLiteral("Net")},
    };
    return classes.value(driver, QStringLiteral("USB"));
}

QString classDescription(const QString& deviceClass)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("Printer"), QStringLiteral("Printers")},
        {QStringLiteral("PrintQueue"), QStringLiteral("Print queues")},
        {QStringLiteral("USB"), QStringLiteral("Universal Serial Bus controllers")},
        {QStringLiteral("HIDClass"), QStringLiteral("Human Interface Devices")},
        {QStringLiteral("Camera"), QStringLiteral("Cameras")},
        {QStringLiteral("Bluetooth"), QStringLiteral("Bluetooth")},
        {QStringLiteral("MEDIA"), QStringLiteral("Sound, video and game controllers")},
        {QStringLiteral("Ports"), QStringLiteral("Ports (COM & LPT)")},
        {QStringLiteral("Net"), QStringLiteral("Network adapters")},
    };
    return names.value(deviceClass);
}

QString interfaceDescription(int interfaceClass)
{
    switch (interfaceClass) {
    case 0x01: return QStringLiteral("USB Audio Device");
    case 0x02: return QStringLiteral("USB Communications Device");
    case 0x03: return QStringLiteral("USB Input Device");
    case 0x06: return QStringLiteral("USB Imaging Device");
    case 0x07: return QStringLiteral("USB Printing Support");
    case 0x08: return QStringLiteral("USB Mass Storage Device");
    case 0x09: return QStringLiteral("USB Hub");
    case 0x0A: return QStringLiteral("USB CDC Data");
    case 0x0B: return QStringLiteral("USB Smart Card Reader");
    case 0x0E: return QStringLiteral("USB Video Device");
    case 0xE0: return QStringLiteral("USB Wireless Controller");
    default: return QStringLiteral("USB Interface");
    }
}

}  // namespace devicetree
