#pragma once
// The real web view: Qt WebEngine with the bridge. Page-to-program calls
// arrive through the prompt transport (see bridgeprotocol.h) and run at once
// on the UI thread; program-to-page calls go through runJavaScript and are
// asynchronous, arriving in the order they were made.

#include "webui/webview.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWebEnginePage>

#include <QWebEngineView>
class QWebEngineProfile;

namespace webui {

class BridgePage : public QWebEnginePage {
public:
    BridgePage(QWebEngineProfile* profile, QObject* parent);

    // Set by the view that owns the page and cleared when it goes; the page
    // itself may outlive the view by one turn of the event loop.
    std::function<void(const QString& commandLine)> onExec;
    std::function<void(const QString& message, const QString& source, int line)> onConsole;

protected:
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    void requestExec(const QString& rawUrl);

    bool m_mainNavigationPending = false;
};

class WebEngineView : public WebView {
public:
    WebEngineView(QWidget* parent, const QString& storagePath);
    ~WebEngineView() override;

    QWidget* widget() override;
    void loadUrl(const QString& url) override;
    QString url() const override;
    QString title() const override;
    void goBack() override;
    void goForward() override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void setZoomFactor(double factor) override;
    void setEditable(bool editable) override;
    QString cookies() const override;
    void bindFunction(const QString& name, int declaredCount, NativeFunction function) override;
    void callPageFunction(const QString& name, const QJsonArray& args, PageResultCallback onResult) override;
    void runScript(const QString& script, PageResultCallback onResult) override;
    void runTrustedScript(const QString& script, PageResultCallback onResult) override;

    // After onRenderProcessGone: reload once more with a fresh count.
    void retryAfterRenderProcessGone();
    // Reloads after the render process ends, unless it ended this many times
    // with no page staying up for the time below in between.
    static constexpr int kMaxReloads = 3;
    static constexpr qint64 kStableMilliseconds = 30000;

    BridgePage* page() const { return m_page; }
    QWebEngineView* engineView() const { return m_view; }

private:
    void runWrapped(const QString& wrapped, PageResultCallback onResult);
    void runGuarded(const QString& wrapped, PageResultCallback onResult, const QString& what);
    void onRenderProcessTerminated(int status, int exitCode);

    QPointer<QWebEngineView> m_view;
    QPointer<BridgePage> m_page;
    QObject* m_context = nullptr;  // owned by m_view; connections die with it
    bool m_editable = false;
    int m_rendererEnds = 0;
    QElapsedTimer m_sinceLoad;
    std::map<QByteArray, QByteArray>* m_cookies = nullptr;
};

}  // namespace webui
