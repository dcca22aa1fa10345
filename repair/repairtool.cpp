// Threads: for the combined repair (command 1000) runRepairTool starts one
// detached waiter thread. It owns copies of the process id and the window
// handle, touches nothing else, waits for the tool to exit, posts
// webui::msg::kResetAllFinished to the window (dropped if the window has gone)
// and ends. It cannot be stopped early; the tool's own steps are bounded.

#include "repair/repairtool.h"

#include "printers/printerapi.h"
#include "repair/repairtypes.h"
#include "repair/scheduleraddress.h"
#include "sysutil/launch.h"
#include "sysutil/paths.h"
#include "sysutil/signalstack.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace repair {

namespace {

// The exit status of a child we started, or -1 when it cannot be read.
int waitForExit(pid_t pid)
{
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != pid)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return -1;
}

win32::ErrorCode pageResult(int exitCode, bool throughPkexec)
{
    if (exitCode < 0)
        return win32::kGenFailure;
    if (throughPkexec && exitCode == exitcode::kPkexecDismissed)
        return win32::kCancelled;
    if (throughPkexec && exitCode == exitcode::kPkexecNotAuthorised)
        return win32::kAccessDenied;
    return win32::ErrorCode(exitCode);
}

}  // namespace

win32::ErrorCode runRepairTool(int command, webui::WindowHandle window, const QString& queue)
{
    const QString tool = sysutil::siblingProgram(QStringLiteral("salvane"));
    if (!QFileInfo(tool).isFile())
        return win32::kFileNotFound;
    // The tool acts on the scheduler we show, which pkexec would not tell it:
    // it clears the environment and with it CUPS_SERVER.
    const QString server = PrinterAPI::schedulerAddress();
    if (!isValidSchedulerAddress(server)) {
        std::fprintf(stderr, "runRepairTool: the scheduler address is not one the tool accepts\n");
        return win32::kInvalidParameter;
    }
    QStringList argv{tool, QStringLiteral("-h"), server};
    if (!queue.isEmpty())
        argv << QStringLiteral("-p") << queue;
    argv << QString::number(command);
    bool throughPkexec = false;
    if (geteuid() != 0) {
        const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        if (!pkexec.isEmpty()) {
            argv.prepend(pkexec);
            throughPkexec = true;
        }
    }
    const sysutil::StartResult started = sysutil::startDetached(argv);
    if (started.error != win32::kSuccess) {
        std::fprintf(stderr, "runRepairTool: cannot start %s (error %u)\n", qUtf8Printable(tool), started.error);
        return started.error;
    }
    if (command == command::kResetAll) {
        const pid_t pid = started.pid;
        std::thread([pid, window] {
            sysutil::ensureAlternateSignalStack();
            waitForExit(pid);
            webui::postWindowMessage(window, webui::msg::kResetAllFinished);
        }).detach();
        return win32::kSuccess;
    }
    return pageResult(waitForExit(started.pid), throughPkexec);
}

}  // namespace repair
