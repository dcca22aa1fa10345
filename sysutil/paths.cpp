#include "sysutil/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace sysutil {

QString envPath(const char* variable, const QString& fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? fallback : value;
}

QString programFilePath()
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? self.canonicalFilePath() : QString();
}

QString programDir()
{
    QString fallback;
    if (QCoreApplication::instance())
        fallback = QCoreApplication::applicationDirPath();
    else
        fallback = QFileInfo(programFilePath()).absolutePath();
    QString dir = QDir::fromNativeSeparators(envPath("KORVANE_PROGRAM_DIR", fallback));
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

QString htmlDir()
{
    return envPath("KORVANE_HTML_DIR", programDir() + QStringLiteral("/html"));
}

QString siblingProgram(const QString& name)
{
    return programDir() + QLatin1Char('/') + name;
}

QString machineIdFile()
{
    return envPath("KORVANE_MACHINE_ID_FILE", QStringLiteral("/etc/machine-id"));
}

}  // namespace sysutil
