#pragma once
// The wire format between a page and the program in the real engine. A page
// calls a bound function through the shim: window.prompt(kPromptMarker, request)
// with the request {"f": name, "a": [args]} as JSON in the default value (the
// message is cut by the engine, the default value is not), and reads the
// answer envelope: {"v": value}, or {} for undefined. Answering inside the
// prompt makes the call synchronous for the page.

#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace webui::bridge {

extern const QString kPromptMarker;
// The pseudo-function the shim calls with the raw href of an exec: link.
extern const QString kExecFunction;
// The pseudo-function that answers the list of bound names.
extern const QString kNamesFunction;
// A request larger than this is refused.
constexpr int kMaxRequestChars = 16 * 1024 * 1024;

struct Request {
    bool valid = false;
    QString function;
    QJsonArray args;
};
Request parseRequest(const QString& text);
QString encodeRequest(const QString& function, const QJsonArray& args);

QString encodeResult(const QJsonValue& value);
QJsonValue decodeResult(const QString& envelope);

// Injected into every frame before the page's own scripts.
QString shimScript();
// Defines one more bound name in a page that already runs the shim.
QString defineNameScript(const QString& name);
// Calls window[name](args...) and yields the result envelope as a string; a
// missing function yields undefined.
QString pageCallScript(const QString& name, const QJsonArray& args);
// Evaluates the script text globally and yields the result envelope.
QString evaluateScript(const QString& script);
// The result of either of the two scripts above, as runJavaScript returns it.
QJsonValue decodePageResult(const QVariant& result);

// Bounded, JSON-safe text of a JS string literal.
QString jsString(const QString& text);

}  // namespace webui::bridge
