// The user's data file: whatever is on disk (another program's file, a
// truncated write, a hand edit) is read, and what was read writes back the
// same.

#include "fuzzcheck.h"
#include "online/userdatafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdint>

namespace {

QString scratchPath(const char* name)
{
    // Memory-backed when the machine has it: every input is a file. Removed
    // when the run ends.
    static const QTemporaryDir folder(
        (QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
        QStringLiteral("/korvane-userdata-fuzz-XXXXXX"));
    FUZZ_CHECK(folder.isValid());
    return folder.filePath(QLatin1String(name));
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const QString input = scratchPath("input.x");
    const QString copy = scratchPath("copy.x");
    FUZZ_CHECK(writeBytes(input, bytes));

    const std::optional<QString> stored = online::readUserDataFile(input);
    if (stored) {
        // Four bytes of length, then two per UTF-16 unit.
        FUZZ_CHECK(stored->isNull() || 4 + 2 * qint64(stored->size()) <= qint64(size));
        FUZZ_CHECK(online::writeUserDataFile(copy, *stored));
        const std::optional<QString> reread = online::readUserDataFile(copy);
        FUZZ_CHECK(reread.has_value());
        FUZZ_CHECK(*reread == *stored);
        FUZZ_CHECK(reread->isNull() == stored->isNull());
    }

    // Any folder text, the raw bytes read as UTF-8, survives a write and a read.
    const QString folder = QString::fromUtf8(bytes);
    FUZZ_CHECK(online::writeUserDataFile(copy, folder));
    const std::optional<QString> back = online::readUserDataFile(copy);
    FUZZ_CHECK(back.has_value() && *back == folder);
    return 0;
}
