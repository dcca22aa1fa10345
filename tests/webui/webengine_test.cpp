// End to end in Qt WebEngine (run offscreen, in a network namespace with
// loopback only): pages from the page folder through the base URL, the
// synchronous bridge, page calls, exec:// and traversal refused, page globals
// and a screenshot; foreign pages from a loopback server of the test's own
// (frames, redirects, reads of our files) get nothing of ours; a killed
// render process is survived.

#include "webuitest.h"

#include "../online/loopbackhttpserver.h"

#include "sysutil/systeminfo.h"
#include "webui/bindings.h"
#include "webui/bridgeprotocol.h"
#include "webui/desktopactions.h"
#include "webui/webengineview.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonObject>
#include <QMessageBox>
#include <QMutex>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWidget>
#include <gtest/gtest.h>
#include <algorithm>
#include <csignal>
#include <unistd.h>

using namespace webui;
using webuitest::evaluate;

namespace {

// Every log line of the process, for the outcomes only the log tells.
class Logs {
public:
    static void install() { s_previous = qInstallMessageHandler(&Logs::handle); }
    static void clear()
    {
        QMutexLocker guard(&s_lock);
        s_lines.clear();
    }
    // Whether a line holds every one of the parts.
    static bool have(const QStringList& parts)
    {
        QMutexLocker guard(&s_lock);
        for (const QString& line : s_lines) {
            if (std::all_of(parts.begin(), parts.end(), [&line](const QString& p) { return line.contains(p); }))
                return true;
        }
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        {
            QMutexLocker guard(&s_lock);
            s_lines.append(message);
        }
        if (s_previous)
            s_previous(type, context, message);
    }
    static inline QMutex s_lock;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

// Before the application object: the private scheme and shared contexts.
const bool kPrepared = [] {
    prepareWebEngine();
    Logs::install();
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
        Logs::clear();
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
    // A navigation of its own to exec: is cancelled too, and says so.
    Logs::clear();
    evaluate(window->view(), QStringLiteral("location.href = 'exec://korvane-foreign-tool --navigate'; 0"));
    EXPECT_TRUE(testsupport::waitFor(
        [] { return Logs::have({QStringLiteral("exec refused"), QStringLiteral("--navigate")}); }, kPageTime));
    EXPECT_EQ(evaluate(window->view(), QStringLiteral("location.href")), QJsonValue(QStringLiteral("https://elsewhere.example/")));
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

// What the foreign pages of these tests are served from.
class WebuiForeignPages : public WebuiRealEngine {
protected:
    void SetUp() override
    {
        WebuiRealEngine::SetUp();
        ASSERT_TRUE(testsupport::ensureLoopbackUp());
        ASSERT_TRUE(server.isListening());
    }
    void serve(const QByteArray& path, const QString& page)
    {
        server.setFixedResponse(path, 200, page.toUtf8(), "text/html; charset=utf-8");
    }
    onlinetest::LoopbackHttpServer server;
};

// A harmless program that notes each start (its arguments) in a file beside it.
struct MarkerProgram {
    MarkerProgram()
    {
        testsupport::writeFile(path(), "#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/ran\"\n", true);
    }
    QString path() const { return dir.path() + QStringLiteral("/mark.sh"); }
    QString ran() const { return QString::fromUtf8(testsupport::readFile(dir.path() + QStringLiteral("/ran"))); }
    QTemporaryDir dir;
};

TEST_F(WebuiForeignPages, execFromAForeignFrameOrARedirectIsRefusedAndOnlyOurMainFrameStartsPrograms)
{
    MarkerProgram marker;
    ASSERT_TRUE(marker.dir.isValid());
    resetDesktopActions();  // programs really start here
    const QString target = QStringLiteral("exec://") + marker.path();
    serve("/frame.html", QStringLiteral("<!DOCTYPE html><title>frame</title><script>location.href = '%1 frame';</script>")
                             .arg(target));
    auto* window = openBridgePage();
    ASSERT_EQ(window->loads, 1);
    WebView* view = window->view();

    // A foreign frame inside our page navigates itself to exec:.
    evaluate(view, QStringLiteral("var f = document.createElement('iframe'); f.src = %1;"
                                  " document.body.appendChild(f); 0")
                       .arg(bridge::jsString(server.url(QStringLiteral("/frame.html")))));
    EXPECT_TRUE(testsupport::waitFor(
        [] { return Logs::have({QStringLiteral("exec refused"), QStringLiteral("sub-frame"), QStringLiteral("mark.sh")}); },
        kPageTime));
    // A frame whose server answers with a redirect to exec:.
    const QString frameRedirect = server.url(QStringLiteral("/redirect/302?to=")) +
                                  QString::fromLatin1(QUrl::toPercentEncoding(target + QStringLiteral(" frame-redirect")));
    evaluate(view, QStringLiteral("var g = document.createElement('iframe'); g.src = %1;"
                                  " document.body.appendChild(g); 0")
                       .arg(bridge::jsString(frameRedirect)));
    EXPECT_TRUE(testsupport::waitFor(
        [] { return Logs::have({QStringLiteral("exec refused"), QStringLiteral("frame-redirect")}); }, kPageTime));
    // Our own main frame going somewhere that redirects to exec:.
    const QString mainRedirect = server.url(QStringLiteral("/redirect/302?to=")) +
                                 QString::fromLatin1(QUrl::toPercentEncoding(target + QStringLiteral(" main-redirect")));
    evaluate(view, QStringLiteral("location.href = %1; 0").arg(bridge::jsString(mainRedirect)));
    EXPECT_TRUE(testsupport::waitFor(
        [] {
            return Logs::have({QStringLiteral("exec refused"), QStringLiteral("main-frame"), QStringLiteral("main-redirect")});
        },
        kPageTime));

    // Our page's own script may still start it: the one start the program sees.
    testsupport::waitFor([&] { return view->url() == QLatin1String("korvane://app/bridge.html"); }, kPageTime);
    ASSERT_EQ(view->url(), QStringLiteral("korvane://app/bridge.html"));
    evaluate(view, QStringLiteral("location.href = %1; 0").arg(bridge::jsString(target + QStringLiteral(" ours"))));
    ASSERT_TRUE(testsupport::waitFor([&] { return !marker.ran().isEmpty(); }, kPageTime));
    EXPECT_EQ(marker.ran(), QStringLiteral("ours\n"));
}

TEST_F(WebuiForeignPages, aForeignPageCanNeitherFrameNorReadOurFiles)
{
    int bridged = 0;
    serve("/host.html", QStringLiteral(R"(<!DOCTYPE html><title>host</title>
<iframe src="korvane://app/bridge.html"></iframe>
<iframe src="https://pages.korvane.example/bridge.html"></iframe>
<iframe sandbox="allow-scripts" srcdoc="<script>function r(v) { parent.postMessage(v, '*'); }</script><script src='korvane://app/js/helper.js' onload='r(&quot;loaded&quot;)' onerror='r(&quot;refused&quot;)'></script>"></iframe>
<script>
var outcomes = {};
window.addEventListener('message', function (e) { outcomes.sandboxed = e.data; });
function get(u) { var x = new XMLHttpRequest();
  x.onload = function () { outcomes['xhr ' + u] = x.status + ':' + x.responseText.slice(0, 40); };
  x.onerror = function () { outcomes['xhr ' + u] = 'refused'; }; x.open('GET', u); x.send(); }
get('korvane://app/js/helper.js'); get('https://pages.korvane.example/js/helper.js');
var s = document.createElement('script'); s.src = 'korvane://app/js/helper.js';
s.onload = function () { outcomes.script = 'loaded ' + typeof helper; };
s.onerror = function () { outcomes.script = 'refused'; }; document.head.appendChild(s);
</script>)"));
    auto* window = openBridgePage();
    std::vector<QString> framedLines;
    window->view()->onConsoleMessage = [&framedLines](const QString& m, const QString& source, int) {
        if (m == QLatin1String("bridge page ready"))
            framedLines.push_back(source);
    };
    // Page calls from a framed copy of our page would land here.
    BindingRegistry::instance().bind(QStringLiteral("kernelVersion"), 0, [&bridged](const QJsonArray&) {
        ++bridged;
        return QJsonValue(QStringLiteral("bridged"));
    });
    const int loadsBefore = window->loads;
    window->loadUrl(server.url(QStringLiteral("/host.html")));
    ASSERT_TRUE(testsupport::waitFor([&] { return window->loads > loadsBefore; }, kPageTime));
    WebView* view = window->view();
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return evaluate(view, QStringLiteral("Object.keys(outcomes).length")) == QJsonValue(4); }, kPageTime));
    const QJsonObject outcomes = evaluate(view, QStringLiteral("outcomes")).toObject();
    EXPECT_EQ(outcomes.value(QStringLiteral("xhr korvane://app/js/helper.js")), QJsonValue(QStringLiteral("refused")));
    EXPECT_EQ(outcomes.value(QStringLiteral("xhr https://pages.korvane.example/js/helper.js")),
              QJsonValue(QStringLiteral("refused")));
    EXPECT_EQ(outcomes.value(QStringLiteral("script")), QJsonValue(QStringLiteral("refused")));
    // A frame of no origin at all (sandboxed) is no better placed.
    EXPECT_EQ(outcomes.value(QStringLiteral("sandboxed")), QJsonValue(QStringLiteral("refused")));
    // Both frames were refused, and neither ran our page with the bridge.
    EXPECT_TRUE(testsupport::waitFor(
        [] { return Logs::have({QStringLiteral("pages: refused"), QStringLiteral("korvane://app/bridge.html")}); },
        kPageTime));
    EXPECT_TRUE(testsupport::waitFor(
        [] { return Logs::have({QStringLiteral("pages: refused"), QStringLiteral("https://pages.korvane.example/bridge.html")}); },
        kPageTime));
    evaluate(view, QStringLiteral("0"));
    EXPECT_EQ(bridged, 0);
    EXPECT_TRUE(framedLines.empty()) << framedLines.front().toStdString();
}

TEST_F(WebuiForeignPages, aForeignPageGetsNoHandleNorPidNorPageCalls)
{
    serve("/calls.html", QStringLiteral("<!DOCTYPE html><title>calls</title><script>var got = [];"
                                        " function notifyScanProgressByCpp(x) { got.push(x); return 'got'; }</script>"));
    auto* window = openBridgePage();
    const int loadsBefore = window->loads;
    window->loadUrl(server.url(QStringLiteral("/calls.html")));
    ASSERT_TRUE(testsupport::waitFor([&] { return window->loads > loadsBefore; }, kPageTime));
    WebView* view = window->view();
    ASSERT_EQ(view->url(), server.url(QStringLiteral("/calls.html")));
    bool answered = false;
    window->callPage(QStringLiteral("notifyScanProgressByCpp"), QJsonArray{QStringLiteral("{}")},
                     [&answered](const QJsonValue&) { answered = true; });
    // Scripts reach a page in the order sent: these run after both of the above.
    EXPECT_EQ(evaluate(view, QStringLiteral("typeof handle + ' ' + typeof pid")),
              QJsonValue(QStringLiteral("undefined undefined")));
    EXPECT_EQ(evaluate(view, QStringLiteral("got.length")), QJsonValue(0));
    EXPECT_FALSE(answered);
    EXPECT_TRUE(Logs::have({QStringLiteral("notifyScanProgressByCpp"), QStringLiteral("not delivered")}));
}

TEST_F(WebuiRealEngine, aKilledRenderProcessIsReloadedAndThenTheUserIsAsked)
{
    auto* window = openBridgePage();
    auto* engine = static_cast<WebEngineView*>(window->view());
    QWebEnginePage* page = engine->page();
    auto killRenderer = [&] {
        const qint64 pid = page->renderProcessPid();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(::kill(pid_t(pid), SIGSEGV), 0);
    };
    for (int reload = 1; reload <= WebEngineView::kMaxReloads; ++reload) {
        const int loadsBefore = window->loads;
        killRenderer();
        ASSERT_TRUE(testsupport::waitFor([&] { return window->loads > loadsBefore; }, kPageTime)) << "reload " << reload;
        EXPECT_EQ(evaluate(engine, QStringLiteral("helperValue")), QJsonValue(42)) << "reload " << reload;
    }
    EXPECT_TRUE(Logs::have({QStringLiteral("render process"), QStringLiteral("ended")}));

    // Once more, and the view stops trying: a message with a way out.
    killRenderer();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            box = window->hostWindow()->findChild<QMessageBox*>(QStringLiteral("renderFailure"));
            return box && box->isVisible();
        },
        kPageTime));
    QStringList buttons;
    for (QAbstractButton* button : box->buttons())
        buttons << button->text();
    EXPECT_EQ(buttons.size(), 2);
    EXPECT_TRUE(buttons.contains(QStringLiteral("Quit"))) << buttons.join(QLatin1Char(',')).toStdString();
    // Trying again brings the page back.
    const int loadsBefore = window->loads;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == QLatin1String("Try again"))
            button->click();
    }
    ASSERT_TRUE(testsupport::waitFor([&] { return window->loads > loadsBefore; }, kPageTime));
    EXPECT_EQ(evaluate(engine, QStringLiteral("helperValue")), QJsonValue(42));
}

}  // namespace
