#include "webui/headlessview.h"

#include "webui/bindings.h"
#include "webui/headlessdom.h"
#include "webui/localpages.h"
#include "webui/pagejson.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJSEngine>
#include <QJSValueIterator>
#include <QJsonObject>
#include <QTimer>
#include <cmath>
#include <map>

namespace webui {

namespace {

constexpr int kMaxDepth = 64;
constexpr quint32 kMaxArrayLength = 1000000;
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

QJsonValue toJson(const QJSValue& value, int depth = 0)
{
    if (value.isUndefined() || value.isCallable() || value.isQObject())
        return QJsonValue(QJsonValue::Undefined);
    if (value.isNull() || depth > kMaxDepth)
        return QJsonValue(QJsonValue::Null);
    if (value.isBool())
        return value.toBool();
    if (value.isNumber()) {
        const double number = value.toNumber();
        return std::isfinite(number) ? QJsonValue(number) : QJsonValue(QJsonValue::Null);
    }
    if (value.isString())
        return value.toString();
    if (value.isDate())
        return value.toDateTime().toString(Qt::ISODateWithMs);
    if (value.isArray()) {
        QJsonArray array;
        const quint32 length = qMin(value.property(QStringLiteral("length")).toUInt(), kMaxArrayLength);
        for (quint32 i = 0; i < length; ++i) {
            const QJsonValue item = toJson(value.property(i), depth + 1);
            array.append(item.isUndefined() ? QJsonValue(QJsonValue::Null) : item);
        }
        return array;
    }
    if (value.isObject()) {
        QJsonObject object;
        QJSValueIterator it(value);
        while (it.hasNext()) {
            it.next();
            const QJsonValue item = toJson(it.value(), depth + 1);
            if (!item.isUndefined())
                object.insert(it.name(), item);
        }
        return object;
    }
    return QJsonValue(QJsonValue::Undefined);
}

QJSValue fromJson(const QJsonValue& value, QJSEngine& engine)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QJSValue(QJSValue::NullValue);
    case QJsonValue::Bool:
        return QJSValue(value.toBool());
    case QJsonValue::Double:
        return QJSValue(value.toDouble());
    case QJsonValue::String:
        return QJSValue(value.toString());
    case QJsonValue::Array: {
        const QJsonArray array = value.toArray();
        QJSValue result = engine.newArray(uint(array.size()));
        for (int i = 0; i < array.size(); ++i)
            result.setProperty(quint32(i), fromJson(array.at(i), engine));
        return result;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        QJSValue result = engine.newObject();
        // Members in the order the page would get them from the real engine.
        for (const QString& key : memberOrder(object))
            result.setProperty(key, fromJson(object.value(key), engine));
        return result;
    }
    case QJsonValue::Undefined:
        break;
    }
    return QJSValue(QJSValue::UndefinedValue);
}

// The page's own files only: the page folders through the base URL or the
// private scheme, or a local file.
QString fileForUrl(const QUrl& url)
{
    if (url.isLocalFile())
        return QFileInfo(url.toLocalFile()).isFile() ? url.toLocalFile() : QString();
    const std::optional<QString> path = pages::relativePagePath(url);
    return path ? pages::localFileFor(*path) : QString();
}

// How deep the UI thread is inside page script right now. An engine may
// only be deleted at once when no script runs: a bound function called by
// the page can be what destroys the view.
int scriptDepth = 0;

struct ScriptScope {
    ScriptScope() { ++scriptDepth; }
    ~ScriptScope() { --scriptDepth; }
    ScriptScope(const ScriptScope&) = delete;
    ScriptScope& operator=(const ScriptScope&) = delete;
};

void releaseEngine(QJSEngine* engine)
{
    if (!engine)
        return;
    if (scriptDepth == 0)
        delete engine;  // the host, its child, goes with it
    else
        engine->deleteLater();
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(kMaxFileBytes));
}

}  // namespace

// What the page's scripts see as __korvaneHost: bound calls, timers, console.
class HeadlessHost : public QObject {
    Q_OBJECT
public:
    HeadlessHost(QJSEngine* engine, bool trusted) : m_engine(engine), m_trusted(trusted) {}

    std::function<void(const QString&, const QString&, int)> onConsole;

    Q_INVOKABLE QJSValue call(const QString& name, const QJSValue& args)
    {
        if (!m_trusted)
            return QJSValue(QJSValue::UndefinedValue);
        const QJsonValue list = toJson(args);
        QPointer<QJSEngine> engine(m_engine);
        const QJsonValue result = BindingRegistry::instance().invoke(name, list.toArray());
        if (!engine)
            return QJSValue(QJSValue::UndefinedValue);
        return fromJson(result, *engine);
    }

