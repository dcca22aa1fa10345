#pragma once
// Page values whose members must reach the page in a set order.
//
// A QJsonObject keeps its members sorted by key, and so does QJsonDocument's
// writer. An object built with OrderedObject carries the order of its members
// in one hidden member (kMemberOrderKey); the page-facing writers (pageJson,
// the bridge and the headless view) write the members in that order and never
// write the hidden member itself. Objects without it keep the sorted order.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <utility>

namespace webui {

// The hidden member: a JSON array of the member names in their order.
extern const QString kMemberOrderKey;

class OrderedObject {
public:
    OrderedObject() = default;
    OrderedObject(std::initializer_list<std::pair<QString, QJsonValue>> members);

    // Sets a member; a key set again keeps its first place.
    OrderedObject& add(const QString& key, const QJsonValue& value);

    QJsonObject object() const;
    operator QJsonValue() const { return object(); }  // NOLINT(google-explicit-constructor)

private:
    QJsonObject m_object;
    QJsonArray m_order;
};

// The member names of an object in the order a page receives them: the
// hidden order first (names present in the object, once each), then any
// others sorted. The hidden member is never among them.
QStringList memberOrder(const QJsonObject& object);

// The object without its hidden member (what a reader of the values sees).
QJsonObject withoutMemberOrder(QJsonObject object);

// Compact JSON text of a value as the page receives it: objects' members in
// memberOrder, no white space, numbers and strings as QJsonDocument writes
// them, with U+2028 and U+2029 escaped. Undefined writes as null.
QString pageJson(const QJsonValue& value);

}  // namespace webui
