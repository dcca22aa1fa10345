#pragma once
// Reading page arguments the way the pages were written for: integers as
// JavaScript's ToInt32 makes them, booleans by truthiness, text from strings
// (and numbers or booleans as JavaScript prints them). Anything else reads as
// 0, false or empty text; nothing a page sends can make these fail.

#include "webui/windowmessage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>

namespace webui::jsargs {

inline QJsonValue at(const QJsonArray& args, int index)
{
    return index < args.size() ? args.at(index) : QJsonValue(QJsonValue::Undefined);
}

int toInt(const QJsonValue& value);
bool toBool(const QJsonValue& value);
// Text up to maxUtf8Bytes; nullopt when longer. Missing, null, objects and
// arrays read as empty text.
std::optional<QString> toText(const QJsonValue& value, int maxUtf8Bytes);
// A window handle: a non-negative whole number up to 2^53 (handles are wider
// than 32 bits on some platforms), else 0.
WindowHandle toHandle(const QJsonValue& value);

QJsonObject rectObject(int left, int top, int right, int bottom);

constexpr int kMaxPathBytes = 32 * 1024;
constexpr int kMaxCommandLineBytes = 32 * 1024;
constexpr int kMaxUrlBytes = 2 * 1024 * 1024;

}  // namespace webui::jsargs
