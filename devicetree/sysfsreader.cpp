#include "devicetree/sysfsreader.h"

#include "sysutil/paths.h"
#include "sysutil/textconv.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace devicetree {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

QByteArray pathOf(const QString& dir, const char* name)
{
    return QFile::encodeName(dir) + '/' + name;
}

}  // namespace

QString sysfsRoot()
{
    QString root = sysutil::envPath("KORVANE_SYSFS_ROOT", QStringLiteral("/sys"));
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}

std::optional<QByteArray> readAttributeBytes(const QString& dir, const char* name)
{
    const FileDescriptor fd(::open(pathOf(dir, name).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.get() < 0)
        return std::nullopt;
    QByteArray bytes(kMaxAttributeBytes, Qt::Uninitialized);
    int filled = 0;
    while (filled < kMaxAttributeBytes) {
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, std::size_t(kMaxAttributeBytes - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;  // a driver refusing the read, or the device went away
        if (got == 0)
            break;
        filled += int(got);
    }
    bytes.truncate(filled);
    return bytes;
}

QString readAttribute(const QString& dir, const char* name)
{
    const std::optional<QByteArray> bytes = readAttributeBytes(dir, name);
    if (!bytes)
        return {};
    QByteArray value = *bytes;
    const int nul = value.indexOf('\0');
    if (nul >= 0)
        value.truncate(nul);
    while (value.endsWith('\n') || value.endsWith('\r'))
        value.chop(1);
    return sysutil::fromUntrustedBytes(value, kMaxAttributeBytes);
}

int readHexAttribute(const QString& dir, const char* name)
{
    const QString text = readAttribute(dir, name).trimmed();
    if (text.isEmpty() || text.size() > 8)
        return -1;
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    return ok && value <= 0x7FFFFFFF ? int(value) : -1;
}

QString readLinkName(const QString& dir, const char* name, QString* target)
{
    char buffer[4096];
    const ssize_t got = ::readlink(pathOf(dir, name).constData(), buffer, sizeof buffer - 1);
    if (got <= 0)
        return {};
    const QString link = QFile::decodeName(QByteArray(buffer, int(got)));
    if (target)
        *target = link;
    return link.section(QLatin1Char('/'), -1);
}

bool exists(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

namespace {

struct WalkState {
    const std::function<int(const QString&, const QString&, int)>& visit;
    int maxNodes;
    int maxDepth;
    int visited = 0;
};

void walk(WalkState& state, const QString& dir, int token, int depth)
{
    if (depth > state.maxDepth || state.visited >= state.maxNodes)
        return;
    std::unique_ptr<DIR, DirCloser> handle(::opendir(QFile::encodeName(dir).constData()));
    if (!handle)
        return;
    std::vector<QByteArray> children;
    while (const dirent* entry = ::readdir(handle.get())) {
        if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)
            continue;
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        children.push_back(name);
    }
    handle.reset();
    std::sort(children.begin(), children.end());
    for (const QByteArray& name : children) {
        if (state.visited >= state.maxNodes)
            return;
        const QString child = dir + QLatin1Char('/') + QFile::decodeName(name);
        struct stat info;
        const QByteArray encoded = QFile::encodeName(child);
        if (::lstat(encoded.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            continue;  // a link, or gone since the listing
        int childToken = token;
        if (::lstat(QByteArray(encoded + "/uevent").constData(), &info) == 0 && S_ISREG(info.st_mode)) {
            ++state.visited;
            childToken = state.visit(child, QFile::decodeName(name), token);
        }
        walk(state, child, childToken, depth + 1);
    }
}

}  // namespace

void walkDevices(const QString& devicesDir, int rootToken,
                 const std::function<int(const QString&, const QString&, int)>& visit, int maxNodes, int maxDepth)
{
    WalkState state{visit, maxNodes, maxDepth};
    walk(state, devicesDir, rootToken, 0);
}

}  // namespace devicetree
