// The korvane executable itself, offscreen in the test's network namespace
// (loopback only) with a desktop user of its own: SIGTERM and SIGINT close it
// as its close box does (the user record is written), engine switches that
// would open it to other programs are ignored, and a second instance on the
// same user's folders starts at once with its own page storage.

#include "support/testsupport.h"

#include <QDirIterator>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr std::chrono::seconds kStartWait{120};
constexpr int kExitWaitMs = 60000;

// A loopback port nothing listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool somethingListensOn(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(3000);
}

// One run of the program, its log kept.
class Program {
public:
    Program(const QString& home, const QStringList& arguments = {}, const QProcessEnvironment& extra = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        environment.insert(QStringLiteral("KORVANE_DOCUMENTS_DIR"), home + QStringLiteral("/documents"));
        environment.insert(QStringLiteral("CUPS_SERVER"), home + QStringLiteral("/no-scheduler.sock"));
        environment.insert(QStringLiteral("KORVANE_SYSFS_ROOT"), home + QStringLiteral("/empty"));
        environment.insert(QStringLiteral("KORVANE_SYSINFO_ROOT"), home + QStringLiteral("/empty"));
        environment.remove(QStringLiteral("KORVANE_PROGRAM_DIR"));  // it finds its own folder
        environment.remove(QStringLiteral("KORVANE_HTML_DIR"));
        for (const QString& key : extra.keys())
            environment.insert(key, extra.value(key));
        m_process.setProcessEnvironment(environment);
        m_process.start(testsupport::programDir() + QStringLiteral("/korvane"), arguments);
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    QString log()
    {
        m_log += QString::fromLocal8Bit(m_process.readAllStandardError() + m_process.readAllStandardOutput());
        return m_log;
    }
    bool waitForMainPage()
    {
        return testsupport::waitFor(
                   [this] {
                       return m_process.state() == QProcess::NotRunning ||
                              log().contains(QLatin1String("window: loaded korvane://app/index.html"));
                   },
                   kStartWait) &&
               m_process.state() == QProcess::Running;
    }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    bool waitForExit() { return m_process.waitForFinished(kExitWaitMs); }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_log;
};

// The user record under the user's configuration folder, or empty.
QString userRecord(const QString& home)
{
    QDirIterator it(home + QStringLiteral("/config"), {QStringLiteral("qzpr*.x")}, QDir::Files,
                    QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(testsupport::ensureLoopbackUp());
        ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("/empty")));
    }
    void closesCleanlyOn(int signalNumber, const char* name)
    {
        Program program(home.path());
        ASSERT_TRUE(program.waitForMainPage()) << program.log().toStdString();
        // Nothing has written the record yet: the end of the run will.
        ASSERT_TRUE(userRecord(home.path()).isEmpty()) << userRecord(home.path()).toStdString();
        program.signal(signalNumber);
        ASSERT_TRUE(program.waitForExit()) << program.log().toStdString();
        EXPECT_EQ(program.process().exitStatus(), QProcess::NormalExit) << program.log().toStdString();
        EXPECT_EQ(program.process().exitCode(), 0);
        EXPECT_TRUE(program.log().contains(QStringLiteral("%1 received, closing").arg(QLatin1String(name))));
        EXPECT_FALSE(userRecord(home.path()).isEmpty()) << "the user record was not written";
    }
    QTemporaryDir home;
};

TEST_F(ProgramRun, sigtermClosesTheProgramAndWritesTheUserRecord)
{
    closesCleanlyOn(SIGTERM, "SIGTERM");
}

TEST_F(ProgramRun, sigintClosesTheProgramAndWritesTheUserRecord)
{
    closesCleanlyOn(SIGINT, "SIGINT");
}

TEST_F(ProgramRun, remoteDebuggingFromTheCommandLineOrTheEnvironmentIsIgnored)
{
    const quint16 argumentPort = freePort();
    const quint16 variablePort = freePort();
    const quint16 flagsPort = freePort();
    ASSERT_TRUE(argumentPort && variablePort && flagsPort);
    {
        // The probe sees a listener where there is one.
        QTcpServer listener;
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        ASSERT_TRUE(somethingListensOn(listener.serverPort()));
    }
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), QStringLiteral("127.0.0.1:%1").arg(variablePort));
    extra.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                 QStringLiteral("--disable-gpu --remote-debugging-port=%1").arg(flagsPort));
    Program program(home.path(), {QStringLiteral("--remote-debugging-port=%1").arg(argumentPort)}, extra);
    ASSERT_TRUE(program.waitForMainPage()) << program.log().toStdString();
    EXPECT_FALSE(somethingListensOn(argumentPort));
    EXPECT_FALSE(somethingListensOn(variablePort));
    EXPECT_FALSE(somethingListensOn(flagsPort));
    const QString log = program.log();
    EXPECT_TRUE(log.contains(QStringLiteral("ignored the engine setting --remote-debugging-port=%1").arg(argumentPort)));
    EXPECT_TRUE(log.contains(QStringLiteral("ignored the engine setting QTWEBENGINE_REMOTE_DEBUGGING")));
    EXPECT_TRUE(log.contains(QStringLiteral("ignored the engine setting --remote-debugging-port=%1").arg(flagsPort)));
    program.signal(SIGTERM);
    EXPECT_TRUE(program.waitForExit());
}

TEST_F(ProgramRun, aSecondInstanceStartsWithPageStorageOfItsOwn)
{
    Program first(home.path());
    ASSERT_TRUE(first.waitForMainPage()) << first.log().toStdString();
    Program second(home.path());
    ASSERT_TRUE(second.waitForMainPage()) << second.log().toStdString();
    EXPECT_TRUE(second.log().contains(QStringLiteral("this one keeps its page storage in memory")))
        << second.log().toStdString();
    EXPECT_FALSE(first.log().contains(QStringLiteral("keeps its page storage in memory")));
    for (Program* program : {&first, &second}) {
        EXPECT_FALSE(program->log().contains(QStringLiteral("database is locked"), Qt::CaseInsensitive))
            << program->log().toStdString();
        program->signal(SIGTERM);
        EXPECT_TRUE(program->waitForExit());
        EXPECT_EQ(program->process().exitCode(), 0);
    }
    // The first instance's storage is there for the next start.
    Program third(home.path());
    ASSERT_TRUE(third.waitForMainPage()) << third.log().toStdString();
    EXPECT_FALSE(third.log().contains(QStringLiteral("keeps its page storage in memory")));
    third.signal(SIGTERM);
    EXPECT_TRUE(third.waitForExit());
}

}  // namespace
