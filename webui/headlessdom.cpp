#include "webui/headlessdom.h"

#include "webui/bridgeprotocol.h"

#include <QRegularExpression>

namespace webui::headless {

namespace {

const char* const kPrelude = R"JS((function (g) {
  var host = g.__korvaneHost;
  g.window = g; g.self = g; g.top = g; g.parent = g;
  function where() {
    var lines = String(new Error().stack || '').split('\n');
    for (var i = 2; i < lines.length; ++i) {
      var m = /@(.*):(\d+)$/.exec(lines[i]);
      if (m) return [m[1].replace(/^file:(?=[a-z][a-z0-9+.-]*:)/i, ''), Number(m[2])];
    }
    return ['', 0];
  }
  function text(args) {
    return Array.prototype.map.call(args, function (a) {
      if (typeof a === 'string') return a;
      try { var j = JSON.stringify(a); return j === undefined ? String(a) : j; } catch (e) { return String(a); }
    }).join(' ');
  }
  var console = {};
  ['log', 'info', 'warn', 'error', 'debug'].forEach(function (level) {
    console[level] = function () { var w = where(); host.console(level, text(arguments), w[0], w[1]); };
  });
  g.console = console;
  function timer(repeat) {
    return function (fn, ms) {
      var extra = Array.prototype.slice.call(arguments, 2);
      if (typeof fn !== 'function') return 0;
      return host.addTimer(function () { fn.apply(g, extra); }, Number(ms) || 0, repeat);
    };
  }
  g.setTimeout = timer(false);
  g.setInterval = timer(true);
  g.clearTimeout = g.clearInterval = function (id) { host.clearTimer(Number(id) || 0); };
  g.alert = function (m) { console.log('alert: ' + m); };
  g.prompt = function () { return null; };
  g.confirm = function () { return false; };
  function listening(target) {
    var listeners = {};
    target.addEventListener = function (type, fn) { (listeners[type] = listeners[type] || []).push(fn); };
    target.removeEventListener = function (type, fn) {
      var list = listeners[type] || []; var i = list.indexOf(fn); if (i >= 0) list.splice(i, 1);
    };
    target.dispatchEvent = function (event) {
      (listeners[event.type] || []).slice().forEach(function (fn) {
        try { fn.call(target, event); } catch (e) { console.error(String(e && e.stack || e)); }
      });
      var handler = target['on' + event.type];
      if (typeof handler === 'function') handler.call(target, event);
      return true;
    };
  }
  function Element(tag) {
    this.tagName = String(tag).toUpperCase();
    this.children = []; this.style = {}; this.attributes = {}; this.dataset = {};
    this.textContent = ''; this.innerHTML = ''; this.innerText = ''; this.value = ''; this.className = '';
    this.hidden = false; this.disabled = false; this.checked = false;
    var self = this;
    this.classList = {
      add: function (c) { if (!this.contains(c)) self.className = (self.className + ' ' + c).trim(); },
      remove: function (c) { self.className = self.className.split(/\s+/).filter(function (x) { return x !== c; }).join(' '); },
      contains: function (c) { return self.className.split(/\s+/).indexOf(c) >= 0; },
      toggle: function (c) { if (this.contains(c)) { this.remove(c); return false; } this.add(c); return true; }
    };
    listening(this);
  }
  Element.prototype.appendChild = function (c) { this.children.push(c); c.parentElement = this; return c; };
  Element.prototype.append = function () { for (var i = 0; i < arguments.length; ++i) this.appendChild(arguments[i]); };
  Element.prototype.removeChild = function (c) { var i = this.children.indexOf(c); if (i >= 0) this.children.splice(i, 1); return c; };
  Element.prototype.remove = function () { if (this.parentElement) this.parentElement.removeChild(this); };
  Element.prototype.setAttribute = function (k, v) { this.attributes[k] = String(v); if (k === 'id') this.id = String(v); };
  Element.prototype.getAttribute = function (k) { return Object.prototype.hasOwnProperty.call(this.attributes, k) ? this.attributes[k] : null; };
  Element.prototype.hasAttribute = function (k) { return Object.prototype.hasOwnProperty.call(this.attributes, k); };
  Element.prototype.querySelector = function () { return null; };
  Element.prototype.querySelectorAll = function () { return []; };
  Element.prototype.focus = Element.prototype.blur = Element.prototype.click = function () {};
  var byId = {};
  var document = {
    title: %2, readyState: 'loading', cookie: '', designMode: 'off',
    body: new Element('body'), head: new Element('head'), documentElement: new Element('html'),
    getElementById: function (id) {
      id = String(id);
      if (!byId[id]) { byId[id] = new Element('div'); byId[id].id = id; }
      return byId[id];
    },
    createElement: function (tag) { return new Element(tag); },
    createTextNode: function (t) { var e = new Element('#text'); e.textContent = String(t); return e; },
    querySelector: function (s) { return /^#[\w-]+$/.test(s) ? document.getElementById(s.slice(1)) : null; },
    querySelectorAll: function () { return []; },
    getElementsByTagName: function () { return []; },
    getElementsByClassName: function () { return []; }
  };
  listening(document);
  listening(g);
  g.document = document;
  g.Element = Element; g.HTMLElement = Element;
  var u = %1;
  g.location = {
    href: u.href, origin: u.origin, protocol: u.protocol, host: u.host, hostname: u.host,
    pathname: u.pathname, search: u.search, hash: u.hash, port: '',
    toString: function () { return this.href; }, reload: function () {}, assign: function () {}, replace: function () {}
  };
  g.navigator = { userAgent: 'Mozilla/5.0 (X11; Linux) Korvane-Headless', language: 'zh-CN', languages: ['zh-CN'], platform: 'Linux' };
  function storage() {
    var data = {};
    return {
      getItem: function (k) { k = String(k); return Object.prototype.hasOwnProperty.call(data, k) ? data[k] : null; },
      setItem: function (k, v) { data[String(k)] = String(v); },
      removeItem: function (k) { delete data[String(k)]; },
      clear: function () { data = {}; },
      key: function (i) { return Object.keys(data)[i] || null; },
      get length() { return Object.keys(data).length; }
    };
  }
  g.localStorage = storage();
  g.sessionStorage = storage();
  Object.defineProperty(g, '__korvaneFire', { value: function (type) {
    var event = { type: type, target: document, preventDefault: function () {}, stopPropagation: function () {} };
    if (type === 'DOMContentLoaded') { document.readyState = 'interactive'; document.dispatchEvent(event); }
    else { document.readyState = 'complete'; g.dispatchEvent(event); }
  }});
  Object.defineProperty(g, '__korvaneDefine', { value: function (name) {
    g[name] = function () { return host.call(name, Array.prototype.slice.call(arguments)); };
  }});
})(this);
)JS";

