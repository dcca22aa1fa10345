#include "repair/firewallstate.h"

#include "repair/firewalld.h"
#include "repair/firewallrules.h"
#include "repair/systembus.h"
#include "repair/toolrunner.h"
#include "sysutil/paths.h"

#include <QDeadlineTimer>
#include <QFile>
#include <cstdio>

namespace repair {

namespace {

constexpr int kToolTimeoutMs = 1000;

int remaining(const QDeadlineTimer& deadline)
{
    return int(std::max<qint64>(100, std::min<qint64>(kToolTimeoutMs, deadline.remainingTime())));
}

// ufw's own switch, readable by everyone even when its rules are not.
bool ufwSwitchedOn()
{
    QFile conf(sysutil::envPath("KORVANE_UFW_CONF", QStringLiteral("/etc/ufw/ufw.conf")));
    if (!conf.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = conf.read(64 << 10).split('\n');
    for (const QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("ENABLED="))
            return trimmed.mid(8).replace('"', "").toLower() == "yes";
    }
    return false;
}

std::optional<bool> fromVerdict(RuleVerdict verdict)
{
    switch (verdict) {
    case RuleVerdict::Allowed: return true;
    case RuleVerdict::Blocked: return false;
    case RuleVerdict::NoFirewall:
    case RuleVerdict::Unreadable: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

bool firewallAllows(FirewallGroup group)
{
    const QDeadlineTimer deadline(1800);
    {
        SystemBus bus;
        if (firewalldRunning(bus))
            return firewalldAllows(bus, group).value_or(false);
    }

    const QString ufw = findTool("KORVANE_UFW", QStringLiteral("ufw"));
    if (!ufw.isEmpty()) {
        const auto status = runTool(ufw, {QStringLiteral("status"), QStringLiteral("verbose")}, remaining(deadline));
        if (status && status->exitCode == 0) {
            const RuleVerdict verdict = ufwVerdict(QString::fromUtf8(status->output), group);
            if (auto answer = fromVerdict(verdict))
                return *answer;
        } else if (ufwSwitchedOn()) {
            // ufw is on but only root may read its rules: nothing proves the
            // traffic is let in.
            std::fputs("checkFirewall: ufw is enabled and its rules are not readable\n", stderr);
            return false;
        }
    }

    const QString nft = findTool("KORVANE_NFT", QStringLiteral("nft"));
    if (!nft.isEmpty() && !deadline.hasExpired()) {
        const auto ruleset = runTool(nft, {QStringLiteral("-j"), QStringLiteral("list"), QStringLiteral("ruleset")},
                                     remaining(deadline));
        if (ruleset && ruleset->exitCode == 0) {
            const RuleVerdict verdict = nftVerdict(ruleset->output, group);
            if (verdict == RuleVerdict::NoFirewall)
                return true;
            if (auto answer = fromVerdict(verdict))
                return *answer;
        }
    }

    const QString iptables = findTool("KORVANE_IPTABLES", QStringLiteral("iptables"));
    if (!iptables.isEmpty() && !deadline.hasExpired()) {
        const auto rules = runTool(iptables, {QStringLiteral("-S"), QStringLiteral("INPUT")}, remaining(deadline));
        if (rules && rules->exitCode == 0) {
            const RuleVerdict verdict = iptablesVerdict(QString::fromUtf8(rules->output), group);
            if (verdict == RuleVerdict::NoFirewall)
                return true;
            if (auto answer = fromVerdict(verdict))
                return *answer;
        }
    }
    // No firewall manager is active and the kernel's rules are out of reach
    // (reading them needs root): nothing is known to block the traffic.
    return true;
}

}  // namespace repair
