#include "online/partialfile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace online {

const char* const kPartialFilePrefix = ".korvane-part-";

namespace {

// Collisions of 64 random bits are not expected; the bound only keeps a
// folder full of our own names from spinning.
constexpr int kCreateAttempts = 64;
// Folders with more entries than this are not searched further.
constexpr int kMaxEntriesScanned = 100000;

bool processExists(pid_t pid)
{
    // EPERM: it exists but belongs to someone else.
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

PartialFile createPartialFile(const QString& folder)
{
    PartialFile result;
    const QString stem = folder + QLatin1Char('/') + QLatin1String(kPartialFilePrefix) +
                         QString::number(::getpid()) + QLatin1Char('-');
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const QString path = stem + QString::number(QRandomGenerator::global()->generate64(), 16);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
        if (fd >= 0) {
            result.fd = fd;
            result.path = path;
            result.error = 0;
            return result;
        }
        result.error = errno;
        if (errno != EEXIST)
            break;
    }
    return result;
}

std::optional<pid_t> partialFileOwner(const QString& fileName)
{
    const QLatin1String prefix(kPartialFilePrefix);
    if (!fileName.startsWith(prefix))
        return std::nullopt;
    const int dash = fileName.indexOf(QLatin1Char('-'), prefix.size());
    if (dash <= prefix.size() || dash + 1 >= fileName.size())
        return std::nullopt;
    bool ok = false;
    const qlonglong pid = fileName.mid(prefix.size(), dash - prefix.size()).toLongLong(&ok, 10);
    if (!ok || pid <= 0 || pid > 0x7FFFFFFF)
        return std::nullopt;
    for (int i = dash + 1; i < fileName.size(); ++i) {
        const QChar c = fileName.at(i);
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

int removeStalePartialFiles(const QString& folder, const QSet<QString>& ownFilesInUse)
{
    const QStringList names = QDir(folder).entryList(
        QStringList{QLatin1String(kPartialFilePrefix) + QLatin1Char('*')},
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    int removed = 0;
    int scanned = 0;
    for (const QString& name : names) {
        if (++scanned > kMaxEntriesScanned)
            break;
        const std::optional<pid_t> owner = partialFileOwner(name);
        if (!owner)
            continue;
        const QString path = folder + QLatin1Char('/') + name;
        if (*owner == ::getpid() ? ownFilesInUse.contains(path) : processExists(*owner))
            continue;
        struct stat info {};
        const QByteArray encoded = QFile::encodeName(path);
        if (::lstat(encoded.constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid())
            continue;
        if (::unlink(encoded.constData()) == 0) {
            ++removed;
            std::fprintf(stderr, "download: removed %s, left by an interrupted transfer\n", encoded.constData());
        }
    }
    return removed;
}

}  // namespace online
