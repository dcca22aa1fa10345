// Wall time, CPU time, peak thread count and peak memory of the network
// phase, inside the LAN bed's scanner namespace (see netscan-bench, which
// builds the bed; this binary re-executes itself into the namespace like the
// scan tests do). Each round also says when the sweep ended and when the last
// printer was reported, counted from the start of the phase.
//   netscan_bench PROFILE [ROUNDS]

#include "discovery/netscan.h"
#include "discovery/printersearcher.h"
#include "network_lanbed.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class CountingSearcher : public PrinterSearcher {
public:
    bool progress(std::int32_t, std::int32_t, std::int32_t event, std::int32_t, std::int32_t) override
    {
        if (event == kSweepFinished)
            sweepEnd = Clock::now();
        return true;
    }
    void usb1(const std::vector<USBPrinterInfo>&) override {}
    void usb2(DeviceTree*, std::vector<DeviceItem*>*) override {}
    void netPrinter(const NetPrinterInfo&) override
    {
        ++printers;
        lastPrinter = Clock::now();
    }
    void finish() override {}
    int printers = 0;
    Clock::time_point sweepEnd;
    Clock::time_point lastPrinter;
};

// Peak resident memory of the whole process so far (VmHWM), in kB.
long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

int threadCount()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    }
    return 0;
}

double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

struct Round {
    double wallMs = 0;
    double sweepMs = 0;
    double lastPrinterMs = 0;
    double cpuMs = 0;
    int peakThreads = 0;
    int liveHosts = 0;
    int printers = 0;
    int probes = 0;
};

Round measure()
{
    std::atomic<bool> done{false};
    std::atomic<int> peak{0};
    std::atomic<double> samplerCpu{0};
    // The sampler itself is one of the threads it sees; it is not counted.
    std::thread sampler([&] {
        while (!done.load()) {
            peak = std::max(peak.load(), threadCount() - 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        samplerCpu = threadCpuMs();
    });

    CountingSearcher searcher;
    searcher.state = PrinterSearcher::kRunning;
    discovery::NetScanStats stats;
    discovery::NetScanOptions options;
    options.stats = &stats;
    const double cpuBefore = processCpuMs();
    const auto start = Clock::now();
    searchNetwork(searcher, options);
    const auto end = Clock::now();
    done = true;
    sampler.join();
    const double cpuAfter = processCpuMs();

    Round round;
    const auto since = [start](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - start).count(); };
    round.wallMs = since(end);
    round.sweepMs = since(searcher.sweepEnd);
    round.lastPrinterMs = searcher.printers ? since(searcher.lastPrinter) : 0;
    round.cpuMs = cpuAfter - cpuBefore - samplerCpu.load();
    round.peakThreads = peak.load();
    round.liveHosts = stats.liveHosts;
    round.printers = searcher.printers;
    round.probes = stats.sweep.probesSent;
    return round;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!lanbed::inside()) {
        std::fprintf(stderr, "netscan_bench: %s\n", qPrintable(lanbed::whyNotInside()));
        return 2;
    }
    const std::string profile = argc > 1 ? argv[1] : "bench24";
    const int rounds = std::clamp(argc > 2 ? std::atoi(argv[2]) : 3, 1, 20);

    std::printf("%s: %d rounds (each after a 3 s pause, so the neighbour entries of the last one age out)\n",
                profile.c_str(), rounds);
    std::printf("%6s %10s %10s %12s %10s %8s %6s %9s %7s\n", "round", "wall ms", "sweep ms", "last prn ms",
                "cpu ms", "threads", "live", "printers", "probes");
    std::vector<Round> results;
    for (int i = 0; i < rounds; ++i) {
        if (i > 0)
            std::this_thread::sleep_for(std::chrono::seconds(3));
        const Round r = measure();
        results.push_back(r);
        std::printf("%6d %10.0f %10.0f %12.0f %10.1f %8d %6d %9d %7d\n", i + 1, r.wallMs, r.sweepMs,
                    r.lastPrinterMs, r.cpuMs, r.peakThreads, r.liveHosts, r.printers, r.probes);
    }
    std::sort(results.begin(), results.end(), [](const Round& a, const Round& b) { return a.wallMs < b.wallMs; });
    const Round& median = results[results.size() / 2];
    int peak = 0;
    for (const Round& r : results)
        peak = std::max(peak, r.peakThreads);
    std::printf("%s median: wall %.0f ms, sweep %.0f ms, last printer %.0f ms, finish %.0f ms after the sweep, cpu %.1f ms;"
                " peak threads %d (the caller included); peak RSS %ld kB\n",
                profile.c_str(), median.wallMs, median.sweepMs, median.lastPrinterMs, median.wallMs - median.sweepMs,
                median.cpuMs, peak, peakRssKb());
    return 0;
}
