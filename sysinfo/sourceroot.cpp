#include "sysinfo/sourceroot.h"

#include "sysinfo/wmicexception.h"
#include "sysutil/paths.h"
#include "sysutil/textconv.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sysinfo {

namespace {

bool isAbsence(int err)
{
    // Unreadable as this user (root-only firmware tables, serial numbers) and
    // vanished-while-reading (hot-unplug) are ordinary here.
    return err == ENOENT || err == ENOTDIR || err == EACCES || err == EPERM || err == ENODEV || err == ENXIO
        || err == ENAMETOOLONG || err == ELOOP;
}

struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int value)
        : fd(value)
    {
    }
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

struct DirectoryStream {
    DIR* dir = nullptr;
    explicit DirectoryStream(DIR* value)
        : dir(value)
    {
    }
    ~DirectoryStream()
    {
        if (dir)
            ::closedir(dir);
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
};

} // namespace

QString defaultSourceRoot()
{
    return sysutil::envPath("KORVANE_SYSINFO_ROOT", QStringLiteral("/"));
}

SourceRoot::SourceRoot(const QString& root)
{
    QString cleaned = QDir::cleanPath(root.isEmpty() ? QStringLiteral("/") : root);
    if (cleaned == QLatin1String("/"))
        cleaned.clear();
    m_root = cleaned;
    const QString canonical = QFileInfo(m_root.isEmpty() ? QStringLiteral("/") : m_root).canonicalFilePath();
    m_canonical = canonical == QLatin1String("/") ? QString() : canonical;
}

QString SourceRoot::path(const QString& relative) const
{
    return m_root + QLatin1Char('/') + relative;
}

SourceRead SourceRoot::read(const QString& relative, qint64 maxBytes) const
{
    SourceRead result;
    const QByteArray file = QFile::encodeName(path(relative));
    // O_NONBLOCK: a FIFO planted where a file belongs must not stall the reader.
    FileDescriptor fd(::open(file.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.fd < 0) {
        result.error = errno;
        result.status = isAbsence(result.error) ? SourceStatus::Absent : SourceStatus::Broken;
        return result;
    }
    struct stat info { };
    if (::fstat(fd.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        result.error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        result.status = SourceStatus::Broken;
        return result;
    }
    if (!m_canonical.isEmpty() && resolve(relative).isEmpty()) {
        result.status = SourceStatus::Absent;
        return result;
    }
    // Kernel attribute files report a size of 4096 whatever they hold, and
    // /proc files report 0: read until the end or the cap.
    const qint64 cap = std::max<qint64>(0, maxBytes);
    result.bytes.reserve(int(std::min<qint64>(cap, 64 * 1024)));
    char buffer[16 * 1024];
    while (result.bytes.size() < cap) {
        const qint64 want = std::min<qint64>(qint64(sizeof buffer), cap - result.bytes.size());
        const ssize_t got = ::read(fd.fd, buffer, size_t(want));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            // Many attributes refuse to be read when the device cannot answer
            // (EIO, EINVAL, EAGAIN): that is an unknown value, not a fault.
            result.error = errno;
            result.status = result.bytes.isEmpty() && !isAbsence(errno) && errno != EAGAIN ? SourceStatus::Broken
                                                                                           : SourceStatus::Absent;
            result.bytes.clear();
            return result;
        }
        if (got == 0)
            break;
        result.bytes.append(buffer, int(got));
    }
    result.status = SourceStatus::Ok;
    return result;
}

QString SourceRoot::text(const QString& relative, int maxBytes) const
{
    const SourceRead got = read(relative, maxBytes);
    return got.status == SourceStatus::Ok ? cleanText(got.bytes, maxBytes) : QString();
}

SourceListing SourceRoot::list(const QString& relative, int maxEntries) const
{
    SourceListing result;
    const QByteArray folder = QFile::encodeName(path(relative));
    struct stat info { };
    if (::stat(folder.constData(), &info) != 0) {
        result.error = errno;
        result.status = isAbsence(result.error) ? SourceStatus::Absent : SourceStatus::Broken;
        return result;
    }
    if (!S_ISDIR(info.st_mode)) {
        result.error = ENOTDIR;
        result.status = SourceStatus::Broken;
        return result;
    }
    if (!m_canonical.isEmpty() && resolve(relative).isEmpty())
        return result; // leads out of the root: not this machine's
    DirectoryStream dir(::opendir(folder.constData()));
    if (!dir.dir) {
        result.error = errno;
        result.status = isAbsence(result.error) ? SourceStatus::Absent : SourceStatus::Broken;
        return result;
    }
    while (result.names.size() < maxEntries) {
        const dirent* entry = ::readdir(dir.dir);
        if (!entry)
            break;
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        result.names.append(name);
    }
    std::sort(result.names.begin(), result.names.end());
    result.status = SourceStatus::Ok;
    return result;
}

bool SourceRoot::exists(const QString& relative) const
{
    struct stat info { };
    return ::stat(QFile::encodeName(path(relative)).constData(), &info) == 0;
}

QString SourceRoot::resolve(const QString& relative) const
{
    const QString canonical = QFileInfo(path(relative)).canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    if (m_canonical.isEmpty())
        return canonical.mid(1);
    if (canonical == m_canonical)
        return QString();
    if (!canonical.startsWith(m_canonical + QLatin1Char('/')))
        return {};
    return canonical.mid(m_canonical.size() + 1);
}

QString SourceRoot::linkName(const QString& relative) const
{
    const QString target = QFileInfo(path(relative)).symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).fileName();
}

void SourceRoot::requireReadable(SourceStatus status, int error)
{
    if (status == SourceStatus::Broken)
        throw WMICException(queryFailedText(hresultFromWin32(win32::fromErrno(error))));
}

QString cleanText(const QByteArray& bytes, int maxBytes)
{
    QByteArray cut = bytes.left(maxBytes);
    const int nul = cut.indexOf('\0');
    if (nul >= 0)
        cut.truncate(nul);
    QString text = sysutil::fromUntrustedBytes(cut, maxBytes);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    }
    return text.trimmed();
}

quint64 parseNumber(const QString& text, quint64 fallback)
{
    const QString t = text.trimmed();
    bool ok = false;
    const quint64 value = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16)
                                                                                 : t.toULongLong(&ok, 10);
    return ok ? value : fallback;
}

} // namespace sysinfo
