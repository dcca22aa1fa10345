// How long the hardware summary of this machine takes (the goal is well under
// 50 ms), the first run with cold caches of this process and then warm runs,
// and each reader on its own. Prints the summary it measured. Measures any root
// (KORVANE_SYSINFO_ROOT, else this machine): a reader that finds a broken
// source throws, as it does under the summary, and is timed all the same.

#include "sysinfo/hardwaresummary.h"
#include "sysinfo/sourceroot.h"
#include "sysinfo/systemquery.h"
#include "sysinfo/wmicexception.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

double milliseconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

void report(const char* label, std::vector<double> samples, int failures = 0, const std::string& failure = {})
{
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    std::printf("%-22s median %8.3f ms   min %8.3f ms   max %8.3f ms   (%zu runs)", label, median, samples.front(),
        samples.back(), samples.size());
    if (failures > 0)
        std::printf("   broken source, %d throws: %s", failures, failure.c_str());
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 10000) : 50;

    std::printf("root: %s\n", qPrintable(sysinfo::defaultSourceRoot()));
    QString summary;
    const double first = milliseconds([&] { summary = sysinfo::hardwareSummary(); });
    std::printf("first summary          %8.3f ms\n", first);

    std::vector<double> samples;
    for (int i = 0; i < rounds; ++i)
        samples.push_back(milliseconds([&] { summary = sysinfo::hardwareSummary(); }));
    report("summary", samples);

    const sysinfo::SystemQuery query;
    const std::pair<const char*, std::function<void()>> readers[] = {
        { "operating system", [&] { query.getOperatingSystem(); } },
        { "processors", [&] { query.getProcessors(); } },
        { "base board", [&] { query.getBaseBoard(); } },
        { "video controllers", [&] { query.getVideoControllers(); } },
        { "physical memory", [&] { query.getPhysicalMemory(); } },
        { "disk drives", [&] { query.getDiskDrives(); } },
        { "desktop monitors", [&] { query.getDesktopMonitors(); } },
        { "sound devices", [&] { query.getSoundDevices(); } },
        { "network adapters", [&] { query.getNetworkAdapters(); } },
    };
    for (const auto& [label, reader] : readers) {
        std::vector<double> times;
        int failures = 0;
        std::string failure;
        for (int i = 0; i < rounds; ++i) {
            times.push_back(milliseconds([&] {
                try {
                    reader();
                } catch (const sysinfo::WMICException& e) {
                    ++failures;
                    failure = e.what();
                    while (!failure.empty() && failure.back() == '\n')
                        failure.pop_back();
                }
            }));
        }
        report(label, times, failures, failure);
    }
    std::printf("\n%s", summary.toUtf8().constData());
    return 0;
}
