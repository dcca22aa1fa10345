#pragma once
// An install monitor window on the headless view, showing the test page of
// tests/data/installmonitor/html, which records every call the program makes
// into it as the function name followed by its arguments in JSON (key order
// kept), e.g. notifyUSBChangedByCpp[true].

#include "discovery/installmonitor.h"
#include "support/testsupport.h"
#include "webui/localpages.h"
#include "webui/viewfactory.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <optional>

namespace monitortest {

inline const QString kPageBase = QStringLiteral("https://pages.korvane.example/");

class PageWindows {
public:
    PageWindows()
    {
        webui::setEngineKind(webui::EngineKind::Headless);
        webui::pages::setBaseUrl(kPageBase);
    }
    ~PageWindows()
    {
        webui::WebWindows::instance().destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    PageWindows(const PageWindows&) = delete;
    PageWindows& operator=(const PageWindows&) = delete;

    // A created window whose page has loaded; null when that failed. Without
    // a watched id the window watches no USB device.
    InstallMonitorBlkWindow* open(const std::optional<QString>& watchedId,
                                  const std::function<void(InstallMonitorBlkWindow&)>& before = {})
    {
        auto* window = new InstallMonitorBlkWindow(0, false, kPageBase + "installmonitor.html");
        if (watchedId)
            window->setWatchedUsbId(*watchedId);
        if (before)
            before(*window);
        if (!window->create()) {
            delete window;
            return nullptr;
        }
        if (!testsupport::waitFor([&] { return run(window, "typeof calls").toString() == "object"; },
                                  std::chrono::seconds(20)))
            return nullptr;
        return window;
    }

    static QJsonValue run(InstallMonitorBlkWindow* window, const QString& script)
    {
        std::optional<QJsonValue> result;
        window->view()->runScript(script, [&result](const QJsonValue& value) { result = value; });
        testsupport::waitFor([&] { return result.has_value(); }, std::chrono::seconds(20));
        return result.value_or(QJsonValue(QJsonValue::Undefined));
    }

    // The calls the page has received so far.
    static QStringList calls(InstallMonitorBlkWindow* window)
    {
        QCoreApplication::processEvents();
        QStringList list;
        const QJsonArray array =
            QJsonDocument::fromJson(run(window, "JSON.stringify(calls)").toString().toUtf8()).array();
        for (const QJsonValue& call : array)
            list << call.toString();
        return list;
    }

    // Waits until the page has received at least count calls (or 20 s went).
    static QStringList waitForCalls(InstallMonitorBlkWindow* window, int count)
    {
        QStringList list;
        testsupport::waitFor(
            [&] {
                list = calls(window);
                return list.size() >= count;
            },
            std::chrono::seconds(20));
        return list;
    }

    // Waits until the window has handled that many device changes in all:
    // what it said about a step is then said, and the next step's devices
    // are not yet there when it looks.
    static bool settle(InstallMonitorBlkWindow* window, int handled)
    {
        return testsupport::waitFor([&] { return window->deviceChangesHandled() >= handled; },
                                    std::chrono::seconds(20));
    }

private:
    testsupport::ScopedEnv m_html{"KORVANE_HTML_DIR",
                                  (testsupport::sourceDir() + "/tests/data/installmonitor/html").toUtf8()};
};

}  // namespace monitortest
