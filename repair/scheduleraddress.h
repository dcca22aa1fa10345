#pragma once
// The address of a CUPS scheduler as it travels to the repair tool on its
// command line ("salvane -h ADDRESS", as lpadmin takes it): the path of a
// unix socket, or host[:port]. The tool runs as root, so what it is told is
// checked before anything is done with it.

#include <QString>
#include <QStringList>

namespace repair {

// Bounds: a socket path fits sockaddr_un (107 bytes and its NUL); a host name
// has at most 253 characters.
constexpr int kMostSocketPathBytes = 107;
constexpr int kMostHostNameChars = 253;

// Whether the text is an address a scheduler can have: an absolute socket
// path without control characters, within the bound; or a host name, an
// IPv4 address or a bracketed IPv6 address (a bare one without port), with an
// optional ":port" of 1 to 65535. Never starts with '-'.
bool isValidSchedulerAddress(const QString& address);

// Whether a valid address names a scheduler on this machine: a socket, or
// localhost, 127.x.y.z, ::1.
bool isLocalSchedulerAddress(const QString& address);

// The sockets the machine's own scheduler listens on in a standard setup.
QStringList standardSchedulerSockets();
// Those, or the one KORVANE_CUPS_SYSTEM_SOCKET names instead.
QStringList systemSchedulerSockets();

// Whether a valid address is the scheduler this machine's print service runs:
// one of its sockets, or the loopback name on the standard port 631. A local
// scheduler elsewhere (a private socket, another port) is someone's own
// instance, which the print service's restart would not touch.
bool isSystemSchedulerAddress(const QString& address, const QStringList& systemSockets);

}  // namespace repair
