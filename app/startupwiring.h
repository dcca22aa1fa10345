#pragma once
// The connections start-up makes between subsystems that do not know each
// other: every page window's view is registered with the download manager by
// its window type, and the scheduler's password requests are asked of the
// user in a dialog.

namespace app {

void registerWindowsWithDownloads();
void askSchedulerPasswordsInDialog();

}  // namespace app
