// korvanectl check [--json]: every print environment check the window runs,
// one line each; the exit code is the number of problems.

#include "printers/printerapi.h"
#include "printers/win32printer.h"
#include "repair/repairapi.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>

namespace korvanectl {

namespace {

namespace w = PrinterAPI::win32printer;

struct Verdict {
    QString check; // stable name
    bool ok = false;
    QString detail; // what was found
    QString advice; // what to do, "" when ok
};

QString spoolerStateText(int state)
{
    switch (state) {
    case 1:
        return QStringLiteral("stopped");
    case 2:
        return QStringLiteral("starting");
    case 3:
        return QStringLiteral("stopping");
    case 4:
        return QStringLiteral("running");
    default:
        return QStringLiteral("unknown");
    }
}

std::vector<Verdict> runChecks()
{
    std::vector<Verdict> verdicts;
    const int spooler = repair::checkPrinterSpool();
    const bool schedulerAnswers = PrinterAPI::schedulerAnswers();
    {
        Verdict v { QStringLiteral("spooler"), spooler == 4 && schedulerAnswers, {}, {} };
        v.detail = QStringLiteral("the print scheduler is %1 and %2")
                       .arg(spoolerStateText(spooler),
                           schedulerAnswers ? QStringLiteral("answers") : QStringLiteral("does not answer"));
        if (!v.ok)
            v.advice = QStringLiteral("restart it: Korvane's repair, or \"systemctl restart cups\" as root");
        verdicts.push_back(v);
    }
    const std::pair<int, const char*> firewall[] = { { 0, "firewall-discovery" }, { 1, "firewall-sharing" } };
    for (const auto& [selector, name] : firewall) {
        Verdict v { QLatin1String(name), repair::checkFirewall(selector), {}, {} };
        const QString what = selector == 0 ? QStringLiteral("network printer discovery (mDNS, SNMP)")
                                           : QStringLiteral("printer sharing (IPP)");
        v.detail = QStringLiteral("the firewall %1 %2")
                       .arg(v.ok ? QStringLiteral("allows") : QStringLiteral("blocks"), what);
        if (!v.ok)
            v.advice = QStringLiteral("open the firewall for it: Korvane's repair");
        verdicts.push_back(v);
    }
    if (schedulerAnswers) {
        for (const PrinterAPI::PrinterInfoRecord& record : PrinterAPI::listPrinters(0)) {
            const std::uint32_t jobs = repair::checkPrinterQueue(record.printerName);
            const bool stuck = jobs & (w::kJobError | w::kJobPaused | w::kJobBlockedDevQ);
            Verdict v { QStringLiteral("queue"), !stuck, {}, {} };
            v.detail = stuck ? QStringLiteral("queue \"%1\" holds stuck jobs").arg(record.printerName)
                             : QStringLiteral("queue \"%1\" holds no stuck jobs").arg(record.printerName);
            if (stuck)
                v.advice = QStringLiteral("cancel them: Korvane's repair, or \"cancel -a %1\"").arg(record.printerName);
            verdicts.push_back(v);
        }
    }
    {
        Verdict v { QStringLiteral("font"), repair::checkOcrFont(), {}, {} };
        v.detail
            = v.ok ? QStringLiteral("the OCR-A font is installed") : QStringLiteral("the OCR-A font is not installed");
        if (!v.ok)
            v.advice = QStringLiteral("install it: Korvane's repair");
        verdicts.push_back(v);
    }
    return verdicts;
}

} // namespace

int runCheck(const Arguments& arguments)
{
    const std::vector<Verdict> verdicts = runChecks();
    const int problems
        = static_cast<int>(std::count_if(verdicts.begin(), verdicts.end(), [](const Verdict& v) { return !v.ok; }));
    if (arguments.json) {
        QJsonArray checks;
        for (const Verdict& v : verdicts) {
            QJsonObject check;
            check.insert(QStringLiteral("check"), v.check);
            check.insert(QStringLiteral("ok"), v.ok);
            check.insert(QStringLiteral("detail"), v.detail);
            check.insert(QStringLiteral("advice"), v.advice);
            checks.append(check);
        }
        QJsonObject document;
        document.insert(QStringLiteral("checks"), checks);
        document.insert(QStringLiteral("problems"), problems);
        printJson(document);
    } else {
        for (const Verdict& v : verdicts) {
            QString line = QStringLiteral("%1 %2").arg(
                v.ok ? QStringLiteral("ok     ") : QStringLiteral("PROBLEM"), terminalSafe(v.detail));
            if (!v.ok)
                line += QStringLiteral(" -- ") + terminalSafe(v.advice);
            printLine(line);
        }
    }
    return std::min(problems, 125);
}

} // namespace korvanectl
