#include "repair/repairtestbeds.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QThread>

namespace repairtest {

namespace {
QString dbusBed()
{
    return testsupport::sourceDir() + QStringLiteral("/tests/testbeds/dbus");
}
}  // namespace

PrivateSystemBus::PrivateSystemBus()
    : m_bed(dbusBed() + QStringLiteral("/bed"))
{
    if (!m_dir.isValid())
        return;
    const int rc = QProcess::execute(m_bed, {QStringLiteral("up"), m_dir.path()});
    m_address = testsupport::readFile(m_dir.filePath(QStringLiteral("address"))).trimmed();
    m_up = rc == 0 && !m_address.isEmpty();
    if (m_up)
        m_env = std::make_unique<testsupport::ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", m_address);
}

PrivateSystemBus::~PrivateSystemBus()
{
    for (auto& mock : m_mocks) {
        mock->terminate();
        if (!mock->waitForFinished(5000)) {
            mock->kill();
            mock->waitForFinished(5000);
        }
    }
    m_env.reset();
    if (m_dir.isValid())
        QProcess::execute(m_bed, {QStringLiteral("down"), m_dir.path()});
}

bool PrivateSystemBus::startMock(const QString& templateFile, const QString& busName, const QJsonObject& parameters)
{
    if (!m_up)
        return false;
    auto mock = std::make_unique<QProcess>();
    mock->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mock->setStandardOutputFile(QProcess::nullDevice());
    QStringList args{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"), QStringLiteral("--template"),
                     dbusBed() + QLatin1Char('/') + templateFile};
    if (!parameters.isEmpty())
        args << QStringLiteral("-p") << QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact));
    // Debian's python, which has dbusmock; the PATH may lead to another one.
    mock->start(QStringLiteral("/usr/bin/python3"), args);
    if (!mock->waitForStarted(10000))
        return false;
    m_mocks.push_back(std::move(mock));
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (send(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus.NameHasOwner"), {QStringLiteral("string:") + busName})
                .contains(QLatin1String("boolean true")))
            return true;
        QThread::msleep(50);
    }
    return false;
}

QString PrivateSystemBus::send(const QString& busName, const QString& path, const QString& method, const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("dbus-send"), QStringList{QStringLiteral("--bus=") + QString::fromUtf8(m_address),
                                                           QStringLiteral("--print-reply"), QStringLiteral("--dest=") + busName,
                                                           path, method} + args);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

ToolRun runSalvane(const QString& argument, const QProcessEnvironment& extra)
{
    return runSalvane(QStringList{argument}, extra);
}

ToolRun runSalvane(const QStringList& arguments, const QProcessEnvironment& extra, const QStringList& unset)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : unset)
        environment.remove(name);
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(testsupport::programDir() + QStringLiteral("/salvane"), arguments);
    ToolRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

}  // namespace repairtest
