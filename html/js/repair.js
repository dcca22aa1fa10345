// Diagnose & repair panel: runs every check of the printing environment,
// says what each answer means, and offers the repair that fixes it, one at a
// time or all together. After a repair the affected checks run again, so
// the page reports what is true now rather than what the repair claimed.
// Whatever cancels documents asks first and says how many would be lost.
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
  var lostByRepairAll = null;
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

  // The number of documents waiting on a printer as the program tells it
  // now; undefined when it cannot.
  function freshCount(name) {
    if (!K.available('getPrinterInfo')) return undefined;
    var answer = K.call('getPrinterInfo', name);
    if (!answer || answer.code !== 0 || !answer.info) return undefined;
    var count = Number(answer.info.dwCjobs);
    return isFinite(count) && count >= 0 ? count : undefined;
  }

  function pending(onlyPrinter) {
    var list = K.printers && K.printers.loaded() ? K.printers.list() : null;
    if (onlyPrinter !== undefined) {
      list = (list || []).filter(function (p) { return p && p.printerName === onlyPrinter; });
      if (!list.length) list = [{ printerName: onlyPrinter, cjobs: 0 }];
    }
    return model.pendingDocuments(list, freshCount);
  }

  function repair(fn, printer) {
    if (fn !== 'cleanPrinterQueueOf') { startRepair(fn, printer); return; }
    var lost = pending(printer);
    // Nothing would be lost: the program answers at once without asking for a password.
    if (!lost.documents) { startRepair(fn, printer); return; }
    var loss = model.lossMessage(lost);
    ui.confirm({ title: 'repair.queueConfirm.title', titleArgs: [printer], text: loss.key, textArgs: loss.args,
                 ok: 'repair.queueConfirm.ok', cancel: 'repair.confirm.keep', danger: true }, function (yes) {
      if (yes) startRepair(fn, printer);
      else ui.notice(nodes.notice, 'info', { key: 'repair.kept' });
    });
  }

  function startRepair(fn, printer) {
    ui.notice(nodes.notice, 'busy', { key: 'repair.repairing', args: [K.t(model.REPAIRS[fn].label)] });
    resetting = true;
    setBusy();
    var onePrinter = fn === 'enablePrinterSharing' || fn === 'cleanPrinterQueueOf';
    ui.defer(function () {
      var answer = fn === 'enablePrinterSharing' ? K.call(fn, printer, true)
                 : fn === 'cleanPrinterQueueOf' ? K.call(fn, printer)
                 : fn === 'cleanPrinterQueue' ? K.call(fn, 0) : K.call(fn);
      resetting = false;
      var outcome = model.REPAIRS[fn].outcome ? model.REPAIRS[fn].outcome(answer) : null;
      var recheck = model.recheckFor(fn, plan, onePrinter ? printer : undefined);
      if (outcome && !outcome.ok) {
        reportFailure(outcome);
        setBusy();
        return;
      }
      if (!K.available(fn)) { ui.notice(nodes.notice, 'warn', { key: 'common.unavailable' }); setBusy(); return; }
      var done = fn === 'cleanPrinterQueueOf' ? { key: 'repair.queueDone', args: [printer] } : null;
      runChecks(recheck, function () { reportAfter(recheck, done); });
    });
  }

  function reportFailure(outcome) {
    if (outcome.key === 'repair.queueGone') ui.notice(nodes.notice, 'error', { key: outcome.key });
    else if (outcome.key === 'op.failed') ui.notice(nodes.notice, 'error', [{ key: 'repair.failed' }].concat(ui.errorParts(outcome.code)));
    else ui.notice(nodes.notice, 'error', [{ key: outcome.key, args: [outcome.code] }, { key: 'repair.failedAdvice' }]);
  }

  // What the checks say after a repair is the outcome the user sees.
  function reportAfter(checks, done) {
    var still = checks.filter(function (c) { return results[c.id] && (results[c.id].level === 'warn' || results[c.id].level === 'error'); });
    if (!checks.length) ui.notice(nodes.notice, 'ok', { key: 'repair.doneNoCheck' });
    else if (!still.length) ui.notice(nodes.notice, 'ok', done ? [done, { key: 'repair.doneVerified' }] : { key: 'repair.doneVerified' });
    else ui.notice(nodes.notice, 'warn', [{ key: 'repair.doneButStill', args: [still.length] }, { key: 'repair.failedAdvice' }]);
  }

  // "Repair everything" cancels every document on every printer: the user
  // says yes to that, knowing how many, before anything starts.
  function repairAll() {
    var lost = pending();
    var loss = model.lossMessage(lost);
    ui.confirm({ title: 'repair.allConfirm.title', text: loss.key, textArgs: loss.args,
                 ok: 'repair.allConfirm.ok', cancel: 'repair.allConfirm.no', danger: true }, function (yes) {
      if (yes) startRepairAll(lost);
      else ui.notice(nodes.notice, 'info', { key: 'repair.kept' });
    });
  }

  function startRepairAll(lost) {
    var answer = K.call('resetSpool_firewall_queue');
    var outcome = model.toolOutcome(answer);
    if (!outcome.ok) { reportFailure(outcome); return; }
    lostByRepairAll = lost;
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
    var lost = lostByRepairAll;
    lostByRepairAll = null;
    runChecks(plan, function () {
      var report = model.repairAllReport(plan, results, lost);
      ui.notice(nodes.notice, report.level, report.parts);
    });
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
      nodes.all = el('button', { type: 'button', id: 'repair-all', 'class': 'danger', i18n: 'repair.all',
                                 'aria-describedby': 'repair-all-text', onclick: repairAll });
      section.appendChild(el('div', { 'class': 'panel-head' }, [
        el('h2', { i18n: 'repair.heading' }), el('span', { 'class': 'buttons' }, [nodes.run, nodes.cancel])]));
      section.appendChild(el('p', { 'class': 'muted', i18n: 'repair.intro' }));
      // The destructive repair sits apart from the harmless checks.
      section.appendChild(el('div', { 'class': 'danger-zone', id: 'repair-all-zone' }, [
        el('p', { id: 'repair-all-text', i18n: 'repair.allExplain' }), nodes.all]));
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
