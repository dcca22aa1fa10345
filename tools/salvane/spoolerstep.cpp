#include "printers/printerapi.h"
#include "repair/repairtypes.h"
#include "repair/scheduleraddress.h"
#include "repair/spoolerstate.h"
#include "repair/systembus.h"
#include "repair/systemdunits.h"
#include "repair/toolrunner.h"
#include "steps.h"
#include "sysutil/launch.h"
#include "sysutil/paths.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <vector>

extern char** environ;

namespace salvane {

namespace {

constexpr int kSchedulerStartMs = 20000;

// Whether the process is a CUPS scheduler: its name, as the kernel keeps it.
bool isScheduler(pid_t pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return pid > 1 && comm.open(QIODevice::ReadOnly) && comm.read(64).trimmed() == "cupsd";
}

QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(64 << 10) : QByteArray();
}

// The schedulers to stop: the one in the configured pid file, else every cupsd
// running the configured program.
std::vector<pid_t> runningSchedulers(const QString& pidFile, const QString& program)
{
    std::vector<pid_t> pids;
    if (!pidFile.isEmpty()) {
        QFile file(pidFile);
        if (file.open(QIODevice::ReadOnly)) {
            const pid_t pid = file.read(32).trimmed().toInt();
            if (isScheduler(pid))
                pids.push_back(pid);
        }
        return pids;
    }
    // The machine's scheduler runs with the default configuration; a cupsd
    // started with a configuration of its own (-c, -s) is someone's private
    // instance and is left alone.
    const auto usesOwnConfiguration = [](pid_t pid) {
        const QList<QByteArray> args =
            readSmallFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).split('\0');
        return args.contains("-c") || args.contains("-s");
    };
    const QString target = QFileInfo(program).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (numeric && isScheduler(pid) && !usesOwnConfiguration(pid) &&
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath() == target)
            pids.push_back(pid);
    }
    return pids;
}

bool stopProcesses(const std::vector<pid_t>& pids)
{
    for (const pid_t pid : pids)
        kill(pid, SIGTERM);
    const auto allGone = [&] {
        for (const pid_t pid : pids) {
            if (isScheduler(pid))
                return false;
        }
        return true;
    };
    QDeadlineTimer deadline(10000);
    while (!allGone() && !deadline.hasExpired())
        QThread::msleep(50);
    if (allGone())
        return true;
    for (const pid_t pid : pids) {
        if (isScheduler(pid))
            kill(pid, SIGKILL);
    }
    QThread::msleep(500);
    return allGone();
}

// Starts the scheduler in a session of its own, detached from our output and
// from every other descriptor we inherited, so it never holds the caller's
// pipes open (a caller waiting for the end of its output would wait for the
// scheduler's).
pid_t spawnDetached(const QStringList& argv)
{
    const QByteArray program = QFile::encodeName(argv.first());
    std::vector<QByteArray> storage;
    for (const QString& a : argv)
        storage.push_back(QFile::encodeName(a));
    std::vector<char*> pointers;
    for (QByteArray& b : storage)
        pointers.push_back(b.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.constData(), &actions, &attributes, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : -1;
}

bool waitUntilAnswering()
{
    QDeadlineTimer deadline(kSchedulerStartMs);
    while (!deadline.hasExpired()) {
        if (repair::schedulerAnswerState() == repair::service::kRunning)
            return true;
        QThread::msleep(100);
    }
    return false;
}

StepOutcome restartThroughSystemd()
{
    repair::SystemBus bus(30000);
    if (bus.isConnected()) {
        const repair::UnitRestart restart = repair::restartUnit(bus, QStringLiteral("cups.service"));
        return {restart.done, restart.detail};
    }
    const QString systemctl = repair::findTool("KORVANE_SYSTEMCTL", QStringLiteral("systemctl"));
    const auto result = repair::runTool(systemctl, {QStringLiteral("restart"), QStringLiteral("cups.service")}, 90000);
    if (!result || result->exitCode != 0)
        return {false, QStringLiteral("systemctl restart cups.service failed: %1")
                           .arg(result ? QString::fromUtf8(result->errors).trimmed() : QStringLiteral("did not run"))};
    return {true, QStringLiteral("cups.service restarted by systemctl")};
}

// A scheduler whose start command is configured (KORVANE_CUPSD_COMMAND, its pid
// in KORVANE_CUPSD_PIDFILE): the command must keep cupsd in the foreground, so
// the pid written back is the scheduler's.
StepOutcome restartConfiguredScheduler(const QString& command, const QString& pidFile)
{
    const auto argv = sysutil::splitCommandLine(command);
    if (!argv || argv->isEmpty())
        return {false, QStringLiteral("the scheduler command cannot be read")};
    QStringList resolved = *argv;
    if (!resolved.first().contains(QLatin1Char('/')))
        resolved.first() = repair::findTool("KORVANE_CUPSD", resolved.first());
    if (resolved.first().isEmpty())
        return {false, QStringLiteral("the scheduler program is not installed")};
    if (!stopProcesses(runningSchedulers(pidFile, resolved.first())))
        return {false, QStringLiteral("the running scheduler did not stop")};
    const pid_t pid = spawnDetached(resolved);
    if (pid <= 0)
        return {false, QStringLiteral("the scheduler could not be started")};
    if (!pidFile.isEmpty()) {
        QSaveFile file(pidFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(pid) + '\n') < 0 || !file.commit())
            return {false, QStringLiteral("the scheduler started but its pid file cannot be written")};
    }
    if (!waitUntilAnswering())
        return {false, QStringLiteral("the scheduler was started but does not answer")};
    return {true, QStringLiteral("scheduler restarted (pid %1)").arg(pid)};
}

