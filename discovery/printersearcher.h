#pragma once
// The search logic's view of a running printer search: the USB and network
// phases report through these hooks and poll `state` to stop early. The
// search thread implements the hooks by emitting its signals.

#include <atomic>
#include <cstdint>
#include <vector>

class DeviceTree;
class DeviceItem;
struct USBPrinterInfo;
struct NetPrinterInfo;

class PrinterSearcher {
public:
    // Run states.
    static constexpr std::int32_t kEndedNormally = 0;
    static constexpr std::int32_t kEndedByInterrupt = 1;
    static constexpr std::int32_t kInterruptRequested = 2;
    static constexpr std::int32_t kRunning = 3;
    static constexpr std::int32_t kNeverRun = 4;

    // Scopes.
    static constexpr std::int32_t kNetworkOnly = 0;
    static constexpr std::int32_t kUsbOnly = 1;
    static constexpr std::int32_t kBoth = 2;

    // progressEvent codes.
    static constexpr std::int32_t kHostQueried = 0;
    static constexpr std::int32_t kNetworkStarted = 1;
    static constexpr std::int32_t kSweepFinished = 2;
    static constexpr std::int32_t kUsbStarted = 3;
    static constexpr std::int32_t kUsbStepFinished = 4;

    // Phases passed to progress().
    static constexpr std::int32_t kPhaseNetwork = 0;
    static constexpr std::int32_t kPhaseUsb = 1;

    virtual ~PrinterSearcher() = default;

    virtual bool progress(std::int32_t current, std::int32_t phase, std::int32_t progressEvent,
                          std::int32_t curMachine, std::int32_t totalMachine) = 0;
    virtual void usb1(const std::vector<USBPrinterInfo>& printers) = 0;
    // Ownership of the tree and the vector passes to the hook.
    virtual void usb2(DeviceTree* tree, std::vector<DeviceItem*>* usbItems) = 0;
    virtual void netPrinter(const NetPrinterInfo& printer) = 0;
    virtual void finish() = 0;

    bool running() const { return state.load() == kRunning; }

    std::int32_t scope = kBoth;
    std::int32_t percentPerHost = 0;
    std::int32_t hostsDone = 0;
    // Written by the UI thread (interrupt request) and the search thread;
    // every check re-reads it.
    std::atomic<std::int32_t> state{kNeverRun};
};
