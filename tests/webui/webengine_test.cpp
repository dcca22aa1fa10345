// End to end in Qt WebEngine (run offscreen, in a network namespace with
// loopback only): pages from the page folder through the base URL, the
// synchronous bridge, page calls, exec:// and traversal refused, page globals
// and a screenshot.

#include "webuitest.h"

#include "sysutil/systeminfo.h"
#include "webui/bindings.h"
#include "webui/desktopactions.h"
#include "webui/webengineview.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonObject>
#include <QWebEnginePage>
#include <QWidget>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace webui;
using webuitest::evaluate;

namespace {

// Before the application object: the private scheme and shared contexts.
const bool kPrepared = [] {
    prepareWebEngine();
    return true;
}();

class ReleaseEngine : public ::testing::Environment {
public:
    void TearDown() override { shutdownWebUi(); }
};
[[maybe_unused]] ::testing::Environment* const kEngineEnvironment = ::testing::AddGlobalTestEnvironment(new ReleaseEngine);

class WebuiRealEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kPrepared);
        setEngineKind(EngineKind::WebEngine);
        pages::setBaseUrl(QString::fromLatin1(webuitest::kBase));
        desktopActions().startProgram = [this](const QStringList& argv, const QString&) {
            started.push_back(argv);
            return win32::kSuccess;
        };
    }
    void TearDown() override
    {
        WebWindows::instance().destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        resetDesktopActions();
    }
    static constexpr std::chrono::seconds kPageTime{60};
    testsupport::ScopedEnv html{"KORVANE_HTML_DIR", webuitest::pagesDir().toUtf8()};
    std::vector<QStringList> started;
};

webuitest::RecordingWindow* openBridgePage()
{
    return webuitest::openWindow(QStringLiteral("bridge.html"));
}

TEST_F(WebuiRealEngine, aPageFromThePageFolderLoadsThroughTheBaseUrlAndCallsSynchronously)
{
    auto* window = openBridgePage();
    ASSERT_EQ(window->loads, 1);
    WebView* view = window->view();
    EXPECT_EQ(view->url(), QStringLiteral("korvane://app/bridge.html"));
    EXPECT_EQ(view->title(), QStringLiteral("Bridge test page"));
    EXPECT_EQ(evaluate(view, QStringLiteral("helperValue")), QJsonValue(42));
    // kernelVersion() ran while the page was still being parsed, and returned at once.
    EXPECT_EQ(evaluate(view, QStringLiteral("loadValue")), QJsonValue(sysutil::platformDecoration()));
    EXPECT_EQ(evaluate(view, QStringLiteral("typeof getDeviceid()")), QJsonValue(QStringLiteral("string")));
    EXPECT_EQ(evaluate(view, QStringLiteral("getWindowRect(handle).right - getWindowRect(handle).left")),
              QJsonValue(window->hostWindow()->frameGeometry().width()));
    EXPECT_TRUE(evaluate(view, QStringLiteral("createWindow()")).isUndefined());
    EXPECT_EQ(evaluate(view, QStringLiteral("pathFileExists(null)")), QJsonValue(false));
    // Local storage works on the private scheme's origin.
    EXPECT_EQ(evaluate(view, QStringLiteral("localStorage.setItem('k', 'v'); localStorage.getItem('k')")),
              QJsonValue(QStringLiteral("v")));
}

TEST_F(WebuiRealEngine, thePageKnowsItsHandleAndProcessAfterLoading)
{
    auto* window = openBridgePage();
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return evaluate(window->view(), QStringLiteral("typeof pid")) == QJsonValue(QStringLiteral("number")); },
        kPageTime));
    EXPECT_EQ(evaluate(window->view(), QStringLiteral("handle")), QJsonValue(double(window->handle())));
    EXPECT_EQ(evaluate(window->view(), QStringLiteral("pid")), QJsonValue(double(getpid())));
}

TEST_F(WebuiRealEngine, nativeCallsReachPageFunctionsInOrderWithTheirResults)
{
    auto* window = openBridgePage();
    std::vector<QJsonValue> results;
    for (int i = 0; i < 100; ++i)
        window->callPage(QStringLiteral("record"), QJsonArray{i}, [&results](const QJsonValue& v) { results.push_back(v); });
    std::optional<QJsonValue> echoed;
    window->callPage(QStringLiteral("echo"), QJsonArray{QJsonObject{{QStringLiteral("中"), QStringLiteral("\u2028")}}, QJsonValue()},
                     [&echoed](const QJsonValue& v) { echoed = v; });
    std::optional<QJsonValue> missing;
    window->callPage(QStringLiteral("noSuchFunction"), {}, [&missing](const QJsonValue& v) { missing = v; });
    ASSERT_TRUE(testsupport::waitFor([&] { return missing.has_value(); }, kPageTime));
    ASSERT_EQ(results.size(), size_t(100));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(results[size_t(i)], QJsonValue(i + 1));
    const QJsonObject object = echoed->toObject();
    EXPECT_EQ(object.value(QStringLiteral("a")).toObject().value(QStringLiteral("中")), QJsonValue(QStringLiteral("\u2028")));
    EXPECT_EQ(object.value(QStringLiteral("b")), QJsonValue(QJsonValue::Null));
    EXPECT_TRUE(missing->isUndefined());
}

