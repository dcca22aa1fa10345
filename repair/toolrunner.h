#pragma once
// Running a system tool (ufw, nft, iptables, fc-cache) with an argument
// vector, a time limit and a bound on what is read back.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace repair {

// The tool's path: the environment variable when set, else the first of PATH,
// /usr/sbin and /sbin that has it (a user's PATH often lacks the sbin folders).
// Empty when it is not installed.
QString findTool(const char* overrideVariable, const QString& name);

struct ToolResult {
    int exitCode = -1;
    QByteArray output;  // standard output, at most 1 MiB
    QByteArray errors;  // standard error, at most 64 KiB
};
// nullopt when the tool could not start, crashed or ran past the time limit
// (it is then killed).
std::optional<ToolResult> runTool(const QString& program, const QStringList& args, int timeoutMs);

}  // namespace repair
