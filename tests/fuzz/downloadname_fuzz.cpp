// The name a download is saved under, from a URL a page or a server chose.
// Input: the URL, then optionally a NUL and the fallback name.

#include "fuzzcheck.h"
#include "online/downloadname.h"

#include <cstdint>

namespace {

// One plain name inside the download folder, nothing else.
void checkHarmless(const QString& name)
{
    FUZZ_CHECK(name.toUtf8().size() <= 255);
    FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')));
    FUZZ_CHECK(!name.startsWith(QLatin1Char('.')));
    FUZZ_CHECK(name == name.trimmed());
    for (QChar c : name)
        FUZZ_CHECK(c.category() != QChar::Other_Control);
    // Cleaning a clean name changes nothing.
    FUZZ_CHECK(online::safeFileName(name) == name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const int split = bytes.indexOf('\0');
    const QString url = QString::fromUtf8(split < 0 ? bytes : bytes.left(split));
    const QString fallback = split < 0 ? QString() : QString::fromUtf8(bytes.mid(split + 1));

    checkHarmless(online::safeFileName(url));
    checkHarmless(online::safeFileNameFromUrl(url));
    const QString chosen = online::downloadFileName(url, fallback);
    checkHarmless(chosen);
    FUZZ_CHECK(!chosen.isEmpty());
    return 0;
}
