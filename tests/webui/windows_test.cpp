// Page windows driven from their pages: making, showing, closing and
// destroying them, their messages, and what their parents hear.

#include "windowfixture.h"

#include "webui/framework.h"
#include "webui/headlessview.h"
#include "webui/jsargs.h"
#include "webui/pagejson.h"
#include "webui/winconstants.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QJsonObject>
#include <QScreen>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <thread>
#include <unistd.h>

using namespace webui;
using webuitest::WindowTest;

namespace {

BaseBlkWinow* windowFor(const QJsonValue& handle)
{
    return WebWindows::instance().find(WindowHandle(handle.toDouble()));
}

using WebuiWindowsFromPages = WindowTest;

TEST_F(WebuiWindowsFromPages, theLoadedPageKnowsItsHandleAndProcess)
{
    EXPECT_EQ(page(QStringLiteral("handle")), QJsonValue(double(window->handle())));
    EXPECT_EQ(page(QStringLiteral("pid")), QJsonValue(double(getpid())));
    EXPECT_NE(window->handle(), WindowHandle(0));
    EXPECT_EQ(window->hostWindow()->windowTitle(), QStringLiteral("Bridge test page"));
    EXPECT_EQ(window->addressBox()->text(), QStringLiteral("korvane://app/bridge.html"));
    EXPECT_TRUE(WindowRegistry::instance().contains(window->handle()));
}

TEST_F(WebuiWindowsFromPages, everyFrameworkFunctionIsBoundWithItsDeclaredCount)
{
    for (const FunctionSpec& function : frameworkFunctions()) {
        const QString name = QString::fromLatin1(function.name);
        EXPECT_EQ(BindingRegistry::instance().declaredCount(name), function.declaredCount) << function.name;
        EXPECT_EQ(page(QStringLiteral("typeof ") + name), QJsonValue(QStringLiteral("function"))) << function.name;
    }
    EXPECT_EQ(frameworkFunctions().size(), size_t(31));
}

TEST_F(WebuiWindowsFromPages, createWindowMakesAPlainWindowWithTheFixedParameters)
{
    const QJsonValue handle = page(QStringLiteral("createWindow(0, 320, 200, false, %1, 7)")
                                       .arg(js(webuitest::pageUrl(QStringLiteral("plain.html")))));
    ASSERT_TRUE(handle.isDouble());
    BaseBlkWinow* child = windowFor(handle);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->windowType(), 7);
    EXPECT_EQ(child->windowRect().right, 320);
    EXPECT_EQ(child->windowRect().bottom, 200);
    EXPECT_EQ(child->dragRect().left, -1);
    EXPECT_EQ(child->dragRect().bottom, 30);
    EXPECT_TRUE(child->borderless());
    EXPECT_TRUE(child->borderlessShadow());
    EXPECT_FALSE(child->borderlessDrag());
    EXPECT_FALSE(child->borderlessResize());
    EXPECT_FALSE(child->closeAsHide());
    EXPECT_FALSE(child->closeAsQuit());
    EXPECT_FALSE(child->isModal());
    EXPECT_TRUE(child->hostWindow()->isVisible());
    EXPECT_EQ(child->hostWindow()->width(), qRound(320 * child->zoomFactor()));
    ASSERT_TRUE(testsupport::waitFor([&] { return webuitest::evaluate(child->view(), QStringLiteral("opened")) == QJsonValue(true); }));
}

TEST_F(WebuiWindowsFromPages, createWindowRefusesNoArgumentsAndOverlongUrls)
{
    const size_t before = WebWindows::instance().windows().size();
    EXPECT_TRUE(page(QStringLiteral("createWindow()")).isUndefined());
    const QString tooLong = webuitest::pageUrl(QStringLiteral("plain.html?")) + QString(1024, QLatin1Char('x'));
    EXPECT_TRUE(page(QStringLiteral("createWindow(0, 10, 10, false, %1, 1)").arg(js(tooLong))).isUndefined());
    EXPECT_EQ(WebWindows::instance().windows().size(), before);
    const QString atLimit = QStringLiteral("https://pages.korvane.example/plain.html?") +
                            QString(1024 - 41, QLatin1Char('x'));
    ASSERT_EQ(atLimit.toUtf8().size(), 1024);
    EXPECT_TRUE(page(QStringLiteral("createWindow(0, 10, 10, false, %1, 1)").arg(js(atLimit))).isDouble());
}

