#include "webui/pagejson.h"

#include <QJsonDocument>
#include <QSet>

namespace webui {

const QString kMemberOrderKey = QStringLiteral("\u0001order");

namespace {

constexpr int kMaxDepth = 64;

QString scalarJson(const QJsonValue& value)
{
    QString text = QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    text = text.mid(1, text.size() - 2);
    text.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    text.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return text;
}

void write(const QJsonValue& value, QString& out, int depth)
{
    if (depth > kMaxDepth) {
        out += QStringLiteral("null");
        return;
    }
    switch (value.type()) {
    case QJsonValue::Array: {
        out += QLatin1Char('[');
        const QJsonArray array = value.toArray();
        for (int i = 0; i < array.size(); ++i) {
            if (i > 0)
                out += QLatin1Char(',');
            write(array.at(i), out, depth + 1);
        }
        out += QLatin1Char(']');
        return;
    }
    case QJsonValue::Object: {
        out += QLatin1Char('{');
        const QJsonObject object = value.toObject();
        bool first = true;
        for (const QString& key : memberOrder(object)) {
            if (!first)
                out += QLatin1Char(',');
            first = false;
            out += scalarJson(key);
            out += QLatin1Char(':');
            write(object.value(key), out, depth + 1);
        }
        out += QLatin1Char('}');
        return;
    }
    case QJsonValue::Undefined:
        out += QStringLiteral("null");
        return;
    default:
        out += scalarJson(value);
        return;
    }
}

}  // namespace

OrderedObject::OrderedObject(std::initializer_list<std::pair<QString, QJsonValue>> members)
{
    for (const auto& member : members)
        add(member.first, member.second);
}

OrderedObject& OrderedObject::add(const QString& key, const QJsonValue& value)
{
    if (key == kMemberOrderKey)
        return *this;
    if (!m_object.contains(key))
        m_order.append(key);
    m_object.insert(key, value);
    return *this;
}

QJsonObject OrderedObject::object() const
{
    QJsonObject object = m_object;
    object.insert(kMemberOrderKey, m_order);
    return object;
}

QStringList memberOrder(const QJsonObject& object)
{
    QStringList keys;
    QSet<QString> seen;
    const QJsonValue order = object.value(kMemberOrderKey);
    if (order.isArray()) {
        const QJsonArray names = order.toArray();
        for (const QJsonValue& name : names) {
            const QString key = name.toString();
            if (!name.isString() || key == kMemberOrderKey || seen.contains(key) || !object.contains(key))
                continue;
            seen.insert(key);
            keys << key;
        }
    }
    // QJsonObject iterates in sorted order.
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() != kMemberOrderKey && !seen.contains(it.key()))
            keys << it.key();
    }
    return keys;
}

QJsonObject withoutMemberOrder(QJsonObject object)
{
    object.remove(kMemberOrderKey);
    return object;
}

QString pageJson(const QJsonValue& value)
{
    QString out;
    write(value, out, 0);
    return out;
}

}  // namespace webui
