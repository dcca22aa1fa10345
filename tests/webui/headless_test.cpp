// The headless web view: it runs a page's scripts, exposes the bound
// functions to our own pages only, and delivers page calls in order.

#include "webuitest.h"

#include "webui/bindings.h"
#include "webui/headlessview.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace webui;
using webuitest::evaluate;

namespace {

class WebuiHeadlessPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        pages::setBaseUrl(QString::fromLatin1(webuitest::kBase));
        BindingRegistry::instance().bind(QStringLiteral("kernelVersion"), 0,
                                         [](const QJsonArray&) { return QJsonValue(QStringLiteral("Linuxtest.1.0")); });
    }

    bool load(HeadlessView& view, const QString& url)
    {
        std::optional<bool> ok;
        view.onLoadFinished = [&ok](bool result) { ok = result; };
        view.loadUrl(url);
        testsupport::waitFor([&] { return ok.has_value(); });
        return ok.value_or(false);
    }

    testsupport::ScopedEnv html{"KORVANE_HTML_DIR", webuitest::pagesDir().toUtf8()};
};

TEST_F(WebuiHeadlessPages, runsInlineAndSrcScriptsOfAPageUnderTheBaseUrl)
{
    HeadlessView view;
    QStringList urls;
    QString title;
    view.onUrlChanged = [&urls](const QString& url) { urls << url; };
    view.onTitleChanged = [&title](const QString& t) { title = t; };
    ASSERT_TRUE(load(view, webuitest::pageUrl(QStringLiteral("bridge.html"))));
    // Served from the page folder through the private scheme, as the real engine does.
    EXPECT_EQ(urls, QStringList{QStringLiteral("korvane://app/bridge.html")});
    EXPECT_EQ(title, QStringLiteral("Bridge test page"));
    EXPECT_EQ(evaluate(&view, QStringLiteral("helperValue")), QJsonValue(42));
    EXPECT_EQ(evaluate(&view, QStringLiteral("loadValue")), QJsonValue(QStringLiteral("Linuxtest.1.0")));
    EXPECT_EQ(evaluate(&view, QStringLiteral("document.getElementById('status').textContent")),
              QJsonValue(QStringLiteral("ready")));
    EXPECT_TRUE(view.trusted());
}

TEST_F(WebuiHeadlessPages, aMissingPageFailsToLoad)
{
    HeadlessView view;
    EXPECT_FALSE(load(view, webuitest::pageUrl(QStringLiteral("missing.html"))));
    EXPECT_FALSE(load(view, QStringLiteral("https://pages.korvane.example/../secret.txt")));
}

TEST_F(WebuiHeadlessPages, aForeignPageGetsNoProgramFunctionsAndItsCallsAreRefused)
{
    HeadlessView view;
    const QString foreign = testsupport::sourceDir() + QStringLiteral("/tests/data/webui/foreign/foreign.html");
    ASSERT_TRUE(load(view, QUrl::fromLocalFile(foreign).toString()));
    EXPECT_FALSE(view.trusted());
    EXPECT_EQ(evaluate(&view, QStringLiteral("sawBridge")), QJsonValue(false));
    EXPECT_EQ(evaluate(&view, QStringLiteral("typeof __korvaneHost.call('kernelVersion', [])")),
              QJsonValue(QStringLiteral("undefined")));
}

TEST_F(WebuiHeadlessPages, consoleLinesCarryTheirSourceAndLine)
{
    HeadlessView view;
    std::vector<std::tuple<QString, QString, int>> lines;
    view.onConsoleMessage = [&lines](const QString& m, const QString& s, int l) { lines.emplace_back(m, s, l); };
    ASSERT_TRUE(load(view, webuitest::pageUrl(QStringLiteral("bridge.html"))));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::get<0>(lines.front()), QStringLiteral("bridge page ready"));
    EXPECT_EQ(std::get<1>(lines.front()), QStringLiteral("korvane://app/bridge.html"));
    EXPECT_EQ(std::get<2>(lines.front()), 21);
}

