#pragma once
// The name a downloaded package is saved under. The URL comes from a page and
// the server, so the name is made harmless before it touches the disk: one
// plain file name inside the download folder, whatever the URL says.

#include <QString>

namespace online {

// The last path segment of the URL (parsed leniently, fully decoded) with path
// separators, control characters and leading dots removed, cut to a length
// the file system takes. Empty when nothing usable is left.
QString safeFileNameFromUrl(const QString& url);

// The same cleaning for any name.
QString safeFileName(const QString& name);

// The name to save a download under: the URL's name, else the cleaned
// fallback + ".exe" (the fallback itself falling back to "download").
QString downloadFileName(const QString& url, const QString& fallbackName);

// The n-th alternative of a name that is taken, as browsers number them:
// "setup (1).run", "README (2)"; the stem is shortened so the number and
// the extension survive the length limit. n = 0 gives the name itself.
QString numberedFileName(const QString& name, int n);

}  // namespace online
