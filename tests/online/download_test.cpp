// Driver package downloads against a loopback server: what lands on disk and
// what the page is told.

#include "downloadfixture.h"
#include "online/downloaderobj.h"
#include "online/downloaderobjmanager.h"
#include "online/messagebox.h"
#include "online/networkhelper.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using onlinetest::DownloadFixture;
using onlinetest::FakeWebView;
using onlinetest::LoopbackHttpServer;
using testsupport::waitFor;

namespace {

const QString kCancelled = QStringLiteral("用户取消了下载");
const QString kFailed = QStringLiteral("下载过程发生了错误");

class OnlineDownload : public DownloadFixture {
protected:
    OnlineDownload()
        : DownloadFixture(QStringLiteral("驱动"))
    {
    }
};

TEST_F(OnlineDownload, FilesArriveByteForByteWithAndWithoutALength)
{
    struct Case {
        const char* name;
        const char* query;
        bool announcesSize;
    };
    // Paced, so the page sees progress before the end (the network layer
    // reports progress at most every 100 ms or so).
    const Case cases[] = {
        { "with-length.bin", "&chunk=131072&delay=15", true },
        { "chunked.bin", "&chunked=1&chunk=131072&delay=15", false },
        { "until-close.bin", "&length=0&chunk=131072&delay=15", false },
        { "at-once.bin", "", true },
    };
    constexpr qint64 size = 3 * 1024 * 1024 + 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWebView page;
        page.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(true); };
        manager.addWebstroage(&page, 42);
        const QString url = server.url(QStringLiteral("/file/%1?size=%2%3").arg(c.name).arg(size).arg(c.query));
        ASSERT_EQ(down(url, QStringLiteral("pkg"), 42), online::downstart::kStarted);

        const auto finishes = settle(page);
        const QString path = folder + QLatin1Char('/') + QLatin1String(c.name);
        ASSERT_EQ(finishes.size(), 1u);
        expectFinish(finishes[0], 0, path, QString());
        EXPECT_TRUE(testsupport::readFile(path) == LoopbackHttpServer::content(size)) << "content differs";

        const auto progress = page.callsTo(QStringLiteral("onProgress"));
        ASSERT_GE(progress.size(), c.query[0] ? 2u : 1u);
        for (size_t i = 0; i < progress.size(); ++i) {
            const auto& call = progress[i];
            ASSERT_EQ(call.args.size(), 2);
            EXPECT_TRUE(call.args.at(0).isDouble());
            // An unknown size reaches the page as -1, unchanged; once the
            // transfer has ended the network layer knows it.
            const bool last = i + 1 == progress.size();
            EXPECT_EQ(call.args.at(1).toInt(), c.announcesSize || last ? size : -1) << i;
        }
        EXPECT_EQ(progress.back().args.at(0).toInt(), size);
        EXPECT_EQ(view.callCount(QStringLiteral("onFinish")), 0) << "the main window's page was called";
        manager.removeWebstroage(&page, 42);
    }
}

TEST_F(OnlineDownload, RedirectsHandOverAndTheFinalNameCounts)
{
    constexpr qint64 size = 100000;
    const QString file = QStringLiteral("/file/final.bin?size=%1").arg(size);
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(file));
    const QString absolute = QString::fromLatin1(QUrl::toPercentEncoding(server.url(file)));
    const QString urls[] = {
        server.url(QStringLiteral("/redirect/302?to=") + encoded),
        server.url(QStringLiteral("/redirect/301?to=") + absolute),
        server.url(QStringLiteral("/redirect/307?to=") + encoded),
        server.url(QStringLiteral("/redirect/308?to=") + absolute),
        server.url(QStringLiteral("/hops/10/final.bin?size=%1").arg(size)),
    };
    for (const QString& url : urls) {
        SCOPED_TRACE(url.toStdString());
        FakeWebView page;
        page.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(true); };
        manager.addWebstroage(&page, 7);
        ASSERT_EQ(down(url, QStringLiteral("pkg"), 7), 0);
        const auto finishes = settle(page);
        ASSERT_EQ(finishes.size(), 1u);
        expectFinish(finishes[0], 0, folder + QStringLiteral("/final.bin"), QString());
        EXPECT_TRUE(testsupport::readFile(folder + QStringLiteral("/final.bin")) == LoopbackHttpServer::content(size));
        EXPECT_EQ(entries(), QStringList { QStringLiteral("final.bin") });
        EXPECT_EQ(manager.current(), nullptr);
        manager.removeWebstroage(&page, 7);
    }
}

