#pragma once
// A web view without a page engine: it records every page call and answers
// from the functions the test gives its "page". Answers come back
// asynchronously through the event loop, as from a real page.

#include "webui/webview.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <functional>
#include <map>
#include <vector>

namespace onlinetest {

class FakeWebView : public webui::WebView {
public:
    struct Call {
        QString name;
        QJsonArray args;
    };
    using PageFunction = std::function<QJsonValue(const QJsonArray& args)>;

    // The page's global functions; a name not here is missing from the page.
    std::map<QString, PageFunction> functions;
    // Whether to record calls (a benchmark turns it off).
    bool recordCalls = true;
    // How long the page takes to answer (0: at the next event loop turn).
    int answerDelayMs = 0;

    const std::vector<Call>& calls() const { return m_calls; }
    std::vector<Call> callsTo(const QString& name) const;
    int callCount(const QString& name) const;

    QWidget* widget() override { return nullptr; }
    void loadUrl(const QString& url) override { m_url = url; }
    QString url() const override { return m_url; }
    QString title() const override { return QString(); }
    void goBack() override {}
    void goForward() override {}
    bool canGoBack() const override { return false; }
    bool canGoForward() const override { return false; }
    void setZoomFactor(double) override {}
    void setEditable(bool) override {}
    QString cookies() const override { return QString(); }
    void bindFunction(const QString&, int, webui::NativeFunction) override {}
    void callPageFunction(const QString& name, const QJsonArray& args,
                          webui::PageResultCallback onResult = {}) override;
    void runScript(const QString&, webui::PageResultCallback onResult = {}) override;

private:
    void answerLater(webui::PageResultCallback onResult, const QJsonValue& result);

    std::vector<Call> m_calls;
    QString m_url;
};

}  // namespace onlinetest
