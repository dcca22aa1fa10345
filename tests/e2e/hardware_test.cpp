// Hardware: opening the panel reads this machine's summary (no fixture root),
// shown as a table whose rows match what the system itself says.

#include "e2efixture.h"

#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSysInfo>

namespace e2e {
namespace {

QString osReleaseValue(const QString& key)
{
    for (const QString& path : {QStringLiteral("/etc/os-release"), QStringLiteral("/usr/lib/os-release")}) {
        const QStringList lines = QString::fromUtf8(testsupport::readFile(path)).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            if (line.startsWith(key + QLatin1Char('=')))
                return line.mid(key.size() + 1).remove(QLatin1Char('"')).trimmed();
        }
    }
    return QString();
}

QString firstCpuModel()
{
    const QStringList lines = QString::fromUtf8(testsupport::readFile(QStringLiteral("/proc/cpuinfo"))).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("model name")))
            return line.section(QLatin1Char(':'), 1).simplified();
    }
    return QString();
}

class Hardware : public EndToEnd {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(qEnvironmentVariableIsEmpty("KORVANE_SYSINFO_ROOT")) << "this scenario reads the machine itself";
        EndToEnd::SetUp();
    }
    // The table's rows: field -> shown value.
    QJsonObject rows()
    {
        return page(QStringLiteral("(function () { var o = {}; Array.prototype.forEach.call("
                                   "document.querySelectorAll('#hardware-table tr'), function (r) {"
                                   " o[r.getAttribute('data-field')] = r.cells[1].textContent; }); return o; })()"))
            .toObject();
    }
};

TEST_F(Hardware, thePanelShowsThisMachine)
{
    showPanel(QStringLiteral("hardware"));
    ASSERT_TRUE(waitForPage(QStringLiteral("!document.getElementById('hardware-table').hidden"), std::chrono::seconds(120)))
        << page(QStringLiteral("document.getElementById('hardware-notice').textContent")).toString().toStdString();
    const QJsonObject shown = rows();
    for (const char* field : {"host", "system", "bit", "cpu", "physicalMemory", "networkAdapter"})
        EXPECT_TRUE(shown.contains(QLatin1String(field))) << field;

    EXPECT_EQ(shown.value(QStringLiteral("host")), QJsonValue(QSysInfo::machineHostName()));
    const QString system = shown.value(QStringLiteral("system")).toString();
    const QString name = osReleaseValue(QStringLiteral("NAME"));
    EXPECT_FALSE(name.isEmpty());
    EXPECT_TRUE(system.contains(name)) << system.toStdString() << " / " << name.toStdString();
    const QString cpu = firstCpuModel();
    if (!cpu.isEmpty()) {
        EXPECT_TRUE(shown.value(QStringLiteral("cpu")).toString().simplified().contains(cpu))
            << shown.value(QStringLiteral("cpu")).toString().toStdString() << " / " << cpu.toStdString();
    }
    EXPECT_EQ(shown.value(QStringLiteral("bit")), QJsonValue(QSysInfo::WordSize == 64 ? QStringLiteral("64-bit")
                                                                                   : QStringLiteral("32-bit")));
    // Copy as text is offered once there is something to copy.
    EXPECT_EQ(page(QStringLiteral("document.getElementById('hardware-copy').disabled")), QJsonValue(false));
    screenshot(QStringLiteral("hardware"));
}

}  // namespace
}  // namespace e2e
