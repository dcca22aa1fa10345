#pragma once
// Writing korvanectl's answers: text lines to standard output, messages to
// standard error, JSON documents indented and ending in a newline.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace korvanectl {

void printLine(const QString& line);
void printError(const QString& message);
void printJson(const QJsonObject& document);
// Text from the print system or a device, made safe to show on a terminal:
// control characters become '?'.
QString terminalSafe(const QString& text);

// Exit codes shared by the commands.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

}  // namespace korvanectl
