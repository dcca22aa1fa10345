// Settings and "this computer": language, download folder, starting with the
// session, the help the program allows, the sign-in state, and the facts the
// program reports about itself.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var model = K.model.settings;
  var ui = K.ui;
  var el = ui.el;
  var FAQ_COUNT = 5;

  function languageRow() {
    var select = el('select', { id: 'language' });
    [['zh', '中文'], ['en', 'English']].forEach(function (pair) {
      var option = el('option', { value: pair[0], text: pair[1], lang: pair[0] });
      if (pair[0] === K.i18n.language()) option.selected = true;
      select.appendChild(option);
    });
    select.addEventListener('change', function () { K.i18n.setLanguage(select.value); });
    return el('p', { 'class': 'row' }, [el('label', { 'for': 'language', i18n: 'settings.language' }), select]);
  }

  function startupRow() {
    var box = el('input', { type: 'checkbox', id: 'startup-toggle' });
    var notice = el('div', { id: 'startup-notice', 'aria-live': 'polite' });
    var command = model.startupCommand(K.call('getModuleFileName'));
    var usable = command !== null && K.available('checkStartupList') && K.available('addToStartupList') &&
                 K.available('deleteFromStartupList');
    function read() { box.checked = usable && K.call('checkStartupList', model.STARTUP_NAME, command) === true; }
    box.disabled = !usable;
    read();
    box.addEventListener('change', function () {
      var enable = box.checked;
      var result = enable ? K.call('addToStartupList', model.STARTUP_NAME, command)
                          : K.call('deleteFromStartupList', model.STARTUP_NAME);
      var outcome = model.startupOutcome(enable, result);
      // The box shows what the session will really do, not what was asked.
      read();
      if (outcome.ok && box.checked !== enable) ui.notice(notice, 'error', [{ key: 'startup.notApplied' }, { key: 'advice.retry' }]);
      else ui.outcome(notice, outcome, []);
    });
    var row = el('div', {}, [el('p', { 'class': 'row' }, [box, el('label', { 'for': 'startup-toggle', i18n: 'settings.startup' })]), notice]);
    if (!usable) ui.notice(notice, 'info', { key: 'common.unavailable' });
    return row;
  }

  function helpSection(section) {
    var links = el('div', { id: 'help-links', 'class': 'actions' });
    var faq = el('div', { id: 'faq', hidden: true });
    for (var i = 1; i <= FAQ_COUNT; i++) {
      faq.appendChild(el('details', {}, [el('summary', { i18n: 'faq.q' + i }), el('p', { i18n: 'faq.a' + i })]));
    }
    var notice = el('div', { id: 'help-notice', 'aria-live': 'polite' });
    section.appendChild(el('h3', { i18n: 'settings.help' }));
    section.appendChild(links);
    section.appendChild(notice);
    section.appendChild(faq);
    links.appendChild(el('p', { 'class': 'muted', i18n: 'settings.helpWaiting' }));
    K.on('notifySettingByCpp', function (appType, contact, manual, common) {
      ui.clear(links);
      var entries = model.helpLinks(contact === true, manual === true, common === true);
      faq.hidden = true;
      entries.forEach(function (entry) {
        links.appendChild(el('button', { type: 'button', id: entry.id, i18n: entry.key, onclick: function () {
          if (!entry.command) { faq.hidden = !faq.hidden; return; }
          if (K.call('eMsg', entry.command) === undefined) ui.notice(notice, 'warn', { key: 'common.unavailable' });
        } }));
      });
      if (!entries.length) links.appendChild(el('p', { 'class': 'muted', i18n: 'common.none' }));
      return true;
    });
  }

  function loginRow() {
    var line = el('p', { id: 'settings-login' });
    function render() {
      var s = K.login ? K.login.state() : { in: false, name: '' };
      if (s.in && s.name) ui.setText(line, 'login.in', [s.name]);
      else if (s.in) ui.setText(line, 'login.inNoName');
      else ui.setText(line, 'login.out');
    }
    K.on('userLoginByCpp', function () { global.setTimeout(render, 0); });
    render();
    return line;
  }

  function facts(section) {
    var list = el('dl', { 'class': 'facts', id: 'facts' });
    section.appendChild(el('h3', { i18n: 'about.heading' }));
    section.appendChild(list);
    function fact(key, value) {
      list.appendChild(el('dt', { i18n: key }));
      var usable = value !== undefined && value !== null && value !== '' && value !== 'empty';
      list.appendChild(usable ? el('dd', { text: String(value) }) : el('dd', { 'class': 'muted', i18n: 'common.unavailable' }));
    }
    fact('about.version', K.call('baseSystemInfo', 0));
    fact('about.appType', K.call('appType'));
    fact('about.country', K.call('countryID'));
    var decoration = K.call('kernelVersion');
    var version = model.systemVersion(decoration, '');
    var versionNode = null;
    if (version && version.key) {
      list.appendChild(el('dt', { i18n: 'about.kernel' }));
      versionNode = el('dd', { id: 'about-system-version', i18n: version.key, args: version.args, title: String(decoration) });
      list.appendChild(versionNode);
      // The hardware summary names the system.
      K.on('scanCbkByCpp', function (text) {
        var summary = K.parseJson ? K.parseJson(text) : null;
        var named = model.systemVersion(decoration, summary && typeof summary === 'object' ? summary.system : '');
        if (named && named.key) ui.setText(versionNode, named.key, named.args);
      });
    } else {
      fact('about.kernel', version ? version.text : decoration);
    }
    fact('about.machine', K.call('getDeviceid'));
    fact('about.program', K.call('getModuleFileName'));
  }

  K.registerPanel({
    id: 'settings', titleKey: 'nav.settings',
    build: function (section) {
      section.appendChild(el('h2', { i18n: 'settings.heading' }));
      section.appendChild(languageRow());
      section.appendChild(el('h3', { i18n: 'settings.folder' }));
      if (K.downloads) section.appendChild(K.downloads.folderWidget('settings-folder'));
      section.appendChild(el('h3', { i18n: 'settings.session' }));
      section.appendChild(startupRow());
      section.appendChild(el('h3', { i18n: 'settings.account' }));
      section.appendChild(loginRow());
      helpSection(section);
      facts(section);
    }
  });
})(this);