QString attribute(const QString& attributes, const QString& name)
{
    const QRegularExpression pattern(QStringLiteral("(?:^|\\s)%1\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))")
                                          .arg(QRegularExpression::escape(name)),
                                      QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(attributes);
    if (!match.hasMatch())
        return QString();
    for (int i = 1; i <= 3; ++i)
        if (!match.captured(i).isNull())
            return match.captured(i);
    return QString();
}

bool isScriptType(const QString& type)
{
    const QString t = type.trimmed().toLower();
    return t.isEmpty() || t == QLatin1String("text/javascript") || t == QLatin1String("application/javascript") ||
           t == QLatin1String("module");
}

QString decodeEntities(QString text)
{
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&#39;"), QLatin1String("'"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

}  // namespace

PageParts parsePage(const QString& input)
{
    // Comments go, keeping their line breaks so script lines stay right.
    QString html = input;
    static const QRegularExpression comments(QStringLiteral("<!--[\\s\\S]*?-->"));
    QRegularExpressionMatch comment;
    int from = 0;
    while ((comment = comments.match(html, from)).hasMatch()) {
        const QString kept = QString(comment.captured(0).count(QLatin1Char('\n')), QLatin1Char('\n'));
        html.replace(comment.capturedStart(), comment.capturedLength(), kept);
        from = comment.capturedStart() + kept.size();
    }

    PageParts parts;
    static const QRegularExpression title(QStringLiteral("<title[^>]*>([\\s\\S]*?)</title\\s*>"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch titleMatch = title.match(html);
    if (titleMatch.hasMatch())
        parts.title = decodeEntities(titleMatch.captured(1).simplified());

    static const QRegularExpression script(QStringLiteral("<script\\b([^>]*)>([\\s\\S]*?)</script\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    auto it = script.globalMatch(html);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString attributes = match.captured(1);
        if (!isScriptType(attribute(attributes, QStringLiteral("type"))))
            continue;
        PageScript entry;
        entry.src = attribute(attributes, QStringLiteral("src"));
        if (entry.src.isEmpty()) {
            entry.source = match.captured(2);
            entry.line = 1 + html.leftRef(match.capturedStart(2)).count(QLatin1Char('\n'));
        }
        parts.scripts.push_back(entry);
    }
    return parts;
}

QString preludeScript(const QUrl& pageUrl, const QString& title)
{
    const QString origin = pageUrl.scheme() + QStringLiteral("://") + pageUrl.authority();
    const QString location =
        QStringLiteral("{href: %1, origin: %2, protocol: %3, host: %4, pathname: %5, search: %6, hash: %7}")
            .arg(bridge::jsString(pageUrl.toString()), bridge::jsString(origin),
                 bridge::jsString(pageUrl.scheme() + QLatin1Char(':')), bridge::jsString(pageUrl.authority()),
                 bridge::jsString(pageUrl.path()),
                 bridge::jsString(pageUrl.hasQuery() ? QLatin1Char('?') + pageUrl.query() : QString()),
                 bridge::jsString(pageUrl.hasFragment() ? QLatin1Char('#') + pageUrl.fragment() : QString()));
    return QString::fromUtf8(kPrelude).arg(location, bridge::jsString(title));
}

}  // namespace webui::headless
