#include "tools/korvanectl/usbdevices.h"

#include <QRegularExpression>

namespace korvanectl {

namespace {

// A value of a node as the page reads it: text only, control characters made
// blanks, at most max characters.
QString text(const QJsonValue& value, int max)
{
    if (!value.isString())
        return {};
    QString cleaned;
    bool inControls = false;
    for (const QChar c : value.toString()) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f) {
            if (!inControls)
                cleaned += QLatin1Char(' ');
            inControls = true;
            continue;
        }
        inControls = false;
        cleaned += c;
    }
    return cleaned.left(max);
}

// "VVVV:PPPP" from an id naming VID_vvvv&PID_pppp, "" when it names none.
QString vidPid(const QString& id)
{
    static const QRegularExpression pair(QStringLiteral("VID_([0-9A-F]{4})&PID_([0-9A-F]{4})"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pair.match(id);
    return match.hasMatch() ? (match.captured(1) + QLatin1Char(':') + match.captured(2)).toUpper() : QString();
}

std::vector<QJsonObject> objectsOf(const QJsonArray& nodes)
{
    std::vector<QJsonObject> objects;
    for (const QJsonValue& node : nodes) {
        if (node.isObject())
            objects.push_back(node.toObject());
    }
    return objects;
}

QString firstString(const QJsonObject& node, const char* key)
{
    const QJsonValue value = node.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

}  // namespace

std::optional<QJsonObject> usbDeviceEntry(const QJsonArray& nodes)
{
    const std::vector<QJsonObject> valid = objectsOf(nodes);
    if (valid.empty())
        return std::nullopt;
    const QJsonObject& first = valid.front();
    QString maker;
    bool printer = false;
    bool hasDriver = false;
    QJsonArray services;
    for (const QJsonObject& node : valid) {
        if (maker.isEmpty())
            maker = text(node.value(QStringLiteral("Manu")), 80);
        const QJsonValue service = node.value(QStringLiteral("Service"));
        if (node.value(QStringLiteral("Class")) == QLatin1String("Printer") || service == QLatin1String("usbprint"))
            printer = true;
        if (service.isString() && !service.toString().isEmpty())
            hasDriver = true;
        const QString shown = text(service, 40);
        if (!shown.isEmpty())
            services.append(shown);
    }
    QString name = text(first.value(QStringLiteral("Name")), 120);
    if (name.isEmpty())
        name = text(first.value(QStringLiteral("Hardwareid")), 120);
    if (name.isEmpty())
        name = text(first.value(QStringLiteral("Instanceid")), 120);
    if (name.isEmpty())
        return std::nullopt;
    // A device that runs a driver of its own and shows no printer interface
    // (a serial adapter, a camera) is no printer; one without any driver may
    // be a printer waiting for its driver.
    if (hasDriver && !printer)
        return std::nullopt;
    QJsonArray ids;
    for (const char* key : {"Hardwareid", "Instanceid"}) {
        const QString id = text(first.value(QLatin1String(key)), 200);
        if (!id.isEmpty())
            ids.append(id);
    }
    QString pair = vidPid(firstString(first, "Hardwareid"));
    if (pair.isEmpty())
        pair = vidPid(firstString(first, "Instanceid"));
    QJsonObject entry;
    entry.insert(QStringLiteral("name"), name);
    entry.insert(QStringLiteral("maker"), maker);
    entry.insert(QStringLiteral("vidPid"), pair);
    entry.insert(QStringLiteral("hasDriver"), hasDriver);
    entry.insert(QStringLiteral("isPrinter"), printer);
    entry.insert(QStringLiteral("services"), services);
    entry.insert(QStringLiteral("ids"), ids);
    return entry;
}

QString usbRecordKey(const USBPrinterInfo& printer)
{
    QString first;
    for (const QString& id : printer.hardwareids) {
        if (id.isEmpty())
            continue;
        if (first.isEmpty())
            first = id;
        const QString pair = vidPid(id);
        if (!pair.isEmpty())
            return QStringLiteral("usb:") + pair;
    }
    if (first.isEmpty())
        first = text(printer.friendlyName, 120);
    if (first.isEmpty())
        first = text(printer.deviceDesc, 120);
    return QStringLiteral("usbid:") + first.toLower();
}

QString usbDeviceKey(const QJsonArray& nodes)
{
    const std::vector<QJsonObject> valid = objectsOf(nodes);
    if (valid.empty())
        return {};
    const QJsonObject& first = valid.front();
    QString pair = vidPid(firstString(first, "Hardwareid"));
    if (pair.isEmpty())
        pair = vidPid(firstString(first, "Instanceid"));
    if (!pair.isEmpty())
        return QStringLiteral("usb:") + pair;
    QString id = firstString(first, "Instanceid");
    if (id.isEmpty())
        id = text(first.value(QStringLiteral("Name")), 120);
    if (id.isEmpty())
        id = text(first.value(QStringLiteral("Hardwareid")), 120);
    return QStringLiteral("usbid:") + id.toLower();
}

}  // namespace korvanectl
