#pragma once
// Reading firewall rule listings: which ports each traffic group needs, and
// whether a ufw, nftables or iptables listing lets them in. Pure functions on
// text so every rule form is checked without a firewall.

#include "repair/repairtypes.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace repair {

struct Port {
    int number = 0;
    bool tcp = false;  // else UDP
};

// The incoming ports a group needs: mDNS for discovery (SNMP replies are
// answers to our own requests, which every stateful firewall lets back in);
// IPP and SMB for sharing.
std::vector<Port> portsOf(FirewallGroup group);

enum class RuleVerdict {
    Allowed,     // every port the group needs is let in
    Blocked,     // some port is dropped or rejected
    NoFirewall,  // the listing shows no active filtering
    Unreadable,  // the listing could not be understood
};

// "ufw status verbose".
RuleVerdict ufwVerdict(const QString& statusText, FirewallGroup group);
// "nft -j list ruleset".
RuleVerdict nftVerdict(const QByteArray& json, FirewallGroup group);
// "iptables -S INPUT".
RuleVerdict iptablesVerdict(const QString& rulesText, FirewallGroup group);

}  // namespace repair
