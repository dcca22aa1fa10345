#include "online/userdatafile.h"

#include "i18n/international.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace online {

namespace {

// A folder path is a few hundred bytes; anything much larger is not our file
// and is not worth allocating for.
constexpr qint64 kMaxFileBytes = 64 * 1024;

}  // namespace

QString userConfigFolder()
{
    static const QString folder = [] {
        const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppConfigLocation);
        QString chosen = locations.isEmpty() ? QString() : locations.first();
        if (chosen.isEmpty()) {
            // What QStandardPaths itself uses when XDG_CONFIG_HOME is unset.
            chosen = QDir::homePath() + QStringLiteral("/.config/") + QCoreApplication::organizationName() +
                     QLatin1Char('/') + QCoreApplication::applicationName();
        }
        QDir().mkpath(chosen);
        return chosen;
    }();
    return folder;
}

QString defaultUserDataFilePath()
{
    const bool international = i18n::International::instance().isInternational();
    return userConfigFolder() + (international ? QStringLiteral("/qzpr-inter.x") : QStringLiteral("/qzpr.x"));
}

std::optional<QString> readUserDataFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return std::nullopt;
    QDataStream stream(&file);
    QString saveFolder;
    stream >> saveFolder;
    if (stream.status() != QDataStream::Ok)
        return std::nullopt;
    return saveFolder;
}

bool writeUserDataFile(const QString& path, const QString& saveFolder)
{
    // Written beside the file, synced and renamed over it: a reader (another
    // instance, the next start) sees the old content or the new, never a
    // truncated file, and a crash mid-write keeps the old one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream stream(&file);
    stream << saveFolder;
    if (stream.status() != QDataStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace online
