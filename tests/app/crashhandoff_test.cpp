#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Generous: the machine may be busy, and gdb may attach.
constexpr int kCrashWaitMs = 90000;

struct CrashRun {
    bool finished = false;
    int exitStatus = QProcess::NormalExit;
    int exitCode = 0;  // the signal number after a crash
    qint64 pid = 0;
    QByteArray dumperArgs;
    QByteArray errorOutput;
    QList<QByteArray> args() const { return dumperArgs.trimmed().split(' '); }
};

QProcessEnvironment crasherEnvironment(const QString& argsFile)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DUMPER_ARGS", argsFile);
    // Sanitizers would report the fault themselves instead of letting it
    // through; a double free they catch ends in abort(), which is handed off.
    env.insert("ASAN_OPTIONS", "handle_segv=0:handle_abort=0:handle_sigill=0:handle_sigfpe=0:handle_sigbus=0:"
                               "detect_leaks=0:abort_on_error=1:use_sigaltstack=0");
    env.insert("UBSAN_OPTIONS", "handle_segv=0:handle_abort=0:handle_sigill=0:handle_sigfpe=0:handle_sigbus=0");
    return env;
}

void finish(QProcess& process, CrashRun& run, const QString& argsFile)
{
    run.finished = process.waitForFinished(kCrashWaitMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitStatus = process.exitStatus();
    run.exitCode = process.exitCode();
    run.dumperArgs = testsupport::readFile(argsFile);
    run.errorOutput = process.readAllStandardError();
}

CrashRun crash(const QString& dumper, const QString& how, const QString& argsFile, const QStringList& extra = {},
               QProcessEnvironment env = {})
{
    QProcess process;
    process.setProcessEnvironment(env.isEmpty() ? crasherEnvironment(argsFile) : env);
    process.start(QStringLiteral(KORVANE_CRASHER), QStringList{dumper, how} + extra);
    CrashRun run;
    run.pid = process.processId();
    finish(process, run, argsFile);
    return run;
}

QString argsRecorder(const QTemporaryDir& dir)
{
    const QString dumper = dir.filePath("dumper");
    EXPECT_TRUE(testsupport::writeFile(dumper, "#!/bin/sh\necho \"$@\" > \"$DUMPER_ARGS\"\n", true));
    return dumper;
}

}  // namespace

TEST(CrashHandoff, StartsTheDumperWithPidThreadAndAddressThenDiesOfTheSignal)
{
    QTemporaryDir dir;
    const QString dumper = argsRecorder(dir);
    struct Case {
        const char* how;
        int signal;
        const char* address;  // nullptr: any
    };
    // abort() raises the signal with tgkill: there is no fault address.
    const Case cases[] = {{"segv", SIGSEGV, "0x10"}, {"abort", SIGABRT, "0x0"}, {"trap", SIGTRAP, nullptr}};
    for (const Case& c : cases) {
        const QString argsFile = dir.filePath(QStringLiteral("args-") + c.how);
        const CrashRun run = crash(dumper, c.how, argsFile);
        ASSERT_TRUE(run.finished) << c.how;
        EXPECT_EQ(run.exitStatus, QProcess::CrashExit) << c.how;
        EXPECT_EQ(run.exitCode, c.signal) << c.how;
        const QList<QByteArray> args = run.args();
        ASSERT_EQ(args.size(), 3) << c.how << ": " << run.dumperArgs.toStdString();
        EXPECT_EQ(args[0].toLongLong(), run.pid) << c.how;
        EXPECT_EQ(args[1], args[0]) << c.how << ": the crash happened on the main thread";
        EXPECT_TRUE(args[2].startsWith("0x")) << c.how;
        if (c.address) {
            EXPECT_EQ(args[2], c.address) << c.how;
        }
        if (c.signal == SIGABRT) {
            EXPECT_TRUE(run.errorOutput.contains("raised by this process")) << run.errorOutput.toStdString();
        }
    }
}

TEST(CrashHandoff, FallsThroughToTheDefaultActionWithoutADumper)
{
    QTemporaryDir dir;
    const CrashRun run = crash(dir.filePath("no-dumper-here"), "segv", dir.filePath("args"));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, QProcess::CrashExit);
    EXPECT_EQ(run.exitCode, SIGSEGV);
    EXPECT_TRUE(run.dumperArgs.isEmpty());
}

// A double free with other threads alive makes the allocator abort while it
// holds its lock: a hand-off that forks would wait for that lock forever.
TEST(CrashHandoff, ReportsACorruptedHeapWhileOtherThreadsRun)
{
    QTemporaryDir dir;
    QTemporaryDir cache;
    QProcessEnvironment env = crasherEnvironment(dir.filePath("unused"));
    env.insert("XDG_CACHE_HOME", cache.path());
    const CrashRun run = crash(testsupport::programDir() + "/dumper", "heap", dir.filePath("unused"), {}, env);
    ASSERT_TRUE(run.finished) << "the crashing process hung: " << run.errorOutput.toStdString();
    EXPECT_EQ(run.exitStatus, QProcess::CrashExit);
    EXPECT_EQ(run.exitCode, SIGABRT);
    const QStringList reports = QDir(cache.filePath("Velmora/Korvane/crashes")).entryList(QDir::Files);
    ASSERT_EQ(reports.size(), 1) << run.errorOutput.toStdString();
    const QByteArray report = testsupport::readFile(cache.filePath("Velmora/Korvane/crashes/" + reports.first()));
    EXPECT_TRUE(report.contains("process " + QByteArray::number(run.pid) + ", thread " + QByteArray::number(run.pid)))
        << report.left(300).toStdString();
    EXPECT_TRUE(report.contains("== maps")) << report.left(300).toStdString();
}

