#pragma once
// Writing korvanectl's answers: text lines to standard output, messages to
// standard error, JSON documents indented and ending in a newline.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace korvanectl {

// Keeps standard output for korvanectl's own answers: what the libraries
// write there (their error logs, reader failures) goes to standard error from
// now on. Call once, first.
void claimStandardOutput();
// Whether our standard output is a terminal.
bool outputIsTerminal();

void printLine(const QString& line);
void printText(const QString& text);
void printError(const QString& message);
void printJson(const QJsonObject& document);
// Text from the print system or a device, made safe to show on a terminal:
// control characters become '?'.
QString terminalSafe(const QString& text);

// Exit codes shared by the commands.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

} // namespace korvanectl
