#include "repair/firewallrules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <map>
#include <optional>

namespace repair {

namespace {

constexpr int kMaxRules = 20000;

// A port list like "137,138", "1000:2000" or "631" holds the port.
bool portListHolds(const QString& list, int port)
{
    const QStringList parts = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const QStringList range = part.split(QLatin1Char(':'));
        bool okLow = false;
        bool okHigh = false;
        const int low = range.value(0).trimmed().toInt(&okLow);
        const int high = range.size() > 1 ? range.value(1).trimmed().toInt(&okHigh) : low;
        if (okLow && (range.size() == 1 || okHigh) && port >= low && port <= high)
            return true;
    }
    return false;
}

RuleVerdict combine(const std::vector<std::optional<bool>>& perPort)
{
    for (const auto& allowed : perPort) {
        if (!allowed.value_or(false))
            return RuleVerdict::Blocked;
    }
    return RuleVerdict::Allowed;
}

// ---- ufw ----

// The applications ufw ships profiles for that matter here.
bool ufwApplicationHolds(const QString& name, const Port& port)
{
    const QString app = name.toLower();
    if (app == QLatin1String("cups") || app == QLatin1String("ipp"))
        return port.tcp && port.number == 631;
    if (app == QLatin1String("samba"))
        return port.tcp ? (port.number == 139 || port.number == 445) : (port.number == 137 || port.number == 138);
    if (app == QLatin1String("mdns") || app == QLatin1String("bonjour"))
        return !port.tcp && port.number == 5353;
    return false;
}

std::optional<bool> ufwToHolds(QString to, const Port& port)
{
    to.remove(QStringLiteral("(v6)"));
    to = to.trimmed();
    if (to.startsWith(QLatin1String("Anywhere")))
        return true;
    // "ADDRESS PORTS/PROTO" keeps only the ports.
    const int space = to.lastIndexOf(QLatin1Char(' '));
    if (space > 0)
        to = to.mid(space + 1);
    const int slash = to.indexOf(QLatin1Char('/'));
    if (slash < 0) {
        if (to.front().isDigit())
            return portListHolds(to, port.number);
        return ufwApplicationHolds(to, port);
    }
    const QString proto = to.mid(slash + 1);
    if (proto != (port.tcp ? QLatin1String("tcp") : QLatin1String("udp")))
        return false;
    return portListHolds(to.left(slash), port.number);
}

// ---- nftables ----

bool nftValueHolds(const QJsonValue& value, int port)
{
    if (value.isDouble())
        return value.toInt() == port;
    const QJsonObject object = value.toObject();
    if (object.contains(QLatin1String("range"))) {
        const QJsonArray range = object.value(QLatin1String("range")).toArray();
        return range.size() == 2 && port >= range.at(0).toInt() && port <= range.at(1).toInt();
    }
    if (object.contains(QLatin1String("set"))) {
        const QJsonArray set = object.value(QLatin1String("set")).toArray();
        for (int i = 0; i < set.size() && i < kMaxRules; ++i) {
            if (nftValueHolds(set.at(i), port))
                return true;
        }
    }
    return false;
}

// nullopt when the rule says nothing about this port, else whether it accepts.
std::optional<bool> nftRuleDecides(const QJsonArray& expressions, const Port& port)
{
    bool hasMatch = false;
    bool portMatches = false;
    std::optional<bool> verdict;
    for (const QJsonValue& e : expressions) {
        const QJsonObject expression = e.toObject();
        if (expression.contains(QLatin1String("accept")))
            verdict = true;
        else if (expression.contains(QLatin1String("drop")) || expression.contains(QLatin1String("reject")))
            verdict = false;
        const QJsonObject match = expression.value(QLatin1String("match")).toObject();
        if (match.isEmpty())
            continue;
        hasMatch = true;
        const QJsonObject payload = match.value(QLatin1String("left")).toObject().value(QLatin1String("payload")).toObject();
        if (payload.value(QLatin1String("field")).toString() != QLatin1String("dport"))
            continue;
        const QString protocol = payload.value(QLatin1String("protocol")).toString();
        const bool protocolFits = protocol == QLatin1String("th") ||
                                  protocol == (port.tcp ? QLatin1String("tcp") : QLatin1String("udp"));
        const QString op = match.value(QLatin1String("op")).toString();
        if (protocolFits && (op == QLatin1String("==") || op == QLatin1String("in")) &&
            nftValueHolds(match.value(QLatin1String("right")), port.number))
            portMatches = true;
    }
    if (!verdict)
        return std::nullopt;
    // A rule without any condition decides everything; one with conditions
    // decides only when it names the port (others, like "ct state
    // established", do not concern new incoming traffic).
    if (!hasMatch || portMatches)
        return verdict;
    return std::nullopt;
}

// ---- iptables ----

std::optional<bool> iptablesRuleDecides(const QString& line, const Port& port)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    std::optional<bool> verdict;
    bool hasCondition = false;
    bool portMatches = false;
    QString protocol;
    for (int i = 2; i < words.size(); ++i) {
        const QString& w = words.at(i);
        const QString next = words.value(i + 1);
        if (w == QLatin1String("-j")) {
            if (next == QLatin1String("ACCEPT"))
                verdict = true;
            else if (next == QLatin1String("DROP") || next == QLatin1String("REJECT"))
                verdict = false;
            ++i;
        } else if (w == QLatin1String("-p")) {
            protocol = next;
            hasCondition = true;
            ++i;
        } else if (w == QLatin1String("--dport") || w == QLatin1String("--dports")) {
            portMatches = portListHolds(next, port.number);
            ++i;
        } else if (w.startsWith(QLatin1Char('-')) && w != QLatin1String("-m")) {
            hasCondition = true;
        }
    }
    if (!verdict)
        return std::nullopt;
    if (!hasCondition)
        return verdict;
    const bool protocolFits = protocol.isEmpty() || protocol == (port.tcp ? QLatin1String("tcp") : QLatin1String("udp"));
    if (portMatches && protocolFits)
        return verdict;
    return std::nullopt;
}

}  // namespace

