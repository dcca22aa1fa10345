#pragma once
// The one exception the hardware readers raise: a source that exists but is
// broken in a way that leaves nothing trustworthy to report (a listing that is
// not a folder, a file that cannot be read at all). Missing sources are not
// faults; they give empty results.

#include "sysutil/win32errors.h"

#include <exception>
#include <string>

namespace sysinfo {

// HRESULT_FROM_WIN32: failures of the Win32 facility.
constexpr std::uint32_t kHresultWin32Failure = 0x80070000u;
constexpr std::uint32_t hresultFromWin32(win32::ErrorCode code)
{
    return code == win32::kSuccess ? 0u : (kHresultWin32Failure | (code & 0xFFFFu));
}

class WMICException : public std::exception {
public:
    explicit WMICException(std::string text);
    const char* what() const noexcept override;

private:
    std::string m_text;
};

// "Query for xxx failed. Error code = 0x80070005\n" (the "xxx" is literal, as
// callers have always seen it).
std::string queryFailedText(std::uint32_t hresult);

} // namespace sysinfo
