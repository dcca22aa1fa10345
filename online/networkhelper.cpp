#include "online/networkhelper.h"

#include "i18n/international.h"
#include "online/backendhosts.h"
#include "online/httphandler.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <cstdio>

namespace online {

namespace {

// Set on a tagged reply that was stopped for its size.
const char* const kTooLargeProperty = "korvaneReplyTooLarge";
const char* const kTooLargeText = QT_TRANSLATE_NOOP("NetworkHelper", "The reply is larger than %1 bytes");

}  // namespace

NetworkHelper& NetworkHelper::instance()
{
    // Never destroyed: a network manager torn down after the application
    // object has gone can block on its worker thread at exit.
    static NetworkHelper* const helper = new NetworkHelper;
    return *helper;
}

NetworkHelper::NetworkHelper()
{
    // The manager's "network accessible" switch belongs to Qt's retired bearer
    // management and is always on here, so it is left alone.
    const bool international = i18n::International::instance().isInternational();
    m_backendBase = parseHost(QString::fromUtf8(international ? kBackendHostInternational : kBackendHost));
    connect(&m_manager, &QNetworkAccessManager::finished, this, &NetworkHelper::handleResponse);
}

QUrl NetworkHelper::parseHost(const QString& configured)
{
    QUrl url(configured.contains(QLatin1String("://")) ? configured : QStringLiteral("https://") + configured);
    url.setPath(QString());
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

void NetworkHelper::randomLogin(const QString& token, HttpHandler* handler)
{
    QUrl url = m_backendBase;
    url.setPath(QStringLiteral("/api/driver/user/randomlogin"));

    auto* tag = new RequestName(RequestName::RandomLogin, handler);
    QNetworkRequest request(url);
    request.setOriginatingObject(tag);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Without a bound a silent server would keep the caller's nested loop
    // spinning for ever.
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setRawHeader("Accept-Language", i18n::International::instance().languageCode().toUtf8());
    if (!token.isEmpty())
        request.setRawHeader("token", token.toUtf8());

    // handleResponse deletes the tag once the handler has its answer, which is
    // exactly when this wait may end (the reply may finish before the loop
    // even starts).
    QPointer<RequestName> pending(tag);
    QEventLoop loop;
    connect(tag, &QObject::destroyed, &loop, &QEventLoop::quit);
    limitReplySize(m_manager.get(request));
    if (pending)
        loop.exec();
}

void NetworkHelper::limitReplySize(QNetworkReply* reply)
{
    const auto stop = [reply] {
        if (reply->property(kTooLargeProperty).toBool())
            return;
        reply->setProperty(kTooLargeProperty, true);
        reply->abort();  // finished() then reaches handleResponse
    };
    // A server that says in advance is stopped before its body arrives; one
    // that does not is stopped as soon as the count passes the limit.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, stop] {
        bool known = false;
        const qlonglong announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && announced > kMaxBackendReplyBytes)
            stop();
    });
    // readyRead, not downloadProgress: the network layer spaces progress
    // signals at least 100 ms apart, and a reply that fills its buffer in
    // between would stall silently until the transfer timeout.
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, stop] {
        if (reply->bytesAvailable() > kMaxBackendReplyBytes)
            stop();
    });
    // Room to pass the limit (so it is noticed) but not to grow without end
    // while the UI thread is busy.
    reply->setReadBufferSize(2 * kMaxBackendReplyBytes);
}

QNetworkReply* NetworkHelper::startGet(const QString& url, const HeaderList& headers, QObject* receiver)
{
    QNetworkRequest request(QUrl::fromUserInput(url));
    for (const auto& header : headers)
        request.setRawHeader(header.first.toUtf8(), header.second.toUtf8());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(m_transferTimeoutMs);

    QNetworkReply* reply = m_manager.get(request);
    const bool connected = connect(reply, SIGNAL(finished()), receiver, SLOT(handleHttpFinished())) &&
                           connect(reply, SIGNAL(readyRead()), receiver, SLOT(handleHttpReadyRead())) &&
                           connect(reply, SIGNAL(downloadProgress(qint64, qint64)), receiver,
                                   SLOT(handleProgress(qlonglong, qlonglong)));
    if (!connected)
        std::fprintf(stderr, "startGet: the receiver lacks the download slots\n");
    return reply;
}

void NetworkHelper::handleResponse(QNetworkReply* reply)
{
    QObject* origin = reply->request().originatingObject();
    if (!origin)
        return;  // a download: its receiver owns the reply
    auto* tag = qobject_cast<RequestName*>(origin);
    if (!tag)
        return;
    if (HttpHandler* handler = tag->handler()) {
        if (reply->property(kTooLargeProperty).toBool() || reply->bytesAvailable() > kMaxBackendReplyBytes) {
            std::fprintf(stderr, "backend: a reply of kind %d passed %lld bytes and was stopped\n",
                         static_cast<int>(tag->name()), static_cast<long long>(kMaxBackendReplyBytes));
            handler->handleHttpError(
                tag->name(), QNetworkReply::UnknownContentError,
                QCoreApplication::translate("NetworkHelper", kTooLargeText).arg(kMaxBackendReplyBytes), nullptr);
        } else if (reply->error() != QNetworkReply::NoError)
            handler->handleHttpError(tag->name(), reply->error(), reply->errorString(), nullptr);
        else
            handler->handleHttpResponse(tag->name(), reply->readAll());
    }
    delete tag;
    reply->deleteLater();
}

}  // namespace online
