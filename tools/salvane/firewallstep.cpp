#include "repair/firewalld.h"
#include "repair/firewallrules.h"
#include "repair/firewallstate.h"
#include "repair/systembus.h"
#include "repair/toolrunner.h"
#include "steps.h"

namespace salvane {

namespace {

constexpr int kUfwTimeoutMs = 30000;

// ufw rules for mDNS, IPP and SMB (with the NetBIOS ports SMB browsing uses).
const char* const kUfwRules[] = {"5353/udp", "631/tcp", "137,138/udp", "139,445/tcp"};

std::optional<StepOutcome> openUfw()
{
    const QString ufw = repair::findTool("KORVANE_UFW", QStringLiteral("ufw"));
    if (ufw.isEmpty())
        return std::nullopt;
    const auto status = repair::runTool(ufw, {QStringLiteral("status"), QStringLiteral("verbose")}, kUfwTimeoutMs);
    if (!status || status->exitCode != 0)
        return StepOutcome{false, QStringLiteral("ufw status cannot be read")};
    if (repair::ufwVerdict(QString::fromUtf8(status->output), repair::FirewallGroup::NetworkDiscovery) ==
        repair::RuleVerdict::NoFirewall)
        return std::nullopt;
    for (const char* rule : kUfwRules) {
        const auto added = repair::runTool(ufw, {QStringLiteral("allow"), QLatin1String(rule)}, kUfwTimeoutMs);
        if (!added || added->exitCode != 0)
            return StepOutcome{false, QStringLiteral("ufw allow %1 failed").arg(QLatin1String(rule))};
    }
    const auto after = repair::runTool(ufw, {QStringLiteral("status"), QStringLiteral("verbose")}, kUfwTimeoutMs);
    const QString text = after ? QString::fromUtf8(after->output) : QString();
    if (repair::ufwVerdict(text, repair::FirewallGroup::NetworkDiscovery) != repair::RuleVerdict::Allowed ||
        repair::ufwVerdict(text, repair::FirewallGroup::FileAndPrinterSharing) != repair::RuleVerdict::Allowed)
        return StepOutcome{false, QStringLiteral("ufw still blocks printing traffic (an earlier deny rule wins)")};
    return StepOutcome{true, QStringLiteral("ufw allows mDNS, IPP and SMB")};
}

}  // namespace

StepOutcome openFirewall()
{
    {
        repair::SystemBus bus(30000);
        if (repair::firewalldRunning(bus)) {
            const repair::FirewallChange change = repair::firewalldOpenPrinting(bus);
            return {change.done, QStringLiteral("firewalld: ") + change.detail};
        }
    }
    if (auto outcome = openUfw())
        return *outcome;
    // Rules that no firewall manager owns are the administrator's own; they
    // are reported, not rewritten.
    if (repair::firewallAllows(repair::FirewallGroup::NetworkDiscovery) &&
        repair::firewallAllows(repair::FirewallGroup::FileAndPrinterSharing))
        return {true, QStringLiteral("no firewall blocks printing traffic")};
    return {false, QStringLiteral("incoming printing traffic is filtered by rules no firewall manager owns")};
}

}  // namespace salvane
