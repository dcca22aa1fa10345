// The repairs as a user who is not root: the program goes through pkexec,
// which clears the environment. A stand-in for pkexec on PATH records the
// argument vector and environment it is given and runs the command with an
// emptied environment as pkexec would (without changing user; the bed's
// scheduler lets anyone cancel). The scheduler must travel on the command
// line, and no text from the page or the environment may reach a shell.

#include "printers/printerapi.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kStandIn[] = R"(#!/bin/sh
# pkexec stand-in: record, then run the command with the environment emptied.
printf '%s\0' "$@" > "@RECORDS@/args.$$"
env -0 > "@RECORDS@/env.$$"
exec env -i PATH=/usr/bin:/bin "$@"
)";

QString bedSocket()
{
    return qEnvironmentVariable("KORVANE_REPAIR_CUPS_BED") + QStringLiteral("/cups.sock");
}

bool submitHeldJob(const QString& queue)
{
    QProcess lp;
    lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), queue, QStringLiteral("-t"), QStringLiteral("root's document"),
                                    QStringLiteral("-H"), QStringLiteral("hold")});
    lp.write("a page\n");
    lp.closeWriteChannel();
    return lp.waitForFinished(30000) && lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0;
}

int unfinishedJobs(const QString& queue)
{
    return int(PrinterAPI::listPrinterJobs(queue).size());
}

class NonRootRepair : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "switching to an unprivileged user needs root";
        ASSERT_FALSE(qEnvironmentVariable("KORVANE_REPAIR_CUPS_BED").isEmpty()) << "run through ctest";
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        m_uid = nobody->pw_uid;
        m_gid = nobody->pw_gid;
        ASSERT_NE(m_uid, 0u);
        ASSERT_TRUE(m_dir.isValid());
        m_records = m_dir.filePath(QStringLiteral("records"));
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("bin"))));
        ASSERT_TRUE(QDir().mkpath(m_records));
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("home"))));
        ASSERT_EQ(chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
        ASSERT_EQ(chmod(QFile::encodeName(m_records).constData(), 0777), 0);
        ASSERT_EQ(chmod(QFile::encodeName(m_dir.filePath(QStringLiteral("home"))).constData(), 0777), 0);
        QByteArray script(kStandIn);
        script.replace("@RECORDS@", QFile::encodeName(m_records));
        ASSERT_TRUE(testsupport::writeFile(m_dir.filePath(QStringLiteral("bin/pkexec")), script, true));
        m_marker = m_dir.filePath(QStringLiteral("marker"));
    }

    // The probe as user nobody, with nothing of our environment but the
    // scheduler and the program folder.
    QString probe(const QStringList& args, const QString& cupsServer)
    {
        clearRecords();
        QProcess process;
        const QString probePath = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
                                  QStringLiteral("/repair_nonroot_probe");
        QStringList argv{QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid),
                         QStringLiteral("--clear-groups"), QStringLiteral("--"), QStringLiteral("env"), QStringLiteral("-i"),
                         QStringLiteral("PATH=%1:/usr/bin:/bin").arg(m_dir.filePath(QStringLiteral("bin"))),
                         QStringLiteral("HOME=") + m_dir.filePath(QStringLiteral("home")), QStringLiteral("LANG=C.UTF-8"),
                         QStringLiteral("CUPS_SERVER=") + cupsServer,
                         QStringLiteral("KORVANE_PROGRAM_DIR=") + testsupport::programDir(), probePath};
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("setpriv"), argv + args);
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            return QStringLiteral("(did not finish)");
        }
        // The tool's own lines come first on the same output; the answer is last.
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed().section(QLatin1Char('\n'), -1);
    }

    void clearRecords()
    {
        const QStringList files = QDir(m_records).entryList(QDir::Files);
        for (const QString& file : files)
            QFile::remove(m_records + QLatin1Char('/') + file);
    }

    // The argument vectors the stand-in was given, one per call.
    std::vector<QStringList> recordedCalls() const
    {
        std::vector<QStringList> calls;
        const QStringList files = QDir(m_records).entryList({QStringLiteral("args.*")}, QDir::Files, QDir::Name);
        for (const QString& file : files) {
            QByteArray raw = testsupport::readFile(m_records + QLatin1Char('/') + file);
            if (raw.endsWith('\0'))
                raw.chop(1);
            QStringList call;
            for (const QByteArray& part : raw.split('\0'))
                call << QString::fromUtf8(part);
            calls.push_back(call);
        }
        return calls;
    }

    QByteArray recordedEnvironment() const
    {
        const QStringList files = QDir(m_records).entryList({QStringLiteral("env.*")}, QDir::Files);
        return files.isEmpty() ? QByteArray() : testsupport::readFile(m_records + QLatin1Char('/') + files.first());
    }

    QString salvane() const { return testsupport::programDir() + QStringLiteral("/salvane"); }

    QTemporaryDir m_dir;
    QString m_records;
    QString m_marker;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

}  // namespace

