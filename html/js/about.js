// Settings and "this computer": language, the help links the program allows,
// and the facts the program reports about itself.
(function (global) {
  'use strict';
  var K = global.Korvane;

  K.registerPanel({
    id: 'settings', titleKey: 'nav.settings',
    build: function (section) {
      section.appendChild(K.el('h2', { 'data-i18n': 'settings.heading' }));
      var select = K.el('select', { id: 'language' });
      [['zh', '中文'], ['en', 'English']].forEach(function (pair) {
        var option = K.el('option', { value: pair[0], text: pair[1] });
        if (pair[0] === K.i18n.language()) option.selected = true;
        select.appendChild(option);
      });
      select.addEventListener('change', function () { K.i18n.setLanguage(select.value); });
      section.appendChild(K.el('p', {}, [K.el('label', { for: 'language', 'data-i18n': 'settings.language' }),
                                          document.createTextNode(' '), select]));

      var links = K.el('dl', { class: 'facts', id: 'help-links' });
      section.appendChild(K.el('h3', { 'data-i18n': 'settings.shown' }));
      section.appendChild(links);
      K.on('notifySettingByCpp', function (appType, contact, manual, faq) {
        links.innerHTML = '';
        [['settings.contact', contact], ['settings.manual', manual], ['settings.faq', faq]].forEach(function (row) {
          links.appendChild(K.el('dt', { text: K.t(row[0]) }));
          links.appendChild(K.el('dd', { text: K.t(row[1] ? 'common.yes' : 'common.no') }));
        });
        return true;
      });

      section.appendChild(K.el('h2', { 'data-i18n': 'about.heading' }));
      var facts = K.el('dl', { class: 'facts', id: 'facts' });
      section.appendChild(facts);
      function fact(key, value) {
        facts.appendChild(K.el('dt', { 'data-i18n': key }));
        facts.appendChild(K.el('dd', { text: value === undefined ? K.t('common.unavailable') : String(value) }));
      }
      fact('about.appType', K.call('appType'));
      fact('about.country', K.call('countryID'));
      fact('about.kernel', K.call('kernelVersion'));
      fact('about.version', K.call('baseSystemInfo', 0));
      fact('about.machine', K.call('getDeviceid'));
      var devices = K.parseJson(K.call('printerList'), []);
      fact('about.printerList', devices.length ? devices.map(function (d) { return d.desc + ' (' + d.hardid + ')'; }).join(', ')
                                               : K.t('common.none'));
    }
  });
})(this);
