#pragma once
// The thread that runs a whole printer search.
//
// Owner: the main window creates one for every search (it is the window's Qt
// child) and retires the ended one before starting the next. The search runs
// in run() on this thread and touches only the device tree it builds, the
// network and the searcher's fields; the network phase adds one querier thread
// of its own (see netscan.h).
// Reports: queued signals to the main window, in the order the phases make
// them. The network phase's DNS-SD browser and IPP probe threads (owned by
// its NetPrinterMerger, joined before finish) emit netPrinter too, one report
// at a time; finish always comes last. Stops: when the phases end, or early
// once the state leaves "running" (requestInterrupt, from the UI thread).
//
// The phases report through a PrinterSearcher; the thread holds one whose
// hooks emit the thread's signals (the hooks and the signals share names, so
// they cannot live in one class).

#include "discovery/netprinterinfo.h"
#include "discovery/printersearcher.h"
#include "discovery/usbprinterinfo.h"

#include <QThread>
#include <functional>
#include <string>
#include <vector>

namespace discovery {
class NetPrinterMerger;
}

class PrinterSearcherThread : public QThread {
    Q_OBJECT
public:
    explicit PrinterSearcherThread(QObject* parent = nullptr);
    ~PrinterSearcherThread() override;

    // Claims the searcher for a new search: true (state now "running") when it
    // was idle (never run, ended, or interrupted), false when busy. Claiming
    // before QThread::start closes the window in which a second request could
    // see the old state while the first search has not yet begun.
    bool claim();
    // Asks a running search to stop; nothing happens when none runs.
    void requestInterrupt();
    std::int32_t state() const { return m_searcher.state.load(); }
    void setScope(std::int32_t scope) { m_searcher.scope = scope; }
    PrinterSearcher& searcher() { return m_searcher; }
    // Names the firewall that blocks mDNS, or "" (asked on this thread when
    // no DNS-SD printer answered, for the log); set before start().
    void setMdnsBlockedBy(std::function<std::string()> check) { m_mdnsBlockedBy = std::move(check); }

    // Registers the types the signals carry across threads, under the names
    // queued connections look up.
    static void registerMetaTypes();

signals:
    void progress(int current, int total, int progressEvent, int curMachine, int totalMachine);
    void usb1(std::vector<USBPrinterInfo> usbPrinterInfo);
    void usb2(const DeviceTree* tree, std::vector<DeviceItem*>* usbItems);
    void netPrinter(NetPrinterInfo printerInfo);
    void finish();

protected:
    void run() override;

private:
    class Searcher : public PrinterSearcher {
    public:
        explicit Searcher(PrinterSearcherThread& thread) : m_thread(thread) {}
        bool progress(std::int32_t current, std::int32_t phase, std::int32_t progressEvent, std::int32_t curMachine,
                      std::int32_t totalMachine) override;
        void usb1(const std::vector<USBPrinterInfo>& printers) override;
        void usb2(DeviceTree* tree, std::vector<DeviceItem*>* usbItems) override;
        void netPrinter(const NetPrinterInfo& printer) override;
        void finish() override;

    private:
        PrinterSearcherThread& m_thread;
    };
    Searcher m_searcher{*this};
    // The DNS-SD, IPP and SNMP merge of the running network phase; SNMP
    // printers go through it. Search thread only.
    discovery::NetPrinterMerger* m_merger = nullptr;
    std::function<std::string()> m_mdnsBlockedBy;
};
