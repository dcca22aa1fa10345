#pragma once
// Starting the sibling repair tool, salvane.

#include "sysutil/win32errors.h"
#include "webui/windowmessage.h"

#include <QString>

namespace repair {

// Starts "salvane -h SCHEDULER [-p QUEUE] COMMAND" from the program folder,
// through pkexec when this process is not root; SCHEDULER is the one this
// program talks to, QUEUE (command 2 only) limits the cancel to one queue.
// Commands 0, 1 and 2 are waited for and their exit code returned; for 1000 a
// detached thread waits and posts webui::msg::kResetAllFinished to `window`,
// and 0 is returned at once. A missing tool gives win32::kFileNotFound, a
// scheduler address the tool would refuse win32::kInvalidParameter.
win32::ErrorCode runRepairTool(int command, webui::WindowHandle window, const QString& queue = QString());

}  // namespace repair
