#pragma once
// Starting the sibling repair tool, salvane.

#include "sysutil/win32errors.h"
#include "webui/windowmessage.h"

namespace repair {

// Starts "salvane COMMAND" from the program folder, through pkexec when this
// process is not root. Commands 0, 1 and 2 are waited for and their exit code
// returned; for 1000 a detached thread waits and posts
// webui::msg::kResetAllFinished to `window`, and 0 is returned at once.
// A missing tool gives win32::kFileNotFound.
win32::ErrorCode runRepairTool(int command, webui::WindowHandle window);

}  // namespace repair
