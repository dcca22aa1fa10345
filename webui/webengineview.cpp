#include "webui/webengineview.h"

#include "webui/bindings.h"
#include "webui/bridgeprotocol.h"
#include "webui/localpages.h"
#include "webui/pageserving.h"

#include <QAction>
#include <QDebug>
#include <QJsonArray>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadItem>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <map>

namespace webui {

namespace {

bool isKnownScheme(const QString& scheme)
{
    static const QStringList known = {QStringLiteral("http"),  QStringLiteral("https"), QStringLiteral("file"),
                                      QStringLiteral("data"),  QStringLiteral("about"), QStringLiteral("blob"),
                                      QString::fromLatin1(pages::kScheme)};
    return known.contains(scheme);
}

}  // namespace

BridgePage::BridgePage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent)
{
    // exec: navigations reach acceptNavigationRequest only with this policy;
    // every unknown scheme is refused there.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
    settings()->setAttribute(QWebEngineSettings::LocalStorageEnabled, true);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    setBackgroundColor(Qt::white);
    // A navigation of the main frame is under way from its acceptance until
    // it commits (the URL changes) or ends without a page.
    connect(this, &QWebEnginePage::urlChanged, this, [this] { m_mainNavigationPending = false; });
    connect(this, &QWebEnginePage::loadFinished, this, [this] { m_mainNavigationPending = false; });
}

bool BridgePage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                                  QString* result)
{
    if (msg != bridge::kPromptMarker)
        return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
    if (!pages::isTrustedFrame(securityOrigin, url())) {
        // The shim of such a frame asks for the names once and gets nothing;
        // a page that forges a call is told nothing either.
        *result = bridge::encodeResult(QJsonValue(QJsonValue::Undefined));
        const bridge::Request request = bridge::parseRequest(defaultValue.left(4096));
        if (request.function != bridge::kNamesFunction)
            qWarning().noquote() << "bridge: refused a call from" << securityOrigin.toString().left(200);
        return true;
    }
    const bridge::Request request = bridge::parseRequest(defaultValue);
    if (!request.valid) {
        *result = bridge::encodeResult(QJsonValue(QJsonValue::Undefined));
        return true;
    }
    if (request.function == bridge::kNamesFunction) {
        *result = bridge::encodeResult(QJsonArray::fromStringList(BindingRegistry::instance().names()));
        return true;
    }
    if (request.function == bridge::kExecFunction) {
        requestExec(request.args.at(0).toString());
        *result = bridge::encodeResult(QJsonValue(QJsonValue::Undefined));
        return true;
    }
    QPointer<BridgePage> alive(this);
    const QJsonValue value = BindingRegistry::instance().invoke(request.function, request.args);
    if (alive)
        *result = bridge::encodeResult(value);
    return true;
}

void BridgePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int lineNumber,
                                          const QString& sourceID)
{
    qDebug().noquote() << QStringLiteral("page %1:%2:").arg(sourceID.left(300)).arg(lineNumber) << message.left(4000);
    const auto handler = onConsole;
    if (handler)
        handler(message, sourceID, lineNumber);
}

bool BridgePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("exec")) {
        // Only the main frame of one of our pages, by a click, a script or the
        // address box; never a frame, a form or history, and never a server's
        // redirect. The engine calls a script's navigation a redirect too: a
        // server's comes while a navigation of the main frame is under way
        // (accepted, not yet committed), a script's does not.
        const bool started = type == NavigationTypeLinkClicked || type == NavigationTypeTyped ||
                             type == NavigationTypeOther || type == NavigationTypeRedirect;
        if (!isMainFrame || !started || m_mainNavigationPending || !pages::isTrustedUrl(this->url())) {
            const QString during = m_mainNavigationPending && isMainFrame ? QStringLiteral(" during another navigation")
                                                                          : QString();
            qWarning().noquote() << "page: exec refused for a" << (isMainFrame ? "main-frame" : "sub-frame")
                                 << "navigation of type" << QString::number(int(type)) + during << "from"
                                 << this->url().toString().left(200) << "to"
                                 << (url.isValid() ? url.toString() : url.errorString()).left(300);
            return false;
        }
        requestExec(url.toString());
        return false;
    }
    if (!isKnownScheme(scheme)) {
        qDebug().noquote() << "page: navigation to an unknown scheme refused:" << url.toString().left(200);
        return false;
    }
    const bool accepted = QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    if (accepted && isMainFrame)
        m_mainNavigationPending = true;
    return accepted;
}

