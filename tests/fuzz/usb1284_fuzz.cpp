// The IEEE 1284 device id a USB printer reports through sysfs.

#include "devicetree/ieee1284fields.h"
#include "fuzzcheck.h"

#include <cstdint>

namespace {

void checkFields(const devicetree::Ieee1284Fields& fields)
{
    for (const QString* value :
         {&fields.manufacturer, &fields.model, &fields.serial, &fields.description, &fields.commandSet}) {
        FUZZ_CHECK(value->size() <= 256);
        FUZZ_CHECK(!value->contains(QLatin1Char(';')));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    for (const QString& id : {QString::fromUtf8(bytes), QString::fromLatin1(bytes)}) {
        const devicetree::Ieee1284Fields fields = devicetree::parseIeee1284Fields(id);
        checkFields(fields);
        // Values come back trimmed, so writing them out and reading them
        // again is stable.
        const QString again = QStringLiteral("MFG:%1;MDL:%2;SN:%3;DES:%4;CMD:%5;")
                                  .arg(fields.manufacturer, fields.model, fields.serial, fields.description,
                                       fields.commandSet);
        const devicetree::Ieee1284Fields reread = devicetree::parseIeee1284Fields(again);
        FUZZ_CHECK(reread.manufacturer == fields.manufacturer);
        FUZZ_CHECK(reread.model == fields.model);
        FUZZ_CHECK(reread.serial == fields.serial);
        FUZZ_CHECK(reread.description == fields.description);
        FUZZ_CHECK(reread.commandSet == fields.commandSet);
    }
    return 0;
}
