#pragma once
// The product's names and version, as the application and the pages know them.

namespace app {

constexpr const char* kVersion = "7.0.0.0";
constexpr const char* kOrganization = "Velmora";
constexpr const char* kApplicationName = "Korvane";
// The product key and sub-name read back by baseSystemInfo.
constexpr const char* kProductKey = "korvane";
constexpr const char* kProductSubName = "printer";

}  // namespace app