TEST_F(OnlineDownload, RedirectChainsThatDoNotEndFail)
{
    struct Case {
        QString path;
        QString message;
    };
    const Case cases[] = {
        { QStringLiteral("/hops/11/x.bin?size=10"), QStringLiteral("下载过程发生了错误,重定向次数过多") },
        { QStringLiteral("/loop/0"), QStringLiteral("下载过程发生了错误,重定向次数过多") },
        { QStringLiteral("/redirect/302?to=file%3A%2F%2F%2Fetc%2Fhostname"),
            QStringLiteral("下载过程发生了错误,重定向地址无效") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        FakeWebView page;
        page.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(true); };
        manager.addWebstroage(&page, 8);
        ASSERT_EQ(down(server.url(c.path), QStringLiteral("pkg"), 8), 0);
        const auto finishes = settle(page);
        ASSERT_EQ(finishes.size(), 1u);
        expectFinish(finishes[0], 2, QString(), c.message);
        EXPECT_TRUE(entries().isEmpty()) << entries().join(',').toStdString();
        manager.removeWebstroage(&page, 8);
    }
}

TEST_F(OnlineDownload, HttpErrorsRemoveThePartialFile)
{
    for (const char* code : { "404", "500" }) {
        SCOPED_TRACE(code);
        FakeWebView page;
        page.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(true); };
        manager.addWebstroage(&page, 9);
        ASSERT_EQ(down(server.url(QStringLiteral("/status/%1/missing.exe").arg(code)), QStringLiteral("pkg"), 9), 0);
        const auto finishes = settle(page);
        ASSERT_EQ(finishes.size(), 1u);
        expectFinish(finishes[0], 2, QString(), kFailed);
        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/missing.exe")));
        manager.removeWebstroage(&page, 9);
    }
}

TEST_F(OnlineDownload, AStalledServerEndsInAnErrorAndNoFile)
{
    online::NetworkHelper::instance().setTransferTimeoutMs(1500);
    ASSERT_EQ(down(server.url(QStringLiteral("/file/stall.bin?size=1000000&stall=65536"))), 0);
    const auto finishes = settle();
    ASSERT_EQ(finishes.size(), 1u);
    expectFinish(finishes[0], 2, QString(), kFailed);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/stall.bin")));
    EXPECT_TRUE(waitFor([&] { return server.openConnections() == 0; }, std::chrono::seconds(10)));
}

TEST_F(OnlineDownload, APageAnswerOfFalseCancelsASlowTransfer)
{
    int answered = 0;
    view.functions[QStringLiteral("onProgress")] = [&](const QJsonArray&) { return QJsonValue(++answered < 4); };
    ASSERT_EQ(down(server.url(QStringLiteral("/file/slow.bin?size=50000000&chunk=16384&delay=20"))), 0);
    const auto finishes = settle();
    ASSERT_EQ(finishes.size(), 1u);
    expectFinish(finishes[0], 1, QString(), kCancelled);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/slow.bin")));
    EXPECT_TRUE(waitFor([&] { return server.openConnections() == 0; }, std::chrono::seconds(10)))
        << "the connection stayed open after the cancel";
}

