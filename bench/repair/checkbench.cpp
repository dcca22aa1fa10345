// Measures how long each environment check takes on this machine, as the page
// would call it. Run it where the conditions of interest hold, e.g.
//
//   CUPS_SERVER=/path/to/cups.sock repair_checkbench [rounds]
//
// with or without a system bus (DBUS_SYSTEM_BUS_ADDRESS), systemd
// (KORVANE_SYSTEMD_RUNTIME_DIR) and firewall tools. Prints min / median / max
// milliseconds per check and the answer it gave.

#include "repair/repairapi.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

void measure(const char* name, int rounds, const std::function<long long()>& check)
{
    std::vector<double> times;
    long long answer = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        answer = check();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-28s min %8.2f  median %8.2f  max %8.2f ms   answer %lld\n", name, times.front(),
                times[times.size() / 2], times.back(), answer);
}

}  // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const QString queue = qEnvironmentVariable("KORVANE_BENCH_QUEUE", QStringLiteral("laser"));
    std::printf("%d rounds, queue \"%s\", CUPS_SERVER=%s\n", rounds, qUtf8Printable(queue),
                qUtf8Printable(qEnvironmentVariable("CUPS_SERVER", QStringLiteral("(default)"))));
    measure("checkPrinterSpool", rounds, [] { return repair::checkPrinterSpool(); });
    measure("checkFirewall(0)", rounds, [] { return repair::checkFirewall(0) ? 1 : 0; });
    measure("checkFirewall(1)", rounds, [] { return repair::checkFirewall(1) ? 1 : 0; });
    measure("checkPrinterSharing", rounds, [&] { return repair::checkPrinterSharing(queue) ? 1 : 0; });
    measure("checkPrinterQueue", rounds, [&] { return static_cast<long long>(repair::checkPrinterQueue(queue)); });
    measure("checkOcrFont", rounds, [] { return repair::checkOcrFont() ? 1 : 0; });
    return 0;
}
