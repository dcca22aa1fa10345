#pragma once
// A web view without a display: it runs a page's scripts (inline, and src
// scripts from the page folders) in a QJSEngine with a small window/document
// stub, so the page contract can be tested fast and anywhere. Loads, page
// calls and scripts are queued and run one after another from the event loop,
// in the order they were asked for, as in the real engine.

#include "webui/webview.h"

#include <QObject>
#include <QPointer>
#include <deque>
#include <memory>
#include <vector>

class QJSEngine;
class QJSValue;

namespace webui {

class HeadlessHost;

class HeadlessView : public WebView {
public:
    HeadlessView();
    ~HeadlessView() override;

    QWidget* widget() override { return nullptr; }
    void loadUrl(const QString& url) override;
    QString url() const override { return m_url; }
    QString title() const override;
    void goBack() override;
    void goForward() override;
    bool canGoBack() const override { return m_historyIndex > 0; }
    bool canGoForward() const override { return m_historyIndex + 1 < int(m_history.size()); }
    void setZoomFactor(double factor) override { m_zoom = factor; }
    void setEditable(bool editable) override { m_editable = editable; }
    QString cookies() const override { return QString(); }
    void bindFunction(const QString& name, int declaredCount, NativeFunction function) override;
    void callPageFunction(const QString& name, const QJsonArray& args, PageResultCallback onResult) override;
    void runScript(const QString& script, PageResultCallback onResult) override;

    double zoomFactor() const { return m_zoom; }
    bool editable() const { return m_editable; }
    bool trusted() const { return m_trusted; }

private:
    void enqueue(std::function<void()> task);
    void runQueue();
    void load(const QString& url, bool addToHistory);
    void defineName(const QString& name);
    static QJsonValue settle(const QJSValue& value, const QPointer<QJSEngine>& engine, HeadlessHost* host);

    QString m_url;
    std::vector<QString> m_history;
    int m_historyIndex = -1;
    double m_zoom = 1.0;
    bool m_editable = false;
    bool m_trusted = false;
    QJSEngine* m_engine = nullptr;
    HeadlessHost* m_host = nullptr;
    QObject* m_context = nullptr;
    std::deque<std::function<void()>> m_queue;
    bool m_scheduled = false;
    std::shared_ptr<bool> m_alive;
    QMetaObject::Connection m_nameAdded;
};

}  // namespace webui
