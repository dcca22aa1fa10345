#pragma once
// Facts about the operating system and the machine, in the shapes the pages
// were written for.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class QWidget;

namespace sysutil {

// Linux is never "older than Windows 8".
bool isOlderThanWin8();
bool isWow64();

// "Linux" + architecture ("amd64", "x86", "arm64", "arm", or empty) + "." +
// kernel major + "." + minor, e.g. "Linuxamd64.6.1". Cached.
QString platformDecoration();
QString architectureName(const QString& machine);
QString decorationFor(const QString& machine, const QString& kernelRelease);

// The kernel major.minor ("6.1"), or "." when it cannot be read.
QString osVersion();

// /etc/machine-id, else an identifier composed from the machine's parts.
// machineIdentifier() reads once per process; readMachineIdentifier() every time.
QString machineIdentifier();
QString readMachineIdentifier();

// The parts of the composed identifier, exposed for tests.
struct MachineParts {
    QString computerName;
    std::uint16_t processorValue = 0;
    std::uint16_t volumeValue = 0;
    std::vector<QByteArray> hardwareAddresses;  // first adapters, in interface order
};
MachineParts readMachineParts();
QString composeMachineIdentifier(const MachineParts& parts);
std::uint32_t djb2(const QString& text);  // over UTF-16 units
std::uint16_t addressChecksum(const QByteArray& hardwareAddress);
std::uint16_t fold16(std::uint32_t value);  // low 16 bits of value + (value >> 16)

// True when a process whose executable is this file is running (symbolic
// links in the path are followed).
bool isProcessRunning(const QString& executablePath);
// The executable paths of the running processes this user may see.
QStringList runningExecutables();

struct ScaledSize {
    float scaleFactor = 1.0f;
    int width = 0;
    int height = 0;
};
// Scales a size by the screen's logical DPI against 96.
ScaledSize scaleSize(const QWidget* window, int width, int height);

// The product's package name ("empty" when not configured), from QSettings.
QString packageName();

}  // namespace sysutil
