#include "repair/systemdunits.h"

#include "repair/repairtypes.h"
#include "sysutil/paths.h"

#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

namespace repair {

namespace {
const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManager = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kUnit = QStringLiteral("org.freedesktop.systemd1.Unit");
const QString kJob = QStringLiteral("org.freedesktop.systemd1.Job");

std::optional<QString> unitPath(const SystemBus& bus, const QString& unit)
{
    // LoadUnit rather than GetUnit: systemd unloads an idle stopped unit, and
    // GetUnit would then call it unknown.
    const auto path = firstValue(bus.call(kSystemd, kManagerPath, kManager, QStringLiteral("LoadUnit"), {unit}));
    if (!path)
        return std::nullopt;
    return path->value<QDBusObjectPath>().path();
}
}  // namespace

bool systemdIsRunning()
{
    return QFileInfo(sysutil::envPath("KORVANE_SYSTEMD_RUNTIME_DIR", QStringLiteral("/run/systemd/system"))).isDir();
}

std::optional<UnitState> unitState(const SystemBus& bus, const QString& unit)
{
    const auto path = unitPath(bus, unit);
    if (!path)
        return std::nullopt;
    const auto load = bus.property(kSystemd, *path, kUnit, QStringLiteral("LoadState"));
    const auto active = bus.property(kSystemd, *path, kUnit, QStringLiteral("ActiveState"));
    if (!load || !active)
        return std::nullopt;
    return UnitState{load->toString(), active->toString()};
}

int spoolerStateFromUnits(const std::optional<UnitState>& service, const std::optional<UnitState>& socket)
{
    const auto installed = [](const std::optional<UnitState>& u) {
        return u && u->loadState != QLatin1String("not-found");
    };
    if (!installed(service) && !installed(socket))
        return service::kUnknown;
    const QString state = installed(service) ? service->activeState : QString();
    if (state == QLatin1String("active") || state == QLatin1String("reloading"))
        return service::kRunning;
    if (state == QLatin1String("activating"))
        return service::kStartPending;
    if (state == QLatin1String("deactivating"))
        return service::kStopPending;
    if (installed(socket) && socket->activeState == QLatin1String("active"))
        return service::kRunning;
    return service::kStopped;
}

UnitRestart restartUnit(const SystemBus& bus, const QString& unit, int timeoutMs)
{
    if (!bus.isConnected())
        return {false, QStringLiteral("the system bus is not reachable")};
    const QDBusMessage reply = bus.call(kSystemd, kManagerPath, kManager, QStringLiteral("RestartUnit"),
                                        {unit, QStringLiteral("replace")}, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {false, QStringLiteral("systemd refused to restart %1: %2").arg(unit, reply.errorMessage())};
    const QString job = firstValue(reply)->value<QDBusObjectPath>().path();
    // The job object exists until the job has run; then the unit tells how it went.
    QDeadlineTimer deadline(timeoutMs);
    while (!job.isEmpty() && bus.property(kSystemd, job, kJob, QStringLiteral("State"))) {
        if (deadline.hasExpired())
            return {false, QStringLiteral("%1 did not finish restarting in time").arg(unit)};
        QThread::msleep(100);
    }
    // A unit can report "activating" for a moment after its restart job ended.
    for (;;) {
        const auto state = unitState(bus, unit);
        if (!state)
            return {false, QStringLiteral("systemd no longer answers about %1").arg(unit)};
        if (state->activeState == QLatin1String("active"))
            return {true, QStringLiteral("%1 is active").arg(unit)};
        if (state->activeState != QLatin1String("activating") || deadline.hasExpired())
            return {false, QStringLiteral("%1 is %2 after the restart").arg(unit, state->activeState)};
        QThread::msleep(100);
    }
}

}  // namespace repair
