#include "online/downloadname.h"

#include <QUrl>

namespace online {

namespace {

// Most Linux file systems take 255 bytes per name.
constexpr int kMaxNameBytes = 255;

bool isDropped(QChar c)
{
    return c.category() == QChar::Other_Control || c == QLatin1Char('/') || c == QLatin1Char('\\');
}

// Cuts whole characters from the end of the stem so the extension survives.
QString fitLength(const QString& name)
{
    if (name.toUtf8().size() <= kMaxNameBytes)
        return name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    QString suffix = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
    QString stem = name.left(name.size() - suffix.size());
    const int budget = kMaxNameBytes - suffix.toUtf8().size();
    while (!stem.isEmpty() && stem.toUtf8().size() > budget) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.at(stem.size() - 1).isHighSurrogate())
            stem.chop(1);
    }
    // A cut inside a run of blanks would leave them at the end of the name.
    while (suffix.isEmpty() && !stem.isEmpty() && stem.at(stem.size() - 1).isSpace())
        stem.chop(1);
    return stem + suffix;
}

}  // namespace

QString safeFileName(const QString& name)
{
    // Only what follows the last separator counts, so no part of the name can
    // point into another folder.
    int start = 0;
    for (int i = 0; i < name.size(); ++i) {
        if (name[i] == QLatin1Char('/') || name[i] == QLatin1Char('\\'))
            start = i + 1;
    }
    QString cleaned;
    cleaned.reserve(name.size() - start);
    for (int i = start; i < name.size(); ++i) {
        if (!isDropped(name[i]))
            cleaned.append(name[i]);
    }
    // Leading dots would make "..", "." or a hidden file.
    int firstKept = 0;
    while (firstKept < cleaned.size() && (cleaned[firstKept] == QLatin1Char('.') || cleaned[firstKept].isSpace()))
        ++firstKept;
    cleaned.remove(0, firstKept);
    return fitLength(cleaned.trimmed());
}

QString safeFileNameFromUrl(const QString& url)
{
    const QUrl parsed = QUrl::fromUserInput(url);
    return safeFileName(parsed.fileName(QUrl::FullyDecoded));
}

QString downloadFileName(const QString& url, const QString& fallbackName)
{
    const QString fromUrl = safeFileNameFromUrl(url);
    if (!fromUrl.isEmpty())
        return fromUrl;
    QString stem = safeFileName(fallbackName);
    if (stem.isEmpty())
        stem = QStringLiteral("download");
    return fitLength(stem + QStringLiteral(".exe"));
}

QString numberedFileName(const QString& name, int n)
{
    if (n <= 0)
        return name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
    QString stem = name.left(name.size() - suffix.size());
    const QString number = QStringLiteral(" (%1)").arg(n);
    const int budget = kMaxNameBytes - suffix.toUtf8().size() - number.toUtf8().size();
    while (!stem.isEmpty() && stem.toUtf8().size() > budget) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.at(stem.size() - 1).isHighSurrogate())
            stem.chop(1);
    }
    return stem + number + suffix;
}

}  // namespace online
