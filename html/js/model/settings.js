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

  return { STARTUP_NAME: STARTUP_NAME, startupCommand: startupCommand, startupOutcome: startupOutcome, helpLinks: helpLinks };
});
