// Matching a printer to an installed PPD.

#include "printers/ppdmatch.h"

#include <QStringList>

namespace PrinterAPI {

namespace {

constexpr int kMaxTextChars = 1024;

// Lower case letters and digits, every other run one space, trimmed.
QString normalized(const QString& text)
{
    QString out;
    bool space = false;
    for (const QChar c : text.left(kMaxTextChars)) {
        if (c.isLetterOrNumber()) {
            if (space && !out.isEmpty())
                out += QLatin1Char(' ');
            space = false;
            out += c.toLower();
        } else {
            space = true;
        }
    }
    return out;
}

QString normalizedMaker(const QString& maker)
{
    const QString n = normalized(maker);
    if (n == QLatin1String("hewlett packard"))
        return QStringLiteral("hp");
    return n;
}

struct MakerModel {
    QString maker;  // normalised
    QString model;  // normalised
};

MakerModel fromDeviceId(const QString& deviceId)
{
    MakerModel result;
    const QStringList fields = deviceId.left(kMaxTextChars).split(QLatin1Char(';'));
    for (const QString& field : fields) {
        const int colon = field.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const QString key = field.left(colon).trimmed().toUpper();
        const QString value = field.mid(colon + 1);
        if ((key == QLatin1String("MFG") || key == QLatin1String("MANUFACTURER")) && result.maker.isEmpty())
            result.maker = normalizedMaker(value);
        else if ((key == QLatin1String("MDL") || key == QLatin1String("MODEL")) && result.model.isEmpty())
            result.model = normalized(value);
    }
    return result;
}

bool isDriverless(const PpdEntry& entry)
{
    return entry.name == QLatin1String("everywhere") || entry.name.startsWith(QLatin1String("driverless:"));
}

// The model with the maker dropped when it starts with it ("hp laserjet" -> "laserjet").
QString modelWithoutMaker(const MakerModel& id)
{
    if (!id.maker.isEmpty() && id.model.startsWith(id.maker + QLatin1Char(' ')))
        return id.model.mid(id.maker.size() + 1);
    return id.model;
}

}  // namespace

QString matchPpd(const std::vector<PpdEntry>& entries, const QString& deviceId, const QString& makeAndModel)
{
    const MakerModel printer = fromDeviceId(deviceId);
    if (!printer.maker.isEmpty() && !printer.model.isEmpty()) {
        const QString model = modelWithoutMaker(printer);
        for (const PpdEntry& entry : entries) {
            if (isDriverless(entry))
                continue;
            const MakerModel candidate = fromDeviceId(entry.deviceId);
            if (candidate.maker == printer.maker && !candidate.model.isEmpty() &&
                modelWithoutMaker(candidate) == model)
                return entry.name;
        }
    }

    QStringList targets;
    if (!normalized(makeAndModel).isEmpty())
        targets << normalizedMaker(makeAndModel.section(QLatin1Char(' '), 0, 0)) + QLatin1Char(' ') +
                       normalized(makeAndModel.section(QLatin1Char(' '), 1));
    if (!printer.model.isEmpty() && !printer.maker.isEmpty())
        targets << printer.maker + QLatin1Char(' ') + modelWithoutMaker(printer);
    for (QString& target : targets)
        target = target.trimmed();
    for (const QString& target : targets) {
        if (target.isEmpty() || !target.contains(QLatin1Char(' ')))
            continue;  // a maker alone names no printer
        const PpdEntry* best = nullptr;
        int bestSize = 0;
        for (const PpdEntry& entry : entries) {
            if (isDriverless(entry))
                continue;
            const QString ppd = normalizedMaker(entry.makeAndModel.section(QLatin1Char(' '), 0, 0)) +
                                QLatin1Char(' ') + normalized(entry.makeAndModel.section(QLatin1Char(' '), 1));
            const QString candidate = ppd.trimmed();
            if (candidate == target)
                return entry.name;
            if (candidate.startsWith(target + QLatin1Char(' ')) && (!best || candidate.size() < bestSize)) {
                best = &entry;
                bestSize = int(candidate.size());
            }
        }
        if (best)
            return best->name;
    }
    return {};
}

}  // namespace PrinterAPI