TEST_F(WebuiRealEngine, consoleLinesCarryTheirSourceAndLine)
{
    auto* window = new webuitest::RecordingWindow(0, false, webuitest::pageUrl(QStringLiteral("bridge.html")), 1);
    window->setWindowRect(0, 0, 400, 300);
    std::vector<std::pair<QString, int>> lines;
    window->create(1);
    window->view()->onConsoleMessage = [&lines](const QString& m, const QString& s, int l) {
        if (m == QLatin1String("bridge page ready"))
            lines.emplace_back(s, l);
    };
    ASSERT_TRUE(testsupport::waitFor([&] { return !lines.empty(); }, kPageTime));
    EXPECT_EQ(lines[0], std::make_pair(QStringLiteral("korvane://app/bridge.html"), 21));
}

TEST_F(WebuiRealEngine, execStartsForOurPagesAndIsRefusedForForeignOnes)
{
    auto* window = openBridgePage();
    evaluate(window->view(), QStringLiteral("document.getElementById('execLink').click(); 0"));
    ASSERT_TRUE(testsupport::waitFor([&] { return !started.empty(); }, kPageTime));
    EXPECT_EQ(started[0], (QStringList{QStringLiteral("korvane-test-tool"), QStringLiteral("--flag"), QStringLiteral("two words")}));

    int spied = 0;
    BindingRegistry::instance().bind(QStringLiteral("spyCall"), 1, [&spied](const QJsonArray&) {
        ++spied;
        return QJsonValue(1);
    });
    std::optional<bool> loaded;
    window->view()->onLoadFinished = [&loaded](bool ok) { loaded = ok; };
    const QByteArray foreign = testsupport::readFile(testsupport::sourceDir() + QStringLiteral("/tests/data/webui/foreign/exec.html"));
    static_cast<WebEngineView*>(window->view())->page()->setHtml(QString::fromUtf8(foreign), QUrl(QStringLiteral("https://elsewhere.example/")));
    ASSERT_TRUE(testsupport::waitFor([&] { return loaded.has_value(); }, kPageTime));
    ASSERT_EQ(evaluate(window->view(), QStringLiteral("done")), QJsonValue(true));
    EXPECT_EQ(evaluate(window->view(), QStringLiteral("sawBridge")), QJsonValue(false));
    EXPECT_EQ(evaluate(window->view(), QStringLiteral("forged")), QJsonValue(QStringLiteral("{}")));
    // A navigation of its own to exec: is cancelled too.
    evaluate(window->view(), QStringLiteral("location.href = 'exec://korvane-foreign-tool --navigate'; 0"));
    evaluate(window->view(), QStringLiteral("0"));
    EXPECT_EQ(spied, 0);
    EXPECT_EQ(started.size(), size_t(1));
}

TEST_F(WebuiRealEngine, aTraversalUrlServesNothingFromOutsideThePageFolder)
{
    auto* window = openBridgePage();
    // XMLHttpRequest: the engine's fetch() knows no custom schemes.
    const QString probe = QStringLiteral(
        "var outcomes = {}; function get(u, done) { var x = new XMLHttpRequest();"
        " x.onload = function () { done(x.status + ':' + x.responseText); };"
        " x.onerror = function () { done('refused'); }; x.open('GET', u); x.send(); }"
        " ['https://pages.korvane.example/%2e%2e/secret.txt',"
        " 'https://pages.korvane.example/js/..%2f..%2fsecret.txt', 'korvane://app/..%2fsecret.txt',"
        " 'korvane://app/%2e%2e/%2e%2e/secret.txt', 'js/helper.js'].forEach(function (u) {"
        " get(u, function (t) { outcomes[u] = t; }); }); 0");
    evaluate(window->view(), probe);
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return evaluate(window->view(), QStringLiteral("Object.keys(outcomes).length")) == QJsonValue(5); },
        kPageTime));
    const QJsonObject outcomes = evaluate(window->view(), QStringLiteral("outcomes")).toObject();
    for (auto it = outcomes.begin(); it != outcomes.end(); ++it)
        EXPECT_FALSE(it.value().toString().contains(QStringLiteral("outside the page folder"))) << it.key().toStdString();
    // The page's own files still come.
    EXPECT_TRUE(outcomes.value(QStringLiteral("js/helper.js")).toString().startsWith(QStringLiteral("200:")))
        << webuitest::json(outcomes).toStdString();
    EXPECT_TRUE(outcomes.value(QStringLiteral("js/helper.js")).toString().contains(QStringLiteral("function helper")));
}

TEST_F(WebuiRealEngine, aScreenshotOfTheWindowIsWritten)
{
    auto* window = openBridgePage();
    QWidget* host = window->hostWindow();
    // Give the compositor a moment to paint the loaded page.
    testsupport::waitFor([] { return false; }, std::chrono::milliseconds(500));
    const QImage shot = host->grab().toImage();
    const QString path = testsupport::outputDir() + QStringLiteral("/webui-bridge-page.png");
    QFile::remove(path);
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(path));
    EXPECT_GT(QFileInfo(path).size(), 0);
    EXPECT_EQ(shot.size(), host->size() * host->devicePixelRatioF());
}

}  // namespace
