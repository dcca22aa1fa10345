#pragma once
// All HTTP traffic of the program goes through this one object and its network
// manager: tagged back-end requests, whose answers it hands to an HttpHandler,
// and plain GETs for downloads, whose reply signals go straight to a receiver.
// UI thread only.

#include "online/requestname.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

class QNetworkReply;

namespace online {

class HttpHandler;

using HeaderList = QList<QPair<QString, QString>>;

class NetworkHelper : public QObject {
    Q_OBJECT
public:
    // A transfer that receives nothing for this long is ended with an error.
    static constexpr int kDefaultTransferTimeoutMs = 60 * 1000;
    // Back-end answers are small JSON or an avatar; a reply past this is
    // stopped and reported to its handler as a failed request with
    // QNetworkReply::UnknownContentError.
    static constexpr qint64 kMaxBackendReplyBytes = 1024 * 1024;

    static NetworkHelper& instance();

    // Asks the back end for a login from a stored token and waits for the
    // answer, which reaches handler (kind RandomLogin) before this returns.
    // Other events are processed meanwhile.
    void randomLogin(const QString& token, HttpHandler* handler);

    // A download GET. receiver must have the slots handleHttpFinished(),
    // handleHttpReadyRead() and handleProgress(qlonglong, qlonglong); it owns
    // the reply from now on and releases it with deleteLater. Redirects are
    // not followed: the receiver sees the redirect reply.
    QNetworkReply* startGet(const QString& url, const HeaderList& headers, QObject* receiver);

    // The scheme, host and port the back-end requests go to.
    QUrl backendBase() const { return m_backendBase; }
    void setBackendBase(const QUrl& base) { m_backendBase = base; }

    int transferTimeoutMs() const { return m_transferTimeoutMs; }
    void setTransferTimeoutMs(int milliseconds) { m_transferTimeoutMs = milliseconds; }

    QNetworkAccessManager& manager() { return m_manager; }

    // "https://api.example" or a bare "api.example" as a request base.
    static QUrl parseHost(const QString& configured);

public slots:
    void handleResponse(QNetworkReply* reply);

private:
    NetworkHelper();
    static void limitReplySize(QNetworkReply* reply);

    QNetworkAccessManager m_manager;
    QUrl m_backendBase;
    int m_transferTimeoutMs = kDefaultTransferTimeoutMs;
};

}  // namespace online
