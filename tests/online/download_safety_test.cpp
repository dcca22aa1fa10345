// Downloads never leave or report a package that is not whole: answers that
// are not a package, schemes other than http(s), two downloads of one name, a
// "stop" that arrives after the last byte, and a downloader killed mid-way.

#include "downloadfixture.h"
#include "online/downloaderobj.h"
#include "online/downloaderobjmanager.h"
#include "online/downloadname.h"
#include "online/messagebox.h"
#include "online/partialfile.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using onlinetest::DownloadFixture;
using onlinetest::FakeWebView;
using onlinetest::LoopbackHttpServer;
using testsupport::waitFor;

namespace {

const QString kFailed = QStringLiteral("下载过程发生了错误");
const QString kCancelled = QStringLiteral("用户取消了下载");

class DownloadSafety : public DownloadFixture {
protected:
    DownloadSafety()
        : DownloadFixture(QStringLiteral("downloads"))
    {
    }
};

QByteArray response(const QByteArray& statusLine, const QByteArray& headers, const QByteArray& body)
{
    return "HTTP/1.1 " + statusLine + "\r\n" + headers + "Connection: close\r\n\r\n" + body;
}

QByteArray withLength(const QByteArray& body)
{
    return "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
}

TEST_F(DownloadSafety, OnlyAWholeBodyOfA200OrOther2xxIsAPackage)
{
    const QByteArray body = "MZ-package-bytes";
    struct Case {
        const char* name;
        QByteArray response;
        int code; // 0: saved as pkg.bin with the body
    };
    const Case cases[] = {
        { "200", response("200 OK", withLength(body), body), 0 },
        { "200 until close", response("200 OK", "", body), 0 },
        { "200 empty", response("200 OK", withLength(""), ""), 0 },
        { "203 with a body", response("203 Non-Authoritative Information", withLength(body), body), 0 },
        { "201 without a body", response("201 Created", withLength(""), ""), 2 },
        { "204", response("204 No Content", "", ""), 2 },
        { "205", response("205 Reset Content", withLength(""), ""), 2 },
        { "206 never asked for",
            response("206 Partial Content", withLength(body) + "Content-Range: bytes 0-15/1000\r\n", body), 2 },
        { "300 without Location", response("300 Multiple Choices", withLength(body), body), 2 },
        { "302 with an empty Location", response("302 Found", withLength(body) + "Location: \r\n", body), 2 },
        { "301 with a blank Location", response("301 Moved Permanently", withLength(body) + "Location:    \r\n", body),
            2 },
        { "304", response("304 Not Modified", "", ""), 2 },
        { "304 with a Location", response("304 Not Modified", "Location: /raw/pkg.bin\r\n", ""), 2 },
        { "199", response("199 Odd", withLength(body), body), 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        freshPage();
        server.setRawResponse("/raw/pkg.bin", c.response);
        ASSERT_EQ(down(server.url(QStringLiteral("/raw/pkg.bin"))), 0);
        const auto finishes = settle();
        ASSERT_EQ(finishes.size(), 1u);
        if (c.code == 0) {
            expectFinish(finishes[0], 0, folder + QStringLiteral("/pkg.bin"), QString());
            const QByteArray expected = QByteArray(c.name).contains("empty") ? QByteArray() : body;
            EXPECT_EQ(testsupport::readFile(folder + QStringLiteral("/pkg.bin")), expected);
            EXPECT_EQ(entries(), QStringList { QStringLiteral("pkg.bin") });
            QFile::remove(folder + QStringLiteral("/pkg.bin"));
        } else {
            expectFinish(finishes[0], 2, QString(), kFailed);
            EXPECT_TRUE(entries().isEmpty()) << entries().join(',').toStdString();
        }
    }
}

TEST_F(DownloadSafety, OnlyHttpAndHttpsAreFetched)
{
    const QString fifo = m_dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString local = m_dir.filePath(QStringLiteral("local.exe"));
    ASSERT_TRUE(testsupport::writeFile(local, "local bytes"));
    const QString urls[] = {
        QStringLiteral("/etc/hostname"),
        QStringLiteral("file:///etc/hostname"),
        QStringLiteral("/dev/zero"),
        QStringLiteral("file:///dev/zero"),
        fifo,
        QStringLiteral("file://") + fifo,
        local,
        QStringLiteral("ftp://127.0.0.1:%1/pkg.bin").arg(server.port()),
        QStringLiteral("data:application/octet-stream;base64,TVo="),
        QStringLiteral("qrc:/img/defaultHead.png"),
        QStringLiteral("http://"),
        QString(),
    };
    for (const QString& url : urls) {
        SCOPED_TRACE(url.toStdString());
        freshPage();
        ASSERT_EQ(down(url), online::downstart::kStarted);
        // The answer comes from the event loop, not from inside "Down".
        EXPECT_EQ(view.callCount(QStringLiteral("onFinish")), 0);
        const auto finishes = settle();
        ASSERT_EQ(finishes.size(), 1u);
        expectFinish(finishes[0], 2, QString(), kFailed);
        EXPECT_TRUE(view.callsTo(QStringLiteral("onProgress")).empty());
        EXPECT_FALSE(QFileInfo::exists(folder)) << "the download folder was touched";
    }
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(testsupport::readFile(local), QByteArray("local bytes"));
}

TEST_F(DownloadSafety, TwoDownloadsOfOneNameBothArriveWhole)
{
    // Paced so that they overlap; different sizes tell them apart.
    const qint64 firstSize = 400000;
    const qint64 secondSize = 250000;
    ASSERT_EQ(down(server.url(QStringLiteral("/file/setup.run?size=%1&chunk=16384&delay=10").arg(firstSize))), 0);
    ASSERT_EQ(down(server.url(QStringLiteral("/file/setup.run?size=%1&chunk=16384&delay=10").arg(secondSize))), 0);
    const auto finishes = settle(2);
    ASSERT_EQ(finishes.size(), 2u);
    std::map<QString, int> codes;
    for (const auto& call : finishes)
        codes[call.args.at(1).toString()] = call.args.at(0).toInt(-1);
    const QString first = folder + QStringLiteral("/setup.run");
    const QString second = folder + QStringLiteral("/setup (1).run");
    EXPECT_EQ(codes, (std::map<QString, int> { { first, 0 }, { second, 0 } }));
    EXPECT_TRUE(testsupport::readFile(first) == LoopbackHttpServer::content(firstSize));
    EXPECT_TRUE(testsupport::readFile(second) == LoopbackHttpServer::content(secondSize));
    EXPECT_EQ(entries(), (QStringList { QStringLiteral("setup (1).run"), QStringLiteral("setup.run") }));

    // Once they are done the plain name is free again and is replaced.
    freshPage();
    ASSERT_EQ(down(server.url(QStringLiteral("/file/setup.run?size=1000"))), 0);
    const auto again = settle();
    ASSERT_EQ(again.size(), 1u);
    expectFinish(again[0], 0, first, QString());
    EXPECT_TRUE(testsupport::readFile(first) == LoopbackHttpServer::content(1000));
    EXPECT_TRUE(testsupport::readFile(second) == LoopbackHttpServer::content(secondSize));
}

TEST_F(DownloadSafety, AnExistingNumberedFileIsNeverOverwritten)
{
    ASSERT_TRUE(testsupport::writeFile(folder + QStringLiteral("/setup (1).run"), "kept"));
    ASSERT_EQ(down(server.url(QStringLiteral("/file/setup.run?size=300000&chunk=16384&delay=10"))), 0);
    ASSERT_EQ(down(server.url(QStringLiteral("/file/setup.run?size=2000"))), 0);
    const auto finishes = settle(2);
    ASSERT_EQ(finishes.size(), 2u);
    QStringList paths;
    for (const auto& call : finishes) {
        EXPECT_EQ(call.args.at(0).toInt(-1), 0);
        paths << call.args.at(1).toString();
    }
    paths.sort();
    EXPECT_EQ(
        paths, (QStringList { folder + QStringLiteral("/setup (2).run"), folder + QStringLiteral("/setup.run") }));
    EXPECT_EQ(testsupport::readFile(folder + QStringLiteral("/setup (1).run")), QByteArray("kept"));
}

TEST_F(DownloadSafety, AStopAnswerToTheLastProgressCallWins)
{
    // The page says "stop" only once everything has arrived; its answer comes
    // back after the transfer has ended.
    view.answerDelayMs = 500;
    view.functions[QStringLiteral("onProgress")] = [](const QJsonArray& args) {
        const int received = args.at(0).toInt();
        const int total = args.at(1).toInt();
        return QJsonValue(!(total > 0 && received == total));
    };
    ASSERT_EQ(down(server.url(QStringLiteral("/file/late.bin?size=5000"))), 0);
    const auto finishes = settle();
    ASSERT_EQ(finishes.size(), 1u);
    expectFinish(finishes[0], 1, QString(), kCancelled);
    EXPECT_TRUE(entries().isEmpty()) << entries().join(',').toStdString();
}

TEST_F(DownloadSafety, APageThatNeverAnswersStillGetsItsReport)
{
    // The wait for outstanding answers is bounded: a page that hangs in its
    // progress function is told the outcome all the same.
    view.answerDelayMs = 10 * 60 * 1000;
    ASSERT_EQ(down(server.url(QStringLiteral("/file/quiet.bin?size=5000"))), 0);
    const auto finishes = settle();
    ASSERT_EQ(finishes.size(), 1u);
    expectFinish(finishes[0], 0, folder + QStringLiteral("/quiet.bin"), QString());
    EXPECT_TRUE(testsupport::readFile(folder + QStringLiteral("/quiet.bin")) == LoopbackHttpServer::content(5000));
}

TEST_F(DownloadSafety, AKilledDownloadLeavesNoPackageAndTheNextStartRemovesItsPart)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(KORVANE_ONLINE_CHILD),
        { QStringLiteral("download"), server.url(QStringLiteral("/file/driver.run?size=50000000&chunk=16384&delay=20")),
            folder });
    ASSERT_TRUE(child.waitForStarted(30000));
    const QString partPrefix = QLatin1String(online::kPartialFilePrefix) + QString::number(child.processId()) + '-';
    QString part;
    ASSERT_TRUE(waitFor(
        [&] {
            for (const QString& name : entries()) {
                if (name.startsWith(partPrefix) && QFileInfo(folder + '/' + name).size() > 100000)
                    part = name;
            }
            return !part.isEmpty();
        },
        std::chrono::seconds(60)))
        << entries().join(',').toStdString();
    ASSERT_EQ(::kill(static_cast<pid_t>(child.processId()), SIGKILL), 0);
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(entries(), QStringList { part }) << "a half package sits under a real name";

