#include "sysutil/errorlog.h"

#include "sysutil/textconv.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace sysutil {

void logError(const std::wstring& message, const char* sourceFile, int line, const std::wstring& logFilePath)
{
    // No setlocale here: changing the global locale races with every other
    // thread that formats text. Everything is written as UTF-8 bytes instead.
    static std::mutex lock;
    const char* slash = sourceFile ? std::strrchr(sourceFile, '/') : nullptr;
    const std::string fileName = slash ? slash + 1 : (sourceFile ? sourceFile : "");
    const std::string text = fileName + "," + std::to_string(line) + "," + wideToUtf8(message) + "\n";

    std::lock_guard<std::mutex> guard(lock);
    FILE* file = std::fopen(wideToUtf8(logFilePath).c_str(), "a");
    if (!file) {
        std::fputs("Error opening file\n", stdout);
        return;
    }
    std::fputs("Error: ", stdout);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(text.c_str(), file);
    std::fclose(file);
}

}  // namespace sysutil
