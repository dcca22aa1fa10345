#pragma once
// One printer found on the network: the host that answered the device-id
// query and what it said. All four texts are bytes as received (the device id
// may be in any encoding, or none); convert them with
// sysutil::fromUntrustedBytes before showing them.

#include <QMetaType>
#include <string>

struct NetPrinterInfo {
    std::string ip;        // dotted-decimal IPv4 address
    std::string deviceId;  // IEEE 1284 device id, cut at its first zero byte
    std::string mfg;       // manufacturer from deviceId
    std::string mdl;       // model from deviceId
    // What more the search learnt (IPP URI, driverless, UUID, DNS-SD name,
    // sources), as the JSON text the page receives; empty when nothing.
    std::string details{};  // (initialised, so older four-field initialisers stay valid)
};

Q_DECLARE_METATYPE(NetPrinterInfo)
