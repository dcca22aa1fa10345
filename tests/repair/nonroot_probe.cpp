// Runs one repair page command the way the program does and prints its
// answer. The non-root test starts it as an unprivileged user, so the repair
// goes through pkexec (a stand-in the test puts on PATH).
//
//   repair_nonroot_probe clean-all          "cleanPrinterQueue"(0)
//   repair_nonroot_probe clean-one NAME     "cleanPrinterQueueOf"(NAME)
//   repair_nonroot_probe restart            "restartPrinterSpool"()

#include "repair/repairapi.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("clean-all")) {
        repair::cleanPrinterQueue(0);
        std::puts("done");
    } else if (command == QLatin1String("clean-one") && args.size() == 2) {
        std::printf("%u\n", repair::cleanPrinterQueueOf(args.at(1)));
    } else if (command == QLatin1String("restart")) {
        std::printf("%u\n", repair::restartPrinterSpool());
    } else {
        std::fputs("usage: repair_nonroot_probe clean-all | clean-one NAME | restart\n", stderr);
        return 64;
    }
    return 0;
}
