#pragma once
// Process-wide values set at start-up, and the start-up itself: main() and
// the end-to-end tests run the same sequence.

#include "app/productinfo.h"

#include <QString>

class MainBlkWindow;

namespace app {

// Whether a display is there to open windows on.
bool haveDisplay();

// The application's names and version, before the application object exists.
void setApplicationNames();

// Once per process, with the application object in place: the language, the
// user record, the download manager and the connections between subsystems.
// Returns the part of the web engine that is missing (nothing else has been
// started then), or an empty string. Later calls only repeat the engine check.
QString startServices();

// Opens the main window on the bundled pages and subscribes it to printer
// changes. Null when the window cannot be created. The window deletes itself
// when it closes.
MainBlkWindow* openMainWindow();

// Stops the printer monitor and releases every page window and the engine.
// Call before the application object goes; openMainWindow() may follow.
void stopServices();

}  // namespace app
