#include "sysutil/launch.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace sysutil {

std::optional<QStringList> splitCommandLine(const QString& commandLine)
{
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool haveArg = false;
    for (int i = 0; i < commandLine.size(); ++i) {
        const QChar c = commandLine.at(i);
        if (c == QLatin1Char('\\')) {
            int slashes = 0;
            while (i < commandLine.size() && commandLine.at(i) == QLatin1Char('\\')) {
                ++slashes;
                ++i;
            }
            if (i < commandLine.size() && commandLine.at(i) == QLatin1Char('"')) {
                current += QString(slashes / 2, QLatin1Char('\\'));
                if (slashes % 2) {
                    current += QLatin1Char('"');
                } else {
                    inQuotes = !inQuotes;
                }
            } else {
                current += QString(slashes, QLatin1Char('\\'));
                --i;
            }
            haveArg = true;
            continue;
        }
        if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            haveArg = true;
        } else if (!inQuotes && (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'))) {
            if (haveArg)
                args << current;
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (haveArg)
        args << current;
    return args;
}

namespace {

struct CStringVector {
    std::vector<QByteArray> storage;
    std::vector<char*> pointers;
    explicit CStringVector(const QStringList& list)
    {
        for (const QString& s : list)
            storage.push_back(QFile::encodeName(s));
        for (QByteArray& b : storage)
            pointers.push_back(b.data());
        pointers.push_back(nullptr);
    }
};

// One line of /proc/PID/stat: parent id, session id and whether it is a zombie.
struct ProcStat {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t session = 0;
    bool zombie = false;
};

std::optional<ProcStat> readStat(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = file.readAll();
    // The command name may hold spaces and parentheses: parse after the last ')'.
    const int close = line.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 4)
        return std::nullopt;
    ProcStat stat;
    stat.pid = pid;
    stat.zombie = fields[0] == "Z" || fields[0] == "X";
    stat.parent = fields[1].toInt();
    stat.session = fields[3].toInt();
    return stat;
}

std::vector<ProcStat> allProcesses()
{
    std::vector<ProcStat> list;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const int pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        if (auto stat = readStat(pid))
            list.push_back(*stat);
    }
    return list;
}

}  // namespace

StartResult startDetached(const QStringList& argv)
{
    if (argv.isEmpty() || argv.first().isEmpty())
        return {win32::kInvalidParameter, -1};
    // Resolve the program before forking: after fork only async-signal-safe
    // calls may run, and execvp's PATH search allocates.
    QString program = argv.first();
    if (!program.contains(QLatin1Char('/'))) {
        program = QStandardPaths::findExecutable(program);
        if (program.isEmpty())
            return {win32::kFileNotFound, -1};
    }
    const QByteArray programPath = QFile::encodeName(program);
    CStringVector args(argv);

    // The child reports a failed exec through a close-on-exec pipe, so "not
    // found" and "not allowed" are known before anything is waited for.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return {win32::fromErrno(errno), -1};
    const pid_t pid = fork();
    if (pid < 0) {
        const int err = errno;
        close(report[0]);
        close(report[1]);
        return {win32::fromErrno(err), -1};
    }
    if (pid == 0) {
        setsid();
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigaction(SIGPIPE, &dfl, nullptr);
        execve(programPath.constData(), args.pointers.data(), environ);
        const int err = errno;
        (void)!write(report[1], &err, sizeof err);
        _exit(127);
    }
    close(report[1]);
    int childErrno = 0;
    ssize_t got;
    do {
        got = read(report[0], &childErrno, sizeof childErrno);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == sizeof childErrno) {
        waitpid(pid, nullptr, 0);
        return {win32::fromErrno(childErrno), -1};
    }
    return {win32::kSuccess, pid};
}

win32::ErrorCode waitForTree(pid_t root)
{
    // Descendants are found by parent id while their parents live, and by the
    // session the child was started in once they are orphaned (Linux hands an
    // orphan to init, so its original parent id is lost).
    constexpr std::size_t kMaxTracked = 4096;
    std::set<pid_t> tracked{root};
    const pid_t session = root;
    // A process forked just before its parent exits can be missing from the
    // listing in which the parent is already seen dead, so the end is only
    // declared after a second quiet scan, started once everything looked dead.
    int quietScans = 0;
    for (;;) {
        // Reap our own child so it does not linger as a zombie.
        waitpid(root, nullptr, WNOHANG);
        const std::vector<ProcStat> processes = allProcesses();
        if (processes.empty()) {
            std::fputs("LaunchAndWait: All processes exited\n", stdout);
            std::fflush(stdout);
            return win32::kSuccess;
        }
        bool anyRunning = false;
        bool added = false;
        for (const ProcStat& p : processes) {
            if (p.zombie)
                continue;
            if (tracked.count(p.pid)) {
                anyRunning = true;
                continue;
            }
            if (tracked.size() < kMaxTracked && (tracked.count(p.parent) || p.session == session)) {
                tracked.insert(p.pid);
                std::printf("LaunchAndWait: Found new child process with ID %d parented to %d\n", int(p.pid),
                            int(p.parent));
                std::fflush(stdout);
                added = true;
            }
        }
        quietScans = (!anyRunning && !added) ? quietScans + 1 : 0;
        if (quietScans == 2) {
            std::fputs("LaunchAndWait: All processes exited\n", stdout);
            std::fflush(stdout);
            return win32::kSuccess;
        }
        if (quietScans == 0)
            usleep(100 * 1000);
    }
}

pid_t relaunchElevated(const QStringList& argv)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty() || argv.isEmpty())
        return 0;
    const StartResult started = startDetached(QStringList{pkexec} + argv);
    if (started.error != win32::kSuccess)
        return 0;
    std::printf("Re-launched with privileges, child pid %d\n", int(started.pid));
    std::fflush(stdout);
    return started.pid;
}

win32::ErrorCode LaunchAndWait(const QString& commandLine)
{
    const std::optional<QStringList> argv = splitCommandLine(commandLine);
    if (!argv || argv->isEmpty())
        return win32::kInvalidParameter;
    StartResult started = startDetached(*argv);
    if (started.error == win32::kAccessDenied) {
        const pid_t elevated = relaunchElevated(*argv);
        if (elevated == 0)
            return win32::kAccessDenied;
        started = {win32::kSuccess, elevated};
    }
    if (started.error != win32::kSuccess)
        return started.error;
    return waitForTree(started.pid);
}

}  // namespace sysutil
