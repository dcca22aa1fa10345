// Managing one installed queue from its card: pause and resume, take or
// refuse new documents, the documents waiting with cancel and release, supply
// levels, and the description and location. The printers panel asks for the
// card's parts and tells this module when the list or a printer changed.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var model = K.model.queue;
  var ui = K.ui;
  var el = ui.el;

  var MAX_READ_AT_ONCE = 20;
  var state = {};   // printer name → { supplies, accepting, jobs }
  var open = {};    // printer name → true while its document list is shown
  var editing = {}; // printer name → { description, location, problem }
  var host = null;  // { notice, render, refresh }

  function entry(name) {
    if (!Object.prototype.hasOwnProperty.call(state, name)) state[name] = { supplies: null, accepting: null, jobs: null };
    return state[name];
  }

  // Reads what the card shows of one queue. Answers 'none' when nothing
  // could be asked, 'down' when the scheduler did not answer, else 'read'.
  function read(name) {
    var e = entry(name);
    var answer = 'none';
    if (K.available('getPrinterSupplies')) {
      var supplies = model.parseSupplies(K.call('getPrinterSupplies', name));
      e.supplies = supplies && supplies.code === 0 ? supplies.supplies : null;
      answer = supplies && supplies.code === 1722 ? 'down' : 'read';
    }
    if (answer !== 'down' && K.available('getPrinterJobs')) {
      var jobs = model.parseJobs(K.call('getPrinterJobs', name));
      if (jobs && jobs.code === 0) {
        e.accepting = jobs.accepting;
        e.jobs = jobs.jobs;
      } else {
        e.jobs = null;
      }
      answer = jobs && jobs.code === 1722 ? 'down' : 'read';
    }
    return answer;
  }

  // Each read waits for the scheduler; once it does not answer, the rest of
  // the round would only wait as long again.
  function readSoon(names) {
    ui.defer(function () {
      var any = false;
      names.slice(0, MAX_READ_AT_ONCE).some(function (n) {
        var answer = read(n);
        any = any || answer !== 'none';
        return answer === 'down';
      });
      if (any && host) host.render();
    });
  }

  function supplyBars(p) {
    var e = entry(p.printerName);
    if (!e.supplies || !e.supplies.length) return null;
    var list = el('ul', { 'class': 'supplies', 'data-printer': p.printerName, 'aria-label': K.t('supply.heading') });
    e.supplies.forEach(function (s) {
      var view = model.supplyView(s);
      var fill = el('span', { 'class': 'fill' + (view.low ? ' low' : '') });
      fill.setAttribute('style', 'width:' + (view.percent === null ? 100 : view.percent) + '%;' +
                        (s.color ? 'background:' + s.color + ';' : '') + (view.percent === null ? 'opacity:0.25;' : ''));
      var bar = el('span', { 'class': 'bar', role: 'meter', 'aria-valuemin': '0', 'aria-valuemax': '100',
                             'aria-label': s.name }, [fill]);
      if (view.percent !== null) bar.setAttribute('aria-valuenow', String(view.percent));
      list.appendChild(el('li', { 'class': 'supply', 'data-supply': s.name }, [
        el('span', { 'class': 'supply-name', text: s.name }), bar,
        el('span', { 'class': 'supply-level' + (view.low ? ' low' : ''), i18n: view.key, args: view.args })
      ]));
    });
    return list;
  }

  function button(p, action, key, handler) {
    var b = el('button', { type: 'button', 'data-action': action, 'data-printer': p.printerName, i18n: key,
                           onclick: function () { handler(p); } });
    return b;
  }

  function report(p, operation, result) {
    var outcome = model.operationOutcome(operation, result);
    ui.outcome(host.notice, outcome, [p.printerName]);
    return outcome.ok;
  }

  function pauseOrResume(p) {
    var operation = K.model.common.hasBit(p.status, 0x1) ? 'resumePrinter' : 'pausePrinter';
    ui.notice(host.notice, 'busy', { key: 'printers.working', args: [p.printerName] });
    ui.defer(function () {
      if (report(p, operation, K.call(operation, p.printerName))) {
        read(p.printerName);
        host.refresh();
      }
      host.render();
    });
  }

  function acceptOrReject(p) {
    var accept = entry(p.printerName).accepting === false;
    ui.notice(host.notice, 'busy', { key: 'printers.working', args: [p.printerName] });
    ui.defer(function () {
      report(p, accept ? 'acceptJobs' : 'rejectJobs', K.call('setPrinterAcceptJobs', p.printerName, accept));
      read(p.printerName);
      host.render();
    });
  }

  function toggleJobs(p) {
    if (open[p.printerName]) delete open[p.printerName];
    else {
      open[p.printerName] = true;
      read(p.printerName);
    }
    host.render();
  }

  function jobOperation(p, job, operation) {
    ui.notice(host.notice, 'busy', { key: 'printers.working', args: [p.printerName] });
    ui.defer(function () {
      var result = K.call(operation, p.printerName, job.id);
      var outcome = model.operationOutcome(operation, result);
      ui.outcome(host.notice, outcome, [job.name || ('#' + job.id), p.printerName]);
      read(p.printerName);
      host.render();
    });
  }

  function jobsPanel(p) {
    if (!open[p.printerName]) return null;
    var e = entry(p.printerName);
    var box = el('div', { 'class': 'jobs-panel', 'data-printer': p.printerName });
    if (e.accepting === false) box.appendChild(el('p', { 'class': 'notice warn', i18n: 'jobs.refusing' }));
    if (e.jobs === null) {
      box.appendChild(el('p', { 'class': 'empty', i18n: 'jobs.unreadable' }));
      return box;
    }
    if (!e.jobs.length) {
      box.appendChild(el('p', { 'class': 'empty', i18n: 'jobs.none' }));
      return box;
    }
    var head = el('tr', {}, ['jobs.id', 'jobs.name', 'jobs.owner', 'jobs.size', 'jobs.state', 'jobs.time', 'jobs.actions']
      .map(function (k) { return el('th', { scope: 'col', i18n: k }); }));
    var body = el('tbody');
    e.jobs.forEach(function (job) {
      var size = model.formatSize(job.size);
      var actions = el('td', { 'class': 'job-actions' }, [
        job.held ? el('button', { type: 'button', 'data-action': 'releasePrinterJob', 'data-job': String(job.id),
                                  i18n: 'action.releaseJob', onclick: function () { jobOperation(p, job, 'releasePrinterJob'); } }) : null,
        el('button', { type: 'button', 'data-action': 'cancelPrinterJob', 'data-job': String(job.id),
                       i18n: 'action.cancelJob', onclick: function () { jobOperation(p, job, 'cancelPrinterJob'); } })
      ]);
      body.appendChild(el('tr', { 'data-job': String(job.id) }, [
        el('td', { text: String(job.id) }),
        job.name ? el('td', { text: job.name }) : el('td', { 'class': 'muted', i18n: 'jobs.private' }),
        el('td', { text: job.owner }),
        el('td', { i18n: size.key, args: size.args }),
        el('td', { i18n: model.jobStateKey(job.state) }),
        el('td', { text: model.formatTime(job.time) }),
        actions
      ]));
    });
    box.appendChild(el('table', { 'class': 'jobs-table', 'aria-label': K.t('jobs.heading', p.printerName) },
                       [el('thead', {}, [head]), body]));
    return box;
  }

  function startEditing(p) {
    if (editing[p.printerName]) delete editing[p.printerName];
    else editing[p.printerName] = { description: p.comment || '', location: p.location || '', problem: null };
    host.render();
  }

  function save(p) {
    var form = editing[p.printerName];
    if (!form) return;
    form.problem = model.textProblem(form.description) || model.textProblem(form.location);
    if (form.problem) { host.render(); return; }
    ui.notice(host.notice, 'busy', { key: 'printers.working', args: [p.printerName] });
    ui.defer(function () {
      if (report(p, 'setPrinterDescription', K.call('setPrinterDescription', p.printerName, form.description, form.location))) {
        delete editing[p.printerName];
        p.comment = form.description;
        p.location = form.location;
        host.refresh();
      }
      host.render();
    });
  }

  function editForm(p) {
    var form = editing[p.printerName];
    if (!form) return null;
    var id = 'edit-' + encodeURIComponent(p.printerName).replace(/[^A-Za-z0-9]/g, '_');
    function field(name, key) {
      var input = el('input', { type: 'text', id: id + '-' + name, 'data-action': 'edit-' + name,
                                'data-printer': p.printerName, value: form[name], maxlength: '127' });
      input.value = form[name];
      input.addEventListener('input', function () { form[name] = input.value; });
      return el('label', { 'for': id + '-' + name }, [el('span', { i18n: key }), input]);
    }
    return el('div', { 'class': 'edit-form', 'data-printer': p.printerName, role: 'group',
                       'aria-label': K.t('edit.heading', p.printerName) }, [
      field('description', 'edit.description'), field('location', 'edit.location'),
      form.problem ? el('p', { 'class': 'notice error', role: 'alert', i18n: form.problem }) : null,
      el('div', { 'class': 'actions' }, [
        el('button', { type: 'button', 'class': 'primary', 'data-action': 'saveDescription', 'data-printer': p.printerName,
                       i18n: 'edit.save', onclick: function () { save(p); } }),
        el('button', { type: 'button', 'data-action': 'cancelEdit', 'data-printer': p.printerName, i18n: 'common.cancel',
                       onclick: function () { delete editing[p.printerName]; host.render(); } })
      ])
    ]);
  }

  // The card's parts: the description line, supply bars, the management
  // buttons, the document list and the editing form (each null when absent).
  function cardParts(p) {
    var ours = !p.serverName;
    var paused = K.model.common.hasBit(p.status, 0x1);
    var e = entry(p.printerName);
    var buttons = el('div', { 'class': 'actions manage', role: 'group', 'aria-label': K.t('printer.manageFor', p.printerName) }, [
      ours ? ui.needs(button(p, paused ? 'resumePrinter' : 'pausePrinter', paused ? 'action.resume' : 'action.pause',
                             pauseOrResume), paused ? 'resumePrinter' : 'pausePrinter') : null,
      ours && e.accepting !== null ? ui.needs(button(p, 'setPrinterAcceptJobs', e.accepting ? 'action.reject' : 'action.accept',
                                                     acceptOrReject), 'setPrinterAcceptJobs') : null,
      ui.needs(button(p, 'getPrinterJobs', open[p.printerName] ? 'action.hideJobs' : 'action.jobs', toggleJobs), 'getPrinterJobs'),
      ours ? ui.needs(button(p, 'editDescription', 'action.edit', startEditing), 'setPrinterDescription') : null
    ]);
    var description = p.comment || p.location
      ? el('p', { 'class': 'description' }, [
        p.comment ? el('span', { 'class': 'comment', text: p.comment }) : null,
        p.location ? el('span', { 'class': 'location', i18n: 'printer.at', args: [p.location] }) : null])
      : null;
    return { description: description, supplies: supplyBars(p), buttons: buttons, jobs: jobsPanel(p), edit: editForm(p) };
  }

  K.queue = {
    attach: function (h) { host = h; },
    cardParts: cardParts,
    // The full list arrived: read every queue's supplies and state again.
    listed: function (printers) {
      var names = printers.map(function (p) { return p.printerName; });
      Object.keys(state).forEach(function (n) { if (names.indexOf(n) < 0) { delete state[n]; delete open[n]; delete editing[n]; } });
      readSoon(names);
    },
    // The program reported a change of one printer.
    changed: function (name) {
      if (typeof name === 'string' && name) readSoon([name]);
    }
  };
})(this);
