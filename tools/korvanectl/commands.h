#pragma once
// The commands of korvanectl; each returns the program's exit code.

#include "tools/korvanectl/arguments.h"

namespace korvanectl {

int runPrinters(const Arguments& arguments);
int runHardware(const Arguments& arguments);
int runCheck(const Arguments& arguments);
int runSearch(const Arguments& arguments);
int runRepair(const Arguments& arguments);
int runAdd(const Arguments& arguments);

} // namespace korvanectl
