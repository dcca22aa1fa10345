#pragma once
// A print scheduler that takes every connection (the kernel's listen backlog
// accepts them) and never answers a request: what a hung cupsd looks like to
// its clients. Point CUPS_SERVER at socketPath().

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport {

class SilentScheduler {
public:
    SilentScheduler()
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = socketPath().toUtf8();
        if (m_fd < 0 || std::size_t(path.size()) >= sizeof(address.sun_path))
            return;
        std::copy(path.begin(), path.end(), address.sun_path);
        m_listening = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                      ::listen(m_fd, 64) == 0;
    }
    ~SilentScheduler()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SilentScheduler(const SilentScheduler&) = delete;
    SilentScheduler& operator=(const SilentScheduler&) = delete;

    bool listening() const { return m_listening; }
    QString socketPath() const { return m_dir.filePath(QStringLiteral("cups.sock")); }

private:
    QTemporaryDir m_dir;
    int m_fd = -1;
    bool m_listening = false;
};

}  // namespace testsupport
