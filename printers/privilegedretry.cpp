#include "printers/privilegedretry.h"

#include "printers/cupsconnection.h"
#include "printers/printerapi.h"

#include <QProcess>
#include <QStandardPaths>

namespace PrinterAPI {

namespace {

// The retry waits for the user to answer the authentication dialog.
constexpr int kPrivilegedWaitMs = 120 * 1000;

QString findTool(const QString& name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin")});
    return path;
}

}  // namespace

win32::ErrorCode runCupsToolAsAdmin(const QString& tool, const QStringList& arguments)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    const QString program = findTool(tool);
    if (pkexec.isEmpty() || program.isEmpty()) {
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
