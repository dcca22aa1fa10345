#pragma once

#include "sysutil/win32errors.h"

#include <QString>

namespace sysutil {

// The system text for a Win32 error id, as Windows words it; empty for ids
// this program never produces.
QString formatMessage(win32::ErrorCode id);

}  // namespace sysutil
