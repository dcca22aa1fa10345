#pragma once
// The web engine's side of local pages: the interceptor that sends requests
// under the page base URL to the private scheme when the file is here, the
// scheme handler that serves the files, and the persistent profiles that carry
// both plus the bridge shim.

#include <QString>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

namespace webui {

class LocalPageInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

class LocalPageSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override;
};

// The profile for a storage folder: empty means the program's own named
// profile under the user's data folder. Profiles live until
// releaseProfiles(), which must run after every page is gone.
QWebEngineProfile* profileFor(const QString& storagePath);
void releaseProfiles();

}  // namespace webui
