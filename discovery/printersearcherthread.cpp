#include "discovery/printersearcherthread.h"

#include "devicetree/devicetree.h"
#include "discovery/netprintermerge.h"
#include "discovery/netscan.h"
#include "discovery/usbprinters.h"
#include "sysutil/signalstack.h"

#include <QMetaType>
#include <string>

PrinterSearcherThread::PrinterSearcherThread(QObject* parent)
    : QThread(parent)
{
}

PrinterSearcherThread::~PrinterSearcherThread()
{
    // The owning window may go while a search runs (the process is ending):
    // stop the search and wait rather than destroy a running thread.
    requestInterrupt();
    wait();
}

bool PrinterSearcherThread::claim()
{
    for (std::int32_t idle :
         {PrinterSearcher::kNeverRun, PrinterSearcher::kEndedNormally, PrinterSearcher::kEndedByInterrupt}) {
        std::int32_t expected = idle;
        if (m_searcher.state.compare_exchange_strong(expected, PrinterSearcher::kRunning))
            return true;
    }
    return false;
}

void PrinterSearcherThread::requestInterrupt()
{
    std::int32_t expected = PrinterSearcher::kRunning;
    m_searcher.state.compare_exchange_strong(expected, PrinterSearcher::kInterruptRequested);
}

void PrinterSearcherThread::registerMetaTypes()
{
    qRegisterMetaType<std::vector<std::wstring>>("std::vector<std::wstring>");
    qRegisterMetaType<std::vector<USBPrinterInfo>>("std::vector<USBPrinterInfo>");
    qRegisterMetaType<NetPrinterInfo>("NetPrinterInfo");
    qRegisterMetaType<std::vector<DeviceItem*>>("std::vector<DeviceItem *>");
    qRegisterMetaType<std::vector<DeviceItem*>*>("std::vector<DeviceItem*>*");
    qRegisterMetaType<const DeviceTree*>("const DeviceTree*");
    qRegisterMetaType<unsigned long>("ULONG");
}

void PrinterSearcherThread::run()
{
    sysutil::ensureAlternateSignalStack();
    PrinterSearcher& s = m_searcher;
    // Started without claim(): claim now, unless an interrupt already came.
    if (s.state.load() != PrinterSearcher::kInterruptRequested)
        s.state = PrinterSearcher::kRunning;
    s.hostsDone = 0;
    s.percentPerHost = 0;
    if (s.scope == PrinterSearcher::kUsbOnly || s.scope == PrinterSearcher::kBoth) {
        UsbSearchContext usb;  // the print queues are read once per search
        searchUsbByClass(s, &usb);
        // The tree walk runs even when the passes were cut short.
        searchUsbByTree(s, &usb);
    }
    if (s.running() && (s.scope == PrinterSearcher::kNetworkOnly || s.scope == PrinterSearcher::kBoth)) {
        // DNS-SD browses alongside the sweep; SNMP printers are merged with
        // its answers (netprintermerge.h) and every printer reported once.
        discovery::NetPrinterMerger::Settings settings;
        settings.mdnsBlockedBy = m_mdnsBlockedBy;
        discovery::NetPrinterMerger merger([this](const NetPrinterInfo& printer) { emit netPrinter(printer); },
                                           [&s] { return s.running(); }, settings);
        merger.startDnssd(discovery::selectedInterfaceIndexes());
        m_merger = &merger;
        searchNetwork(s);
        merger.finish();
        m_merger = nullptr;
    }
    std::int32_t expected = PrinterSearcher::kInterruptRequested;
    if (!s.state.compare_exchange_strong(expected, PrinterSearcher::kEndedByInterrupt))
        s.state = PrinterSearcher::kEndedNormally;
    s.finish();
}

bool PrinterSearcherThread::Searcher::progress(std::int32_t current, std::int32_t, std::int32_t progressEvent,
                                               std::int32_t curMachine, std::int32_t totalMachine)
{
    const int total = scope == kUsbOnly ? 5 : scope == kNetworkOnly ? 95 : 100;
    emit m_thread.progress(int(current), total, int(progressEvent), int(curMachine), int(totalMachine));
    return true;
}

void PrinterSearcherThread::Searcher::usb1(const std::vector<USBPrinterInfo>& printers)
{
    emit m_thread.usb1(printers);
}

void PrinterSearcherThread::Searcher::usb2(DeviceTree* tree, std::vector<DeviceItem*>* usbItems)
{
    emit m_thread.usb2(tree, usbItems);
}

void PrinterSearcherThread::Searcher::netPrinter(const NetPrinterInfo& printer)
{
    if (m_thread.m_merger)
        m_thread.m_merger->addSnmpPrinter(printer);
    else
        emit m_thread.netPrinter(printer);
}

void PrinterSearcherThread::Searcher::finish()
{
    emit m_thread.finish();
}