TEST_F(WebuiWindowsFromPages, createWindow2TakesEveryParameterFromItsObjects)
{
    const QJsonValue handle = page(QStringLiteral(
        "createWindow2({hParent: handle, createAsModal: true, url: %1}, {left: 0, top: 0, right: 300, bottom: 200},"
        " {left: 5, top: 6, right: 7, bottom: 8}, {borderless: true, borderlessShadow: false, borderlessDrag: true,"
        " borderlessResize: true}, {closeAsHide: true, centerWindow: true, closeAsQuit: false, editVisible: true,"
        " editHeight: 24, dwExStyle: 0})").arg(js(webuitest::pageUrl(QStringLiteral("plain.html")))));
    BaseBlkWinow* child = windowFor(handle);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->windowType(), 0);
    EXPECT_EQ(child->parentHandle(), window->handle());
    EXPECT_TRUE(child->isModal());
    EXPECT_EQ(child->dragRect().left, 5);
    EXPECT_EQ(child->dragRect().bottom, 8);
    EXPECT_FALSE(child->borderlessShadow());
    EXPECT_TRUE(child->borderlessResize());
    EXPECT_TRUE(child->closeAsHide());
    EXPECT_TRUE(child->editVisible());
    EXPECT_EQ(child->editHeight(), 24);
    EXPECT_TRUE(child->addressBox()->isVisible());
    EXPECT_EQ(child->addressBox()->height(), 24);
    // Modal: the parent is disabled until the child closes (here: hides).
    EXPECT_FALSE(window->hostWindow()->isEnabled());
    child->windowProc(WindowMessage{msg::kSysCommand, msg::kScClose, 0, {}});
    EXPECT_TRUE(window->hostWindow()->isEnabled());
    EXPECT_FALSE(child->hostWindow()->isVisible());
    EXPECT_FALSE(child->isDestroyed());
}

TEST_F(WebuiWindowsFromPages, aModalWindowWithoutParentIsNotModal)
{
    const QJsonValue handle = page(QStringLiteral("createWindow(0, 100, 100, true, '', 1)"));
    BaseBlkWinow* child = windowFor(handle);
    ASSERT_NE(child, nullptr);
    EXPECT_FALSE(child->isModal());
    EXPECT_TRUE(window->hostWindow()->isEnabled());
}

TEST_F(WebuiWindowsFromPages, destroyingAChildTellsTheParentPage)
{
    const QJsonValue handle = page(QStringLiteral("createWindow(handle, 100, 100, true, %1, 1)")
                                       .arg(js(webuitest::pageUrl(QStringLiteral("plain.html")))));
    BaseBlkWinow* child = windowFor(handle);
    ASSERT_NE(child, nullptr);
    EXPECT_FALSE(window->hostWindow()->isEnabled());
    std::vector<WindowHandle> destroyed;
    QObject listening;  // ends the connection with the test
    QObject::connect(&WebWindows::instance(), &WebWindows::windowDestroyed, &listening,
                     [&destroyed](WindowHandle h) { destroyed.push_back(h); });
    // The page closes its child through the framework, as pages do.
    EXPECT_EQ(page(QStringLiteral("sendMessage(%1, 16, 0, 0)").arg(handle.toDouble())), QJsonValue(0));
    EXPECT_EQ(windowFor(handle), nullptr);
    EXPECT_FALSE(WindowRegistry::instance().contains(WindowHandle(handle.toDouble())));
    EXPECT_EQ(destroyed, std::vector<WindowHandle>{WindowHandle(handle.toDouble())});
    EXPECT_TRUE(window->hostWindow()->isEnabled());
    ASSERT_TRUE(testsupport::waitFor([&] { return page(QStringLiteral("received.length")) == QJsonValue(1); }));
    EXPECT_EQ(page(QStringLiteral("received[0]")), QJsonValue(QJsonArray{handle, 1}));
    const auto parentSaw = std::find_if(window->messages.begin(), window->messages.end(),
                                        [](const WindowMessage& m) { return m.message == msg::kChildDestroyed; });
    ASSERT_NE(parentSaw, window->messages.end());
    EXPECT_EQ(parentSaw->wParam, WindowHandle(handle.toDouble()));
}

TEST_F(WebuiWindowsFromPages, aClosedCloseAsHideWindowComesBackWithItsPageState)
{
    window->setCloseParams(true, true, false, 0, false, 30);
    page(QStringLiteral("var remembered = 'still here'; 0"));
    window->hostWindow()->close();
    EXPECT_FALSE(window->hostWindow()->isVisible());
    EXPECT_FALSE(window->isDestroyed());
    EXPECT_EQ(page(QStringLiteral("showWindow(handle, 5)")), QJsonValue(false));
    EXPECT_TRUE(window->hostWindow()->isVisible());
    EXPECT_EQ(page(QStringLiteral("showWinow(handle, 5)")), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("remembered")), QJsonValue(QStringLiteral("still here")));
}

