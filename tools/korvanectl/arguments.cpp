#include "tools/korvanectl/arguments.h"

#include "discovery/addressprobe.h"
#include "printers/cupsconnection.h"
#include "printers/printersetup.h"

namespace korvanectl {

namespace {

bool hasControlCharacters(const QString& word)
{
    for (const QChar c : word) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// The word as it may be quoted in a message: bounded and without control
// characters, so a hostile argument cannot rewrite the terminal.
QString shown(const QString& word)
{
    QString text = word.left(40);
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return word.size() > 40 ? text + QStringLiteral("...") : text;
}

ParseResult fail(const QString& message)
{
    ParseResult result;
    result.error = message;
    return result;
}

QString badQueueName(const QString& word)
{
    return QStringLiteral("\"%1\" cannot be a queue name (no blanks, quotes, slashes, '#', '?' or '\\', at most "
                          "127 bytes)")
        .arg(shown(word));
}

// The printer "add" is given: a URI the setup takes, or a host to ask.
std::optional<QString> checkTarget(const QString& word, QString& error)
{
    if (isPrinterUri(word))
        return word;
    const int scheme = word.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        const QString name = word.left(scheme).toLower();
        if (name == QLatin1String("ipp") || name == QLatin1String("ipps") || name == QLatin1String("socket"))
            error = QStringLiteral("\"%1\" is not a printer URI korvanectl can use (like ipp://HOST:631/ipp/print "
                                   "or socket://HOST:9100: no blanks, quotes or user names)")
                        .arg(shown(word));
        else
            error = QStringLiteral("\"add\" takes ipp://, ipps:// or socket:// URIs, not \"%1\"").arg(shown(word));
        return std::nullopt;
    }
    if (discovery::isValidPrinterHost(word))
        return word;
    error = QStringLiteral("\"%1\" is neither a printer URI nor a host name or IPv4 address").arg(shown(word));
    return std::nullopt;
}

} // namespace

bool isPrinterUri(const QString& text)
{
    return PrinterAPI::isValidIppPrinterUri(text) || PrinterAPI::isValidSocketPrinterUri(text);
}

ParseResult parseArguments(const QStringList& words)
{
    for (const QString& word : words) {
        if (word.size() > kMaxWordLength)
            return fail(
                QStringLiteral("argument too long (%1 characters; at most %2)").arg(word.size()).arg(kMaxWordLength));
        if (hasControlCharacters(word))
            return fail(QStringLiteral("argument \"%1\" holds control characters").arg(shown(word)));
    }
    Arguments arguments;
    if (words.isEmpty())
        return fail(QStringLiteral("no command given"));
    const QString& first = words.front();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") || first == QLatin1String("help")) {
        if (words.size() > 1)
            return fail(QStringLiteral("\"%1\" takes no further arguments").arg(first));
        arguments.command = QStringLiteral("help");
        return { arguments, {} };
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        if (words.size() > 1)
            return fail(QStringLiteral("\"%1\" takes no further arguments").arg(first));
        arguments.command = QStringLiteral("version");
        return { arguments, {} };
    }
    static const QStringList commands = { QStringLiteral("printers"), QStringLiteral("hardware"),
        QStringLiteral("check"), QStringLiteral("search"), QStringLiteral("repair"), QStringLiteral("add") };
    if (!commands.contains(first))
        return fail(QStringLiteral("unknown command \"%1\"").arg(shown(first)));
    arguments.command = first;
    for (int i = 1; i < words.size(); ++i) {
        const QString& word = words.at(i);
        if (word == QLatin1String("--json")) {
            arguments.json = true;
        } else if (first == QLatin1String("printers") && word == QLatin1String("--watch")) {
            arguments.watch = true;
        } else if (first == QLatin1String("search")
            && (word == QLatin1String("--usb-only") || word == QLatin1String("--network-only"))) {
            const int scope = word == QLatin1String("--usb-only") ? 1 : 0;
            if (arguments.scope != 2 && arguments.scope != scope)
                return fail(QStringLiteral("--usb-only and --network-only exclude each other"));
            arguments.scope = scope;
        } else if (first == QLatin1String("search")
            && (word == QLatin1String("--timeout") || word.startsWith(QLatin1String("--timeout=")))) {
            QString value;
            if (word == QLatin1String("--timeout")) {
                if (i + 1 >= words.size())
                    return fail(QStringLiteral("--timeout needs a number of seconds"));
                value = words.at(++i);
            } else {
                value = word.mid(int(sizeof("--timeout=")) - 1);
            }
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < 1 || seconds > kMaxTimeoutSeconds)
                return fail(QStringLiteral("--timeout wants whole seconds from 1 to %1, not \"%2\"")
                                .arg(kMaxTimeoutSeconds)
                                .arg(shown(value)));
            arguments.timeoutSeconds = seconds;
        } else if (first == QLatin1String("repair") && word == QLatin1String("--yes")) {
            arguments.yes = true;
        } else if (first == QLatin1String("repair") && arguments.repair.isEmpty()
            && !word.startsWith(QLatin1Char('-'))) {
            static const QStringList repairs = { QStringLiteral("spooler"), QStringLiteral("firewall"),
                QStringLiteral("queues"), QStringLiteral("font"), QStringLiteral("all") };
            if (!repairs.contains(word))
                return fail(
                    QStringLiteral("unknown repair \"%1\" (spooler, firewall, queues, font or all)").arg(shown(word)));
            arguments.repair = word;
        } else if (first == QLatin1String("repair") && arguments.repair == QLatin1String("queues")
            && arguments.queue.isEmpty() && !word.startsWith(QLatin1Char('-'))) {
            if (!PrinterAPI::cups::isValidPrinterName(word))
                return fail(QStringLiteral("\"%1\" cannot be a queue name (no blanks, quotes, slashes, '#', '?' "
                                           "or '\\', at most 127 bytes)")
                                .arg(shown(word)));
            arguments.queue = word;
        } else if (first == QLatin1String("add")
            && (word == QLatin1String("--name") || word.startsWith(QLatin1String("--name=")))) {
            QString value;
            if (word == QLatin1String("--name")) {
                if (i + 1 >= words.size())
                    return fail(QStringLiteral("--name needs a queue name"));
                value = words.at(++i);
            } else {
                value = word.mid(int(sizeof("--name=")) - 1);
            }
            if (!arguments.name.isEmpty())
                return fail(QStringLiteral("--name is given twice"));
            if (!PrinterAPI::cups::isValidPrinterName(value))
                return fail(badQueueName(value));
            arguments.name = value;
        } else if (first == QLatin1String("add") && arguments.target.isEmpty() && !word.startsWith(QLatin1Char('-'))) {
            QString error;
            const std::optional<QString> target = checkTarget(word, error);
            if (!target)
                return fail(error);
            arguments.target = *target;
        } else if (word.startsWith(QLatin1Char('-'))) {
            return fail(QStringLiteral("\"%1\" does not take the option \"%2\"").arg(first, shown(word)));
        } else if (first == QLatin1String("printers") && arguments.queue.isEmpty()) {
            if (!PrinterAPI::cups::isValidPrinterName(word))
                return fail(QStringLiteral("\"%1\" cannot be a queue name (no blanks, quotes, slashes, '#', '?' "
                                           "or '\\', at most 127 bytes)")
                                .arg(shown(word)));
            arguments.queue = word;
        } else {
            return fail(QStringLiteral("unexpected argument \"%1\" for \"%2\"").arg(shown(word), first));
        }
    }
    if (arguments.watch && !arguments.queue.isEmpty())
        return fail(QStringLiteral("\"--watch\" reports every queue; leave out the queue name"));
    if (first == QLatin1String("repair") && arguments.repair.isEmpty())
        return fail(QStringLiteral("\"repair\" needs what to repair: spooler, firewall, queues, font or all"));
    if (first == QLatin1String("add") && arguments.target.isEmpty())
        return fail(QStringLiteral("\"add\" needs the printer: an ipp://, ipps:// or socket:// URI, or its address"));
    if (first == QLatin1String("repair") && arguments.json)
        return fail(QStringLiteral("\"repair\" does not take the option \"--json\""));
    return { arguments, {} };
}

} // namespace korvanectl
