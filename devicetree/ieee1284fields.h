#pragma once
// The fields a USB printer's IEEE 1284 device id offers about itself. The id
// is device-controlled text: keys are matched without regard to case or
// surrounding spaces, a final pair without ";" still counts, and every value
// is bounded.

#include <QString>

namespace devicetree {

struct Ieee1284Fields {
    QString manufacturer;  // MFG or MANUFACTURER
    QString model;         // MDL or MODEL
    QString serial;        // SN, SERN or SERIALNUMBER
    QString description;   // DES or DESCRIPTION
    QString commandSet;    // CMD or COMMAND SET
};

Ieee1284Fields parseIeee1284Fields(const QString& deviceId);

}  // namespace devicetree
