#pragma once
// Choosing an installed driver (a PPD the scheduler lists) for a printer
// from its IEEE 1284 device id, then from its make and model.

#include <QString>
#include <vector>

namespace PrinterAPI {

struct PpdEntry {
    QString name;          // ppd-name
    QString makeAndModel;  // ppd-make-and-model
    QString deviceId;      // ppd-device-id
};

// The ppd-name of the best entry, empty when none fits:
// 1. an entry whose device id has the printer's manufacturer (MFG or
//    MANUFACTURER; "HP" and "Hewlett-Packard" are one) and model (MDL or
//    MODEL), compared without case and punctuation;
// 2. an entry whose make and model is the printer's (the make and model
//    given, else "MFG MDL" of the device id, or MDL alone when it starts
//    with the manufacturer's name) or starts with it followed by a word
//    ("… PDF", "…, 1.0"); the shortest such wins.
// Driverless entries (everywhere, driverless:…) need IPP and are skipped.
// Among equals the first in the list wins.
QString matchPpd(const std::vector<PpdEntry>& entries, const QString& deviceId, const QString& makeAndModel);

}  // namespace PrinterAPI
