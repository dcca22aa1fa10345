#pragma once
// The error log: "file,line,message" lines appended to a named log file and
// echoed to standard output after "Error: ".

#include <string>

namespace sysutil {

void logError(const std::wstring& message, const char* sourceFile, int line, const std::wstring& logFilePath);

}  // namespace sysutil

#define KORVANE_LOG_ERROR(message, logFile) ::sysutil::logError((message), __FILE__, __LINE__, (logFile))
