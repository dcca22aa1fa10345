#include "tools/korvanectl/output.h"

#include <QJsonDocument>
#include <cstdio>

namespace korvanectl {

namespace {

void write(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

}  // namespace

QString terminalSafe(const QString& text)
{
    QString safe = text;
    for (QChar& c : safe) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            c = QLatin1Char('?');
    }
    return safe;
}

void printLine(const QString& line)
{
    write(stdout, line.toUtf8() + '\n');
}

void printError(const QString& message)
{
    write(stderr, QByteArrayLiteral("korvanectl: ") + message.toUtf8() + '\n');
}

void printJson(const QJsonObject& document)
{
    write(stdout, QJsonDocument(document).toJson(QJsonDocument::Indented));
}

}  // namespace korvanectl
