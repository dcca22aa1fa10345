#include "sysutil/textconv.h"

#include <QTextCodec>

namespace sysutil {

std::wstring utf8ToWide(const std::string& text)
{
    // Stop at the first terminator, as the C-string based callers expect.
    const auto end = text.find('\0');
    return QString::fromUtf8(text.data(), int(end == std::string::npos ? text.size() : end)).toStdWString();
}

std::string wideToUtf8(const std::wstring& text)
{
    const auto end = text.find(L'\0');
    return QString::fromStdWString(end == std::wstring::npos ? text : text.substr(0, end)).toUtf8().toStdString();
}

std::wstring toWide(const QString& text)
{
    return text.toStdWString();
}

QString fromWide(const std::wstring& text)
{
    return QString::fromStdWString(text);
}

std::wstring intToWide(int value)
{
    return std::to_wstring(value);
}

QString fromUntrustedBytes(const QByteArray& bytes, int maxBytes)
{
    const QByteArray cut = bytes.left(maxBytes);
    QTextCodec* codec = QTextCodec::codecForName("UTF-8");
    QTextCodec::ConverterState state(QTextCodec::DefaultConversion);
    return codec->toUnicode(cut.constData(), cut.size(), &state);
}

}  // namespace sysutil
