#include "printers/printerdiff.h"

#include "printers/cupsspooler.h"
#include "printers/win32printer.h"

#include <map>

namespace PrinterAPI {

namespace w = win32printer;

namespace {

// Everything a page shows about a queue besides its status and job count;
// a difference here is reported as an attribute change.
bool sameDescription(const PrinterInfoRecord& a, const PrinterInfoRecord& b)
{
    return a.attributes == b.attributes && a.serverName == b.serverName && a.shareName == b.shareName &&
           a.portName == b.portName && a.driverName == b.driverName && a.comment == b.comment &&
           a.location == b.location && a.sepFile == b.sepFile && a.dataType == b.dataType &&
           a.averagePPM == b.averagePPM && a.printQuality == b.printQuality && a.duplex == b.duplex &&
           a.color == b.color && a.resolutions == b.resolutions;
}

}  // namespace

std::vector<PrinterChange> diffPrinters(const std::vector<PrinterInfoRecord>& before,
                                        const std::vector<PrinterInfoRecord>& after)
{
    std::map<QString, const PrinterInfoRecord*> oldByName;
    std::map<QString, const PrinterInfoRecord*> newByName;
    for (const PrinterInfoRecord& record : before)
        oldByName[record.printerName] = &record;
    for (const PrinterInfoRecord& record : after)
        newByName[record.printerName] = &record;

    std::vector<PrinterChange> changes;
    for (const PrinterInfoRecord& record : before) {
        if (newByName.count(record.printerName))
            continue;
        PrinterChange change;
        change.changed = w::kChangeDeletePrinter;
        change.printerName = record.printerName;
        change.printerServer = record.serverName;
        change.portName = record.portName;
        changes.push_back(std::move(change));
    }
    for (const PrinterInfoRecord& record : after) {
        if (oldByName.count(record.printerName))
            continue;
        PrinterChange change = cups::toChange(record);
        change.changed = w::kChangeAddPrinter;
        changes.push_back(std::move(change));
    }
    for (const PrinterInfoRecord& record : after) {
        const auto old = oldByName.find(record.printerName);
        if (old == oldByName.end())
            continue;
        PrinterChange change = cups::toChange(record);
        if (!sameDescription(*old->second, record))
            change.notifyFields.push_back(w::kFieldAttributes);
        if (old->second->status != record.status)
            change.notifyFields.push_back(w::kFieldStatus);
        if (old->second->cjobs != record.cjobs)
            change.notifyFields.push_back(w::kFieldCJobs);
        if (old->second->markers != record.markers)
            change.notifyFields.push_back(w::kFieldSupplies);
        if (old->second->accepting != record.accepting)
            change.notifyFields.push_back(w::kFieldAccepting);
        if (change.notifyFields.empty())
            continue;
        change.changed = w::kChangeSetPrinter;
        changes.push_back(std::move(change));
    }
    return changes;
}

PrinterChange schedulerLostChange(const PrinterInfoRecord& record)
{
    PrinterChange change = cups::toChange(record);
    change.changed = w::kChangeSetPrinter;
    change.notifyFields = {w::kFieldStatus};
    change.printerStatus = w::kStatusServerUnknown;
    return change;
}

}  // namespace PrinterAPI
