// The decisions made from what the machine reports: systemd unit states to
// service states, firewall listings to verdicts.

#include "repair/firewallrules.h"
#include "repair/repairtypes.h"
#include "repair/systemdunits.h"

#include <gtest/gtest.h>

using namespace repair;

TEST(RepairSpoolerUnits, ComesFromTheServiceAndItsSocket)
{
    struct Case {
        std::optional<UnitState> service;
        std::optional<UnitState> socket;
        int expected;
    };
    const UnitState missing{"not-found", "inactive"};
    const auto loaded = [](const char* state) { return UnitState{"loaded", state}; };
    const Case cases[] = {
        {loaded("active"), loaded("active"), service::kRunning},
        {loaded("inactive"), loaded("active"), service::kRunning},  // socket-activated, still prints
        {loaded("inactive"), loaded("inactive"), service::kStopped},
        {loaded("failed"), loaded("inactive"), service::kStopped},
        {loaded("failed"), missing, service::kStopped},
        {loaded("activating"), loaded("active"), service::kStartPending},
        {loaded("deactivating"), loaded("active"), service::kStopPending},
        {loaded("reloading"), std::nullopt, service::kRunning},
        {missing, missing, service::kUnknown},
        {std::nullopt, std::nullopt, service::kUnknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(spoolerStateFromUnits(c.service, c.socket), c.expected)
            << (c.service ? c.service->activeState.toStdString() : "none") << " / "
            << (c.socket ? c.socket->activeState.toStdString() : "none");
    }
}

namespace {

const char* kUfwHeader =
    "Status: active\n"
    "Logging: on (low)\n"
    "Default: %1 (incoming), allow (outgoing), disabled (routed)\n"
    "New profiles: skip\n"
    "\n"
    "To                         Action      From\n"
    "--                         ------      ----\n";

QString ufw(const char* policy, const QString& rules)
{
    return QString::fromLatin1(kUfwHeader).arg(QLatin1String(policy)) + rules;
}

}  // namespace

TEST(RepairUfwListing, DecidesPerGroup)
{
    struct Case {
        const char* what;
        QString listing;
        RuleVerdict discovery;
        RuleVerdict sharing;
    };
    const Case cases[] = {
        {"inactive", "Status: inactive\n", RuleVerdict::NoFirewall, RuleVerdict::NoFirewall},
        {"deny by default, nothing allowed", ufw("deny", "22/tcp                     ALLOW IN    Anywhere\n"),
         RuleVerdict::Blocked, RuleVerdict::Blocked},
        {"allow by default", ufw("allow", ""), RuleVerdict::Allowed, RuleVerdict::Allowed},
        {"port rules", ufw("deny", "5353/udp                   ALLOW IN    Anywhere\n"
                                   "631/tcp                    ALLOW IN    Anywhere\n"
                                   "139,445/tcp                ALLOW IN    Anywhere\n"
                                   "5353/udp (v6)              ALLOW IN    Anywhere (v6)\n"),
         RuleVerdict::Allowed, RuleVerdict::Allowed},
        {"application profiles", ufw("deny", "CUPS                       ALLOW IN    Anywhere\n"
                                             "Samba                      ALLOW IN    Anywhere\n"),
         RuleVerdict::Blocked, RuleVerdict::Allowed},
        {"IPP without SMB", ufw("deny", "631                        ALLOW IN    Anywhere\n"), RuleVerdict::Blocked,
         RuleVerdict::Blocked},
        {"first rule wins", ufw("allow", "5353/udp                   DENY IN     Anywhere\n"
                                         "5353/udp                   ALLOW IN    Anywhere\n"),
         RuleVerdict::Blocked, RuleVerdict::Allowed},
        {"wrong protocol", ufw("deny", "5353/tcp                   ALLOW IN    Anywhere\n"), RuleVerdict::Blocked,
         RuleVerdict::Blocked},
        {"port range", ufw("deny", "1:1000/tcp                 ALLOW IN    Anywhere\n"
                                   "5000:6000/udp              ALLOW IN    192.168.1.0/24\n"),
         RuleVerdict::Allowed, RuleVerdict::Allowed},
        {"not a ufw listing", "ERROR: You need to be root to run this script\n", RuleVerdict::Unreadable,
         RuleVerdict::Unreadable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ufwVerdict(c.listing, FirewallGroup::NetworkDiscovery), c.discovery) << c.what;
        EXPECT_EQ(ufwVerdict(c.listing, FirewallGroup::FileAndPrinterSharing), c.sharing) << c.what;
    }
}

namespace {

QByteArray nftRuleset(const char* policy, const QByteArray& rules)
{
    return R"({"nftables": [{"metainfo": {"version": "1.0.6", "json_schema_version": 1}},
      {"table": {"family": "inet", "name": "filter", "handle": 1}},
      {"chain": {"family": "inet", "table": "filter", "name": "input", "handle": 1, "type": "filter",
                 "hook": "input", "prio": 0, "policy": ")" +
           QByteArray(policy) + R"("}},
      {"chain": {"family": "inet", "table": "filter", "name": "output", "handle": 2, "type": "filter",
                 "hook": "output", "prio": 0, "policy": "drop"}})" +
           rules + "]}";
}

QByteArray nftRule(const char* match)
{
    return QByteArray(R"(, {"rule": {"family": "inet", "table": "filter", "chain": "input", "handle": 9, "expr": [)") +
           match + "]}}";
}

const char* kEstablished =
    R"({"match": {"op": "in", "left": {"ct": {"key": "state"}}, "right": ["established", "related"]}}, {"accept": null})";
const char* kMdns = R"({"match": {"op": "==", "left": {"payload": {"protocol": "udp", "field": "dport"}}, "right": 5353}}, {"accept": null})";
const char* kSharingSet =
    R"({"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": {"set": [139, 445, 631]}}}, {"accept": null})";
const char* kDropRange =
    R"({"match": {"op": "==", "left": {"payload": {"protocol": "th", "field": "dport"}}, "right": {"range": [5000, 6000]}}}, {"drop": null})";

}  // namespace

