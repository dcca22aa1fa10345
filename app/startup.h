#pragma once
// Process-wide values set at start-up.

#include <QString>

namespace app {

constexpr const char* kVersion = "7.0.0.0";
constexpr const char* kOrganization = "Velmora";
constexpr const char* kApplicationName = "Korvane";
// The product key and sub-name read back by baseSystemInfo.
constexpr const char* kProductKey = "korvane";
constexpr const char* kProductSubName = "printer";

// Whether a display is there to open windows on.
bool haveDisplay();

}  // namespace app
