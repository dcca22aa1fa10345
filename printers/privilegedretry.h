#pragma once

// Refused administrative requests are tried once more as root: the CUPS
// command that does the same, through pkexec, at the scheduler this program
// talks to.

#include "sysutil/win32errors.h"

#include <QString>
#include <QStringList>

namespace PrinterAPI {

// The absolute path the retry runs TOOL by (lpadmin, cupsenable, cupsdisable,
// cupsaccept, cupsreject, cancel, lp): the path its polkit action in
// com.velmora.korvane.policy names, whatever PATH holds. "" for another name.
QString privilegedToolPath(const QString& tool);

// Runs "pkexec PATH -h SCHEDULER ARGUMENTS..." (PATH as above) as an argument
// vector and waits for the user's answer (two minutes at most). pkexec clears
// the environment, so the scheduler travels on the command line rather than
// in CUPS_SERVER. 0 on success, 5 when pkexec or the tool is missing (or not
// one of those), the dialog was dismissed or authorisation refused, 31 when
// the tool failed.
win32::ErrorCode runCupsToolAsAdmin(const QString& tool, const QStringList& arguments);

}  // namespace PrinterAPI
