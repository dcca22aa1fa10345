#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

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

}  // namespace testsupport
