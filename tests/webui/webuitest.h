#pragma once
// Helpers for the page window tests: the test page folder, running script in
// a page and waiting for its answer, and a window that records its messages.

#include "support/testsupport.h"
#include "webui/basewindow.h"
#include "webui/localpages.h"
#include "webui/viewfactory.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <optional>
#include <vector>

namespace webuitest {

constexpr const char* kBase = "https://pages.korvane.example/";

inline QString pagesDir()
{
    return testsupport::sourceDir() + QStringLiteral("/tests/data/webui/html");
}

inline QString pageUrl(const QString& name)
{
    return QString::fromLatin1(kBase) + name;
}

// Runs script in the page and waits for its value (undefined when the page
// never answers within the time).
inline QJsonValue evaluate(webui::WebView* view, const QString& script,
                           std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    std::optional<QJsonValue> result;
    view->runScript(script, [&result](const QJsonValue& value) { result = value; });
    testsupport::waitFor([&] { return result.has_value(); }, timeout);
    return result.value_or(QJsonValue(QJsonValue::Undefined));
}

inline QString json(const QJsonValue& value)
{
    if (value.isUndefined())
        return QStringLiteral("undefined");
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// A page window that keeps every message its window procedure sees.
class RecordingWindow : public webui::BaseBlkWinow {
public:
    using BaseBlkWinow::BaseBlkWinow;
    std::vector<webui::WindowMessage> messages;
    int loads = 0;
    std::intptr_t windowProc(const webui::WindowMessage& message) override
    {
        messages.push_back(message);
        if (message.message == webui::msg::kTimer)
            return std::intptr_t(message.wParam) + 1;
        return BaseBlkWinow::windowProc(message);
    }

protected:
    void onLoadFinished(bool ok) override
    {
        ++loads;
        BaseBlkWinow::onLoadFinished(ok);
    }
};

// A window on a test page, created and loaded.
inline RecordingWindow* openWindow(const QString& page, webui::WindowHandle parent = 0, int type = 1)
{
    auto* window = new RecordingWindow(parent, false, pageUrl(page), type);
    window->setPageBaseUrl(QString::fromLatin1(kBase));
    window->setWindowRect(0, 0, 400, 300);
    window->create(1);
    testsupport::waitFor([window] { return window->loads > 0; }, std::chrono::seconds(30));
    return window;
}

}  // namespace webuitest
