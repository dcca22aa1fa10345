#include "webui/bridgeprotocol.h"

#include "sysutil/strictjson.h"
#include "webui/pagejson.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace webui::bridge {

const QString kPromptMarker = QStringLiteral("\u0001korvane-bridge");
const QString kExecFunction = QStringLiteral("\u0001exec");
const QString kNamesFunction = QStringLiteral("\u0001names");

namespace {

// The shim keeps its own references to prompt and JSON, so a page that
// replaces them cannot break (or listen to) its calls. It asks for the bound
// names once per document: untrusted frames get an empty list and no globals.
const char* const kShim = R"JS((function () {
  'use strict';
  if (window.__korvaneDefine) return;
  var prompt = window.prompt.bind(window);
  var stringify = JSON.stringify, parse = JSON.parse;
  var MARK = %1, EXEC = %2, NAMES = %3;
  function send(name, args) {
    var request;
    try {
      request = stringify({f: name, a: args});
    } catch (e) {
      request = stringify({f: name, a: args.map(function (x) {
        try { stringify(x); return x; } catch (e2) { return null; }
      })});
    }
    var answer = prompt(MARK, request);
    if (typeof answer !== 'string') return undefined;
    var envelope;
    try { envelope = parse(answer); } catch (e) { return undefined; }
    return (envelope && Object.prototype.hasOwnProperty.call(envelope, 'v')) ? envelope.v : undefined;
  }
  var names = send(NAMES, []);
  if (!Array.isArray(names) || names.length === 0) return;
  function define(name) {
    window[name] = function () { return send(name, Array.prototype.slice.call(arguments)); };
  }
  Object.defineProperty(window, '__korvaneDefine', {value: define});
  names.forEach(define);
  function isExec(u) { return typeof u === 'string' && /^\s*exec:/i.test(u); }
  document.addEventListener('click', function (event) {
    var node = event.target;
    while (node && !(node.tagName === 'A' && node.hasAttribute('href'))) node = node.parentElement;
    if (node && isExec(node.getAttribute('href'))) {
      event.preventDefault();
      send(EXEC, [node.getAttribute('href').trim()]);
    }
  }, true);
  var open = window.open;
  window.open = function (u) {
    if (isExec(u)) { send(EXEC, [u.trim()]); return null; }
    return open.apply(window, arguments);
  };
})();
)JS";

QString compactJson(const QJsonArray& array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

}  // namespace

QString jsString(const QString& text)
{
    // JSON text of a one-element array, without the brackets: a valid JS
    // string literal for any content, U+2028/2029 included.
    QString literal = compactJson(QJsonArray{text});
    return literal.mid(1, literal.size() - 2);
}

Request parseRequest(const QString& text)
{
    Request request;
    if (text.size() > kMaxRequestChars)
        return request;
    QJsonParseError error{};
    const QJsonDocument document = sysutil::parseJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return request;
    const QJsonObject object = document.object();
    const QJsonValue function = object.value(QStringLiteral("f"));
    if (!function.isString() || function.toString().isEmpty())
        return request;
    request.function = function.toString();
    request.args = object.value(QStringLiteral("a")).toArray();
    request.valid = true;
    return request;
}

QString encodeRequest(const QString& function, const QJsonArray& args)
{
    QJsonObject object;
    object.insert(QStringLiteral("f"), function);
    object.insert(QStringLiteral("a"), args);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString encodeResult(const QJsonValue& value)
{
    if (value.isUndefined())
        return QStringLiteral("{}");
    return QStringLiteral("{\"v\":") + pageJson(value) + QLatin1Char('}');
}

QJsonValue decodeResult(const QString& envelope)
{
    const QJsonDocument document = sysutil::parseJson(envelope.toUtf8());
    if (!document.isObject() || !document.object().contains(QStringLiteral("v")))
        return QJsonValue(QJsonValue::Undefined);
    return document.object().value(QStringLiteral("v"));
}

QString shimScript()
{
    return QString::fromUtf8(kShim).arg(jsString(kPromptMarker), jsString(kExecFunction), jsString(kNamesFunction));
}

QString defineNameScript(const QString& name)
{
    return QStringLiteral("if (window.__korvaneDefine) window.__korvaneDefine(%1);").arg(jsString(name));
}

QString pageCallScript(const QString& name, const QJsonArray& args)
{
    return QStringLiteral(
               "(function () { var f = window[%1]; if (typeof f !== 'function') return '{}';"
               " try { var r = f.apply(window, %2); return r === undefined ? '{}' : JSON.stringify({v: r}); }"
               " catch (e) { console.error(String(e && e.stack || e)); return '{}'; } })()")
        .arg(jsString(name), pageJson(args));
}

QString evaluateScript(const QString& script)
{
    return QStringLiteral(
               "(function () { try { var r = (0, eval)(%1); return r === undefined ? '{}' : JSON.stringify({v: r}); }"
               " catch (e) { console.error(String(e && e.stack || e)); return '{}'; } })()")
        .arg(jsString(script));
}

QJsonValue decodePageResult(const QVariant& result)
{
    if (result.type() != QVariant::String)
        return QJsonValue(QJsonValue::Undefined);
    return decodeResult(result.toString());
}

}  // namespace webui::bridge
