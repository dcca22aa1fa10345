// One whole network search (sweep, SNMP, DNS-SD, IPP) inside the LAN bed's
// scanner namespace, timed from the start of the search to each printer's
// report and to its end. dnssd-bench runs it cold and warm and beside the
// tools a user would reach for.
//   dnssd_bench LABEL

#include "discovery/printersearcherthread.h"
#include "network_lanbed.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

int main(int argc, char** argv)
{
    if (!lanbed::inside()) {
        std::fprintf(stderr, "dnssd_bench: %s\n", qPrintable(lanbed::whyNotInside()));
        return 2;
    }
    QCoreApplication app(argc, argv);
    const std::string label = argc > 1 ? argv[1] : "search";

    PrinterSearcherThread::registerMetaTypes();
    PrinterSearcherThread thread;
    thread.setScope(PrinterSearcher::kNetworkOnly);
    std::mutex mutex;
    std::map<std::string, std::pair<double, std::string>> reported;  // address[:port] -> ms, sources
    const auto start = std::chrono::steady_clock::now();
    QObject::connect(
        &thread, &PrinterSearcherThread::netPrinter, &thread,
        [&](NetPrinterInfo printer) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            const QJsonObject details = QJsonDocument::fromJson(QByteArray::fromStdString(printer.details)).object();
            std::string sources;
            for (const QJsonValue& source : details.value(QStringLiteral("source")).toArray())
                sources += (sources.empty() ? "" : "+") + source.toString().toStdString();
            // Two printers on one host differ by their port.
            const int port = details.value(QStringLiteral("port")).toInt();
            const std::string key = printer.ip + (port && port != 631 ? ":" + std::to_string(port) : "");
            std::lock_guard<std::mutex> lock(mutex);
            reported[key] = {ms, sources};
        },
        Qt::DirectConnection);
    thread.claim();
    thread.start();
    if (!thread.wait(120000)) {
        std::fprintf(stderr, "dnssd_bench: the search did not end\n");
        return 1;
    }
    const double total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [ip, entry] : reported)
        std::printf("%s printer %-17s %8.0f ms  %s\n", label.c_str(), ip.c_str(), entry.first, entry.second.c_str());
    std::printf("%s search %.0f ms, %zu printers\n", label.c_str(), total, reported.size());
    return 0;
}
