// Diagnose & repair panel: runs every check of the printing environment,
// says what each answer means, and offers the repair that fixes it, one at a
// time or all together. After a repair the affected checks run again, so
// the page reports what is true now rather than what the repair claimed.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var model = K.model.repair;
  var ui = K.ui;
  var el = ui.el;

  var plan = [];
  var results = {};
  var queue = [];
  var running = false;
  var cancelled = false;
  var resetting = false;
  var afterRun = null;
  var nodes = {};

  function setBusy() {
    var busy = running || resetting;
    nodes.run.disabled = busy || !K.available('checkPrinterSpool');
    nodes.cancel.disabled = !running;
    nodes.all.disabled = busy || !K.available('resetSpool_firewall_queue');
    nodes.section.setAttribute('aria-busy', busy ? 'true' : 'false');
    Array.prototype.forEach.call(nodes.list.querySelectorAll ? nodes.list.querySelectorAll('button') : [], function (b) {
      b.disabled = busy || !K.available(b.getAttribute('data-repair'));
    });
  }

  // Runs the given checks one by one, painting between them so the page
  // stays responsive and the Stop button can act.
  function runChecks(checks, done) {
    queue = checks.slice();
    running = true;
    cancelled = false;
    afterRun = done || null;
    nodes.progress.hidden = false;
    nodes.progress.max = Math.max(1, queue.length);
    nodes.progress.value = 0;
    setBusy();
    step();
  }

  function step() {
    if (cancelled || !queue.length) {
      running = false;
      nodes.progress.hidden = true;
      ui.setText(nodes.phase, cancelled ? 'repair.cancelledRun' : 'repair.idle');
      render();
      setBusy();
      var then = afterRun;
      afterRun = null;
      if (then && !cancelled) then();
      else if (cancelled) ui.notice(nodes.notice, 'info', { key: 'repair.cancelledRun' });
      return;
    }
    var check = queue.shift();
    ui.setText(nodes.phase, 'repair.checking', [K.t('checkname.' + check.fn, check.printer || '')]);
    global.setTimeout(function () {
      var answer = K.available(check.fn) ? K.call.apply(null, [check.fn].concat(check.args)) : undefined;
      results[check.id] = model.interpret(check, answer);
      results[check.id].check = check;
      nodes.progress.value = Number(nodes.progress.value) + 1;
      render();
      step();
    }, 30);
  }

  function runAll() {
    plan = model.checkPlan(K.printers ? K.printers.list() : []);
    results = {};
    ui.notice(nodes.notice, 'busy', { key: 'repair.running' });
    runChecks(plan, summarise);
  }

  function summarise() {
    var list = plan.map(function (c) { return results[c.id]; }).filter(Boolean);
    var s = model.summary(list);
    var parts = [{ key: s.key, args: s.args }];
    if (K.printers && !K.printers.loaded()) parts.push({ key: 'repair.printersUnknown' });
    ui.notice(nodes.notice, s.level === 'unknown' ? 'warn' : s.level, parts);
  }

  function repair(fn, printer) {
    ui.notice(nodes.notice, 'busy', { key: 'repair.repairing', args: [K.t(model.REPAIRS[fn].label)] });
    resetting = true;
    setBusy();
    ui.defer(function () {
      var answer = fn === 'enablePrinterSharing' ? K.call(fn, printer, true)
                 : fn === 'cleanPrinterQueue' ? K.call(fn, 0) : K.call(fn);
      resetting = false;
      var outcome = model.REPAIRS[fn].outcome ? model.REPAIRS[fn].outcome(answer) : null;
      var recheck = model.recheckFor(fn, plan, fn === 'enablePrinterSharing' ? printer : undefined);
      if (outcome && !outcome.ok) {
        reportFailure(outcome);
        setBusy();
        return;
      }
      if (!K.available(fn)) { ui.notice(nodes.notice, 'warn', { key: 'common.unavailable' }); setBusy(); return; }
      runChecks(recheck, function () { reportAfter(recheck); });
    });
  }

  function reportFailure(outcome) {
    if (outcome.key === 'op.failed') ui.notice(nodes.notice, 'error', [{ key: 'repair.failed' }].concat(ui.errorParts(outcome.code)));
    else ui.notice(nodes.notice, 'error', [{ key: outcome.key, args: [outcome.code] }, { key: 'repair.failedAdvice' }]);
  }

  // What the checks say after a repair is the outcome the user sees.
  function reportAfter(checks) {
    var still = checks.filter(function (c) { return results[c.id] && (results[c.id].level === 'warn' || results[c.id].level === 'error'); });
    if (!checks.length) ui.notice(nodes.notice, 'ok', { key: 'repair.doneNoCheck' });
    else if (!still.length) ui.notice(nodes.notice, 'ok', { key: 'repair.doneVerified' });
    else ui.notice(nodes.notice, 'warn', [{ key: 'repair.doneButStill', args: [still.length] }, { key: 'repair.failedAdvice' }]);
  }

  function repairAll() {
    var answer = K.call('resetSpool_firewall_queue');
    var outcome = model.toolOutcome(answer);
    if (!outcome.ok) { reportFailure(outcome); return; }
    resetting = true;
    nodes.progress.hidden = false;
    nodes.progress.removeAttribute && nodes.progress.removeAttribute('value');
    ui.setText(nodes.phase, 'repair.allRunning');
    ui.notice(nodes.notice, 'busy', { key: 'repair.allStarted' });
    setBusy();
  }

  function onResetFinished() {
    resetting = false;
    nodes.progress.hidden = true;
    ui.notice(nodes.notice, 'busy', { key: 'repair.allFinished' });
    plan = model.checkPlan(K.printers ? K.printers.list() : []);
    runChecks(plan, function () { reportAfter(plan); });
  }

  function render() {
    ui.clear(nodes.list);
    plan.forEach(function (check) {
      var r = results[check.id];
      if (!r) return;
      var sentence = el('p', {}, [ui.span({ key: r.key, args: r.args })]);
      if (r.words && r.words.length) {
        sentence.appendChild(document.createTextNode(' '));
        sentence.appendChild(el('span', { 'class': 'muted', i18n: 'check.queue.words', args: [r.words.map(function (w) { return K.t(w); }).join(K.t('common.listSeparator'))] }));
      }
      var button = null;
      if (r.repair) {
        button = el('button', { type: 'button', 'data-repair': r.repair, 'data-check': check.id, 'data-printer': check.printer || '',
                                i18n: model.REPAIRS[r.repair].label,
                                onclick: function () { repair(r.repair, check.printer); } });
      }
      nodes.list.appendChild(el('li', { 'class': 'check ' + r.level, 'data-check': check.id }, [
        el('span', { 'class': 'mark', 'aria-hidden': 'true', text: r.level === 'ok' ? '✓' : r.level === 'error' ? '!' : r.level === 'warn' ? '!' : 'i' }),
        el('span', { 'class': 'visually-hidden', i18n: 'level.' + r.level }),
        sentence, button]));
    });
    setBusy();
  }

  K.registerPanel({
    id: 'repair', titleKey: 'nav.repair',
    build: function (section) {
      nodes.section = section;
      nodes.run = el('button', { type: 'button', id: 'repair-run', 'class': 'primary', i18n: 'repair.run', onclick: runAll });
      nodes.cancel = el('button', { type: 'button', id: 'repair-cancel', i18n: 'common.stop', disabled: true,
                                    onclick: function () { cancelled = true; } });
      nodes.all = el('button', { type: 'button', id: 'repair-all', i18n: 'repair.all', onclick: repairAll });
      section.appendChild(el('div', { 'class': 'panel-head' }, [
        el('h2', { i18n: 'repair.heading' }), el('span', { 'class': 'buttons' }, [nodes.run, nodes.cancel, nodes.all])]));
      section.appendChild(el('p', { 'class': 'muted', i18n: 'repair.intro' }));
      nodes.progress = el('progress', { id: 'repair-progress', hidden: true, 'aria-labelledby': 'repair-phase' });
      nodes.phase = el('p', { id: 'repair-phase', 'aria-live': 'polite', i18n: 'repair.idle' });
      nodes.notice = el('div', { id: 'repair-notice', 'aria-live': 'polite' });
      nodes.list = el('ul', { id: 'repair-results', 'class': 'checks' });
      [nodes.progress, nodes.phase, nodes.notice, nodes.list].forEach(function (n) { section.appendChild(n); });
      if (!K.available('checkPrinterSpool')) ui.notice(nodes.notice, 'warn', { key: 'common.unavailable' });
      K.on('notifyFinishResetAllByCpp', onResetFinished);
      setBusy();
    }
  });
})(this);
