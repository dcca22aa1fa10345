#include "discovery/installmonitorqueues.h"

#include "printers/printerapi.h"

#include <atomic>

namespace installmonitor {

namespace {

std::atomic<int> directReads{0};

}  // namespace

std::vector<devicetree::PrintQueueBinding> cupsPrintQueues()
{
    std::vector<devicetree::PrintQueueBinding> bindings;
    PrinterAPI::PrinterMonitor& monitor = PrinterAPI::PrinterMonitor::instance();
    if (monitor.running()) {
        // Snapshots are taken on the UI thread too: never wait for the scheduler there.
        if (const auto ports = monitor.knownQueuePorts()) {
            for (const auto& port : *ports) {
                if (!port.first.isEmpty() && !port.second.isEmpty())
                    bindings.push_back({port.first, port.second});
            }
        }
        return bindings;
    }
    ++directReads;
    const PrinterAPI::SchedulerWaitLimit limit(kQueueListWaitMs);
    // Queues relayed from other servers never drive a device of this machine.
    for (const PrinterAPI::PrinterInfoRecord& record : PrinterAPI::listPrinters(0)) {
        if (!record.printerName.isEmpty() && !record.portName.isEmpty())
            bindings.push_back({record.printerName, record.portName});
    }
    return bindings;
}

int directQueueReads()
{
    return directReads.load();
}

std::optional<QString> printerPort(const QString& printerName)
{
    if (printerName.isEmpty() || printerName.size() > 127)
        return std::nullopt;
    const PrinterAPI::SchedulerWaitLimit limit(kQueueListWaitMs);
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