TEST_F(OnlineDownload, AMissingOrSilentProgressFunctionCancels)
{
    struct Case {
        const char* name;
        std::function<void(FakeWebView&)> page;
    };
    const Case cases[] = {
        { "missing", [](FakeWebView& page) { page.functions.erase(QStringLiteral("onProgress")); } },
        { "returns nothing",
            [](FakeWebView& page) {
                page.functions[QStringLiteral("onProgress")]
                    = [](const QJsonArray&) { return QJsonValue(QJsonValue::Undefined); };
            } },
        { "returns 0",
            [](FakeWebView& page) {
                page.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(0); };
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWebView page;
        c.page(page);
        manager.addWebstroage(&page, 11);
        ASSERT_EQ(down(server.url(QStringLiteral("/file/big.bin?size=20000000&chunk=16384&delay=20")),
                      QStringLiteral("pkg"), 11),
            0);
        const auto finishes = settle(page);
        ASSERT_EQ(finishes.size(), 1u);
        expectFinish(finishes[0], 1, QString(), kCancelled);
        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/big.bin")));
        manager.removeWebstroage(&page, 11);
    }
}

TEST(OnlineDownloadAnswer, ProgressAnswersReadAsScriptBooleans)
{
    struct Case {
        QJsonValue value;
        bool truthy;
    };
    const Case cases[] = {
        { true, true },
        { false, false },
        { 1, true },
        { 0, false },
        { QStringLiteral("x"), true },
        { QString(), false },
        { QJsonValue(QJsonValue::Null), false },
        { QJsonValue(QJsonValue::Undefined), false },
        { QJsonObject(), true },
        { QJsonArray(), true },
    };
    for (const Case& c : cases)
        EXPECT_EQ(online::pageTruthy(c.value), c.truthy) << "value of type " << c.value.type();
}

TEST_F(OnlineDownload, AnExistingFileOfTheSameNameIsReplaced)
{
    ASSERT_TRUE(testsupport::writeFile(folder + QStringLiteral("/same.bin"), QByteArray(500000, 'x')));
    ASSERT_EQ(down(server.url(QStringLiteral("/file/same.bin?size=1000"))), 0);
    const auto finishes = settle();
    ASSERT_EQ(finishes.size(), 1u);
    expectFinish(finishes[0], 0, folder + QStringLiteral("/same.bin"), QString());
    EXPECT_TRUE(testsupport::readFile(folder + QStringLiteral("/same.bin")) == LoopbackHttpServer::content(1000));

    // A link of the same name is replaced too, not followed.
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere.bin"));
    ASSERT_TRUE(QFile::link(elsewhere, folder + QStringLiteral("/linked.bin")));
    view = FakeWebView();
    view.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(true); };
    ASSERT_EQ(down(server.url(QStringLiteral("/file/linked.bin?size=1000"))), 0);
    ASSERT_EQ(settle().size(), 1u);
    EXPECT_FALSE(QFileInfo(folder + QStringLiteral("/linked.bin")).isSymLink());
    EXPECT_EQ(testsupport::readFile(folder + QStringLiteral("/linked.bin")).size(), 1000);
    EXPECT_FALSE(QFileInfo::exists(elsewhere));
}

TEST_F(OnlineDownload, UnsafeNamesStayInsideTheDownloadFolder)
{
    struct Case {
        const char* path;
        const char* fallback;
        const char* saved;
    };
    const Case cases[] = {
        { "/file/?size=10", "setup", "setup.exe" },
        { "/file/%2F..%2F..%2F.bashrc?size=10", "pkg", "bashrc" },
        { "/file/..%2F..%2Fevil.sh?size=10", "pkg", "evil.sh" },
        { "/file/sub/%2E%2E?size=10", "pkg", "pkg.exe" },
        { "/file/a%0Ab%09c.exe?size=10", "pkg", "abc.exe" },
        { "/file/sub/..?size=10", "../../x", "x.exe" },
        { "/file/?size=10", "..", "download.exe" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(down(server.url(QLatin1String(c.path)), QLatin1String(c.fallback)), 0);
        const auto finishes = settle();
        ASSERT_EQ(finishes.size(), 1u);
        const QString expected = folder + QLatin1Char('/') + QString::fromUtf8(c.saved);
        expectFinish(finishes[0], 0, expected, QString());
        EXPECT_EQ(testsupport::readFile(expected).size(), 10);
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { QStringLiteral("驱动") });
        QFile::remove(expected);
        view = FakeWebView();
        view.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(true); };
    }
}

