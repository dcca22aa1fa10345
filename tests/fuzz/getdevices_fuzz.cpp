// A CUPS-Get-Devices answer: device URIs and ids come from backends and the
// devices they found, then a device is chosen among them. A chosen URI goes
// to the scheduler and to lpadmin: it must be a plain usb:// URI.

#include "discovery/usbsetup.h"
#include "fuzzcheck.h"
#include "printers/printersetup.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<discovery::SchedulerDevice> devices = discovery::parseGetDevicesResponse(data, size);
    FUZZ_CHECK(devices.size() <= 256);
    for (const QStringList& serials : {QStringList{QStringLiteral("PHB1234567")}, QStringList{}}) {
        const int chosen = discovery::chooseUsbDevice(devices, serials, QStringLiteral("HP"),
                                                      QStringLiteral("LaserJet Pro M404-M405"));
        FUZZ_CHECK(chosen >= -1 && chosen < int(devices.size()));
        if (chosen < 0)
            continue;
        const QString& uri = devices[std::size_t(chosen)].uri;
        FUZZ_CHECK(PrinterAPI::isValidUsbDeviceUri(uri));
        FUZZ_CHECK(uri.startsWith(QLatin1String("usb://")) && uri.size() <= 1024);
        for (const QChar c : uri)
            FUZZ_CHECK(c.unicode() > 0x20 && c.unicode() < 0x7F && c != QLatin1Char('"') && c != QLatin1Char('\''));
    }
    for (const discovery::SchedulerDevice& device : devices)
        (void)discovery::sameUsbPrinter(device.deviceId, QStringLiteral("HP"), QStringLiteral("X"), {});
    return 0;
}
