#pragma once
// What the program uses of a web view. Two implementations: Qt WebEngine for
// the real windows, and a QJSEngine one that runs page scripts headless for
// tests of the page contract.
//
// Page values cross as QJsonValue: numbers (window handles travel as numbers),
// booleans, strings, objects, arrays, null; a missing argument reads as
// QJsonValue::Undefined (QJsonArray::at past the end), and a function returns
// QJsonValue(QJsonValue::Undefined) when it has nothing to say.

#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace webui {

// A native function bound as a global of every page: it receives the page's
// arguments by position and returns one page value. Runs on the UI thread,
// synchronously inside the page's call.
using NativeFunction = std::function<QJsonValue(const QJsonArray& args)>;
// Receives the result of a page function or script, on the UI thread.
using PageResultCallback = std::function<void(const QJsonValue& result)>;

class WebView {
public:
    virtual ~WebView() = default;

    // The widget to place in the host window; null for a headless view.
    virtual QWidget* widget() = 0;

    virtual void loadUrl(const QString& url) = 0;
    virtual QString url() const = 0;
    virtual QString title() const = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    virtual void setZoomFactor(double factor) = 0;
    virtual void setEditable(bool editable) = 0;
    virtual QString cookies() const = 0;

    // Binds a native function under `name` for pages loaded from now on (and
    // the current one). The declared count is informative, as pages may pass
    // more or fewer arguments.
    virtual void bindFunction(const QString& name, int declaredCount, NativeFunction function) = 0;

    // Calls the page's global function `name` with the arguments. Always
    // asynchronous; calls to one view arrive in the order they were made. A
    // page without that function makes it a no-op (the callback receives
    // undefined). The callback may run after the view is gone (or never, when
    // the page goes first): it must not assume either.
    virtual void callPageFunction(const QString& name, const QJsonArray& args,
                                  PageResultCallback onResult = {}) = 0;
    virtual void runScript(const QString& script, PageResultCallback onResult = {}) = 0;
    // runScript, but only into one of our own pages: a view that shows any
    // other page drops the script (and never calls back). Page function
    // calls obey the same rule.
    virtual void runTrustedScript(const QString& script, PageResultCallback onResult = {})
    {
        runScript(script, std::move(onResult));
    }

    // Events, on the UI thread.
    std::function<void(const QString& title)> onTitleChanged;
    std::function<void(const QString& url)> onUrlChanged;
    std::function<void(bool ok)> onLoadFinished;
    // A download the page started; the view itself never downloads.
    std::function<void(const QString& url)> onDownloadRequested;
    // A page console line, with its source and line number.
    std::function<void(const QString& message, const QString& source, int line)> onConsoleMessage;
    // An exec:// link of a trusted frame in a trusted page, or a user- or
    // script-started exec:// navigation of a trusted page's main frame: the
    // text after "exec://", as the page wrote it. Other frames, other pages
    // and redirects never get here.
    std::function<void(const QString& commandLine)> onExecRequested;
    // The process that draws the page keeps ending (the view reloaded the
    // page after each end, a bounded number of times, and gave up).
    std::function<void()> onRenderProcessGone;
};

}  // namespace webui
