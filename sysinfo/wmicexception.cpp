#include "sysinfo/wmicexception.h"

#include <cstdio>

namespace sysinfo {

WMICException::WMICException(std::string text)
    : m_text(std::move(text))
{
}

const char* WMICException::what() const noexcept
{
    return m_text.c_str();
}

std::string queryFailedText(std::uint32_t hresult)
{
    char hex[16] = {};
    std::snprintf(hex, sizeof hex, "%x", unsigned(hresult));
    return std::string("Query for xxx failed.") + " Error code = 0x" + hex + "\n";
}

} // namespace sysinfo
