#pragma once
// Where the program finds its own files and the machine's facilities. Each can
// be pointed elsewhere through an environment variable so tests run in
// isolation from the machine they run on.

#include <QString>

namespace sysutil {

// The folder of the executable (KORVANE_PROGRAM_DIR overrides), forward slashes,
// no trailing slash.
QString programDir();
// The bundled pages: KORVANE_HTML_DIR, else programDir() + "/html".
QString htmlDir();
// The full path of the running executable, or empty when it cannot be read.
QString programFilePath();
// A sibling program of the executable ("salvane", "dumper").
QString siblingProgram(const QString& name);
// The machine id file: KORVANE_MACHINE_ID_FILE, else /etc/machine-id.
QString machineIdFile();

// An environment override, or the fallback when the variable is unset or empty.
QString envPath(const char* variable, const QString& fallback);

}  // namespace sysutil