TEST(RepairNftListing, DecidesPerGroup)
{
    struct Case {
        const char* what;
        QByteArray json;
        RuleVerdict discovery;
        RuleVerdict sharing;
    };
    const Case cases[] = {
        {"empty ruleset", R"({"nftables": [{"metainfo": {"version": "1.0.6"}}]})", RuleVerdict::NoFirewall,
         RuleVerdict::NoFirewall},
        {"accept policy, no rules", nftRuleset("accept", ""), RuleVerdict::NoFirewall, RuleVerdict::NoFirewall},
        {"drop policy, only established", nftRuleset("drop", nftRule(kEstablished)), RuleVerdict::Blocked,
         RuleVerdict::Blocked},
        {"drop policy, mdns", nftRuleset("drop", nftRule(kEstablished) + nftRule(kMdns)), RuleVerdict::Allowed,
         RuleVerdict::Blocked},
        {"drop policy, both", nftRuleset("drop", nftRule(kMdns) + nftRule(kSharingSet)), RuleVerdict::Allowed,
         RuleVerdict::Allowed},
        {"accept policy, range dropped", nftRuleset("accept", nftRule(kDropRange)), RuleVerdict::Blocked,
         RuleVerdict::Allowed},
        {"garbage", "{not json", RuleVerdict::Unreadable, RuleVerdict::Unreadable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nftVerdict(c.json, FirewallGroup::NetworkDiscovery), c.discovery) << c.what;
        EXPECT_EQ(nftVerdict(c.json, FirewallGroup::FileAndPrinterSharing), c.sharing) << c.what;
    }
}

TEST(RepairIptablesListing, DecidesPerGroup)
{
    struct Case {
        const char* what;
        QString rules;
        RuleVerdict discovery;
        RuleVerdict sharing;
    };
    const Case cases[] = {
        {"open", "-P INPUT ACCEPT\n", RuleVerdict::NoFirewall, RuleVerdict::NoFirewall},
        {"closed", "-P INPUT DROP\n-A INPUT -i lo -j ACCEPT\n-A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT\n",
         RuleVerdict::Blocked, RuleVerdict::Blocked},
        {"mdns and sharing",
         "-P INPUT DROP\n-A INPUT -p udp -m udp --dport 5353 -j ACCEPT\n"
         "-A INPUT -p tcp -m multiport --dports 139,445,631 -j ACCEPT\n",
         RuleVerdict::Allowed, RuleVerdict::Allowed},
        {"rejected port", "-P INPUT ACCEPT\n-A INPUT -p tcp -m tcp --dport 631 -j REJECT\n", RuleVerdict::Allowed,
         RuleVerdict::Blocked},
        {"no listing", "iptables: Permission denied\n", RuleVerdict::Unreadable, RuleVerdict::Unreadable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(iptablesVerdict(c.rules, FirewallGroup::NetworkDiscovery), c.discovery) << c.what;
        EXPECT_EQ(iptablesVerdict(c.rules, FirewallGroup::FileAndPrinterSharing), c.sharing) << c.what;
    }
}
