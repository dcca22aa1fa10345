#include "tools/korvanectl/output.h"

#include <QJsonDocument>
#include <cstdio>
#include <unistd.h>

namespace korvanectl {

namespace {

std::FILE* answers = stdout;

void write(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void claimStandardOutput()
{
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    if (saved < 0)
        return;
    std::FILE* stream = fdopen(saved, "w");
    if (!stream) {
        close(saved);
        return;
    }
    if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::fclose(stream);
        return;
    }
    answers = stream;
}

bool outputIsTerminal()
{
    return isatty(fileno(answers)) == 1;
}

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
    write(answers, line.toUtf8() + '\n');
}

void printText(const QString& text)
{
    write(answers, text.toUtf8());
}

void printError(const QString& message)
{
    write(stderr, QByteArrayLiteral("korvanectl: ") + message.toUtf8() + '\n');
}

void printJson(const QJsonObject& document)
{
    write(answers, QJsonDocument(document).toJson(QJsonDocument::Indented));
}

} // namespace korvanectl
