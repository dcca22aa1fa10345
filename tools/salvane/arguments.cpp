#include "repair/repairtypes.h"
#include "repair/scheduleraddress.h"
#include "steps.h"

namespace salvane {

namespace {

constexpr int kMostArguments = 8;
// CUPS's own limit on a queue name.
constexpr int kMostQueueNameBytes = 127;

std::optional<int> commandNumber(const QString& text)
{
    using namespace repair::command;
    for (const int command : {kRestartSpooler, kOpenFirewall, kCleanQueues, kResetAll}) {
        if (text == QString::number(command))
            return command;
    }
    return std::nullopt;
}

// The scheduler itself answers for a name it does not have; here a name only
// has to be one that cannot be mistaken for anything else on the way.
bool isPlausibleQueueName(const QString& name)
{
    if (name.isEmpty() || name.toUtf8().size() > kMostQueueNameBytes || name.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.isSurrogate() || c == QChar::ReplacementCharacter)
            return false;
    }
    return true;
}

}  // namespace

std::optional<Request> parseArguments(const QStringList& args)
{
    if (args.size() > kMostArguments)
        return std::nullopt;
    Request request;
    bool haveCommand = false;
    bool haveServer = false;
    bool haveQueue = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("-h") || arg == QLatin1String("-p")) {
            if (i + 1 >= args.size())
                return std::nullopt;
            const QString& value = args.at(++i);
            if (arg == QLatin1String("-h")) {
                if (haveServer || !repair::isValidSchedulerAddress(value))
                    return std::nullopt;
                request.server = value;
                haveServer = true;
            } else {
                if (haveQueue || !isPlausibleQueueName(value))
                    return std::nullopt;
                request.queue = value;
                haveQueue = true;
            }
            continue;
        }
        const std::optional<int> command = commandNumber(arg);
        if (haveCommand || !command)
            return std::nullopt;
        request.command = *command;
        haveCommand = true;
    }
    if (!haveCommand || (haveQueue && request.command != repair::command::kCleanQueues))
        return std::nullopt;
    return request;
}

}  // namespace salvane
