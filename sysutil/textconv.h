#pragma once
// Conversions between the program's UTF-8 text and wide strings. On Linux
// std::wstring holds UTF-32, so a non-BMP character is one unit here and two in
// the UTF-16 the pages were written against; the round trip keeps both intact.

#include <QString>
#include <string>

namespace sysutil {

std::wstring utf8ToWide(const std::string& text);
std::string wideToUtf8(const std::wstring& text);
std::wstring toWide(const QString& text);
QString fromWide(const std::wstring& text);
std::wstring intToWide(int value);

// Text that came from a device, a file or the network: invalid UTF-8 becomes
// U+FFFD and the result is cut at maxBytes of input.
QString fromUntrustedBytes(const QByteArray& bytes, int maxBytes = 4096);

}  // namespace sysutil
