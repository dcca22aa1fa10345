// korvanectl hardware [--json]: the hardware summary the window shows.

#include "sysinfo/hardwaresummary.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace korvanectl {

int runHardware(const Arguments& arguments)
{
    // The readers' failures go to standard output, which is standard error
    // here (claimStandardOutput).
    const QString text = sysinfo::hardwareSummary();
    const QJsonObject summary = QJsonDocument::fromJson(text.toUtf8()).object();
    if (arguments.json) {
        printJson(summary);
        return kExitOk;
    }
    static const std::pair<const char*, const char*> rows[] = {
        { "host", "Computer" },
        { "system", "System" },
        { "bit", "Word size" },
        { "cpu", "Processor" },
        { "baseboard", "Board" },
        { "physicalMemory", "Memory" },
        { "diskDrive", "Disk" },
        { "videoController", "Display adapter" },
        { "monitor", "Monitor" },
        { "audioCard", "Sound" },
        { "networkAdapter", "Network adapter" },
    };
    for (const auto& [key, label] : rows) {
        const QJsonValue value = summary.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        QString shown = value.isDouble() ? QStringLiteral("%1-bit").arg(value.toInt()) : value.toString();
        printLine(QStringLiteral("%1: %2").arg(QLatin1String(label), -16).arg(terminalSafe(shown)));
    }
    return kExitOk;
}

} // namespace korvanectl
