// The main window's timer 2129 opens the install monitor window.

#include "discovery/installmonitor.h"
#include "mainwindow/mainblkwindow.h"
#include "support/testsupport.h"
#include "webui/desktopactions.h"
#include "webui/localpages.h"
#include "webui/viewfactory.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>

namespace msg = webui::msg;

namespace {

class MonitorTimer : public ::testing::Test {
protected:
    void SetUp() override
    {
        webui::setEngineKind(webui::EngineKind::Headless);
        webui::pages::setBaseUrl(MainBlkWindow::pageBaseUrl());
        webui::desktopActions().openUrl = [](const QUrl&) { return true; };
        main = new MainBlkWindow(MainBlkWindow::pageBaseUrl() + "installmonitor.html");
        ASSERT_TRUE(main->createMainWindow());
        ASSERT_TRUE(testsupport::waitFor([this] { return run(main, "typeof handle").toString() == "number"; },
                                         std::chrono::seconds(20)));
    }

    void TearDown() override
    {
        webui::WebWindows::instance().destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        webui::resetDesktopActions();
    }

    static QJsonValue run(webui::BaseBlkWinow* window, const QString& script)
    {
        std::optional<QJsonValue> result;
        window->view()->runScript(script, [&result](const QJsonValue& value) { result = value; });
        testsupport::waitFor([&] { return result.has_value(); }, std::chrono::seconds(20));
        return result.value_or(QJsonValue(QJsonValue::Undefined));
    }

    static std::vector<InstallMonitorBlkWindow*> monitors()
    {
        std::vector<InstallMonitorBlkWindow*> found;
        for (webui::BaseBlkWinow* window : webui::WebWindows::instance().windows()) {
            if (auto* monitor = dynamic_cast<InstallMonitorBlkWindow*>(window))
                found.push_back(monitor);
        }
        return found;
    }

    testsupport::IsolatedDesktop user{testsupport::sourceDir() + "/tests/data/installmonitor/html"};
    MainBlkWindow* main = nullptr;
};

}  // namespace

TEST_F(MonitorTimer, OpensTheMonitorWithItsCreationValues)
{
    EXPECT_EQ(webui::sendWindowMessage(main->handle(), {msg::kTimer, msg::kInstallMonitorTimer, 0, {}}), 0);
    ASSERT_EQ(monitors().size(), 1u);
    InstallMonitorBlkWindow* monitor = monitors().front();

    EXPECT_TRUE(monitor->isCreated());
    EXPECT_EQ(monitor->parentHandle(), 0u);
    EXPECT_FALSE(monitor->isModal());
    EXPECT_EQ(monitor->windowType(), 5);
    EXPECT_EQ(monitor->url(), MainBlkWindow::pageBaseUrl() + "installmonitor.html");
    EXPECT_TRUE(monitor->watchUsb());
    EXPECT_EQ(monitor->watchedUsbId(), "USB\\VID_03F0&PID_1853");
    const webui::WindowRect& rect = monitor->windowRect();
    EXPECT_EQ(std::vector<int>({rect.left, rect.top, rect.right, rect.bottom}), std::vector<int>({0, 0, 800, 600}));
    const webui::DragRect& drag = monitor->dragRect();
    EXPECT_EQ(std::vector<int>({drag.left, drag.top, drag.right, drag.bottom}), std::vector<int>({-1, 0, -1, 60}));
    EXPECT_TRUE(monitor->borderless());
    EXPECT_TRUE(monitor->borderlessShadow());
    EXPECT_FALSE(monitor->borderlessDrag());
    EXPECT_FALSE(monitor->borderlessResize());
    EXPECT_EQ(monitor->inset(), 0);
    EXPECT_FALSE(monitor->closeAsHide());
    EXPECT_TRUE(monitor->centerWindow());
    EXPECT_FALSE(monitor->closeAsQuit()) << "closing the monitor must not end the program";
    EXPECT_EQ(monitor->dwExStyle(), 0u);
    EXPECT_FALSE(monitor->editVisible());
    EXPECT_EQ(monitor->editHeight(), 30);
    ASSERT_TRUE(monitor->hostWindow());
    EXPECT_EQ(monitor->hostWindow()->objectName(), "installerMonitor");
    EXPECT_TRUE(monitor->hostWindow()->isVisible());
    EXPECT_TRUE(testsupport::waitFor([&] { return run(monitor, "typeof calls").toString() == "object"; },
                                     std::chrono::seconds(20)))
        << "its page loaded";
}

TEST_F(MonitorTimer, PageOpensItThroughSendMessage)
{
    run(main, "sendMessage(handle, 0x113, 2129, 0)");
    ASSERT_EQ(monitors().size(), 1u);
    EXPECT_EQ(monitors().front()->watchedUsbId(), "USB\\VID_03F0&PID_1853");
}

TEST_F(MonitorTimer, OtherTimersOpenNothing)
{
    webui::sendWindowMessage(main->handle(), {msg::kTimer, 2130, 0, {}});
    run(main, "sendMessage(handle, 0x113, 1, 0)");
    EXPECT_TRUE(monitors().empty());
}

TEST_F(MonitorTimer, ClosingTheMonitorKeepsTheMainWindow)
{
    webui::sendWindowMessage(main->handle(), {msg::kTimer, msg::kInstallMonitorTimer, 0, {}});
    ASSERT_EQ(monitors().size(), 1u);
    const webui::WindowHandle monitor = monitors().front()->handle();
    webui::sendWindowMessage(monitor, {msg::kClose, 0, 0, {}});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(monitors().empty());
    EXPECT_FALSE(webui::WindowRegistry::instance().contains(monitor));
    EXPECT_TRUE(webui::WindowRegistry::instance().contains(main->handle()));
    EXPECT_EQ(run(main, "typeof handle").toString(), "number") << "the main window still runs its page";
}

TEST_F(MonitorTimer, PageOpensTheMonitorForThePrinterItPicked)
{
    EXPECT_EQ(run(main, "openInstallMonitor('USB\\\\VID_04F9&PID_0042')"), QJsonValue(true));
    ASSERT_EQ(monitors().size(), 1u);
    EXPECT_EQ(monitors().front()->watchedUsbId(), "USB\\VID_04F9&PID_0042");
    EXPECT_EQ(monitors().front()->url(), MainBlkWindow::pageBaseUrl() + "installmonitor.html");
    EXPECT_EQ(run(main, "openInstallMonitor('USB\\\\VID_04F9&PID_0042\\\\000J5N123456')"), QJsonValue(true));
    ASSERT_EQ(monitors().size(), 2u);
    EXPECT_EQ(monitors().back()->watchedUsbId(), "USB\\VID_04F9&PID_0042\\000J5N123456");
    EXPECT_EQ(run(main, "openInstallMonitor('HTREE\\\\ROOT\\\\0')"), QJsonValue(false));
    EXPECT_EQ(monitors().size(), 2u);
}
