#pragma once
// The machine's devices as sysfs shows them, in the shape of the Windows device
// manager: every folder under <root>/devices with a `uevent` file is a node
// whose parent is its nearest such ancestor; /devices itself is the root
// "HTREE\ROOT\0". USB devices and interfaces get Windows-form instance ids
// (USB\VID_vvvv&PID_pppp\serial, ...&MI_ii\...) so every rule on ids works
// unchanged; CUPS queues that drive a USB device hang below it as print-queue
// nodes. Nothing here needs udevd.
//
// open() reads what linking needs (links, uevent, USB descriptor numbers);
// names, descriptions and presence are read when a slot is asked for, so a
// device unplugged in between reads as absent.

#include "devicetree/devicesource.h"
#include "devicetree/hwdb.h"
#include "devicetree/printqueues.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace devicetree {

enum class SysfsNodeKind { Root, UsbDevice, UsbInterface, PrintQueue, Pci, Other };

struct SysfsNode {
    SysfsNodeKind kind = SysfsNodeKind::Other;
    QString dir;  // absolute folder; empty for the root and print queues
    QString sysname;
    QString subsystem;
    bool busDevice = false;  // its subsystem is a bus rather than a class
    QString driver;          // bound driver; empty when none
    QString modalias;
    int parent = -1;
    int usbDevice = -1;  // the USB device this node is part of (itself for a device)

    // USB devices
    int vendorId = -1;
    int productId = -1;
    int revision = -1;
    int deviceClass = -1;
    int deviceSubClass = -1;
    int deviceProtocol = -1;
    bool rootHub = false;
    QString serial;
    std::vector<int> interfaces;
    std::vector<int> queues;

    // USB interfaces
    int interfaceNumber = -1;
    int interfaceClass = -1;
    int interfaceSubClass = -1;
    int interfaceProtocol = -1;

    // PCI devices
    QString pciId;     // "8086:A0E8"
    QString pciSubsys; // "1028:0A1F"

    QString queueName;
    QString instanceId;
    QString parentInstanceId;
    QString containerId;
    QStringList hardwareIds;
};

class SysfsDeviceSource : public DeviceSource {
public:
    explicit SysfsDeviceSource(const HardwareDatabase& hwdb = HardwareDatabase::system(),
                               QString root = QString());

    std::uint32_t open() override;
    void close() override;
    std::size_t count() const override { return m_nodes.size(); }
    PropertyValue read(std::size_t node, int slot) const override;

    const std::vector<SysfsNode>& nodes() const { return m_nodes; }
    const HardwareDatabase& hardwareDatabase() const { return m_hwdb; }

    // The print queues to hang below USB devices. Without a list given here,
    // each open() asks the print queue provider, and only when the snapshot
    // holds a USB device other than a root hub.
    void setPrintQueues(std::vector<PrintQueueBinding> queues) { m_givenQueues = std::move(queues); }
    // The queues the last open() used; nullopt when it needed none and asked
    // for none.
    const std::optional<std::vector<PrintQueueBinding>>& printQueues() const { return m_usedQueues; }

    // Facts the USB passes need about one USB device (an index of nodes()).
    // A driver serves it: an interface has one bound, or a print queue drives
    // it (the generic "usb" driver of the device itself does not count).
    bool hasFunctionDriver(int usbDevice) const;
    // The index of its first printer-class interface bound to `driver` (any
    // driver when empty), or -1.
    int printerInterface(int usbDevice, const QString& driver = QString()) const;
    // The IEEE 1284 id usblp exposes for it; empty when usblp is not bound.
    QString ieee1284Id(int usbDevice) const;
    // What the printer says about itself, as print queue device URIs name it.
    UsbPrinterIdentity identity(int usbDevice) const;
    // The hardware database's names and, failing those, the descriptor strings.
    QString manufacturer(int usbDevice) const;
    QString product(int usbDevice) const;

private:
    void addNode(SysfsNode node);
    void readUsbFacts(SysfsNode& node) const;
    void assignIds();
    void attachPrintQueues();
    bool vanished(const SysfsNode& node) const;
    QString nameOf(const SysfsNode& node) const;
    QString classOf(const SysfsNode& node) const;
    QString serviceOf(const SysfsNode& node) const;
    bool hasDriver(const SysfsNode& node) const;
    std::uint32_t problemOf(const SysfsNode& node) const;
    std::uint32_t statusOf(const SysfsNode& node) const;

    const HardwareDatabase& m_hwdb;
    QString m_root;
    std::vector<SysfsNode> m_nodes;
    QSet<QString> m_takenIds;  // lower-cased instance ids in use
    std::optional<std::vector<PrintQueueBinding>> m_givenQueues;
    std::optional<std::vector<PrintQueueBinding>> m_usedQueues;
};

// Whether the queue's device URI names the USB device (an index of the
// source's nodes): the rules of queuesNamingDevice, with the serial number of
// the IEEE 1284 id tried as well.
bool queueNamesDevice(const SysfsDeviceSource& source, int usbDevice, const QString& deviceUri);

}  // namespace devicetree
