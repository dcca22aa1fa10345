#include "printers/privilegedretry.h"

#include "printers/cupsconnection.h"
#include "printers/printerapi.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace PrinterAPI {

namespace {

// The retry waits for the user to answer the authentication dialog.
constexpr int kPrivilegedWaitMs = 120 * 1000;

// Each command by the path its polkit action names (see printers/CMakeLists.txt).
struct PrivilegedTool {
    const char* name;
    const char* path;
};
constexpr PrivilegedTool kTools[] = {
    {"lpadmin", KORVANE_LPADMIN_PATH},         {"cupsenable", KORVANE_CUPSENABLE_PATH},
    {"cupsdisable", KORVANE_CUPSDISABLE_PATH}, {"cupsaccept", KORVANE_CUPSACCEPT_PATH},
    {"cupsreject", KORVANE_CUPSREJECT_PATH},   {"cancel", KORVANE_CANCEL_PATH},
    {"lp", KORVANE_LP_PATH},
};

}  // namespace

QString privilegedToolPath(const QString& tool)
{
    for (const PrivilegedTool& known : kTools)
        if (tool == QLatin1String(known.name))
            return QString::fromUtf8(known.path);
    return {};
}

win32::ErrorCode runCupsToolAsAdmin(const QString& tool, const QStringList& arguments)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    const QString program = privilegedToolPath(tool);
    if (pkexec.isEmpty() || program.isEmpty() || !QFileInfo(program).isExecutable()) {
        qInfo("printers: request refused and no pkexec/%s to retry with", qPrintable(tool));
        return win32::kAccessDenied;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(pkexec, QStringList{program, QStringLiteral("-h"), schedulerAddress()} + arguments);
    if (!process.waitForStarted(cups::kTimeoutMs))
        return win32::kAccessDenied;
    if (!process.waitForFinished(kPrivilegedWaitMs)) {
        process.kill();
        process.waitForFinished(cups::kTimeoutMs);
        return win32::kAccessDenied;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return win32::kGenFailure;
    switch (process.exitCode()) {
    case 0: return win32::kSuccess;
    case 126:  // the user dismissed the dialog
    case 127:  // not authorised
        return win32::kAccessDenied;
    default: return win32::kGenFailure;
    }
}

}  // namespace PrinterAPI
