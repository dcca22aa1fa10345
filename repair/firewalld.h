#pragma once
// firewalld over D-Bus: which of its services the active zones let in, and
// adding the printing services to them at run time and permanently.

#include "repair/repairtypes.h"
#include "repair/systembus.h"

#include <QStringList>
#include <optional>

namespace repair {

// The firewalld services a group needs.
QStringList firewalldServicesOf(FirewallGroup group);

bool firewalldRunning(const SystemBus& bus);

// Whether every active zone (the default zone when none is active) lets the
// group's services in; nullopt when firewalld does not answer.
std::optional<bool> firewalldAllows(const SystemBus& bus, FirewallGroup group);

struct FirewallChange {
    bool done = false;
    QString detail;
};
// Adds the services of both groups to every active zone, in the running
// configuration and in the permanent one.
FirewallChange firewalldOpenPrinting(const SystemBus& bus);

}  // namespace repair
