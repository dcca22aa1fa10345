#include "support/testsupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CrashRun {
    int exitStatus;
    int exitCode;
    QByteArray dumperArgs;
};

CrashRun crash(const QString& dumper, const QString& how, const QString& argsFile)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DUMPER_ARGS", argsFile);
    // Sanitizers would report the fault themselves instead of letting it through.
    env.insert("ASAN_OPTIONS", "handle_segv=0:handle_abort=0:detect_leaks=0");
    env.insert("UBSAN_OPTIONS", "handle_segv=0:handle_abort=0");
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KORVANE_CRASHER), {dumper, how});
    process.waitForFinished(30000);
    return {process.exitStatus(), process.exitCode(), testsupport::readFile(argsFile)};
}

}  // namespace

TEST(CrashHandoff, StartsTheDumperWithPidThreadAndAddressThenDies)
{
    QTemporaryDir dir;
    const QString dumper = dir.filePath("dumper");
    ASSERT_TRUE(testsupport::writeFile(dumper, "#!/bin/sh\necho \"$@\" > \"$DUMPER_ARGS\"\n", true));
    for (const QString how : {"segv", "abort"}) {
        const QString argsFile = dir.filePath("args-" + how);
        const CrashRun run = crash(dumper, how, argsFile);
        EXPECT_EQ(run.exitStatus, QProcess::CrashExit) << how.toStdString();
        const QList<QByteArray> args = run.dumperArgs.trimmed().split(' ');
        ASSERT_EQ(args.size(), 3) << how.toStdString() << ": " << run.dumperArgs.toStdString();
        EXPECT_GT(args[0].toLongLong(), 0);
        EXPECT_EQ(args[1], args[0]) << "the crash happened on the main thread";
        EXPECT_TRUE(args[2].startsWith("0x"));
        if (how == "segv") {
            EXPECT_EQ(args[2], "0x10");
        }
    }
}

TEST(CrashHandoff, FallsThroughToTheDefaultActionWithoutADumper)
{
    QTemporaryDir dir;
    const CrashRun run = crash(dir.filePath("no-dumper-here"), "segv", dir.filePath("args"));
    EXPECT_EQ(run.exitStatus, QProcess::CrashExit);
    EXPECT_TRUE(run.dumperArgs.isEmpty());
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