TEST_F(WebuiHeadlessPages, pageCallsArriveInTheOrderMadeAndReturnTheirValues)
{
    HeadlessView view;
    view.loadUrl(webuitest::pageUrl(QStringLiteral("bridge.html")));  // queued before the calls
    std::vector<QJsonValue> results;
    for (int i = 0; i < 50; ++i)
        view.callPageFunction(QStringLiteral("record"), QJsonArray{i}, [&results](const QJsonValue& v) { results.push_back(v); });
    ASSERT_TRUE(testsupport::waitFor([&] { return results.size() == 50; }));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(results[size_t(i)], QJsonValue(i + 1));
    QJsonArray expected;
    for (int i = 0; i < 50; ++i)
        expected.append(i);
    EXPECT_EQ(evaluate(&view, QStringLiteral("calls")), QJsonValue(expected));

    // Plain values and objects cross unchanged; a missing function is a no-op.
    const QJsonValue echoed = [&] {
        std::optional<QJsonValue> r;
        view.callPageFunction(QStringLiteral("echo"), QJsonArray{QJsonObject{{QStringLiteral("k"), QJsonArray{1, true}}}, QJsonValue()},
                              [&r](const QJsonValue& v) { r = v; });
        testsupport::waitFor([&] { return r.has_value(); });
        return r.value_or(QJsonValue());
    }();
    EXPECT_EQ(echoed.toObject().value(QStringLiteral("a")).toObject().value(QStringLiteral("k")), QJsonValue(QJsonArray{1, true}));
    EXPECT_EQ(echoed.toObject().value(QStringLiteral("b")), QJsonValue(QJsonValue::Null));
    EXPECT_EQ(echoed.toObject().value(QStringLiteral("count")), QJsonValue(2));
    std::optional<QJsonValue> missing;
    view.callPageFunction(QStringLiteral("noSuchFunction"), {}, [&missing](const QJsonValue& v) { missing = v; });
    ASSERT_TRUE(testsupport::waitFor([&] { return missing.has_value(); }));
    EXPECT_TRUE(missing->isUndefined());
    std::optional<QJsonValue> thrown;
    view.callPageFunction(QStringLiteral("throwing"), {}, [&thrown](const QJsonValue& v) { thrown = v; });
    ASSERT_TRUE(testsupport::waitFor([&] { return thrown.has_value(); }));
    EXPECT_TRUE(thrown->isUndefined());
}

TEST_F(WebuiHeadlessPages, aLaterBindingReplacesTheEarlierOneAndNewNamesReachALoadedPage)
{
    HeadlessView view;
    ASSERT_TRUE(load(view, webuitest::pageUrl(QStringLiteral("bridge.html"))));
    BindingRegistry::instance().bind(QStringLiteral("headlessLateName"), 1,
                                     [](const QJsonArray& a) { return QJsonValue(a.at(0).toInt() * 2); });
    EXPECT_EQ(evaluate(&view, QStringLiteral("headlessLateName(21)")), QJsonValue(42));
    BindingRegistry::instance().bind(QStringLiteral("headlessLateName"), 1,
                                     [](const QJsonArray& a) { return QJsonValue(a.at(0).toInt() * 3); });
    EXPECT_EQ(evaluate(&view, QStringLiteral("headlessLateName(21)")), QJsonValue(63));
    EXPECT_EQ(BindingRegistry::instance().declaredCount(QStringLiteral("headlessLateName")), 1);
}

TEST_F(WebuiHeadlessPages, timersRunAndHistoryGoesBackAndForth)
{
    HeadlessView view;
    ASSERT_TRUE(load(view, webuitest::pageUrl(QStringLiteral("bridge.html"))));
    evaluate(&view, QStringLiteral("var fired = 0; setTimeout(function (n) { fired = n; }, 10, 5); 0"));
    ASSERT_TRUE(testsupport::waitFor([&] { return evaluate(&view, QStringLiteral("fired")) == QJsonValue(5); }));
    ASSERT_TRUE(load(view, webuitest::pageUrl(QStringLiteral("plain.html"))));
    EXPECT_TRUE(view.canGoBack());
    EXPECT_FALSE(view.canGoForward());
    std::optional<bool> back;
    view.onLoadFinished = [&back](bool ok) { back = ok; };
    view.goBack();
    ASSERT_TRUE(testsupport::waitFor([&] { return back.has_value(); }));
    EXPECT_EQ(view.url(), QStringLiteral("korvane://app/bridge.html"));
    EXPECT_TRUE(view.canGoForward());
}

TEST_F(WebuiHeadlessPages, aViewDestroyedByItsOwnPageCallFinishesThatCall)
{
    auto view = std::make_unique<HeadlessView>();
    ASSERT_TRUE(load(*view, webuitest::pageUrl(QStringLiteral("bridge.html"))));
    BindingRegistry::instance().bind(QStringLiteral("headlessSelfDestroy"), 0, [&view](const QJsonArray&) {
        view.reset();
        return QJsonValue(1);
    });
    view->runScript(QStringLiteral("headlessSelfDestroy(); record(1);"), {});
    EXPECT_TRUE(testsupport::waitFor([&] { return view == nullptr; }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
