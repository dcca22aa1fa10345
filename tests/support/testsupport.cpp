#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport {

QString sourceDir()
{
    return qEnvironmentVariable("KORVANE_SOURCE_DIR", QStringLiteral(KORVANE_TEST_SOURCE_DIR));
}

QString outputDir()
{
    const QString dir = qEnvironmentVariable("KORVANE_TEST_OUTPUT", QDir::tempPath() + QStringLiteral("/korvane-test-output"));
    QDir().mkpath(dir);
    return dir;
}

QString programDir()
{
    return qEnvironmentVariable("KORVANE_PROGRAM_DIR", QStringLiteral(KORVANE_TEST_PROGRAM_DIR));
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout.count());
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

bool writeFile(const QString& path, const QByteArray& contents, bool executable)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (file.write(contents) != contents.size())
        return false;
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return true;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool ensureLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    qstrncpy(request.ifr_name, "lo", sizeof request.ifr_name);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_UP);
    if (!up) {
        request.ifr_flags = short(request.ifr_flags | IFF_UP);
        up = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(fd);
    return up;
}

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : m_name(name), m_old(qgetenv(name)), m_hadOld(qEnvironmentVariableIsSet(name))
{
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (m_hadOld)
        qputenv(m_name.constData(), m_old);
    else
        qunsetenv(m_name.constData());
}

SilentUnixServer::SilentUnixServer()
    : m_path(m_dir.filePath(QStringLiteral("silent.sock")))
{
    const QByteArray path = QFile::encodeName(m_path);
    sockaddr_un address{};
    if (!m_dir.isValid() || path.size() >= int(sizeof address.sun_path))
        return;
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_fd, 16) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

SilentUnixServer::~SilentUnixServer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

IsolatedDesktop::IsolatedDesktop(const QString& pagesDir)
    : html("KORVANE_HTML_DIR", pagesDir.toUtf8())
    , config("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8())
    , data("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8())
    , cache("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8())
    , cups("CUPS_SERVER", (home.path() + QStringLiteral("/no-scheduler.sock")).toUtf8())
    , sysfs("KORVANE_SYSFS_ROOT", emptyRoot.path().toUtf8())
    , sysinfo("KORVANE_SYSINFO_ROOT", emptyRoot.path().toUtf8())
{
}

QString runProgram(const QString& program, const QStringList& arguments, int* exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool done = process.waitForFinished(30000);
    if (!done)
        process.kill();
    process.waitForFinished(5000);
    if (exitCode)
        *exitCode = done && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

QMap<QString, QString> queueDevices(const QString& lpstatOutput)
{
    QMap<QString, QString> devices;
    static const QRegularExpression kLine(QStringLiteral("^device for (\\S+): (\\S+)$"));
    for (const QString& line : lpstatOutput.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = kLine.match(line.trimmed());
        if (m.hasMatch())
            devices.insert(m.captured(1), m.captured(2));
    }
    return devices;
}

}  // namespace testsupport
