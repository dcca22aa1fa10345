#pragma once
// The receiving side of a tagged back-end request. A class implements it beside
// QObject and lists it with Q_INTERFACES, so qobject_cast<online::HttpHandler*>
// (interface id "HttpHandler") finds this part of the object.

#include "online/requestname.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>

class QWidget;

namespace online {

class HttpHandler {
public:
    virtual ~HttpHandler() = default;

    // The body of a request that succeeded.
    virtual void handleHttpResponse(RequestName::Name name, const QByteArray& data) = 0;

    // Reports a failed request. The default shows the standard report, owned
    // by parent's window when there is one; returns 0.
    virtual int handleHttpError(RequestName::Name name, QNetworkReply::NetworkError error, const QString& errorMsg,
                                QWidget* parent = nullptr);

protected:
    HttpHandler() = default;
    HttpHandler(const HttpHandler&) = default;
    HttpHandler& operator=(const HttpHandler&) = default;
};

// The words naming a request kind in the report; empty for kinds that are
// never reported (9 and 10).
QString requestKindText(RequestName::Name name);
// Whether a failure of this kind is shown at all.
bool isReportedKind(RequestName::Name name);
// The report's text for one failure.
QString httpErrorReportText(RequestName::Name name, int error, const QString& errorMsg);
// Shows the report (or nothing for the silent kinds); what handleHttpError does
// by default. Returns 0.
int showHttpErrorReport(RequestName::Name name, int error, const QString& errorMsg, QWidget* parent);

}  // namespace online

Q_DECLARE_INTERFACE(online::HttpHandler, "HttpHandler")
