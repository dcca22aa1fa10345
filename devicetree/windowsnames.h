#pragma once
// The names Windows gives to what Linux calls by other names: driver services,
// setup classes and their descriptions. Pages and service filters compare
// against these.

#include <QString>

namespace devicetree {

// The Windows twin of a Linux driver ("usblp" -> "usbprint"), else the name itself.
QString serviceForDriver(const QString& driver);
// The setup class of a USB interface served by this driver ("usbhid" -> "HIDClass").
QString classForInterfaceDriver(const QString& driver);
// The description of a setup class ("Printer" -> "Printers"); empty when unknown.
QString classDescription(const QString& deviceClass);
// What a USB interface of this class is called when it names itself nothing.
QString interfaceDescription(int interfaceClass);

}  // namespace devicetree
