#include "webui/startuplist.h"

#include "sysutil/launch.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace webui::startup {

namespace {

const QString kCommandKey = QStringLiteral("X-Korvane-CommandLine=");
constexpr int kMaxName = 200;
constexpr int kMaxCommandLine = 32767;
constexpr qint64 kMaxEntryBytes = 256 * 1024;

bool usableName(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxName || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    return true;
}

QString entryPath(const QString& name)
{
    return autostartDir() + QLatin1Char('/') + name + QStringLiteral(".desktop");
}

enum class Entry { Missing, Ours, Foreign };

Entry readEntry(const QString& path, QString* commandLine)
{
    QFile file(path);
    if (!file.exists())
        return Entry::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return Entry::Foreign;
    const QStringList lines = QString::fromUtf8(file.read(kMaxEntryBytes)).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(kCommandKey)) {
            if (commandLine)
                *commandLine = unescapeValue(line.mid(kCommandKey.size()));
            return Entry::Ours;
        }
    }
    return Entry::Foreign;
}

bool needsQuoting(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (arg.isEmpty())
        return true;
    for (const QChar c : arg)
        if (reserved.contains(c))
            return true;
    return false;
}

}  // namespace

QString autostartDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString escapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    if (out.startsWith(QLatin1Char(' ')))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

QString unescapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += next;
        }
    }
    return out;
}

QString execLine(const QStringList& argv)
{
    QStringList parts;
    for (const QString& arg : argv) {
        QString quoted = arg;
        // A literal percent sign is doubled in every Exec argument.
        quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
        if (needsQuoting(arg)) {
            QString inner;
            for (const QChar c : quoted) {
                if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                    inner += QLatin1Char('\\');
                inner += c;
            }
            quoted = QLatin1Char('"') + inner + QLatin1Char('"');
        }
        parts << quoted;
    }
    return parts.join(QLatin1Char(' '));
}

win32::ErrorCode add(const QString& name, const QString& commandLine)
{
    if (!usableName(name) || commandLine.size() > kMaxCommandLine)
        return win32::kInvalidParameter;
    const std::optional<QStringList> argv = sysutil::splitCommandLine(commandLine);
    if (!argv || argv->isEmpty())
        return win32::kInvalidParameter;
    const QString path = entryPath(name);
    if (readEntry(path, nullptr) == Entry::Foreign)
        return win32::kAccessDenied;
    if (!QDir().mkpath(autostartDir()))
        return win32::kAccessDenied;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return win32::kAccessDenied;
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n%3%4\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeValue(name), escapeValue(execLine(*argv)), kCommandKey,
                                  escapeValue(commandLine));
    file.write(text.toUtf8());
    return file.commit() ? win32::kSuccess : win32::kAccessDenied;
}

win32::ErrorCode remove(const QString& name)
{
    if (!usableName(name))
        return win32::kFileNotFound;
    const QString path = entryPath(name);
    switch (readEntry(path, nullptr)) {
    case Entry::Missing:
        return win32::kFileNotFound;
    case Entry::Foreign:
        return win32::kAccessDenied;
    case Entry::Ours:
        break;
    }
    return QFile::remove(path) ? win32::kSuccess : win32::kAccessDenied;
}

bool check(const QString& name, const QString& commandLine)
{
    if (!usableName(name))
        return false;
    QString stored;
    return readEntry(entryPath(name), &stored) == Entry::Ours && stored == commandLine;
}

}  // namespace webui::startup