void BridgePage::requestExec(const QString& rawUrl)
{
    if (!pages::isTrustedUrl(url())) {
        qWarning().noquote() << "page: exec refused for" << url().toString().left(200);
        return;
    }
    const QString prefix = QStringLiteral("exec://");
    if (!rawUrl.startsWith(prefix, Qt::CaseInsensitive))
        return;
    const auto handler = onExec;
    if (handler)
        handler(rawUrl.mid(prefix.size()));
}

WebEngineView::WebEngineView(QWidget* parent, const QString& storagePath)
{
    QWebEngineProfile* profile = profileFor(storagePath);
    m_view = new QWebEngineView(parent);
    m_page = new BridgePage(profile, m_view);
    m_view->setPage(m_page);
    m_context = new QObject(m_view);
    m_cookies = new std::map<QByteArray, QByteArray>;

    QObject::connect(m_page, &QWebEnginePage::titleChanged, m_context, [this](const QString& title) {
        if (onTitleChanged)
            onTitleChanged(title);
    });
    QObject::connect(m_page, &QWebEnginePage::urlChanged, m_context, [this](const QUrl& url) {
        if (onUrlChanged)
            onUrlChanged(url.toString());
    });
    QObject::connect(m_page, &QWebEnginePage::renderProcessTerminated, m_context,
                     [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                         onRenderProcessTerminated(int(status), exitCode);
                     });
    QObject::connect(m_page, &QWebEnginePage::loadFinished, m_context, [this](bool ok) {
        if (ok)
            m_sinceLoad.start();
        if (onLoadFinished)
            onLoadFinished(ok);
    });
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, m_context, [this](QWebEngineDownloadItem* item) {
        if (item->page() != m_page)
            return;
        const QString url = item->url().toString();
        item->cancel();
        if (onDownloadRequested)
            onDownloadRequested(url);
    });
    // The cookie store is per profile: keep this view's picture of it.
    QWebEngineCookieStore* cookieStore = profile->cookieStore();
    auto* cookies = m_cookies;
    QObject::connect(cookieStore, &QWebEngineCookieStore::cookieAdded, m_context,
                     [cookies](const QNetworkCookie& c) { (*cookies)[c.name()] = c.value(); });
    QObject::connect(cookieStore, &QWebEngineCookieStore::cookieRemoved, m_context,
                     [cookies](const QNetworkCookie& c) { cookies->erase(c.name()); });
    cookieStore->loadAllCookies();

    m_page->onExec = [this](const QString& commandLine) {
        if (onExecRequested)
            onExecRequested(commandLine);
    };
    m_page->onConsole = [this](const QString& message, const QString& source, int line) {
        if (onConsoleMessage)
            onConsoleMessage(message, source, line);
    };
    // Names bound after this page was created join it at once.
    QObject::connect(&BindingRegistry::instance(), &BindingRegistry::nameAdded, m_context, [this](const QString& name) {
        if (m_page)
            m_page->runJavaScript(bridge::defineNameScript(name));
    });
}

WebEngineView::~WebEngineView()
{
    if (m_page) {
        m_page->onExec = nullptr;
        m_page->onConsole = nullptr;
    }
    if (m_view) {
        delete m_context;
        m_view->hide();
        m_view->setParent(nullptr);
        // The page may be inside one of its own calls (a page closing its own
        // window): let that call return first.
        m_view->deleteLater();
    }
    delete m_cookies;
}

QWidget* WebEngineView::widget()
{
    return m_view;
}

void WebEngineView::loadUrl(const QString& url)
{
    if (m_page)
        m_page->load(QUrl::fromUserInput(url));
}

