// Settings that talk to the program: start with the session, help links.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./common.js'));
  else { root.Korvane.model.settings = factory(root.Korvane.model.common); }
})(this, function (common) {
  'use strict';

  var STARTUP_NAME = 'Korvane';

  // The command line the session starts; quoted when the path has blanks so
  // that it reads back as one program.
  function startupCommand(modulePath) {
    if (typeof modulePath !== 'string' || !modulePath || modulePath === 'empty') return null;
    if (/["\u0000-\u001f]/.test(modulePath)) return null;
    return /\s/.test(modulePath) ? '"' + modulePath + '"' : modulePath;
  }

  // addToStartupList / deleteFromStartupList answer a registry status (0 = done).
  function startupOutcome(enable, result) {
    if (typeof result !== 'number') return { ok: false, key: 'common.unavailable', code: null };
    if (result === 0) return { ok: true, key: enable ? 'startup.on' : 'startup.off', code: 0 };
    // Removing an entry that is not there leaves the wanted state.
    if (!enable && result === 2) return { ok: true, key: 'startup.off', code: 0 };
    return { ok: false, key: 'op.failed', code: result };
  }

  // Which help entries "notifySettingByCpp" allows, in display order.
  function helpLinks(contact, manual, faq) {
    var links = [];
    if (contact) links.push({ id: 'help-contact', key: 'settings.contact', command: 'service' });
    if (manual) links.push({ id: 'help-manual', key: 'settings.manual', command: 'tutorial' });
    if (faq) links.push({ id: 'help-faq', key: 'settings.faq', command: null });
    return links;
  }

  // "kernelVersion" answers the platform as "Linux" + architecture + "." +
  // kernel major.minor ("Linuxamd64.6.1"); with the system's own name (the
  // hardware summary's "system") it reads "Debian GNU/Linux 12, kernel 6.1".
  // Anything else is shown as it came.
  function systemVersion(decoration, systemName) {
    var raw = common.text(decoration, 120);
    var m = /^Linux([A-Za-z0-9_]*)\.(\d{1,4}\.\d{1,4})$/.exec(raw);
    if (!m) return raw ? { text: raw } : null;
    var name = common.text(systemName, 120).trim();
    if (!name || name.toLowerCase() === 'unknown') name = 'Linux';
    return { key: 'about.systemVersion', args: [name, m[2]] };
  }

  return { STARTUP_NAME: STARTUP_NAME, startupCommand: startupCommand, startupOutcome: startupOutcome, helpLinks: helpLinks,
           systemVersion: systemVersion };
});
