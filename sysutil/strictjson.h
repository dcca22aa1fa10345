#pragma once
// JSON from outside the program (a page, a back end's reply, a stored
// record) read strictly: an object that names a key twice is refused, as is
// nesting deeper than Qt's own limit, before Qt's parser sees the text. A
// repeated key is never written by JSON.stringify or by us, makes the value
// that wins a guess, and Qt 5.15's parser loses memory on it.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace sysutil {

// Deepest nesting of arrays and objects taken.
constexpr int kMaxJsonDepth = 1024;

// Whether every object in TEXT names each key once and nesting stays within
// kMaxJsonDepth. Keys are compared as the parser decodes them ("a" and
// "\u0061" are the same key). Also false for brackets that do not pair, an
// unfinished string or escape, and a key that cannot be compared safely (a
// lone surrogate, bad UTF-8): text the parser would refuse anyway.
bool hasUniqueKeys(const QByteArray& text);

// QJsonDocument::fromJson, but a null document for what hasUniqueKeys
// refuses, reported as QJsonParseError::IllegalValue at offset 0.
QJsonDocument parseJson(const QByteArray& text, QJsonParseError* error = nullptr);

} // namespace sysutil
