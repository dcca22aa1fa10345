#include "repair/toolrunner.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace repair {

QString findTool(const char* overrideVariable, const QString& name)
{
    const QString configured = qEnvironmentVariable(overrideVariable);
    if (!configured.isEmpty())
        return QFileInfo(configured).isExecutable() ? configured : QString();
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return found;
}

std::optional<ToolResult> runTool(const QString& program, const QStringList& args, int timeoutMs)
{
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    // Parsed output must not change with the user's language.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs))
        return std::nullopt;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    ToolResult result;
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput().left(1 << 20);
    result.errors = process.readAllStandardError().left(64 << 10);
    return result;
}

}  // namespace repair