std::vector<Port> portsOf(FirewallGroup group)
{
    if (group == FirewallGroup::NetworkDiscovery)
        return {{5353, false}};
    return {{631, true}, {445, true}};
}

RuleVerdict ufwVerdict(const QString& statusText, FirewallGroup group)
{
    const QStringList lines = statusText.split(QLatin1Char('\n'));
    if (lines.isEmpty() || !lines.first().startsWith(QLatin1String("Status:")))
        return RuleVerdict::Unreadable;
    if (lines.first().contains(QLatin1String("inactive")))
        return RuleVerdict::NoFirewall;
    bool defaultAllows = false;
    bool inRules = false;
    std::vector<std::optional<bool>> perPort(portsOf(group).size());
    static const QRegularExpression columns(QStringLiteral("^(.+?)\\s{2,}(ALLOW|DENY|REJECT|LIMIT)(\\s+IN)?\\s"));
    for (int n = 1; n < lines.size() && n < kMaxRules; ++n) {
        const QString& line = lines.at(n);
        if (line.startsWith(QLatin1String("Default:"))) {
            defaultAllows = line.contains(QLatin1String("allow (incoming)"));
            continue;
        }
        if (line.startsWith(QLatin1String("--"))) {
            inRules = true;
            continue;
        }
        if (!inRules)
            continue;
        const QRegularExpressionMatch m = columns.match(line + QLatin1Char(' '));
        if (!m.hasMatch() || m.captured(2).isEmpty())
            continue;
        // ufw applies the first rule that matches.
        const auto ports = portsOf(group);
        for (std::size_t p = 0; p < ports.size(); ++p) {
            if (perPort[p] || !ufwToHolds(m.captured(1), ports[p]).value_or(false))
                continue;
            perPort[p] = m.captured(2) == QLatin1String("ALLOW") || m.captured(2) == QLatin1String("LIMIT");
        }
    }
    for (auto& allowed : perPort) {
        if (!allowed)
            allowed = defaultAllows;
    }
    return combine(perPort);
}

