#include "webui/localpages.h"

#include "sysutil/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMutex>
#include <QWebEngineUrlScheme>

#ifndef KORVANE_DEFAULT_PAGE_BASE_URL
#define KORVANE_DEFAULT_PAGE_BASE_URL "https://pages.korvane.example/"
#endif

namespace webui::pages {

namespace {

QMutex& baseLock()
{
    static QMutex lock;
    return lock;
}

QString& baseStorage()
{
    static QString base;
    return base;
}

QString normalisedBase(const QString& url)
{
    QString base = url.trimmed();
    if (!base.isEmpty() && !base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base;
}

bool sameServer(const QUrl& a, const QUrl& b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(a.scheme() == QLatin1String("http") ? 80 : 443) ==
               b.port(b.scheme() == QLatin1String("http") ? 80 : 443);
}

bool isSchemeRoot(const QUrl& url)
{
    return url.scheme() == QLatin1String(kScheme) && url.host() == QLatin1String(kSchemeHost);
}

// The encoded path below `root` ("/" for the scheme), or nullopt.
std::optional<QString> encodedPathBelow(const QUrl& url)
{
    const QString path = url.path(QUrl::FullyEncoded);
    if (isSchemeRoot(url))
        return path.startsWith(QLatin1Char('/')) ? std::optional<QString>(path.mid(1)) : std::nullopt;
    const QUrl base(baseUrl());
    if (!base.isValid() || base.host().isEmpty() || !url.userInfo().isEmpty() || !sameServer(url, base))
        return std::nullopt;
    const QString basePath = base.path(QUrl::FullyEncoded);
    if (!path.startsWith(basePath))
        return std::nullopt;
    return path.mid(basePath.size());
}

bool isInside(const QString& canonicalPath, const QString& root)
{
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    return !canonicalRoot.isEmpty() && canonicalPath.startsWith(canonicalRoot + QLatin1Char('/'));
}

QUrl withQueryOf(QUrl url, const QUrl& from)
{
    if (from.hasQuery())
        url.setQuery(from.query(QUrl::FullyEncoded), QUrl::StrictMode);
    if (from.hasFragment())
        url.setFragment(from.fragment(QUrl::FullyEncoded), QUrl::StrictMode);
    return url;
}

}  // namespace

void registerScheme()
{
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Secure so the pages keep local storage and secure-context features;
    // CORS so they may fetch their own files.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QString defaultBaseUrl()
{
    return QStringLiteral(KORVANE_DEFAULT_PAGE_BASE_URL);
}

QString baseUrl()
{
    QMutexLocker guard(&baseLock());
    return baseStorage();
}

void setBaseUrl(const QString& url)
{
    QMutexLocker guard(&baseLock());
    baseStorage() = normalisedBase(url);
}

void setBaseUrlIfUnset(const QString& url)
{
    QMutexLocker guard(&baseLock());
    if (baseStorage().isEmpty())
        baseStorage() = normalisedBase(url);
}

std::optional<QString> relativePagePath(const QUrl& url)
{
    if (!url.isValid())
        return std::nullopt;
    const std::optional<QString> encoded = encodedPathBelow(url);
    if (!encoded || encoded->isEmpty())
        return std::nullopt;
    const QString decoded = QUrl::fromPercentEncoding(encoded->toUtf8());
    if (decoded.contains(QChar(0)) || decoded.contains(QLatin1Char('\\')) || decoded.startsWith(QLatin1Char('/')))
        return std::nullopt;
    const QString clean = QDir::cleanPath(decoded);
    if (clean.isEmpty() || clean == QLatin1String(".") || clean == QLatin1String("..") ||
        clean.startsWith(QLatin1String("../")) || clean.startsWith(QLatin1Char('/')))
        return std::nullopt;
    return clean;
}

QString localFileFor(const QString& relativePath)
{
    // Only the page folder: the program folder beside it holds executables.
    const QString root = sysutil::htmlDir();
    const QFileInfo candidate(root + QLatin1Char('/') + relativePath);
    if (!candidate.isFile())
        return QString();
    const QString canonical = candidate.canonicalFilePath();
    return isInside(canonical, root) ? canonical : QString();
}

QUrl schemeUrl(const QString& relativePath, const QUrl& from)
{
    QUrl url;
    url.setScheme(QLatin1String(kScheme));
    url.setHost(QLatin1String(kSchemeHost));
    url.setPath(QLatin1Char('/') + relativePath);
    return withQueryOf(url, from);
}

QUrl remoteUrl(const QString& relativePath, const QUrl& from)
{
    const QString base = baseUrl();
    if (base.isEmpty())
        return QUrl();
    QUrl url(base);
    url.setPath(url.path() + relativePath);
    return withQueryOf(url, from);
}

bool isTrustedUrl(const QUrl& url)
{
    if (!url.isValid())
        return false;
    if (isSchemeRoot(url))
        return true;
    if (url.isLocalFile()) {
        const QString canonical = QFileInfo(url.toLocalFile()).canonicalFilePath();
        return !canonical.isEmpty() && isInside(canonical, sysutil::htmlDir());
    }
    if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
        return false;
    return encodedPathBelow(url).has_value();
}

bool isTrustedOrigin(const QUrl& origin, const QUrl& pageUrl)
{
    if (isSchemeRoot(origin))
        return true;
    if (origin.scheme() == QLatin1String("file"))
        return pageUrl.isLocalFile() && isTrustedUrl(pageUrl);
    const QUrl base(baseUrl());
    if (!base.isValid() || base.host().isEmpty() || !sameServer(origin, base))
        return false;
    // An origin carries no path: below a deeper base, the page itself decides.
    return base.path() == QLatin1String("/") || isTrustedUrl(pageUrl);
}

bool isTrustedFrame(const QUrl& origin, const QUrl& pageUrl)
{
    return isTrustedUrl(pageUrl) && isTrustedOrigin(origin, pageUrl);
}

bool isTrustedInitiator(const QUrl& initiator)
{
    if (isSchemeRoot(initiator))
        return true;
    if (initiator.scheme() == QLatin1String("file"))
        return true;
    const QUrl base(baseUrl());
    return base.isValid() && !base.host().isEmpty() && sameServer(initiator, base);
}

QString originOf(const QUrl& url)
{
    if (url.scheme() == QLatin1String("file"))
        return QStringLiteral("file://");
    QUrl origin = url.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
    if ((url.scheme() == QLatin1String("https") && url.port() == 443) ||
        (url.scheme() == QLatin1String("http") && url.port() == 80))
        origin.setPort(-1);
    return origin.toString(QUrl::FullyEncoded);
}

QByteArray mimeTypeFor(const QString& filePath)
{
    static const QMimeDatabase database;
    const QString suffix = QFileInfo(filePath).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return QByteArrayLiteral("text/html");
    if (suffix == QLatin1String("js") || suffix == QLatin1String("mjs"))
        return QByteArrayLiteral("text/javascript");
    if (suffix == QLatin1String("css"))
        return QByteArrayLiteral("text/css");
    if (suffix == QLatin1String("json"))
        return QByteArrayLiteral("application/json");
    if (suffix == QLatin1String("svg"))
        return QByteArrayLiteral("image/svg+xml");
    return database.mimeTypeForFile(filePath, QMimeDatabase::MatchExtension).name().toLatin1();
}

}  // namespace webui::pages