TEST_F(WebuiWindowsFromPages, aMinimisedWindowCountsAsVisible)
{
    EXPECT_EQ(page(QStringLiteral("showWindow(handle, 6)")), QJsonValue(true));
    EXPECT_TRUE(window->hostWindow()->isMinimized());
    // Restoring it: it was visible, minimised.
    EXPECT_EQ(page(QStringLiteral("showWindow(handle, 9)")), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("showWindow(handle, 0)")), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("showWindow(handle, 5)")), QJsonValue(false));
}

TEST_F(WebuiWindowsFromPages, closingACloseAsQuitWindowEndsTheEventLoop)
{
    auto* main = webuitest::openWindow(QStringLiteral("plain.html"));
    main->setCloseParams(false, true, true, 0, false, 30);
    const WindowHandle handle = main->handle();
    QEventLoop loop;
    QTimer::singleShot(0, [main] { main->hostWindow()->close(); });
    QTimer::singleShot(20000, &loop, [&loop] { loop.exit(99); });
    EXPECT_EQ(loop.exec(), 0);
    // Closed through WM_CLOSE: destroyed (and, by now, deleted), not hidden.
    EXPECT_EQ(WebWindows::instance().find(handle), nullptr);
    EXPECT_FALSE(WindowRegistry::instance().contains(handle));
}

TEST_F(WebuiWindowsFromPages, showLoadAndCloseAnswerForKnownWindowsOnly)
{
    const double self = double(window->handle());
    EXPECT_EQ(page(QStringLiteral("showWindow2(987654321, 5, 'x')")), QJsonValue(false));
    EXPECT_EQ(page(QStringLiteral("loadurl(987654321, 'x')")), QJsonValue(false));
    EXPECT_EQ(page(QStringLiteral("closeWindow(987654321)")), QJsonValue(false));
    EXPECT_EQ(page(QStringLiteral("closeWindow(%1)").arg(self)), QJsonValue(true));
    EXPECT_TRUE(window->hostWindow()->isMinimized());
    EXPECT_EQ(page(QStringLiteral("showWindow2(%1, 1, %2)").arg(self).arg(js(webuitest::pageUrl(QStringLiteral("plain.html"))))),
              QJsonValue(true));
    ASSERT_TRUE(testsupport::waitFor([&] { return window->loads == 2; }));
    EXPECT_EQ(page(QStringLiteral("opened")), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("loadurl(%1, %2)").arg(self).arg(js(webuitest::pageUrl(QStringLiteral("bridge.html"))))),
              QJsonValue(true));
    ASSERT_TRUE(testsupport::waitFor([&] { return window->loads == 3; }));
}

TEST_F(WebuiWindowsFromPages, maximiseCoversTheWorkAreaAndRestoreGoesBack)
{
    const QRect before = window->hostWindow()->geometry();
    window->showWindow(showcmd::kMaximize);
    EXPECT_EQ(window->hostWindow()->geometry(), window->hostWindow()->screen()->availableGeometry());
    window->showWindow(showcmd::kRestore);
    EXPECT_EQ(window->hostWindow()->geometry(), before);
}

TEST_F(WebuiWindowsFromPages, geometryFunctionsMoveAndReportTheWindow)
{
    const double self = double(window->handle());
    EXPECT_EQ(page(QStringLiteral("resizeWindow(%1, 500, 400)").arg(self)), QJsonValue(1));
    const QJsonObject rect = page(QStringLiteral("getWindowRect(%1)").arg(self)).toObject();
    EXPECT_EQ(rect.value(QStringLiteral("right")).toInt() - rect.value(QStringLiteral("left")).toInt(), 500);
    EXPECT_EQ(rect.value(QStringLiteral("bottom")).toInt() - rect.value(QStringLiteral("top")).toInt(), 400);
    EXPECT_EQ(page(QStringLiteral("resizeWindow(%1, -5, 400)").arg(self)), QJsonValue(0));
    EXPECT_EQ(page(QStringLiteral("getWindowRect(987654321)")).toObject(),
              withoutMemberOrder(jsargs::rectObject(0, 0, 0, 0)));
    EXPECT_EQ(page(QStringLiteral("JSON.stringify(getWindowRect(987654321))")),
              QJsonValue(QStringLiteral(R"({"left":0,"top":0,"right":0,"bottom":0})")));

    page(QStringLiteral("setDragRect(0, %1, 10, 20, 100, 40)").arg(self));
    EXPECT_EQ(window->dragRect().left, 10);
    EXPECT_EQ(window->dragRect().top, 20);
    EXPECT_EQ(window->dragRect().right, 110);
    EXPECT_EQ(window->dragRect().bottom, 60);

    const QJsonArray monitors = page(QStringLiteral("enumDisplayMonitors()")).toArray();
    ASSERT_EQ(monitors.size(), 2 * QGuiApplication::screens().size());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(monitors.at(0).toObject(),
              withoutMemberOrder(jsargs::rectObject(screen.left(), screen.top(), screen.left() + screen.width(),
                                                    screen.top() + screen.height())));
    EXPECT_EQ(page(QStringLiteral("setForegroundWindow(%1)").arg(self)), QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("setForegroundWindow(5)")), QJsonValue(true));
}