RuleVerdict nftVerdict(const QByteArray& json, FirewallGroup group)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return RuleVerdict::Unreadable;
    const QJsonArray items = document.object().value(QLatin1String("nftables")).toArray();
    struct Chain {
        bool dropsByDefault = false;
        std::vector<QJsonArray> rules;
    };
    // Keyed by family, table and chain name; only base chains on the input hook.
    std::map<QString, Chain> inputChains;
    const auto key = [](const QJsonObject& o) -> QString {
        return o.value(QLatin1String("family")).toString() + QLatin1Char('/') + o.value(QLatin1String("table")).toString() +
               QLatin1Char('/') + o.value(QLatin1String("chain")).toString(o.value(QLatin1String("name")).toString());
    };
    for (int i = 0; i < items.size() && i < kMaxRules; ++i) {
        const QJsonObject chain = items.at(i).toObject().value(QLatin1String("chain")).toObject();
        const QString family = chain.value(QLatin1String("family")).toString();
        if (chain.value(QLatin1String("hook")).toString() == QLatin1String("input") &&
            (family == QLatin1String("ip") || family == QLatin1String("ip6") || family == QLatin1String("inet")))
            inputChains[key(chain)].dropsByDefault = chain.value(QLatin1String("policy")).toString() == QLatin1String("drop");
    }
    if (inputChains.empty())
        return RuleVerdict::NoFirewall;
    for (int i = 0; i < items.size() && i < kMaxRules; ++i) {
        const QJsonObject rule = items.at(i).toObject().value(QLatin1String("rule")).toObject();
        const auto chain = inputChains.find(key(rule));
        if (!rule.isEmpty() && chain != inputChains.end())
            chain->second.rules.push_back(rule.value(QLatin1String("expr")).toArray());
    }
    // A packet must pass every base chain on the input hook.
    const auto ports = portsOf(group);
    std::vector<std::optional<bool>> perPort(ports.size(), true);
    // Filtering is active when anything on the input hook drops packets.
    bool anyDrops = false;
    for (const auto& [name, chain] : inputChains) {
        anyDrops = anyDrops || chain.dropsByDefault;
        for (const QJsonArray& expressions : chain.rules) {
            for (const QJsonValue& e : expressions) {
                const QJsonObject expression = e.toObject();
                anyDrops = anyDrops || expression.contains(QLatin1String("drop")) ||
                           expression.contains(QLatin1String("reject"));
            }
        }
        for (std::size_t p = 0; p < ports.size(); ++p) {
            std::optional<bool> decided;
            for (const QJsonArray& expressions : chain.rules) {
                decided = nftRuleDecides(expressions, ports[p]);
                if (decided)
                    break;
            }
            perPort[p] = *perPort[p] && decided.value_or(!chain.dropsByDefault);
        }
    }
    if (!anyDrops)
        return RuleVerdict::NoFirewall;
    return combine(perPort);
}

RuleVerdict iptablesVerdict(const QString& rulesText, FirewallGroup group)
{
    const QStringList lines = rulesText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    bool dropsByDefault = false;
    bool sawPolicy = false;
    std::vector<QString> rules;
    for (int n = 0; n < lines.size() && n < kMaxRules; ++n) {
        const QString line = lines.at(n).trimmed();
        if (line.startsWith(QLatin1String("-P INPUT "))) {
            sawPolicy = true;
            dropsByDefault = !line.endsWith(QLatin1String("ACCEPT"));
        } else if (line.startsWith(QLatin1String("-A INPUT "))) {
            rules.push_back(line);
        }
    }
    if (!sawPolicy)
        return RuleVerdict::Unreadable;
    if (!dropsByDefault && rules.empty())
        return RuleVerdict::NoFirewall;
    const auto ports = portsOf(group);
    std::vector<std::optional<bool>> perPort(ports.size());
    for (std::size_t p = 0; p < ports.size(); ++p) {
        for (const QString& rule : rules) {
            perPort[p] = iptablesRuleDecides(rule, ports[p]);
            if (perPort[p])
                break;
        }
        if (!perPort[p])
            perPort[p] = !dropsByDefault;
    }
    return combine(perPort);
}

}  // namespace repair
