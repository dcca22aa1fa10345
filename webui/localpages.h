#pragma once
// Which URLs are Korvane's own pages, and where their files are. Requests
// under the page base URL are answered from the "html" folder (then the
// program folder) through a private URL scheme, so a page that came from there
// has the origin korvane://app. Only such pages, and pages under the base URL,
// may talk to the program.

#include <QString>
#include <QUrl>
#include <optional>

namespace webui::pages {

constexpr const char* kScheme = "korvane";
constexpr const char* kSchemeHost = "app";

// Declares the private scheme to the web engine; must run before the
// application object exists.
void registerScheme();

// The page server root the build was configured with.
QString defaultBaseUrl();
// The process-wide page base URL: the first window that has one sets it (the
// main window, whose page loads first); setBaseUrl replaces it.
QString baseUrl();
void setBaseUrl(const QString& url);
void setBaseUrlIfUnset(const QString& url);

// The path below the base URL or below korvane://app/, percent-decoded and
// normalised; nullopt when the URL is under neither, or the path is empty,
// absolute, or climbs out of its root.
std::optional<QString> relativePagePath(const QUrl& url);
// The file under html/ that answers a relative page path; empty when there is
// none (a link that leads out of the folder does not count).
QString localFileFor(const QString& relativePath);

// korvane://app/PATH and BASE/PATH, keeping the query and fragment of `from`.
QUrl schemeUrl(const QString& relativePath, const QUrl& from = {});
QUrl remoteUrl(const QString& relativePath, const QUrl& from = {});

// A page URL that may use the bridge and exec://.
bool isTrustedUrl(const QUrl& url);
// A calling frame, by its security origin and the page it belongs to.
bool isTrustedOrigin(const QUrl& origin, const QUrl& pageUrl);

// A frame that may use the bridge: its origin is ours and so is the top-level
// page it sits in.
bool isTrustedFrame(const QUrl& origin, const QUrl& pageUrl);
// The origin a request for a private-scheme file came from (the engine's
// "initiator"): ours, the page server's or a local file. Requests the program
// itself starts have none and are judged elsewhere.
bool isTrustedInitiator(const QUrl& initiator);
// The serialised origin of a URL as a page sees it in location.origin.
QString originOf(const QUrl& url);

QByteArray mimeTypeFor(const QString& filePath);

}  // namespace webui::pages