TEST_F(WebuiWindowsFromPages, aTimerSentByThePageReachesTheWindowProcedure)
{
    const QJsonValue result = page(QStringLiteral("sendMessage(handle, 0x113, 2129, 0)"));
    EXPECT_EQ(result, QJsonValue(2130));
    ASSERT_FALSE(window->messages.empty());
    EXPECT_EQ(window->messages.back().message, msg::kTimer);
    EXPECT_EQ(window->messages.back().wParam, msg::kInstallMonitorTimer);
    EXPECT_EQ(page(QStringLiteral("sendMessage(987654321, 0x113, 2129, 0)")), QJsonValue(0));
    // Messages whose record a page cannot supply are not passed on.
    const size_t seen = window->messages.size();
    EXPECT_EQ(page(QStringLiteral("sendMessage(handle, 1125, 0, 0)")), QJsonValue(0));
    EXPECT_EQ(page(QStringLiteral("sendMessage(handle, 2128, 0, 0)")), QJsonValue(0));
    EXPECT_EQ(window->messages.size(), seen);
}

TEST_F(WebuiWindowsFromPages, messagesPostedFromAnotherThreadArriveInOrder)
{
    constexpr int kCount = 500;
    const WindowHandle target = window->handle();
    window->messages.clear();
    std::atomic<std::intptr_t> sentResult{0};
    std::thread sender([target, &sentResult] {
        for (int i = 0; i < kCount; ++i)
            postWindowMessage(target, msg::kPackageInstalled, std::uintptr_t(i), -i, std::make_shared<int>(i));
        sentResult = sendWindowMessage(target, WindowMessage{msg::kTimer, 41, 0, {}});
    });
    const bool done = testsupport::waitFor([&] { return window->messages.size() >= size_t(kCount + 1); },
                                           std::chrono::seconds(30));
    sender.join();
    ASSERT_TRUE(done);
    for (int i = 0; i < kCount; ++i) {
        const WindowMessage& m = window->messages[size_t(i)];
        EXPECT_EQ(m.message, msg::kPackageInstalled);
        EXPECT_EQ(m.wParam, std::uintptr_t(i));
        EXPECT_EQ(*std::static_pointer_cast<int>(m.payload), i);
    }
    EXPECT_EQ(sentResult.load(), 42);
}

TEST_F(WebuiWindowsFromPages, trayIconItemsAndDoubleClickReachThePage)
{
    page(QStringLiteral("var trayHits = []; function onTrayOpen() { trayHits.push('open'); }"
                        " function onTrayQuit() { trayHits.push('quit'); } 0"));
    const QString menu = QStringLiteral(
        "{LBTN_DBCLK: {function: 'onTrayOpen'}, RBTN_CLK: [{menu: '打开', id: 2001, function: 'onTrayOpen'},"
        " {menu: 'Quit', id: 2002, function: 'onTrayQuit'}]}");
    const QString longTip = QString(300, QLatin1Char('t'));
    EXPECT_EQ(page(QStringLiteral("shellNotifyIcon(0, handle, '%1', 2, %2)").arg(longTip, menu)), QJsonValue(true));
    EXPECT_TRUE(window->hasTrayIcon());
    EXPECT_EQ(window->trayTip().size(), 127);
    ASSERT_EQ(window->trayMenuItems().size(), size_t(2));
    EXPECT_EQ(window->trayMenuItems()[0].text, QStringLiteral("打开"));
    EXPECT_EQ(window->trayDoubleClickFunction(), QStringLiteral("onTrayOpen"));
    EXPECT_EQ(page(QStringLiteral("shellNotifyIcon(0, handle, 'again', 2, {})")), QJsonValue(false));

    postWindowMessage(window->handle(), msg::kTrayCallback, 1, mouse::kLeftButtonDoubleClick);
    postWindowMessage(window->handle(), msg::kCommand, 2002, 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return page(QStringLiteral("trayHits.length")) == QJsonValue(2); }));
    EXPECT_EQ(page(QStringLiteral("trayHits")), QJsonValue(QJsonArray{QStringLiteral("open"), QStringLiteral("quit")}));

    EXPECT_EQ(page(QStringLiteral("shellNotifyIcon(1, handle, 'new tip', 2, {})")), QJsonValue(true));
    EXPECT_EQ(window->trayTip(), QStringLiteral("new tip"));
    EXPECT_EQ(page(QStringLiteral("shellNotifyIcon(2, handle, '', 2, {})")), QJsonValue(true));
    EXPECT_FALSE(window->hasTrayIcon());
    EXPECT_EQ(page(QStringLiteral("shellNotifyIcon(2, handle, '', 2, {})")), QJsonValue(false));
}

