#pragma once
// A main window on the headless view, with the user's folders, the print
// server, sysfs and the desktop replaced by temporary or recording stand-ins.

#include "mainwindow/mainblkwindow.h"
#include "support/testsupport.h"
#include "webui/desktopactions.h"
#include "webui/localpages.h"
#include "webui/viewfactory.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace mainwindowtest {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        webui::setEngineKind(webui::EngineKind::Headless);
        webui::pages::setBaseUrl(MainBlkWindow::pageBaseUrl());
        webui::DesktopActions& desktop = webui::desktopActions();
        desktop.openUrl = [this](const QUrl& url) {
            openedUrls << url.toString();
            return true;
        };
        desktop.startProgram = [this](const QStringList& argv, const QString&) {
            started << argv;
            return win32::kSuccess;
        };
        window = new MainBlkWindow();
        ASSERT_TRUE(window->createMainWindow());
        ASSERT_TRUE(testsupport::waitFor([this] { return page("typeof calls").toString() == "object"; },
                                         std::chrono::seconds(20)));
    }

    void TearDown() override
    {
        webui::WebWindows::instance().destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        webui::resetDesktopActions();
    }

    QJsonValue page(const QString& script)
    {
        std::optional<QJsonValue> result;
        window->view()->runScript(script, [&result](const QJsonValue& value) { result = value; });
        testsupport::waitFor([&] { return result.has_value(); }, std::chrono::seconds(20));
        return result.value_or(QJsonValue(QJsonValue::Undefined));
    }

    // The calls the page received, as JSON text, after pending ones arrived.
    QJsonArray callsOf(const QString& name)
    {
        QCoreApplication::processEvents();
        const QString text = page("JSON.stringify(callsOf('" + name + "'))").toString();
        return QJsonDocument::fromJson(text.toUtf8()).array();
    }
    QJsonArray allCalls()
    {
        QCoreApplication::processEvents();
        return QJsonDocument::fromJson(page("JSON.stringify(calls)").toString().toUtf8()).array();
    }
    bool waitForCall(const QString& name, int count = 1)
    {
        return testsupport::waitFor([&] { return callsOf(name).size() >= count; }, std::chrono::seconds(20));
    }

    // Call a bound command the way the page does, synchronously.
    QJsonValue command(const QString& call) { return page(call); }

    testsupport::IsolatedDesktop user{testsupport::sourceDir() + "/tests/data/mainwindow/html"};
    MainBlkWindow* window = nullptr;
    QStringList openedUrls;
    QList<QStringList> started;
};

}  // namespace mainwindowtest
