// The EDID block a monitor hands over (/sys/class/drm/*/edid).

#include "fuzzcheck.h"
#include "sysinfo/edid.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sysinfo;
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const EdidFacts facts = parseEdid(bytes);
    if (!facts.valid) {
        FUZZ_CHECK(!facts.checksumOk && facts.manufacturerId.isEmpty() && facts.monitorName.isEmpty() &&
                   facts.serialText.isEmpty() && facts.productCode == 0);
        return 0;
    }
    FUZZ_CHECK(bytes.size() >= edid::kBlockBytes);
    FUZZ_CHECK(facts.manufacturerId.isEmpty() || facts.manufacturerId.size() == 3);
    for (QChar c : facts.manufacturerId)
        FUZZ_CHECK(c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    FUZZ_CHECK(facts.productCode <= 0xFFFF);
    for (const QString* text : {&facts.monitorName, &facts.serialText}) {
        FUZZ_CHECK(text->size() <= 13);
        FUZZ_CHECK(*text == text->trimmed());
        for (QChar c : *text)
            FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() < 0x7F);
    }
    // Only the base block counts: what follows it changes nothing.
    const EdidFacts baseOnly = parseEdid(bytes.left(edid::kBlockBytes));
    FUZZ_CHECK(baseOnly.monitorName == facts.monitorName && baseOnly.serialText == facts.serialText &&
               baseOnly.checksumOk == facts.checksumOk && baseOnly.manufacturerId == facts.manufacturerId);
    return 0;
}
