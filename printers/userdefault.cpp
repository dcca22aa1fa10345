// The user's default destination, kept where the CUPS commands (lp, lpstat,
// lpoptions) look for it: LPDEST or PRINTER in the environment, else the
// "Default" line of ~/.cups/lpoptions, else that of the machine's lpoptions
// (in CUPS_SERVERROOT, /etc/cups by default). Writing it needs no privileges
// and changes nothing for other users.

#include "printers/cupsspooler.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

namespace PrinterAPI::cups {

namespace {

QString machineLpoptionsPath()
{
    QString root = qEnvironmentVariable("CUPS_SERVERROOT");
    if (root.isEmpty())
        root = QStringLiteral("/etc/cups");
    return root + QStringLiteral("/lpoptions");
}

QString lpoptionsPath()
{
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        home = QDir::homePath();
    return home + QStringLiteral("/.cups/lpoptions");
}

// "Default NAME[/INSTANCE] options..." or "Dest NAME ..." -> NAME.
QString destinationOf(const QString& line)
{
    const QString rest = line.section(QLatin1Char(' '), 1, 1, QString::SectionSkipEmpty);
    return rest.section(QLatin1Char('/'), 0, 0);
}

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    // A sane lpoptions file is small; more is not ours to parse.
    const QByteArray bytes = file.read(1 << 20);
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'));
}

}  // namespace

QString userDefaultName()
{
    const QString lpdest = qEnvironmentVariable("LPDEST");
    if (!lpdest.isEmpty())
        return lpdest.section(QLatin1Char('/'), 0, 0);
    const QString printer = qEnvironmentVariable("PRINTER");
    if (!printer.isEmpty() && printer != QLatin1String("lp"))
        return printer.section(QLatin1Char('/'), 0, 0);
    for (const QString& path : {lpoptionsPath(), machineLpoptionsPath()})
        for (const QString& line : readLines(path))
            if (line.startsWith(QLatin1String("Default "), Qt::CaseInsensitive))
                return destinationOf(line);
    return {};
}

bool isDefaultDestination(const QueueAttributes& queue, const QString& userDefault)
{
    // As lpstat -d and lp decide: a destination the user named is the default
    // even when it no longer exists (then there is none at all); only when
    // the user named nothing does the scheduler's default count.
    if (!userDefault.isEmpty())
        return queue.name.compare(userDefault, Qt::CaseInsensitive) == 0;
    return queue.isServerDefault();
}

bool writeUserDefault(const QString& name)
{
    const QString path = lpoptionsPath();
    QStringList lines = readLines(path);
    bool found = false;
    for (QString& line : lines) {
        const bool isDefault = line.startsWith(QLatin1String("Default "), Qt::CaseInsensitive);
        const bool isDest = line.startsWith(QLatin1String("Dest "), Qt::CaseInsensitive);
        if (!isDefault && !isDest)
            continue;
        const QString rest = line.section(QLatin1Char(' '), 1);
        // Only the plain destination (no /instance) becomes the default; the
        // options of the old default stay with it as a Dest line.
        const bool isTarget = destinationOf(line).compare(name, Qt::CaseInsensitive) == 0 &&
                              !rest.section(QLatin1Char(' '), 0, 0).contains(QLatin1Char('/'));
        if (isTarget) {
            line = QStringLiteral("Default ") + rest;
            found = true;
        } else if (isDefault) {
            line = QStringLiteral("Dest ") + rest;
        }
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (!found)
        lines << QStringLiteral("Default ") + name;
    if (!QDir().mkpath(path.section(QLatin1Char('/'), 0, -2)))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return file.commit();
}

}  // namespace PrinterAPI::cups