QString WebEngineView::url() const
{
    return m_page ? m_page->url().toString() : QString();
}

QString WebEngineView::title() const
{
    return m_page ? m_page->title() : QString();
}

void WebEngineView::goBack()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Back);
}

void WebEngineView::goForward()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Forward);
}

bool WebEngineView::canGoBack() const
{
    return m_page && m_page->action(QWebEnginePage::Back)->isEnabled();
}

bool WebEngineView::canGoForward() const
{
    return m_page && m_page->action(QWebEnginePage::Forward)->isEnabled();
}

void WebEngineView::setZoomFactor(double factor)
{
    if (m_page)
        m_page->setZoomFactor(qBound(0.25, factor, 5.0));
}

void WebEngineView::setEditable(bool editable)
{
    m_editable = editable;
    runScript(QStringLiteral("document.designMode = '%1';").arg(editable ? QStringLiteral("on") : QStringLiteral("off")),
              {});
}

QString WebEngineView::cookies() const
{
    QStringList parts;
    for (const auto& entry : *m_cookies)
        parts << QString::fromUtf8(entry.first + '=' + entry.second);
    return parts.join(QStringLiteral("; "));
}

void WebEngineView::bindFunction(const QString& name, int declaredCount, NativeFunction function)
{
    BindingRegistry::instance().bind(name, declaredCount, std::move(function));
}

void WebEngineView::callPageFunction(const QString& name, const QJsonArray& args, PageResultCallback onResult)
{
    runGuarded(bridge::pageCallScript(name, args), std::move(onResult), name);
}

void WebEngineView::runTrustedScript(const QString& script, PageResultCallback onResult)
{
    runGuarded(bridge::evaluateScript(script), std::move(onResult), QStringLiteral("a script"));
}

void WebEngineView::runGuarded(const QString& wrapped, PageResultCallback onResult, const QString& what)
{
    if (!m_page)
        return;
    const QUrl shown = m_page->url();
    if (!pages::isTrustedUrl(shown)) {
        qDebug().noquote() << "page:" << what.left(100) << "not delivered to" << shown.toString().left(200);
        return;
    }
    // The page may change before the script runs: it checks again where it runs.
    runWrapped(QStringLiteral("(location.origin === %1 ? %2 : '{}')")
                   .arg(bridge::jsString(pages::originOf(shown)), wrapped),
               std::move(onResult));
}

void WebEngineView::onRenderProcessTerminated(int status, int exitCode)
{
    qWarning().noquote() << "page: the render process of" << url().left(200) << "ended, status" << status << "code"
                         << exitCode;
    if (!m_page)
        return;
    // A page that stayed up a while earns a fresh count.
    if (m_sinceLoad.isValid() && m_sinceLoad.elapsed() > kStableMilliseconds)
        m_rendererEnds = 0;
    m_sinceLoad.invalidate();
    if (++m_rendererEnds > kMaxReloads) {
        qWarning().noquote() << "page: giving up after" << kMaxReloads << "reloads";
        if (onRenderProcessGone)
            onRenderProcessGone();
        return;
    }
    // Reloaded from the event loop: the engine is still inside its own signal.
    QPointer<BridgePage> page = m_page;
    QMetaObject::invokeMethod(
        m_context,
        [page] {
            if (page)
                page->triggerAction(QWebEnginePage::Reload);
        },
        Qt::QueuedConnection);
}

void WebEngineView::retryAfterRenderProcessGone()
{
    m_rendererEnds = 0;
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Reload);
}

void WebEngineView::runScript(const QString& script, PageResultCallback onResult)
{
    runWrapped(bridge::evaluateScript(script), std::move(onResult));
}

void WebEngineView::runWrapped(const QString& wrapped, PageResultCallback onResult)
{
    if (!m_page)
        return;
    if (!onResult) {
        m_page->runJavaScript(wrapped);
        return;
    }
    // The callback may come after this view is gone; it owes nothing to it.
    m_page->runJavaScript(wrapped, [onResult](const QVariant& result) { onResult(bridge::decodePageResult(result)); });
}

}  // namespace webui
