// The main window with the bundled pages in Qt WebEngine (offscreen, loopback
// only): the page loads through the base URL, reports "loadedjs", and the
// login report reaches it.

#include "mainwindow/mainblkwindow.h"
#include "printers/printerapi.h"
#include "support/testsupport.h"
#include "webui/localpages.h"
#include "webui/viewfactory.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>

namespace {

const bool kPrepared = [] {
    webui::prepareWebEngine();
    return true;
}();

class ReleaseEngine : public ::testing::Environment {
public:
    void TearDown() override { webui::shutdownWebUi(); }
};
[[maybe_unused]] ::testing::Environment* const kEngineEnvironment =
    ::testing::AddGlobalTestEnvironment(new ReleaseEngine);

QJsonValue evaluate(webui::WebView* view, const QString& script)
{
    std::optional<QJsonValue> result;
    view->runScript(script, [&result](const QJsonValue& value) { result = value; });
    testsupport::waitFor([&] { return result.has_value(); }, std::chrono::seconds(30));
    return result.value_or(QJsonValue(QJsonValue::Undefined));
}

}  // namespace

TEST(MainWindowRealEngine, BundledPageLoadsReportsInAndHearsTheLogin)
{
    ASSERT_TRUE(kPrepared);
    QTemporaryDir home;
    testsupport::ScopedEnv html("KORVANE_HTML_DIR", (testsupport::sourceDir() + "/html").toUtf8());
    testsupport::ScopedEnv cups("CUPS_SERVER", (home.path() + "/no-scheduler.sock").toUtf8());
    testsupport::ScopedEnv sysfs("KORVANE_SYSFS_ROOT", home.path().toUtf8());
    webui::setEngineKind(webui::EngineKind::WebEngine);
    webui::pages::setBaseUrl(MainBlkWindow::pageBaseUrl());

    auto* window = new MainBlkWindow();
    ASSERT_TRUE(window->createMainWindow());
    ASSERT_TRUE(testsupport::waitFor([window] { return window->pageReady(); }, std::chrono::seconds(60)))
        << "the page never reported loadedjs";
    webui::WebView* view = window->view();
    EXPECT_EQ(view->url(), "korvane://app/index.html");
    // The login report made the page show the signed-out state.
    EXPECT_TRUE(testsupport::waitFor(
        [view] {
            const QString text = evaluate(view, "document.getElementById('login-state').textContent").toString();
            return text == "Not signed in" || text == QString::fromUtf8("未登录");
        },
        std::chrono::seconds(30)));
    EXPECT_EQ(evaluate(view, "typeof startScan"), QJsonValue("function"));
    EXPECT_EQ(evaluate(view, "appType()"), QJsonValue("printer"));

    // A printer change reaches the real page with its members in their order.
    evaluate(view, "window.seenChanges = []; window.notifyPrinterChangeByCpp = function (o) {"
                   " window.seenChanges.push(JSON.stringify(o)); }; true");
    auto change = std::make_shared<PrinterAPI::PrinterChange>();
    change->changed = 0x4;
    change->printerName = QString::fromUtf8("Büro");
    webui::postWindowMessage(window->handle(), webui::msg::kPrinterChanged, 0x4, 0, change);
    change.reset();
    ASSERT_TRUE(testsupport::waitFor([view] { return evaluate(view, "seenChanges.length").toInt() == 1; },
                                     std::chrono::seconds(30)));
    EXPECT_EQ(evaluate(view, "seenChanges[0]").toString(),
              QString::fromUtf8(R"({"dwChanged":4,"dwNotifyField":[],"printerName":"Büro","printerServer":"",)"
                                R"("newPrinterName":"","dwAttribute":0,"dwPrinterStatus":0,"dwJobStatus":0,"dwCjobs":0})"));

    const QImage shot = window->hostWindow()->grab().toImage();
    EXPECT_GE(shot.width(), 1000) << "1000 logical pixels, scaled by the screen's DPI";
    EXPECT_TRUE(shot.save(testsupport::outputDir() + "/mainwindow-real-engine.png"));

    webui::WebWindows::instance().destroyAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
