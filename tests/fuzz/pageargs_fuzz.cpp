// A call from a page: the bridge's request text, then every argument read
// the ways the bound functions read them.

#include "fuzzcheck.h"
#include "webui/bridgeprotocol.h"
#include "webui/jsargs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdint>

namespace {

namespace jsargs = webui::jsargs;
namespace bridge = webui::bridge;

void checkArgument(const QJsonValue& value)
{
    jsargs::toInt(value);
    jsargs::toBool(value);
    FUZZ_CHECK(jsargs::toHandle(value) <= 9007199254740992ULL);
    for (int limit : {0, 16, jsargs::kMaxPathBytes}) {
        const std::optional<QString> text = jsargs::toText(value, limit);
        if (text)
            FUZZ_CHECK(text->toUtf8().size() <= limit || !value.isString());
        if (value.isString())
            FUZZ_CHECK(text.has_value() == (value.toString().toUtf8().size() <= limit));
    }
    // An answer that carries the argument back is stable after one round.
    const QString envelope = bridge::encodeResult(value);
    FUZZ_CHECK(bridge::encodeResult(bridge::decodeResult(envelope)) == envelope);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const bridge::Request request = bridge::parseRequest(text);
    bridge::decodeResult(text);
    if (!request.valid) {
        FUZZ_CHECK(request.function.isEmpty() && request.args.isEmpty());
        return 0;
    }
    FUZZ_CHECK(!request.function.isEmpty());
    FUZZ_CHECK(request.args.size() <= int(size));
    for (int i = 0; i <= request.args.size(); ++i)
        checkArgument(jsargs::at(request.args, i));

    // A request the program writes itself reads back as the same call.
    const QString encoded = bridge::encodeRequest(request.function, request.args);
    const bridge::Request again = bridge::parseRequest(encoded);
    FUZZ_CHECK(again.valid);
    FUZZ_CHECK(bridge::encodeRequest(again.function, again.args) == encoded);
    return 0;
}
