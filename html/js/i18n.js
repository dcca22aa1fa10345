// Language choice and lookup. The texts themselves are the dictionaries in
// lang/, one per language, loaded before this file.
(function (global) {
  'use strict';

  var dictionaries = global.KorvaneDictionaries || {};
  var listeners = [];

  var stored = null;
  try { stored = global.localStorage && localStorage.getItem('korvane.language'); } catch (e) { stored = null; }
  var browser = (global.navigator && navigator.language) || 'en';
  var current = stored && dictionaries[stored] ? stored : (/^zh/i.test(browser) ? 'zh' : 'en');
  if (!dictionaries[current]) current = 'en';

  // t(key, arg0, arg1, ...) fills {0}, {1}, ... in the text.
  // "{0:document|documents}": the first form when argument 0 is 1, else the second.
  function pluralise(text, index, value) {
    var marker = '{' + index + ':';
    var start = text.indexOf(marker);
    while (start >= 0) {
      var end = text.indexOf('}', start);
      var bar = text.indexOf('|', start);
      if (end < 0 || bar < 0 || bar > end) break;
      var form = Number(value) === 1 ? text.slice(start + marker.length, bar) : text.slice(bar + 1, end);
      text = text.slice(0, start) + form + text.slice(end + 1);
      start = text.indexOf(marker, start + form.length);
    }
    return text;
  }

  function t(key) {
    var text = (dictionaries[current] && dictionaries[current][key]);
    if (text === undefined && dictionaries.en) text = dictionaries.en[key];
    if (text === undefined) text = key;
    for (var i = 1; i < arguments.length; i++) {
      text = text.split('{' + (i - 1) + '}').join(String(arguments[i]));
      text = pluralise(text, i - 1, arguments[i]);
    }
    return text;
  }

  // A message { key, args } as text.
  function tm(message) {
    return t.apply(null, [message.key].concat(message.args || []));
  }

  function add(language, entries) {
    dictionaries[language] = dictionaries[language] || {};
    Object.keys(entries).forEach(function (k) { dictionaries[language][k] = entries[k]; });
  }

  function argsOf(el) {
    var raw = el.getAttribute('data-i18n-args');
    if (!raw) return [];
    try { var a = JSON.parse(raw); return Array.isArray(a) ? a : []; } catch (e) { return []; }
  }

  // Fills every element that names a text key, with the arguments it keeps.
  function apply(root) {
    var scope = root || document;
    if (!scope || !scope.querySelectorAll) return;
    Array.prototype.forEach.call(scope.querySelectorAll('[data-i18n]'), function (el) {
      el.textContent = t.apply(null, [el.getAttribute('data-i18n')].concat(argsOf(el)));
    });
    Array.prototype.forEach.call(scope.querySelectorAll('[data-i18n-label]'), function (el) {
      var text = t(el.getAttribute('data-i18n-label'));
      el.setAttribute('aria-label', text);
      el.setAttribute('title', text);
    });
    Array.prototype.forEach.call(scope.querySelectorAll('[data-i18n-title]'), function (el) {
      el.setAttribute('title', t(el.getAttribute('data-i18n-title')));
    });
    Array.prototype.forEach.call(scope.querySelectorAll('[data-i18n-placeholder]'), function (el) {
      el.setAttribute('placeholder', t(el.getAttribute('data-i18n-placeholder')));
    });
    if (document.documentElement) document.documentElement.lang = current === 'zh' ? 'zh-CN' : 'en';
  }

  function setLanguage(language) {
    if (!dictionaries[language]) return;
    current = language;
    try { localStorage.setItem('korvane.language', language); } catch (e) { /* storage off */ }
    apply();
    listeners.forEach(function (fn) { fn(language); });
  }

  global.Korvane = global.Korvane || {};
  global.Korvane.t = t;
  global.Korvane.tm = tm;
  global.Korvane.i18n = {
    add: add,
    apply: apply,
    setLanguage: setLanguage,
    language: function () { return current; },
    languages: function () { return Object.keys(dictionaries); },
    onChange: function (fn) { listeners.push(fn); }
  };
})(this);
