#pragma once
// A fake /sys whose devices come and go with uevents: libumockdev's test bed,
// materialised from tests/data/installmonitor/*.umockdev. Under
// umockdev-wrapper the uevents reach the process's own udev monitors through
// the real libudev code; without it they go nowhere.

#include "support/testsupport.h"

#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

struct _UMockdevTestbed;

namespace monitortest {

// Device paths of the fixtures, parents first.
inline const QString kUsbBus = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1");
inline const QStringList kWatchedPrinter{kUsbBus + "/1-1", kUsbBus + "/1-1/1-1:1.0",
                                         kUsbBus + "/1-1/1-1:1.0/usbmisc/lp0"};
inline const QStringList kComposite{kUsbBus + "/1-2", kUsbBus + "/1-2/1-2:1.0", kUsbBus + "/1-2/1-2:1.1",
                                    kUsbBus + "/1-2/1-2:1.1/usbmisc/lp1", kUsbBus + "/1-2/1-2:1.2"};
inline const QStringList kUnrelated{kUsbBus + "/1-3", kUsbBus + "/1-3/1-3:1.0"};
inline const QStringList kOtherPrinter{kUsbBus + "/1-4", kUsbBus + "/1-4/1-4:1.0",
                                       kUsbBus + "/1-4/1-4:1.0/usbmisc/lp2"};

inline const QString kWatchedId = QStringLiteral("USB\\VID_03F0&PID_1853");
inline const QString kCompositeId = QStringLiteral("USB\\VID_03F0&PID_5417");

class EventBed {
public:
    EventBed();
    ~EventBed();
    EventBed(const EventBed&) = delete;
    EventBed& operator=(const EventBed&) = delete;

    // Adds the devices of tests/data/installmonitor/<name>.umockdev. The bed
    // announces each with an "add" uevent, parents first, as the kernel does.
    bool plug(const QString& name);
    // A "remove" uevent for each device path, children first, then the
    // devices go from the bed: the listener finds them gone, as after a real
    // unplug.
    void unplug(const QStringList& devpaths);
    void uevent(const QString& devpath, const char* action);

    QString sysfsRoot() const;
    QString error() const { return m_error; }

private:
    _UMockdevTestbed* m_bed;
    QString m_error;
};

}  // namespace monitortest