TEST_F(OnlineDownload, DownAnswersForBadCallsAndUnknownWindows)
{
    const QString url = server.url(QStringLiteral("/file/a.bin?size=10"));
    EXPECT_EQ(manager.Down(QJsonArray { url, QStringLiteral("p"), QStringLiteral("f"), QStringLiteral("n") }),
        online::downstart::kWrongArgumentCount);
    EXPECT_EQ(manager.Down(QJsonArray { url, "p", "f", "n", 3, 0 }), online::downstart::kWrongArgumentCount);
    EXPECT_EQ(down(url, QStringLiteral("pkg"), 5), online::downstart::kNoWebView);
    manager.addWebstroage(nullptr, 6);
    EXPECT_EQ(down(url, QStringLiteral("pkg"), 6), online::downstart::kNoWebView);
    manager.removeWebstroage(&view, kWindowType);
    EXPECT_EQ(down(url), online::downstart::kNoWebView);
    EXPECT_EQ(manager.current(), nullptr);
    EXPECT_EQ(manager.liveDownloaders(), 0);
    EXPECT_TRUE(view.calls().empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(OnlineDownload, AnUnwritableTargetShowsABoxAndStartsNothing)
{
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/blocked.bin")));
    EXPECT_EQ(down(server.url(QStringLiteral("/file/blocked.bin?size=10"))), online::downstart::kCannotOpenFile);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("错误"));
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("无法保存文件 %1/blocked.bin: ").arg(folder)))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.endsWith(QLatin1Char('.')));
    EXPECT_EQ(manager.current(), nullptr);
    EXPECT_EQ(manager.liveDownloaders(), 0);
    EXPECT_TRUE(view.calls().empty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(OnlineDownload, AnUnwritableRedirectTargetFailsWithTheStartResult)
{
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/blocked.bin")));
    ASSERT_EQ(down(server.url(QStringLiteral("/redirect/302?to=%2Ffile%2Fblocked.bin%3Fsize%3D10"))), 0);
    const auto finishes = settle();
    ASSERT_EQ(finishes.size(), 1u);
    expectFinish(finishes[0], 2, QString(), QStringLiteral("下载过程发生了错误,错误值:2"));
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(entries(), QStringList { QStringLiteral("blocked.bin") });
}

TEST_F(OnlineDownload, AClosedWindowEndsItsDownloadsQuietly)
{
    FakeWebView page;
    int answers = 0;
    page.functions[QStringLiteral("onProgress")] = [&](const QJsonArray&) {
        ++answers;
        return QJsonValue(true);
    };
    manager.addWebstroage(&page, 12);
    ASSERT_EQ(down(server.url(QStringLiteral("/file/orphan.bin?size=20000000&chunk=16384&delay=20")),
                  QStringLiteral("pkg"), 12),
        0);
    ASSERT_TRUE(waitFor([&] { return answers >= 2; }, std::chrono::seconds(30)));
    manager.removeWebstroage(&page, 12);
    const int callsAtClose = static_cast<int>(page.calls().size());
    ASSERT_TRUE(waitFor([&] { return manager.liveDownloaders() == 0; }, std::chrono::seconds(30)));
    EXPECT_EQ(static_cast<int>(page.calls().size()), callsAtClose);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/orphan.bin")));
}

TEST_F(OnlineDownload, ParallelDownloadsEachReportOnce)
{
    ASSERT_EQ(down(server.url(QStringLiteral("/file/one.bin?size=300000"))), 0);
    ASSERT_EQ(down(server.url(QStringLiteral("/file/two.bin?size=200000&chunked=1"))), 0);
    ASSERT_TRUE(waitFor([&] { return view.callCount(QStringLiteral("onFinish")) >= 2; }, std::chrono::seconds(60)));
    ASSERT_TRUE(waitFor([&] { return manager.liveDownloaders() == 0; }, std::chrono::seconds(10)));
    const auto finishes = view.callsTo(QStringLiteral("onFinish"));
    ASSERT_EQ(finishes.size(), 2u);
    QStringList paths;
    for (const auto& call : finishes) {
        EXPECT_EQ(call.args.at(0).toInt(), 0);
        paths << call.args.at(1).toString();
    }
    paths.sort();
    EXPECT_EQ(paths, (QStringList { folder + QStringLiteral("/one.bin"), folder + QStringLiteral("/two.bin") }));
    EXPECT_TRUE(testsupport::readFile(folder + QStringLiteral("/two.bin")) == LoopbackHttpServer::content(200000));
}

} // namespace
