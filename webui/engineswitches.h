#pragma once
// The web engine reads switches from the command line and from the
// environment. Korvane takes no options of its own, and some engine switches
// would open the bridged pages to other programs (a debugging endpoint) or
// take away what keeps pages apart: those are dropped before the engine sees
// them.

#include <QString>
#include <QStringList>

namespace webui {

// Whether one argument is an engine switch of that kind ("--name", "-name",
// with or without "=value").
bool isUnsafeEngineSwitch(const QString& argument);

// The flags text of QTWEBENGINE_CHROMIUM_FLAGS without such switches; the
// dropped ones are added to `dropped`.
QString safeEngineFlags(const QString& flags, QStringList* dropped = nullptr);

// Removes such switches from argv (in place, keeping the order of the rest),
// drops QTWEBENGINE_REMOTE_DEBUGGING and cleans QTWEBENGINE_CHROMIUM_FLAGS,
// and says on stderr what it ignored. Call before the application object
// exists. Returns what was dropped.
QStringList dropUnsafeEngineSwitches(int& argc, char** argv);

}  // namespace webui
