#pragma once
// A searcher for the network scan tests that records what the page would be
// told, in order.

#include "discovery/netprinterinfo.h"
#include "discovery/printersearcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <variant>
#include <vector>

namespace scantest {

struct Progress {
    std::int32_t current, phase, event, curMachine, totalMachine;
    bool operator==(const Progress& o) const
    {
        return current == o.current && phase == o.phase && event == o.event && curMachine == o.curMachine
               && totalMachine == o.totalMachine;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Progress& p)
{
    return os << "progress(" << p.current << ", " << p.phase << ", " << p.event << ", " << p.curMachine << ", "
              << p.totalMachine << ")";
}

using Event = std::variant<Progress, NetPrinterInfo>;

class RecordingSearcher : public PrinterSearcher {
public:
    RecordingSearcher() { state = kRunning; }

    bool progress(std::int32_t current, std::int32_t phase, std::int32_t progressEvent, std::int32_t curMachine,
                  std::int32_t totalMachine) override
    {
        events.emplace_back(Progress{current, phase, progressEvent, curMachine, totalMachine});
        if (onProgress)
            onProgress(std::get<Progress>(events.back()));
        return true;
    }
    void usb1(const std::vector<USBPrinterInfo>&) override { ADD_FAILURE() << "usb1 from the network phase"; }
    void usb2(DeviceTree*, std::vector<DeviceItem*>*) override { ADD_FAILURE() << "usb2 from the network phase"; }
    void netPrinter(const NetPrinterInfo& printer) override { events.emplace_back(printer); }
    void finish() override { ADD_FAILURE() << "finish from the network phase"; }

    std::vector<Progress> progressEvents() const
    {
        std::vector<Progress> result;
        for (const Event& e : events) {
            if (const auto* p = std::get_if<Progress>(&e))
                result.push_back(*p);
        }
        return result;
    }
    std::vector<NetPrinterInfo> printers() const
    {
        std::vector<NetPrinterInfo> result;
        for (const Event& e : events) {
            if (const auto* p = std::get_if<NetPrinterInfo>(&e))
                result.push_back(*p);
        }
        return result;
    }

    std::vector<Event> events;
    std::function<void(const Progress&)> onProgress;
};

}  // namespace scantest
