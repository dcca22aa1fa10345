#pragma once
// The command line of korvanectl: one command and its options, checked before
// anything runs. Every word is untrusted: too long, control characters or an
// option the command does not take make the whole line invalid.

#include <QString>
#include <QStringList>
#include <optional>

namespace korvanectl {

struct Arguments {
    QString command; // "printers", "hardware", "check", "search", "repair", "add", "help", "version"
    bool json = false;
    bool watch = false; // printers: report changes until interrupted
    QString queue; // printers: only this queue, "" for all
    int scope = 2; // search: PrinterSearcher::kNetworkOnly 0, kUsbOnly 1, kBoth 2
    int timeoutSeconds = 0; // search: stop after this long, 0 for no limit
    QString repair; // repair: "spooler", "firewall", "queues", "font" or "all"
    bool yes = false; // repair: cancel jobs without asking
    QString target; // add: an ipp://, ipps:// or socket:// URI, or a host name or IPv4 address
    QString name; // add: the queue name chosen with --name, "" to make one from the model
};

struct ParseResult {
    std::optional<Arguments> arguments;
    QString error; // what was wrong and what to do, when arguments is empty
};

// The words after the program name.
ParseResult parseArguments(const QStringList& words);

// Whether the text is a printer URI "add" takes: ipp://, ipps:// or socket://
// as the window's setup accepts them.
bool isPrinterUri(const QString& text);

// The longest word accepted (a queue name is at most 127 bytes in CUPS).
constexpr int kMaxWordLength = 256;
// The longest search time accepted, in seconds.
constexpr int kMaxTimeoutSeconds = 3600;

} // namespace korvanectl
