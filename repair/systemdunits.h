#pragma once
// The CUPS units as systemd sees them, over org.freedesktop.systemd1.

#include "repair/systembus.h"

#include <QString>
#include <optional>

namespace repair {

// Whether systemd manages this machine: its runtime folder exists
// (KORVANE_SYSTEMD_RUNTIME_DIR, else /run/systemd/system).
bool systemdIsRunning();

struct UnitState {
    QString loadState;    // "loaded", "not-found", "masked", ...
    QString activeState;  // "active", "inactive", "failed", "activating", ...
};
// nullopt when systemd cannot be asked.
std::optional<UnitState> unitState(const SystemBus& bus, const QString& unit);

// The spooler's service state from cups.service and cups.socket: a service
// that is inactive while its socket listens still prints, since the first
// request starts it. service::kUnknown when no CUPS unit is installed.
int spoolerStateFromUnits(const std::optional<UnitState>& service, const std::optional<UnitState>& socket);

struct UnitRestart {
    bool done = false;
    QString detail;  // what happened, for the repair tool's report
};
// Restarts the unit as "systemctl restart" would, waiting (bounded) for the
// job to end, and reports whether the unit is active afterwards.
UnitRestart restartUnit(const SystemBus& bus, const QString& unit, int timeoutMs = 60000);

}  // namespace repair