    // Others' files that look alike stay: a live process's part, a name that
    // is not quite ours, a folder.
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), { QStringLiteral("60") });
    ASSERT_TRUE(sleeper.waitForStarted(30000));
    const QString liveOwners
        = QLatin1String(online::kPartialFilePrefix) + QString::number(sleeper.processId()) + QStringLiteral("-abc123");
    const QString notOurs
        = QLatin1String(online::kPartialFilePrefix) + QString::number(child.processId()) + QStringLiteral("-notHex");
    const QString aFolder
        = QLatin1String(online::kPartialFilePrefix) + QString::number(child.processId()) + QStringLiteral("-dd");
    ASSERT_TRUE(testsupport::writeFile(folder + '/' + liveOwners, "x"));
    ASSERT_TRUE(testsupport::writeFile(folder + '/' + notOurs, "x"));
    ASSERT_TRUE(QDir().mkpath(folder + '/' + aFolder));

    ASSERT_EQ(down(server.url(QStringLiteral("/file/small.bin?size=1000"))), 0);
    const auto finishes = settle();
    ASSERT_EQ(finishes.size(), 1u);
    expectFinish(finishes[0], 0, folder + QStringLiteral("/small.bin"), QString());
    QStringList expected { aFolder, liveOwners, notOurs, QStringLiteral("small.bin") };
    expected.sort();
    EXPECT_EQ(entries(), expected);
    sleeper.kill();
    sleeper.waitForFinished(30000);
}

