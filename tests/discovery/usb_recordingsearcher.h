#pragma once
// A PrinterSearcher that writes down every hook call, for driving the USB
// passes directly.

#include "devicetree/devicetree.h"
#include "discovery/printersearcher.h"
#include "discovery/usbprinterinfo.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class RecordingSearcher : public PrinterSearcher {
public:
    RecordingSearcher() { state = kRunning; }

    bool progress(std::int32_t current, std::int32_t phase, std::int32_t progressEvent, std::int32_t curMachine,
                  std::int32_t totalMachine) override
    {
        calls << QStringLiteral("progress %1 %2 %3 %4 %5").arg(current).arg(phase).arg(progressEvent).arg(curMachine).arg(totalMachine);
        if (interruptAfterProgress > 0 && --interruptAfterProgress == 0)
            state = kInterruptRequested;
        return true;
    }
    void usb1(const std::vector<USBPrinterInfo>& printers) override
    {
        calls << QStringLiteral("usb1 %1").arg(printers.size());
        usb1Calls.push_back(printers);
    }
    void usb2(DeviceTree* handedTree, std::vector<DeviceItem*>* handedItems) override
    {
        calls << QStringLiteral("usb2 %1").arg(handedItems ? handedItems->size() : 0);
        tree.reset(handedTree);
        items.reset(handedItems);
    }
    void netPrinter(const NetPrinterInfo&) override { calls << QStringLiteral("netPrinter"); }
    void finish() override { calls << QStringLiteral("finish"); }

    QStringList calls;
    std::vector<std::vector<USBPrinterInfo>> usb1Calls;
    std::unique_ptr<DeviceTree> tree;
    std::unique_ptr<std::vector<DeviceItem*>> items;
    int interruptAfterProgress = 0;  // ask to stop after this many progress calls
};
