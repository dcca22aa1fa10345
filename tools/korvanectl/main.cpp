// korvanectl: what Korvane knows about printing, for terminals and scripts,
// on the same libraries as the window and without a display.

#include "tools/korvanectl/arguments.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

const char kUsage[] = "usage: korvanectl COMMAND [OPTIONS]\n"
                      "\n"
                      "Commands:\n"
                      "  printers [QUEUE] [--json]  the installed queues: state, jobs, default, sharing,\n"
                      "                             device and driver\n"
                      "  printers --watch [--json]  one line per change of the queues until interrupted\n"
                      "  hardware [--json]          the hardware summary of this computer\n"
                      "  check [--json]             every print environment check with its verdict and\n"
                      "                             what to do; the exit code is the number of problems\n"
                      "  search [--usb-only|--network-only] [--timeout S] [--json]\n"
                      "                             one printer search: USB devices and the local\n"
                      "                             networks; exit code 0 when any printer was found,\n"
                      "                             1 when none, 2 on error\n"
                      "  repair spooler|firewall|queues [QUEUE]|font|all [--yes]\n"
                      "                             the repairs; cancelling jobs asks first unless\n"
                      "                             --yes is given\n"
                      "  add URI|ADDRESS [--name N] [--json]\n"
                      "                             add a network printer as a queue: an ipp://,\n"
                      "                             ipps:// or socket:// URI as it is, an address\n"
                      "                             after asking the printer (IPP, IPPS, SNMP);\n"
                      "                             driverless when it speaks IPP, else the installed\n"
                      "                             driver that fits; exit code 0 added, 1 nothing\n"
                      "                             found or no driver fits, 2 bad input, 3 refused\n"
                      "                             or the scheduler failed\n"
                      "  --help                     this text\n"
                      "  --version                  the version\n"
                      "\n"
                      "The scheduler is the CUPS server named by CUPS_SERVER, else the local one.\n"
                      "See korvanectl(1).\n";

} // namespace

int main(int argc, char* argv[])
{
    korvanectl::claimStandardOutput();
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    QStringList words = application.arguments();
    words.removeFirst();
    const korvanectl::ParseResult parsed = korvanectl::parseArguments(words);
    if (!parsed.arguments) {
        korvanectl::printError(parsed.error + QStringLiteral("; \"korvanectl --help\" lists the commands"));
        return korvanectl::kExitUsage;
    }
    const korvanectl::Arguments& arguments = *parsed.arguments;
    if (arguments.command == QLatin1String("help")) {
        korvanectl::printText(QString::fromLatin1(kUsage));
        return korvanectl::kExitOk;
    }
    if (arguments.command == QLatin1String("version")) {
        korvanectl::printLine(QStringLiteral("korvanectl %1").arg(QLatin1String(KORVANE_VERSION_TEXT)));
        return korvanectl::kExitOk;
    }
    if (arguments.command == QLatin1String("printers"))
        return korvanectl::runPrinters(arguments);
    if (arguments.command == QLatin1String("hardware"))
        return korvanectl::runHardware(arguments);
    if (arguments.command == QLatin1String("repair"))
        return korvanectl::runRepair(arguments);
    if (arguments.command == QLatin1String("search"))
        return korvanectl::runSearch(arguments);
    if (arguments.command == QLatin1String("add"))
        return korvanectl::runAdd(arguments);
    return korvanectl::runCheck(arguments);
}
