#pragma once
// Reading page arguments for the main window's commands.

#include "webui/jsargs.h"

#include <QJsonArray>
#include <QString>

namespace pagecommands {

// A printer or file name from the page: text up to 64 KB; anything else
// (missing, not text, longer) reads as empty, which every command refuses
// with its documented error value.
QString textArg(const QJsonArray& args, int index);

inline int intArg(const QJsonArray& args, int index)
{
    return webui::jsargs::toInt(webui::jsargs::at(args, index));
}

inline QJsonValue undefined()
{
    return QJsonValue(QJsonValue::Undefined);
}

}  // namespace pagecommands