TEST_F(WebuiWindowsFromPages, reservedCommandsZoomNavigateAndDestroy)
{
    auto* view = static_cast<HeadlessView*>(window->view());
    const double base = window->zoomFactor();
    window->windowProc(WindowMessage{msg::kCommand, command::kZoomIn, 0, {}});
    EXPECT_EQ(BaseBlkWinow::zoomLevel(), 110);
    EXPECT_DOUBLE_EQ(view->zoomFactor(), 1.1);
    window->windowProc(WindowMessage{msg::kCommand, command::kZoomOut, 0, {}});
    window->windowProc(WindowMessage{msg::kCommand, command::kZoomOut, 0, {}});
    EXPECT_EQ(BaseBlkWinow::zoomLevel(), 90);
    window->windowProc(WindowMessage{msg::kCommand, command::kZoomReset, 0, {}});
    EXPECT_EQ(BaseBlkWinow::zoomLevel(), 100);
    EXPECT_DOUBLE_EQ(view->zoomFactor(), 1.0);
    Q_UNUSED(base)
    window->windowProc(WindowMessage{msg::kCommand, command::kToggleEditable, 0, {}});
    EXPECT_TRUE(view->editable());
    window->windowProc(WindowMessage{msg::kCommand, command::kDestroy, 0, {}});
    EXPECT_TRUE(window->isDestroyed());
    EXPECT_EQ(WebWindows::instance().find(window->handle()), nullptr);
}

TEST_F(WebuiWindowsFromPages, execRequestsStartTheCommandWithoutAShell)
{
    window->view()->onExecRequested(QStringLiteral("korvane-tool --flag \"two words\" ;rm -rf x"));
    ASSERT_EQ(started.size(), size_t(1));
    EXPECT_EQ(started[0].first, (QStringList{QStringLiteral("korvane-tool"), QStringLiteral("--flag"),
                                             QStringLiteral("two words"), QStringLiteral(";rm"), QStringLiteral("-rf"),
                                             QStringLiteral("x")}));
    window->view()->onExecRequested(QStringLiteral("\"unbalanced"));
    window->view()->onExecRequested(QString());
    EXPECT_EQ(started.size(), size_t(1));
}

TEST_F(WebuiWindowsFromPages, theAddressBoxLoadsUrlsAndRunsScript)
{
    QLineEdit* box = window->addressBox();
    box->setText(QStringLiteral("javascript:var typed = 6 * 7;"));
    emit box->returnPressed();
    ASSERT_TRUE(testsupport::waitFor([&] { return page(QStringLiteral("typeof typed === 'undefined' ? 0 : typed")) == QJsonValue(42); }));
    box->setText(webuitest::pageUrl(QStringLiteral("plain.html")));
    emit box->returnPressed();
    ASSERT_TRUE(testsupport::waitFor([&] { return window->loads == 2; }));
    EXPECT_EQ(page(QStringLiteral("opened")), QJsonValue(true));
}

TEST_F(WebuiWindowsFromPages, windowCreationIsAnnouncedWithTheWindow)
{
    std::vector<int> types;
    QObject listening;
    QObject::connect(&WebWindows::instance(), &WebWindows::windowCreated, &listening,
                     [&types](BaseBlkWinow* w) { types.push_back(w->windowType()); });
    page(QStringLiteral("createWindow(0, 50, 50, false, '', 9)"));
    EXPECT_EQ(types, std::vector<int>{9});
}

}  // namespace
