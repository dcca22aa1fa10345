// The installed shape of the program: the korvane executable itself starts
// headless inside the bed's namespace and opens its main page, as its log
// reports it (the engine's debugging endpoint is refused to every caller).

#include "e2efixture.h"

#include "../discovery/network_lanbed.h"

#include <QProcess>
#include <QTemporaryDir>

namespace e2e {
namespace {

TEST(Program, theExecutableStartsAndOpensItsMainPage)
{
    ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(variable), home.path() + QLatin1Char('/') + QString::fromLatin1(variable));
    environment.insert(QStringLiteral("CUPS_SERVER"), bedDir(Bed::Suite) + QStringLiteral("/cups.sock"));
    environment.insert(QStringLiteral("CUPS_SERVERROOT"), bedDir(Bed::Suite) + QStringLiteral("/client"));
    environment.remove(QStringLiteral("KORVANE_PROGRAM_DIR"));  // it finds its own folder
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(testsupport::programDir() + QStringLiteral("/korvane"), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    QString log;
    const QString loaded = QStringLiteral("window: loaded korvane://app/index.html \"Korvane\"");
    testsupport::waitFor(
        [&] {
            log += QString::fromLocal8Bit(program.readAll());
            return program.state() != QProcess::Running || log.contains(loaded);
        },
        kPageWait);
    const bool stillRunning = program.state() == QProcess::Running;
    program.terminate();
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished(5000);
    }
    ASSERT_TRUE(stillRunning) << "exit code " << program.exitCode() << "\n" << log.toStdString();
    EXPECT_TRUE(log.contains(loaded)) << log.toStdString();
    // Closed as by its close box.
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
}

}  // namespace
}  // namespace e2e
