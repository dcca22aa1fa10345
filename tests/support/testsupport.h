#pragma once
// Helpers shared by the test binaries.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>

namespace testsupport {

// The source tree and the folder tests may write screenshots and logs into.
QString sourceDir();
QString outputDir();
QString programDir();

// Runs the event loop until the condition holds or the time is up; returns the
// condition's last value.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Writes a file (creating folders); returns false on failure.
bool writeFile(const QString& path, const QByteArray& contents, bool executable = false);
QByteArray readFile(const QString& path);

// Runs a program (a CUPS client against the scheduler in CUPS_SERVER, say)
// for at most 30 s; its standard output and error together. The exit code
// is -1 when it did not end on its own.
QString runProgram(const QString& program, const QStringList& arguments, int* exitCode = nullptr);

// Queue name -> device URI, from the lines "device for NAME: URI" of
// `lpstat -v`.
QMap<QString, QString> queueDevices(const QString& lpstatOutput);

// Inside a network namespace of the test's own (unshare -n), the loopback
// interface starts down: brings it up when it is down; true when it is up.
bool ensureLoopbackUp();

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    QByteArray m_old;
    bool m_hadOld;
};

// A unix socket, in a folder of its own, that accepts connections into its
// backlog and never answers: a server that hangs.
class SilentUnixServer {
public:
    SilentUnixServer();
    ~SilentUnixServer();
    SilentUnixServer(const SilentUnixServer&) = delete;
    SilentUnixServer& operator=(const SilentUnixServer&) = delete;

    bool isListening() const { return m_fd >= 0; }
    QString path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_fd = -1;
};

// A desktop user with temporary folders, no print server, no devices and no
// machine facts, whose pages come from the given folder.
struct IsolatedDesktop {
    explicit IsolatedDesktop(const QString& pagesDir);

    QTemporaryDir home;
    QTemporaryDir emptyRoot;
    ScopedEnv html;
    ScopedEnv config;
    ScopedEnv data;
    ScopedEnv cache;
    ScopedEnv cups;
    ScopedEnv sysfs;
    ScopedEnv sysinfo;
};

}  // namespace testsupport
