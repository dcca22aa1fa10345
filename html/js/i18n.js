// Every user-visible text of the pages, one dictionary per language.
(function (global) {
  'use strict';

  var dictionaries = {
    zh: {
      'app.title': 'Korvane 打印助手',
      'nav.printers': '打印机',
      'nav.search': '搜索',
      'nav.repair': '诊断与修复',
      'nav.downloads': '下载',
      'nav.hardware': '硬件',
      'nav.settings': '设置',
      'nav.log': '日志',
      'title.minimize': '最小化',
      'title.close': '关闭',
      'login.in': '已登录：{0}',
      'login.out': '未登录',
      'log.heading': '程序消息',
      'log.clear': '清空',
      'log.empty': '还没有消息。',
      'about.heading': '关于本机',
      'about.appType': '应用类型',
      'about.country': '国家代码',
      'about.kernel': '系统版本',
      'about.version': '程序版本',
      'about.machine': '设备标识',
      'about.printerList': '打印类设备',
      'settings.heading': '设置',
      'settings.language': '语言',
      'settings.shown': '显示的帮助链接',
      'settings.contact': '联系我们',
      'settings.manual': '使用手册',
      'settings.faq': '常见问题',
      'common.yes': '是',
      'common.no': '否',
      'common.none': '无',
      'common.unavailable': '此功能尚不可用。'
    },
    en: {
      'app.title': 'Korvane printer helper',
      'nav.printers': 'Printers',
      'nav.search': 'Search',
      'nav.repair': 'Diagnose & repair',
      'nav.downloads': 'Downloads',
      'nav.hardware': 'Hardware',
      'nav.settings': 'Settings',
      'nav.log': 'Log',
      'title.minimize': 'Minimise',
      'title.close': 'Close',
      'login.in': 'Signed in: {0}',
      'login.out': 'Not signed in',
      'log.heading': 'Messages from the program',
      'log.clear': 'Clear',
      'log.empty': 'No messages yet.',
      'about.heading': 'This computer',
      'about.appType': 'Application type',
      'about.country': 'Country id',
      'about.kernel': 'System version',
      'about.version': 'Program version',
      'about.machine': 'Machine id',
      'about.printerList': 'Printer-class devices',
      'settings.heading': 'Settings',
      'settings.language': 'Language',
      'settings.shown': 'Help links shown',
      'settings.contact': 'Contact us',
      'settings.manual': 'Manual',
      'settings.faq': 'Common problems',
      'common.yes': 'Yes',
      'common.no': 'No',
      'common.none': 'None',
      'common.unavailable': 'This feature is not available yet.'
    }
  };

  var stored = null;
  try { stored = global.localStorage && localStorage.getItem('korvane.language'); } catch (e) { stored = null; }
  var browser = (global.navigator && navigator.language) || 'en';
  var current = stored || (/^zh/i.test(browser) ? 'zh' : 'en');
  if (!dictionaries[current]) current = 'en';

  function t(key) {
    var text = (dictionaries[current] && dictionaries[current][key]) || dictionaries.en[key] || key;
    for (var i = 1; i < arguments.length; i++) text = text.split('{' + (i - 1) + '}').join(String(arguments[i]));
    return text;
  }

  function add(language, entries) {
    dictionaries[language] = dictionaries[language] || {};
    Object.keys(entries).forEach(function (k) { dictionaries[language][k] = entries[k]; });
  }

  // Fills every element that names a text key.
  function apply(root) {
    var scope = root || document;
    if (!scope.querySelectorAll) return;
    Array.prototype.forEach.call(scope.querySelectorAll('[data-i18n]'), function (el) {
      el.textContent = t(el.getAttribute('data-i18n'));
    });
    Array.prototype.forEach.call(scope.querySelectorAll('[data-i18n-label]'), function (el) {
      var text = t(el.getAttribute('data-i18n-label'));
      el.setAttribute('aria-label', text);
      el.setAttribute('title', text);
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
  var listeners = [];

  global.Korvane = global.Korvane || {};
  global.Korvane.t = t;
  global.Korvane.i18n = {
    add: add,
    apply: apply,
    setLanguage: setLanguage,
    language: function () { return current; },
    languages: function () { return Object.keys(dictionaries); },
    onChange: function (fn) { listeners.push(fn); }
  };
})(this);
