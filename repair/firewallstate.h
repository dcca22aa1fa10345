#pragma once
// Whether the machine's firewall lets a group's traffic in.

#include "repair/repairtypes.h"

namespace repair {

// Asks, in this order, firewalld (over D-Bus), ufw, nftables and iptables; the
// first that is active decides. No active firewall counts as open. Answers
// within about two seconds whatever hangs.
bool firewallAllows(FirewallGroup group);

}  // namespace repair
