// The installed shape of the program: the korvane executable itself starts
// headless inside the bed's namespace and opens its main page, as the web
// engine's own debugging endpoint (on loopback) reports it.

#include "e2efixture.h"

#include "../discovery/network_lanbed.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

namespace e2e {
namespace {

// A loopback port nothing listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// The pages the engine has open, or an empty array while it cannot say.
QJsonArray openPages(quint16 port)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(port)));
    request.setTransferTimeout(5000);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    // A debugging answer is small; more is not one.
    return QJsonDocument::fromJson(reply->read(1 << 20)).array();
}

TEST(Program, theExecutableStartsAndOpensItsMainPage)
{
    ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const quint16 port = freePort();
    ASSERT_NE(port, 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(variable), home.path() + QLatin1Char('/') + QString::fromLatin1(variable));
    environment.insert(QStringLiteral("CUPS_SERVER"), bedDir(Bed::Suite) + QStringLiteral("/cups.sock"));
    environment.insert(QStringLiteral("CUPS_SERVERROOT"), bedDir(Bed::Suite) + QStringLiteral("/client"));
    environment.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), QStringLiteral("127.0.0.1:%1").arg(port));
    environment.remove(QStringLiteral("KORVANE_PROGRAM_DIR"));  // it finds its own folder
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(testsupport::programDir() + QStringLiteral("/korvane"), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    QJsonObject mainPage;
    testsupport::waitFor(
        [&] {
            if (program.state() != QProcess::Running)
                return true;
            for (const QJsonValue& target : openPages(port)) {
                const QJsonObject page = target.toObject();
                if (page.value(QStringLiteral("url")).toString().endsWith(QStringLiteral("/index.html")) &&
                    page.value(QStringLiteral("title")).toString() == QStringLiteral("Korvane"))
                    mainPage = page;
            }
            testsupport::waitFor([] { return false; }, std::chrono::milliseconds(200));
            return !mainPage.isEmpty();
        },
        kPageWait);
    const bool stillRunning = program.state() == QProcess::Running;
    program.terminate();
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished(5000);
    }
    ASSERT_TRUE(stillRunning) << "exit code " << program.exitCode();
    EXPECT_EQ(mainPage.value(QStringLiteral("url")).toString(), QStringLiteral("korvane://app/index.html"));
}

}  // namespace
}  // namespace e2e
