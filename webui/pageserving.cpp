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
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestJob>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/file.h>
#include <unistd.h>

namespace webui {

namespace {

// Our files go into our own pages only: a top-level navigation replaces
// whatever was shown, while anything embedded or fetched must come from one
// of our pages and be asked for by one of them (a foreign frame inside our
// page does not count).
bool mayServe(const QWebEngineUrlRequestInfo& info)
{
    if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
        return true;
    return pages::isTrustedUrl(info.firstPartyUrl()) && pages::isTrustedInitiator(info.initiator());
}

}  // namespace

void LocalPageInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    const bool ours = url.scheme() == QLatin1String(pages::kScheme);
    if (!ours && url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
        return;
    if (!ours) {
        const std::optional<QString> path = pages::relativePagePath(url);
        // Anything else, a refused path included, goes to the network unchanged.
        if (!path || pages::localFileFor(*path).isEmpty())
            return;
    }
    if (!mayServe(info)) {
        qWarning().noquote() << "pages: refused" << url.toString().left(300) << "to"
                             << info.firstPartyUrl().toString().left(200) << "asked by"
                             << info.initiator().toString().left(200);
        info.block(true);
        return;
    }
    if (!ours)
        info.redirect(pages::schemeUrl(*pages::relativePagePath(url), url));
}

void LocalPageSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    // No initiator: the program itself (or the user) asked.
    const QUrl initiator = job->initiator();
    if (!initiator.isEmpty() && !pages::isTrustedInitiator(initiator)) {
        qWarning().noquote() << "pages: refused" << url.toString().left(300) << "asked by"
                             << initiator.toString().left(200);
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
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

// Whether this process may use the profile's folder: the first instance to
// lock it keeps it (the lock goes with the process, however it ends). The
// engine's databases there admit one process at a time.
bool claimStorage(const QString& folder)
{
    static std::set<QString> claimed;
    if (claimed.count(folder))
        return true;
    QDir().mkpath(folder);
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/korvane-instance.lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;  // nothing to coordinate with; the engine will say what it can't do
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // Held open until the process ends.
    claimed.insert(folder);
    return true;
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
    if (!storagePath.isEmpty())
        profile->setPersistentStoragePath(storagePath);
    if (claimStorage(profile->persistentStoragePath())) {
        profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    } else {
        // Another instance of the program uses that folder: this one keeps
        // its pages' storage in memory for its lifetime.
        qWarning().noquote() << "pages: another instance uses" << profile->persistentStoragePath()
                             << "- this one keeps its page storage in memory";
        delete profile;
        profile = new QWebEngineProfile;
    }
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
