#include "webui/pageserving.h"

#include "webui/bridgeprotocol.h"
#include "webui/localpages.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestJob>
#include <map>

namespace webui {

void LocalPageInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
        return;
    const std::optional<QString> path = pages::relativePagePath(url);
    // Anything else, a refused path included, goes to the network unchanged.
    if (!path || pages::localFileFor(*path).isEmpty())
        return;
    info.redirect(pages::schemeUrl(*path, url));
}

void LocalPageSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    const std::optional<QString> path = pages::relativePagePath(url);
    if (!path) {
        qDebug().noquote() << "pages: refused" << url.toString().left(300);
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QString file = pages::localFileFor(*path);
    if (file.isEmpty()) {
        // A relative link to a file we do not have: the page server may.
        const QUrl remote = pages::remoteUrl(*path, url);
        if (remote.isValid())
            job->redirect(remote);
        else
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* device = new QFile(file, job);
    if (!device->open(QIODevice::ReadOnly)) {
        qDebug().noquote() << "pages: cannot read" << file;
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    job->reply(pages::mimeTypeFor(file), device);
}

namespace {

struct ProfileStore {
    LocalPageInterceptor* interceptor = nullptr;
    LocalPageSchemeHandler* handler = nullptr;
    std::map<QString, QWebEngineProfile*> profiles;
};

ProfileStore& store()
{
    static ProfileStore instance;
    return instance;
}

QWebEngineProfile* makeProfile(const QString& storagePath)
{
    ProfileStore& s = store();
    if (!s.interceptor) {
        s.interceptor = new LocalPageInterceptor;
        s.handler = new LocalPageSchemeHandler;
    }
    QString name = QStringLiteral("Korvane");
    if (!storagePath.isEmpty())
        name += QLatin1Char('-') +
                QString::fromLatin1(QCryptographicHash::hash(storagePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
    auto* profile = new QWebEngineProfile(name);
    if (!storagePath.isEmpty()) {
        QDir().mkpath(storagePath);
        profile->setPersistentStoragePath(storagePath);
    }
    profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    profile->setUrlRequestInterceptor(s.interceptor);
    profile->installUrlSchemeHandler(pages::kScheme, s.handler);

    QWebEngineScript shim;
    shim.setName(QStringLiteral("korvane-bridge"));
    shim.setSourceCode(bridge::shimScript());
    shim.setInjectionPoint(QWebEngineScript::DocumentCreation);
    shim.setWorldId(QWebEngineScript::MainWorld);
    shim.setRunsOnSubFrames(true);
    profile->scripts()->insert(shim);
    return profile;
}

}  // namespace

QWebEngineProfile* profileFor(const QString& storagePath)
{
    const QString key = storagePath.isEmpty() ? QString() : QDir::cleanPath(storagePath);
    ProfileStore& s = store();
    auto it = s.profiles.find(key);
    if (it == s.profiles.end())
        it = s.profiles.emplace(key, makeProfile(key)).first;
    return it->second;
}

void releaseProfiles()
{
    ProfileStore& s = store();
    for (auto& entry : s.profiles)
        delete entry.second;
    s.profiles.clear();
    delete s.interceptor;
    delete s.handler;
    s.interceptor = nullptr;
    s.handler = nullptr;
}

}  // namespace webui