TEST(DownloadNames, NumberedAlternativesKeepTheExtensionAndFitTheLimit)
{
    struct Case {
        QString name;
        int n;
        QString expected;
    };
    const QString longStem(300, QLatin1Char('a'));
    const Case cases[] = {
        { QStringLiteral("setup.run"), 0, QStringLiteral("setup.run") },
        { QStringLiteral("setup.run"), 1, QStringLiteral("setup (1).run") },
        { QStringLiteral("README"), 2, QStringLiteral("README (2)") },
        { QStringLiteral("driver.tar.gz"), 3, QStringLiteral("driver.tar (3).gz") },
        { longStem.left(251) + QStringLiteral(".exe"), 12, longStem.left(246) + QStringLiteral(" (12).exe") },
    };
    for (const Case& c : cases) {
        const QString got = online::numberedFileName(c.name, c.n);
        EXPECT_EQ(got, c.expected) << c.name.toStdString();
        EXPECT_LE(got.toUtf8().size(), 255);
    }
}

TEST(DownloadNames, PartialFileOwnersAreReadFromTheirNames)
{
    EXPECT_EQ(online::partialFileOwner(QStringLiteral(".korvane-part-1234-9f00")), std::optional<pid_t>(1234));
    for (const char* name : { ".korvane-part-1234-", ".korvane-part--9f", ".korvane-part-12x-9f", ".korvane-part-0-9f",
             ".korvane-part-99999999999-9f", ".korvane-part-12-9G", "korvane-part-12-9f", "setup.run" }) {
        EXPECT_EQ(online::partialFileOwner(QLatin1String(name)), std::nullopt) << name;
    }
}

} // namespace
