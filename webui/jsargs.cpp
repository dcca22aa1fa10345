#include "webui/jsargs.h"

#include "webui/pagejson.h"
#include <QLocale>

#include <cmath>

namespace webui::jsargs {

namespace {

double numberFromText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0;
    bool ok = false;
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const qulonglong value = trimmed.mid(2).toULongLong(&ok, 16);
        return ok ? double(value) : NAN;
    }
    const double value = trimmed.toDouble(&ok);
    return ok ? value : NAN;
}

double toNumber(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? 1 : 0;
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::String:
        return numberFromText(value.toString().left(64));
    case QJsonValue::Null:
        return 0;
    default:
        return NAN;
    }
}

// Whole numbers below 1e21 print with all their digits, as in JavaScript:
// the shortest digits that read back as the same double, padded with zeros
// (2^64 is "18446744073709552000"). No integer type holds that range.
QString wholeNumberText(double number)
{
    const QString scientific = QString::number(std::fabs(number), 'e', QLocale::FloatingPointShortest);
    const int exponentAt = scientific.indexOf(QLatin1Char('e'));
    QString digits = scientific.left(exponentAt);
    digits.remove(QLatin1Char('.'));
    const int exponent = scientific.mid(exponentAt + 1).toInt();
    if (exponent + 1 > digits.size())
        digits.append(QString(exponent + 1 - digits.size(), QLatin1Char('0')));
    return number < 0 ? QLatin1Char('-') + digits : digits;
}

QString numberText(double number)
{
    if (std::isnan(number))
        return QStringLiteral("NaN");
    if (std::isinf(number))
        return number > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (std::trunc(number) == number && std::fabs(number) < 1e21)
        return wholeNumberText(number);
    return QString::number(number, 'g', 17);
}

}  // namespace

int toInt(const QJsonValue& value)
{
    const double number = toNumber(value);
    if (!std::isfinite(number))
        return 0;
    double wrapped = std::fmod(std::trunc(number), 4294967296.0);
    if (wrapped < 0)
        wrapped += 4294967296.0;
    if (wrapped >= 2147483648.0)
        wrapped -= 4294967296.0;
    return int(wrapped);
}

bool toBool(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double: {
        const double number = value.toDouble();
        return number != 0 && !std::isnan(number);
    }
    case QJsonValue::String:
        return !value.toString().isEmpty();
    case QJsonValue::Array:
    case QJsonValue::Object:
        return true;
    default:
        return false;
    }
}

std::optional<QString> toText(const QJsonValue& value, int maxUtf8Bytes)
{
    switch (value.type()) {
    case QJsonValue::String: {
        const QString text = value.toString();
        // Three bytes per UTF-16 unit at most; count exactly only near the limit.
        if (text.size() * 3 > maxUtf8Bytes && text.toUtf8().size() > maxUtf8Bytes)
            return std::nullopt;
        return text;
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return numberText(value.toDouble());
    default:
        return QString();
    }
}

WindowHandle toHandle(const QJsonValue& value)
{
    const double number = toNumber(value);
    if (!std::isfinite(number) || number < 0 || number > 9007199254740992.0 || std::trunc(number) != number)
        return 0;
    return WindowHandle(number);
}

QJsonObject rectObject(int left, int top, int right, int bottom)
{
    // Set in this order, as pages have always received them.
    return OrderedObject{{QStringLiteral("left"), left},
                         {QStringLiteral("top"), top},
                         {QStringLiteral("right"), right},
                         {QStringLiteral("bottom"), bottom}}
        .object();
}

}  // namespace webui::jsargs