    Q_INVOKABLE int addTimer(const QJSValue& function, int ms, bool repeat)
    {
        const int id = ++m_lastTimer;
        auto* timer = new QTimer(this);
        timer->setSingleShot(!repeat);
        timer->setInterval(qBound(0, ms, 24 * 3600 * 1000));
        m_timers[id] = timer;
        QJSValue fn = function;
        connect(timer, &QTimer::timeout, this, [this, id, fn, repeat]() mutable {
            if (!repeat)
                clearTimer(id);
            ScriptScope scope;
            const QJSValue result = fn.call();
            if (result.isError())
                report(result);
        });
        timer->start();
        return id;
    }

    Q_INVOKABLE void clearTimer(int id)
    {
        const auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        it->second->stop();
        it->second->deleteLater();
        m_timers.erase(it);
    }

    Q_INVOKABLE void console(const QString& level, const QString& text, const QString& source, int line)
    {
        qDebug().noquote() << QStringLiteral("page %1:%2: [%3]").arg(source.left(300)).arg(line).arg(level)
                           << text.left(4000);
        const auto handler = onConsole;
        if (handler)
            handler(text, source, line);
    }

    void report(const QJSValue& error)
    {
        QString source = error.property(QStringLiteral("fileName")).toString();
        if (source.startsWith(QLatin1String("file:")) && !source.startsWith(QLatin1String("file:/")))
            source = source.mid(5);  // the engine marks every source as a file
        console(QStringLiteral("error"), error.toString(), source, error.property(QStringLiteral("lineNumber")).toInt());
    }

private:
    QJSEngine* m_engine;
    bool m_trusted;
    int m_lastTimer = 0;
    std::map<int, QTimer*> m_timers;
};

HeadlessView::HeadlessView()
{
    m_context = new QObject;
    m_alive = std::make_shared<bool>(true);
    m_nameAdded = QObject::connect(&BindingRegistry::instance(), &BindingRegistry::nameAdded, m_context,
                                   [this](const QString& name) { defineName(name); });
}

HeadlessView::~HeadlessView()
{
    *m_alive = false;
    QObject::disconnect(m_nameAdded);
    if (m_host)
        m_host->onConsole = nullptr;
    releaseEngine(m_engine);
    m_context->deleteLater();
}

QString HeadlessView::title() const
{
    return m_engine ? m_engine->globalObject().property(QStringLiteral("document")).property(QStringLiteral("title")).toString()
                    : QString();
}

void HeadlessView::goBack()
{
    if (!canGoBack())
        return;
    --m_historyIndex;
    const QString url = m_history[size_t(m_historyIndex)];
    enqueue([this, url] { load(url, false); });
}

void HeadlessView::goForward()
{
    if (!canGoForward())
        return;
    ++m_historyIndex;
    const QString url = m_history[size_t(m_historyIndex)];
    enqueue([this, url] { load(url, false); });
}

void HeadlessView::loadUrl(const QString& url)
{
    enqueue([this, url] { load(url, true); });
}

void HeadlessView::bindFunction(const QString& name, int declaredCount, NativeFunction function)
{
    BindingRegistry::instance().bind(name, declaredCount, std::move(function));
}

void HeadlessView::callPageFunction(const QString& name, const QJsonArray& args, PageResultCallback onResult)
{
    enqueue([this, name, args, onResult] {
        QJsonValue result(QJsonValue::Undefined);
        if (m_engine) {
            QJSValue function = m_engine->globalObject().property(name);
            if (function.isCallable()) {
                QJSValueList list;
                for (const QJsonValue& arg : args)
                    list << fromJson(arg, *m_engine);
                const QPointer<QJSEngine> engine(m_engine);
                HeadlessHost* host = m_host;
                ScriptScope scope;
                result = settle(function.call(list), engine, host);
            }
        }
        if (onResult)
            onResult(result);
    });
}

void HeadlessView::runScript(const QString& script, PageResultCallback onResult)
{
    enqueue([this, script, onResult] {
        QJsonValue result(QJsonValue::Undefined);
        if (m_engine) {
            const QPointer<QJSEngine> engine(m_engine);
            HeadlessHost* host = m_host;
            ScriptScope scope;
            result = settle(m_engine->evaluate(script, m_url), engine, host);
        }
        if (onResult)
            onResult(result);
    });
}

