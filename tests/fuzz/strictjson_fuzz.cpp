// JSON from outside: what the strict reader takes, Qt's parser reads the same
// way again after writing it; what it refuses never reaches Qt's parser.

#include "fuzzcheck.h"
#include "sysutil/strictjson.h"

#include <QJsonDocument>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    const bool unique = sysutil::hasUniqueKeys(text);
    QJsonParseError error{};
    const QJsonDocument document = sysutil::parseJson(text, &error);
    if (!unique) {
        FUZZ_CHECK(document.isNull());
        FUZZ_CHECK(error.error != QJsonParseError::NoError);
        return 0;
    }
    if (document.isNull())
        return 0;
    // What Qt writes names every key once and reads back equal.
    const QByteArray written = document.toJson(QJsonDocument::Compact);
    FUZZ_CHECK(sysutil::hasUniqueKeys(written));
    const QJsonDocument again = sysutil::parseJson(written);
    FUZZ_CHECK(again == document);
    return 0;
}
