#pragma once
// The user's start-up list as the pages know it (a named command line),
// kept as XDG autostart entries: $XDG_CONFIG_HOME/autostart/NAME.desktop.
// The command line is kept verbatim beside the Exec line, so a check compares
// exactly what was added. Entries that Korvane did not write are never
// replaced or removed.

#include "sysutil/win32errors.h"

#include <QString>
#include <QStringList>

namespace webui::startup {

QString autostartDir();

// 0, or 87 for an unusable name or command line, 5 when the entry belongs to
// another program or cannot be written.
win32::ErrorCode add(const QString& name, const QString& commandLine);
// 0, 2 when there is no such entry, 5 when it belongs to another program.
win32::ErrorCode remove(const QString& name);
bool check(const QString& name, const QString& commandLine);

// The Exec value for an argument vector (quoted as the desktop entry rules
// ask), and the escaping of a desktop entry string value.
QString execLine(const QStringList& argv);
QString escapeValue(const QString& value);
QString unescapeValue(const QString& value);

}  // namespace webui::startup