TEST_F(NonRootRepair, TheSchedulerTravelsOnTheCommandLineThroughPkexec)
{
    ASSERT_TRUE(submitHeldJob(QStringLiteral("stopped")));
    ASSERT_GT(unfinishedJobs(QStringLiteral("stopped")), 0);
    EXPECT_EQ(probe({QStringLiteral("clean-all")}, bedSocket()), QStringLiteral("done"));
    const auto calls = recordedCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls.front(), (QStringList{salvane(), QStringLiteral("-h"), bedSocket(), QStringLiteral("2")}));
    // pkexec was handed the variable too, and drops it; the tool found the
    // scheduler without it and cancelled root's documents there.
    EXPECT_TRUE(recordedEnvironment().split('\0').contains("CUPS_SERVER=" + bedSocket().toUtf8()));
    EXPECT_EQ(unfinishedJobs(QStringLiteral("stopped")), 0);
}

TEST_F(NonRootRepair, OnePrintersQueueTravelsWithItsNameAndLeavesTheOthers)
{
    ASSERT_TRUE(submitHeldJob(QStringLiteral("stopped")));
    ASSERT_TRUE(submitHeldJob(QStringLiteral("laser")));
    EXPECT_EQ(probe({QStringLiteral("clean-one"), QStringLiteral("stopped")}, bedSocket()), QStringLiteral("0"));
    const auto calls = recordedCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls.front(), (QStringList{salvane(), QStringLiteral("-h"), bedSocket(), QStringLiteral("-p"),
                                          QStringLiteral("stopped"), QStringLiteral("2")}));
    EXPECT_EQ(unfinishedJobs(QStringLiteral("stopped")), 0);
    EXPECT_EQ(unfinishedJobs(QStringLiteral("laser")), 1);
    // With nothing left to cancel, nobody is asked for a password.
    EXPECT_EQ(probe({QStringLiteral("clean-one"), QStringLiteral("stopped")}, bedSocket()), QStringLiteral("0"));
    EXPECT_TRUE(recordedCalls().empty());
    EXPECT_EQ(probe({QStringLiteral("clean-one"), QStringLiteral("laser")}, bedSocket()), QStringLiteral("0"));
    EXPECT_EQ(unfinishedJobs(QStringLiteral("laser")), 0);
}

TEST_F(NonRootRepair, HostileNamesAndSchedulerStringsNeverReachAShell)
{
    ASSERT_TRUE(submitHeldJob(QStringLiteral("stopped")));
    const QString touch = QStringLiteral("touch ") + m_marker;
    // Names CUPS could never have are refused before anything starts.
    const QStringList names{QString(QStringLiteral("stopped;") + touch), QString(QStringLiteral("$(") + touch + QLatin1Char(')')),
                            QString(QStringLiteral("`") + touch + QLatin1Char('`')), QString(QStringLiteral("stopped\n") + touch)};
    for (const QString& name : names) {
        EXPECT_EQ(probe({QStringLiteral("clean-one"), name}, bedSocket()), QStringLiteral("1801"));
        EXPECT_TRUE(recordedCalls().empty());
    }
    // A socket path may hold any printable character: it travels as one
    // argument, byte for byte, and names no scheduler.
    const QStringList oddSockets{m_dir.filePath(QStringLiteral("x;%1;y.sock").arg(touch)),
                                 m_dir.filePath(QStringLiteral("$(%1).sock").arg(touch))};
    for (const QString& oddSocket : oddSockets) {
        ASSERT_TRUE(oddSocket.toUtf8().size() <= 107) << oddSocket.toStdString();
        EXPECT_EQ(probe({QStringLiteral("clean-all")}, oddSocket), QStringLiteral("done"));
        const auto calls = recordedCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls.front(), (QStringList{salvane(), QStringLiteral("-h"), oddSocket, QStringLiteral("2")}));
    }
    // A host that is no host name is not handed to the tool at all (87).
    const QStringList servers{QString(QStringLiteral("$(") + touch + QStringLiteral("):631")),
                              QString(QStringLiteral("host;") + touch), QStringLiteral("-oProxyCommand=x")};
    for (const QString& server : servers) {
        EXPECT_EQ(probe({QStringLiteral("restart")}, server), QStringLiteral("87")) << server.toStdString();
        EXPECT_TRUE(recordedCalls().empty()) << server.toStdString();
    }
    EXPECT_FALSE(QFile::exists(m_marker));
    EXPECT_GT(unfinishedJobs(QStringLiteral("stopped")), 0);
    EXPECT_EQ(probe({QStringLiteral("clean-one"), QStringLiteral("stopped")}, bedSocket()), QStringLiteral("0"));
}
