#include "discovery/installmonitorqueues.h"

#include "printers/printerapi.h"

namespace installmonitor {

std::vector<devicetree::PrintQueueBinding> cupsPrintQueues()
{
    std::vector<devicetree::PrintQueueBinding> bindings;
    // Queues relayed from other servers never drive a device of this machine.
    for (const PrinterAPI::PrinterInfoRecord& record : PrinterAPI::listPrinters(0)) {
        if (!record.printerName.isEmpty() && !record.portName.isEmpty())
            bindings.push_back({record.printerName, record.portName});
    }
    return bindings;
}

std::optional<QString> printerPort(const QString& printerName)
{
    if (printerName.isEmpty() || printerName.size() > 127)
        return std::nullopt;
    for (const int selector : {0, 1}) {
        for (const PrinterAPI::PrinterInfoRecord& record : PrinterAPI::listPrinters(selector)) {
            if (record.printerName == printerName)
                return record.portName;
        }
    }
    return std::nullopt;
}

void useCupsPrintQueues()
{
    devicetree::setPrintQueueProvider(&cupsPrintQueues);
}

}  // namespace installmonitor