TEST(CrashHandoff, ReportsAStackOverflowInAWorkerThread)
{
    QTemporaryDir dir;
    const CrashRun run = crash(argsRecorder(dir), "thread-overflow", dir.filePath("args"));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, QProcess::CrashExit);
    EXPECT_EQ(run.exitCode, SIGSEGV);
    const QList<QByteArray> args = run.args();
    ASSERT_EQ(args.size(), 3) << run.dumperArgs.toStdString();
    EXPECT_EQ(args[0].toLongLong(), run.pid);
    EXPECT_GT(args[1].toLongLong(), 0);
    EXPECT_NE(args[1], args[0]) << "the overflow happened on the worker thread";
    EXPECT_NE(args[2], "0x0") << "a real fault has an address";
}

TEST(CrashHandoff, ASignalSentByAnotherProcessHasNoFaultAddress)
{
    QTemporaryDir dir;
    const QString argsFile = dir.filePath("args");
    QProcess process;
    process.setProcessEnvironment(crasherEnvironment(argsFile));
    process.start(QStringLiteral(KORVANE_CRASHER), {argsRecorder(dir), "wait"});
    ASSERT_TRUE(process.waitForReadyRead(30000));
    ASSERT_EQ(process.readLine().trimmed(), "ready");
    ASSERT_EQ(::kill(pid_t(process.processId()), SIGSEGV), 0);
    CrashRun run;
    run.pid = process.processId();
    finish(process, run, argsFile);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, QProcess::CrashExit);
    EXPECT_EQ(run.exitCode, SIGSEGV);
    const QList<QByteArray> args = run.args();
    ASSERT_EQ(args.size(), 3) << run.dumperArgs.toStdString();
    EXPECT_EQ(args[2], "0x0") << "the sender's process id is not a fault address";
    EXPECT_TRUE(run.errorOutput.contains("sent by process " + QByteArray::number(qint64(getpid()))))
        << run.errorOutput.toStdString();
}

TEST(CrashHandoff, EndsWhenTheDumperNeverDoes)
{
    QTemporaryDir dir;
    const QString dumper = dir.filePath("dumper");
    const QString pidFile = dir.filePath("dumper-pid");
    ASSERT_TRUE(testsupport::writeFile(dumper, "#!/bin/sh\necho $$ > \"$DUMPER_ARGS\"\nexec sleep 300\n", true));
    const CrashRun run = crash(dumper, "segv", pidFile, {"2"});
    const pid_t hungDumper = pid_t(run.dumperArgs.trimmed().toLongLong());
    if (hungDumper > 0)
        ::kill(hungDumper, SIGKILL);
    ASSERT_TRUE(run.finished) << "the crashing process waited for its dumper forever";
    EXPECT_GT(hungDumper, 0) << "the dumper was started";
    EXPECT_EQ(run.exitStatus, QProcess::CrashExit);
    EXPECT_EQ(run.exitCode, SIGSEGV);
    EXPECT_TRUE(run.errorOutput.contains("did not finish in time")) << run.errorOutput.toStdString();
}

TEST(Dumper, WritesAReportOfALiveProcess)
{
    QTemporaryDir home;
    QProcess sleeper;
    sleeper.start("sleep", {"30"});
    ASSERT_TRUE(sleeper.waitForStarted());
    QProcess dumper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CACHE_HOME", home.path());
    env.insert("PATH", "/nonexistent");  // no gdb: the /proc fallback
    dumper.setProcessEnvironment(env);
    dumper.start(testsupport::programDir() + "/dumper", {QString::number(sleeper.processId()), "1", "0x0"});
    ASSERT_TRUE(dumper.waitForFinished(30000));
    EXPECT_EQ(dumper.exitCode(), 0);
    const QString reportPath = QString::fromLocal8Bit(dumper.readAllStandardOutput().trimmed());
    const QByteArray report = testsupport::readFile(reportPath);
    EXPECT_TRUE(reportPath.startsWith(home.path())) << reportPath.toStdString();
    EXPECT_TRUE(report.contains("== maps")) << report.left(200).toStdString();
    EXPECT_TRUE(report.contains("/sleep"));
    sleeper.kill();
    sleeper.waitForFinished();
}

TEST(Dumper, RefusesArgumentsThatAreNotNumbers)
{
    QProcess dumper;
    dumper.start(testsupport::programDir() + "/dumper", {"$(id)", "1", "0x0"});
    ASSERT_TRUE(dumper.waitForFinished(10000));
    EXPECT_EQ(dumper.exitCode(), 2);
}
