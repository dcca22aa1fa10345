#include "devicetree/ieee1284fields.h"

#include <QStringList>

namespace devicetree {

namespace {
constexpr int kMaxValue = 256;
}

Ieee1284Fields parseIeee1284Fields(const QString& deviceId)
{
    Ieee1284Fields fields;
    const QStringList pairs = deviceId.left(4096).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& pair : pairs) {
        const int colon = pair.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const QString key = pair.left(colon).trimmed().toUpper();
        const QString value = pair.mid(colon + 1).trimmed().left(kMaxValue);
        if (key == QLatin1String("MFG") || key == QLatin1String("MANUFACTURER"))
            fields.manufacturer = value;
        else if (key == QLatin1String("MDL") || key == QLatin1String("MODEL"))
            fields.model = value;
        else if (key == QLatin1String("SN") || key == QLatin1String("SERN") || key == QLatin1String("SERIALNUMBER"))
            fields.serial = value;
        else if (key == QLatin1String("DES") || key == QLatin1String("DESCRIPTION"))
            fields.description = value;
        else if (key == QLatin1String("CMD") || key == QLatin1String("COMMAND SET"))
            fields.commandSet = value;
    }
    return fields;
}

}  // namespace devicetree