QJsonValue HeadlessView::settle(const QJSValue& value, const QPointer<QJSEngine>& engine, HeadlessHost* host)
{
    // Nothing of the view is touched: the page may have destroyed it, while
    // its engine (and the host, its child) lives until the event loop turns.
    if (!engine)
        return QJsonValue(QJsonValue::Undefined);
    if (value.isError()) {
        host->report(value);
        return QJsonValue(QJsonValue::Undefined);
    }
    return toJson(value);
}

void HeadlessView::enqueue(std::function<void()> task)
{
    m_queue.push_back(std::move(task));
    if (m_scheduled)
        return;
    m_scheduled = true;
    const auto alive = m_alive;
    QMetaObject::invokeMethod(
        m_context,
        [this, alive] {
            if (*alive)
                runQueue();
        },
        Qt::QueuedConnection);
}

void HeadlessView::runQueue()
{
    m_scheduled = false;
    const auto alive = m_alive;
    while (!m_queue.empty()) {
        std::function<void()> task = std::move(m_queue.front());
        m_queue.pop_front();
        task();
        if (!*alive)
            return;
    }
}

void HeadlessView::defineName(const QString& name)
{
    if (!m_engine || !m_trusted)
        return;
    ScriptScope scope;
    m_engine->globalObject().property(QStringLiteral("__korvaneDefine")).call({QJSValue(name)});
}

void HeadlessView::load(const QString& requested, bool addToHistory)
{
    const auto alive = m_alive;
    QUrl url = QUrl::fromUserInput(requested);
    // Pages under the base URL come from the private scheme, as in the real engine.
    if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")) {
        const std::optional<QString> path = pages::relativePagePath(url);
        if (path && !pages::localFileFor(*path).isEmpty())
            url = pages::schemeUrl(*path, url);
    }
    if (addToHistory) {
        m_history.resize(size_t(m_historyIndex + 1));
        m_history.push_back(url.toString());
        m_historyIndex = int(m_history.size()) - 1;
    }
    m_url = url.toString();
    if (onUrlChanged)
        onUrlChanged(m_url);
    if (!*alive)
        return;

    if (m_host)
        m_host->onConsole = nullptr;
    releaseEngine(m_engine);
    m_engine = nullptr;
    m_host = nullptr;

    const QString file = fileForUrl(url);
    if (file.isEmpty()) {
        qDebug().noquote() << "headless: nothing to load for" << m_url.left(300);
        if (onLoadFinished)
            onLoadFinished(false);
        return;
    }
    const headless::PageParts parts = headless::parsePage(readText(file));
    m_trusted = pages::isTrustedUrl(url);
    m_engine = new QJSEngine;
    // Parented, so the script engine never takes it over.
    m_host = new HeadlessHost(m_engine, m_trusted);
    m_host->setParent(m_engine);
    m_host->onConsole = [this](const QString& message, const QString& source, int line) {
        if (onConsoleMessage)
            onConsoleMessage(message, source, line);
    };
    QJSValue global = m_engine->globalObject();
    global.setProperty(QStringLiteral("__korvaneHost"), m_engine->newQObject(m_host));
    ScriptScope scope;
    m_engine->evaluate(headless::preludeScript(url, parts.title));
    if (m_trusted) {
        const QStringList names = BindingRegistry::instance().names();
        for (const QString& name : names)
            defineName(name);
    }

    QPointer<QJSEngine> engine(m_engine);
    auto run = [&](const QString& code, const QString& source, int line) {
        const QJSValue result = engine->evaluate(code, source, line);
        if (*alive && engine && result.isError())
            m_host->report(result);
        return *alive && engine;
    };
    for (const headless::PageScript& script : parts.scripts) {
        if (script.src.isEmpty()) {
            if (!run(script.source, m_url, script.line))
                return;
            continue;
        }
        const QUrl scriptUrl = url.resolved(QUrl(script.src));
        const QString scriptFile = fileForUrl(scriptUrl);
        if (scriptFile.isEmpty()) {
            m_host->console(QStringLiteral("warn"), QStringLiteral("script not run: ") + scriptUrl.toString().left(300),
                            m_url, script.line);
            continue;
        }
        if (!run(readText(scriptFile), scriptUrl.toString(), 1))
            return;
    }
    if (!run(QStringLiteral("__korvaneFire('DOMContentLoaded'); __korvaneFire('load');"), m_url, 1))
        return;
    const QString pageTitle = title();
    if (!pageTitle.isEmpty() && onTitleChanged)
        onTitleChanged(pageTitle);
    if (*alive && onLoadFinished)
        onLoadFinished(true);
}

}  // namespace webui

#include "headlessview.moc"
