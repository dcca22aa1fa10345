// What a page hands to "addNetworkPrinter": the URI checks and the queue name
// made from the make and model; the driver match over the same text.

#include "fuzzcheck.h"
#include "printers/ppdmatch.h"
#include "printers/printersetup.h"

#include <QString>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const bool ipp = PrinterAPI::isValidIppPrinterUri(text);
    const bool socket = PrinterAPI::isValidSocketPrinterUri(text);
    FUZZ_CHECK(!(ipp && socket));
    if (ipp || socket) {
        FUZZ_CHECK(text.size() <= 1024);
        for (const QChar c : text)
            FUZZ_CHECK(c.unicode() > 0x20 && c.unicode() < 0x7F && c != QLatin1Char('"') && c != QLatin1Char('\''));
    }

    const QString name = PrinterAPI::queueNameFor(text, {text});
    FUZZ_CHECK(!name.isEmpty());
    FUZZ_CHECK(name.toUtf8().size() <= 127);
    FUZZ_CHECK(name.compare(text, Qt::CaseInsensitive) != 0);
    for (const QChar c : name)
        FUZZ_CHECK(c.unicode() > 0x20 && c.unicode() != 0x7F && !QStringLiteral("/\\?'\"#").contains(c));

    const std::vector<PrinterAPI::PpdEntry> entries = {{QStringLiteral("a.ppd"), text, text},
                                                       {QStringLiteral("everywhere"), text, text}};
    const QString match = PrinterAPI::matchPpd(entries, text, text);
    FUZZ_CHECK(match.isEmpty() || match == QLatin1String("a.ppd"));
    return 0;
}