StepOutcome restartWithoutSystemd()
{
    // The init system's own script keeps its bookkeeping right.
    const QString initScript = sysutil::envPath("KORVANE_CUPS_INIT_SCRIPT", QStringLiteral("/etc/init.d/cups"));
    if (QFileInfo(initScript).isExecutable()) {
        const auto result = repair::runTool(initScript, {QStringLiteral("restart")}, 60000);
        if (!result || result->exitCode != 0)
            return {false, QStringLiteral("%1 restart failed").arg(initScript)};
        if (!waitUntilAnswering())
            return {false, QStringLiteral("%1 restart ran but the scheduler does not answer").arg(initScript)};
        return {true, QStringLiteral("restarted by %1").arg(initScript)};
    }

    const QString cupsd = repair::findTool("KORVANE_CUPSD", QStringLiteral("cupsd"));
    if (cupsd.isEmpty())
        return {false, QStringLiteral("cupsd is not installed")};
    if (!stopProcesses(runningSchedulers(QString(), cupsd)))
        return {false, QStringLiteral("the running scheduler did not stop")};
    // Without -f cupsd returns once it is ready and runs on in the background.
    const auto started = repair::runTool(cupsd, {}, kSchedulerStartMs);
    if (!started || started->exitCode != 0 || !waitUntilAnswering())
        return {false, QStringLiteral("cupsd was started but does not answer")};
    return {true, QStringLiteral("cupsd restarted")};
}

}  // namespace

StepOutcome restartSpooler()
{
    // Restarting the print service must restart the scheduler we were asked
    // about, not whatever runs under that service's name.
    const QString address = PrinterAPI::schedulerAddress();
    if (!repair::isLocalSchedulerAddress(address))
        return {false,
                QStringLiteral("the scheduler %1 runs on another machine; it can only be restarted there").arg(address),
                repair::exitcode::kSchedulerNotOurs};
    const QString command = qEnvironmentVariable("KORVANE_CUPSD_COMMAND");
    if (!command.isEmpty())
        return restartConfiguredScheduler(command, qEnvironmentVariable("KORVANE_CUPSD_PIDFILE"));
    if (!repair::isSystemSchedulerAddress(address, repair::systemSchedulerSockets()))
        return {false,
                QStringLiteral("the scheduler at %1 is not this machine's print service; restart it the way it was "
                               "started")
                    .arg(address),
                repair::exitcode::kSchedulerNotOurs};
    if (repair::systemdIsRunning())
        return restartThroughSystemd();
    return restartWithoutSystemd();
}

}  // namespace salvane
