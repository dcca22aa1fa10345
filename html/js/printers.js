// Printers panel: the installed queues with their state in words, their
// capabilities and every operation on them; kept current by the program's
// change reports.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var model = K.model.printers;
  var ui = K.ui;
  var el = ui.el;

  var LIST_WAIT_MS = 20000;

  var printers = [];
  var loaded = false;
  var listeners = [];
  var pending = 0;
  var fresh = [];
  var waitTimer = 0;
  var refreshTimer = 0;
  var listNode, noticeNode, countNode;

  // The print service: while it does not answer, the list says nothing
  // about the queues, so a banner with a Start button stands in for it here
  // and wherever else a banner was asked for.
  var serviceIsDown = false;
  var serviceTimer = 0;
  var banners = [];

  function changed() {
    listeners.forEach(function (fn) { try { fn(printers); } catch (e) { K.log('error', 'printers listener: ' + e); } });
  }

  function windowHandle() {
    return typeof global.handle === 'number' ? global.handle : 0;
  }

  // Both enumerations answer through the same callback; the second answer
  // of a round completes the list, so queues gone meanwhile disappear.
  function refresh() {
    if (!K.available('enumPrinters')) {
      loaded = true;
      render();
      ui.notice(noticeNode, 'warn', { key: 'printers.unavailable' });
      return;
    }
    pending = 2;
    fresh = [];
    global.clearTimeout(waitTimer);
    waitTimer = global.setTimeout(function () {
      if (pending > 0) {
        pending = 0;
        if (!checkService()) ui.notice(noticeNode, 'warn', [{ key: 'printers.slow' }, { key: 'advice.spoolerDown' }]);
      }
    }, LIST_WAIT_MS);
    if (!loaded) ui.notice(noticeNode, 'busy', { key: 'printers.loading' });
    K.call('enumPrinters', 0);
    K.call('enumPrinters', 1);
  }

  function scheduleRefresh() {
    global.clearTimeout(refreshTimer);
    refreshTimer = global.setTimeout(refresh, 400);
  }

  function onList(text) {
    var list = model.parsePrinterList(text);
    if (list === null) {
      K.log('error', 'printer list is not JSON', [String(text).slice(0, 200)]);
      ui.notice(noticeNode, 'error', [{ key: 'printers.badList' }, { key: 'advice.retry' }]);
      return;
    }
    if (pending > 0) {
      fresh = model.mergePrinters(fresh, list);
      pending--;
      printers = pending === 0 ? fresh : model.mergePrinters(printers, list);
      if (pending === 0) {
        global.clearTimeout(waitTimer);
        if (K.queue) K.queue.listed(printers);
        if (!loaded || noticeNode.querySelector && noticeNode.querySelector('.busy, .warn')) ui.clear(noticeNode);
      }
    } else {
      printers = model.mergePrinters(printers, list);
    }
    loaded = true;
    // Queues come only from a scheduler that answers; an empty list may mean
    // there is none.
    if (printers.length) setServiceDown(false);
    else if (pending === 0) checkService();
    render();
    changed();
  }

  // Asks whether the print service runs; true when it does not.
  function checkService() {
    global.clearTimeout(serviceTimer);
    if (!K.available('checkPrinterSpool')) return false;
    var down = model.serviceDown(K.call('checkPrinterSpool'));
    setServiceDown(down);
    return down;
  }

  // One check for a burst of change reports (one per queue).
  function scheduleServiceCheck() {
    global.clearTimeout(serviceTimer);
    serviceTimer = global.setTimeout(checkService, 300);
  }

  function setServiceDown(down) {
    if (down === serviceIsDown) return;
    serviceIsDown = down;
    banners.forEach(function (b) {
      b.node.hidden = !down;
      if (down) ui.clear(b.notice);
    });
    render();
    changed();
    if (!down) refresh();
  }

  function startService(banner) {
    banner.start.disabled = true;
    ui.notice(banner.notice, 'busy', { key: 'service.starting' });
    ui.defer(function () {
      var outcome = K.model.repair.toolOutcome(K.call('restartPrinterSpool'));
      banner.start.disabled = false;
      if (!outcome.ok) {
        var parts = [{ key: outcome.key, args: [outcome.code] }];
        if (outcome.code !== null && outcome.key === 'repair.failed.code') parts = parts.concat(ui.errorParts(outcome.code));
        ui.notice(banner.notice, outcome.key === 'repair.dismissed' ? 'info' : 'error', parts);
        return;
      }
      if (checkService()) ui.notice(banner.notice, 'error', { key: 'service.stillDown' });
    });
  }

  // A banner for one panel: hidden while the service answers.
  function serviceBanner(id) {
    var banner = {};
    banner.notice = el('div', { id: id + '-notice', 'aria-live': 'polite' });
    banner.start = ui.needs(el('button', { type: 'button', id: id + '-start', 'class': 'primary', i18n: 'service.start',
                                           onclick: function () { startService(banner); } }), 'restartPrinterSpool');
    banner.node = el('div', { id: id, 'class': 'service-banner', role: 'alert', hidden: !serviceIsDown }, [
      el('p', {}, [el('strong', { i18n: 'service.down' }), ' ', el('span', { i18n: 'service.downWhy' })]),
      banner.start, banner.notice]);
    banners.push(banner);
    return banner.node;
  }

  function onChange(change) {
    if (model.changeSaysServerGone(change) || serviceIsDown) scheduleServiceCheck();
    var r = model.applyPrinterChange(printers, change);
    printers = r.list;
    if (r.removed) ui.notice(noticeNode, 'info', { key: 'printers.removed', args: [r.removed] });
    else if (r.renamed) ui.notice(noticeNode, 'info', { key: 'printers.renamed', args: [r.renamed.from, r.renamed.to] });
    else if (r.added) ui.notice(noticeNode, 'ok', { key: 'printers.added', args: [r.added] });
    if (r.refresh) scheduleRefresh();
    if (K.queue && change) K.queue.changed(change.printerName);
    render();
    changed();
  }

  function onCount(count) {
    if (typeof count === 'number' && loaded && count !== printers.length) scheduleRefresh();
  }

  function statusBlock(p) {
    var decoded = model.decodeStatus(p.status);
    var words = el('p', { 'class': 'status ' + decoded.level });
    decoded.items.forEach(function (item, i) {
      if (i) words.appendChild(el('span', { i18n: 'common.listSeparator' }));
      words.appendChild(ui.span({ key: item.key, args: item.args || [] }));
    });
    var advice = decoded.items.filter(function (i) { return i.advice; });
    var box = el('div', { 'class': 'status-block' }, [words]);
    advice.forEach(function (item) { box.appendChild(el('p', { 'class': 'advice', i18n: item.advice })); });
    return box;
  }

  function fact(list, key, value, args) {
    if (value === '' || value === null || value === undefined) return;
    list.appendChild(el('dt', { i18n: key }));
    list.appendChild(args ? el('dd', { i18n: value, args: args }) : el('dd', { text: String(value) }));
  }

  function details(p) {
    var caps = model.capabilities(p);
    var dl = el('dl', { 'class': 'facts' });
    if (model.isClass(p)) fact(dl, 'printer.kind', 'printer.classKind', []);
    else fact(dl, 'printer.driver', p.driverName);
    fact(dl, 'printer.port', p.portName);
    fact(dl, 'printer.location', p.location);
    fact(dl, 'printer.comment', p.comment);
    fact(dl, 'printer.server', p.serverName);
    if (p.isShare) fact(dl, 'printer.shareName', p.shareName);
    fact(dl, 'printer.duplex', caps.duplex ? 'common.yes' : 'common.no', []);
    fact(dl, 'printer.color', caps.color ? 'printer.colorYes' : 'printer.colorNo', []);
    if (caps.ppm) fact(dl, 'printer.speed', 'printer.ppm', [caps.ppm]);
    if (caps.resolutions.length) fact(dl, 'printer.resolutions', caps.resolutions.slice(0, 8).join(', '));
    if (caps.quality) fact(dl, 'printer.quality', caps.quality.key, caps.quality.args);
    return el('details', {}, [el('summary', { i18n: 'printer.details' }), dl]);
  }

  function actionButton(p, action, key, handler, extra) {
    var b = el('button', { type: 'button', 'data-action': action, 'data-printer': p.printerName, i18n: key,
                           onclick: function () { handler(p); } });
    ui.needs(b, extra || action);
    return b;
  }

  function card(p) {
    var tags = el('span', { 'class': 'tags' });
    if (model.isClass(p)) tags.appendChild(el('span', { 'class': 'tag strong', i18n: 'attr.class' }));
    if (p.isDefault) tags.appendChild(el('span', { 'class': 'tag strong', i18n: 'attr.default' }));
    model.decodeAttributes(p.attributes).forEach(function (key) {
      if (key === 'attr.default' || key === 'attr.shared' || key === 'attr.network' || key === 'attr.local') return;
      tags.appendChild(el('span', { 'class': 'tag', i18n: key }));
    });
    if (p.isShare) tags.appendChild(el('span', { 'class': 'tag', i18n: 'attr.shared' }));
    tags.appendChild(el('span', { 'class': 'tag', i18n: p.isLocal ? 'attr.local' : 'attr.network' }));
    var jobs = el('p', { 'class': 'jobs', i18n: p.cjobs ? 'printer.jobs' : 'printer.noJobs', args: [p.cjobs] });
    var actions = el('div', { 'class': 'actions', role: 'group', 'aria-label': K.t('printer.actionsFor', p.printerName) }, [
      actionButton(p, 'printTestPage', 'action.testPage', run('printTestPage')),
      p.isDefault ? null : actionButton(p, 'setDefaultPrinter', 'action.setDefault', run('setDefaultPrinter')),
      p.isLocal ? actionButton(p, 'sharePrinter', p.isShare ? 'action.unshare' : 'action.share', share) : null,
      actionButton(p, 'viewPrintQueue', 'action.queue', run('viewPrintQueue')),
      actionButton(p, 'showPrintPreferencesPage', 'action.preferences', run('showPrintPreferencesPage')),
      actionButton(p, 'showPrinterPropertiesPage', 'action.properties', run('showPrinterPropertiesPage')),
      actionButton(p, 'getPrinterInfo', 'action.state', readState),
      actionButton(p, 'deletePrinter', 'action.delete', remove)
    ]);
    var manage = K.queue ? K.queue.cardParts(p) : {};
    return el('article', { 'class': 'printer', role: 'listitem', 'data-printer': p.printerName,
                           'aria-label': p.printerName }, [
      el('header', {}, [el('h3', { text: p.printerName }), tags]), manage.description,
      statusBlock(p), manage.supplies, jobs, details(p), actions, manage.buttons, manage.jobs, manage.edit
    ]);
  }

  function render() {
    if (!listNode) return;
    var focused = document.activeElement;
    var focus = focused && focused.getAttribute ? [focused.getAttribute('data-action'), focused.getAttribute('data-printer')] : null;
    ui.clear(listNode);
    if (serviceIsDown) {
      ui.setText(countNode, 'common.dots');
      return;
    }
    ui.setText(countNode, loaded ? 'printers.count' : 'common.dots', [printers.length]);
    if (loaded && !printers.length) {
      listNode.appendChild(el('p', { 'class': 'empty', i18n: 'printers.none' }));
      return;
    }
    printers.forEach(function (p) { listNode.appendChild(card(p)); });
    if (focus && focus[0] && listNode.querySelector) {
      var again = listNode.querySelectorAll('[data-action="' + focus[0] + '"]');
      Array.prototype.some.call(again, function (b) {
        if (b.getAttribute('data-printer') !== focus[1]) return false;
        b.focus();
        return true;
      });
    }
  }

  function busy(key, p) {
    ui.notice(noticeNode, 'busy', { key: key, args: [p.printerName] });
  }

  // Runs one operation that takes (printer name, server name) after the
  // busy notice has been painted, and reports its answer.
  function run(operation) {
    return function (p) {
      busy('printers.working', p);
      ui.defer(function () {
        var result = K.call(operation, p.printerName, p.serverName);
        var outcome = model.operationOutcome(operation, result);
        ui.outcome(noticeNode, outcome, [p.printerName]);
        if (outcome.ok && operation === 'setDefaultPrinter') scheduleRefresh();
      });
    };
  }

  function share(p) {
    var on = !p.isShare;
    busy('printers.working', p);
    ui.defer(function () {
      var result = K.call('sharePrinter', p.printerName, p.serverName, on);
      var outcome = model.operationOutcome(on ? 'sharePrinter' : 'unsharePrinter', result);
      ui.outcome(noticeNode, outcome, [p.printerName]);
      if (outcome.ok) scheduleRefresh();
    });
  }

  function remove(p) {
    ui.confirm({ title: 'delete.title', titleArgs: [p.printerName], text: p.serverName ? 'delete.textConnection' : 'delete.text',
                 textArgs: [p.printerName, p.serverName], ok: 'action.delete', danger: true }, function (yes) {
      if (!yes) { ui.notice(noticeNode, 'info', { key: 'delete.kept', args: [p.printerName] }); return; }
      busy('printers.deleting', p);
      ui.defer(function () {
        var result = K.call('deletePrinter', p.printerName, p.serverName);
        var outcome = model.operationOutcome('deletePrinter', result);
        ui.outcome(noticeNode, outcome, [p.printerName]);
        if (outcome.ok) {
          printers = printers.filter(function (q) { return model.printerKey(q) !== model.printerKey(p); });
          render();
          changed();
          scheduleRefresh();
        }
      });
    });
  }

  function readState(p) {
    var answer = K.call('getPrinterInfo', p.printerName);
    if (!answer || typeof answer !== 'object' || typeof answer.code !== 'number') {
      ui.notice(noticeNode, 'warn', { key: 'common.unavailable' });
      return;
    }
    if (answer.code !== 0 || !answer.info) {
      ui.notice(noticeNode, 'error', [{ key: 'printers.stateFailed', args: [p.printerName] }].concat(ui.errorParts(answer.code)));
      return;
    }
    var info = answer.info;
    printers = printers.map(function (q) {
      if (model.printerKey(q) !== model.printerKey(p)) return q;
      var copy = model.normalise(q);
      copy.isDefault = q.isDefault;
      copy.status = Number(info.dwPrinterStatus) || 0;
      copy.attributes = Number(info.dwAttribute) || 0;
      copy.isShare = K.model.common.hasBit(copy.attributes, 0x8);
      copy.cjobs = Math.max(0, Number(info.dwCjobs) || 0);
      return copy;
    });
    render();
    changed();
    var decoded = model.decodeStatus(info.dwPrinterStatus);
    ui.notice(noticeNode, decoded.level === 'error' ? 'warn' : 'ok',
              [{ key: 'printers.stateRead', args: [p.printerName] }].concat(decoded.items.map(function (i) {
                return { key: i.key, args: i.args || [] };
              })));
  }

  // USB printers the user may watch being set up, offered by the search
  // results and the printer-class device list.
  var watchSources = {};
  var watchNodes = {};

  function watchCandidates() {
    return K.model.search.watchCandidates([watchSources.search, watchSources.list]);
  }

  function renderWatchCandidates() {
    if (!watchNodes.select) return;
    var chosen = watchNodes.select.value;
    var candidates = watchCandidates();
    ui.clear(watchNodes.select);
    if (!candidates.length) watchNodes.select.appendChild(el('option', { value: '', i18n: 'monitor.pickNone' }));
    candidates.forEach(function (c) {
      var option = el('option', { value: c.id, text: c.name + ' (' + c.id + ')' });
      if (c.id === chosen) option.selected = true;
      watchNodes.select.appendChild(option);
    });
    watchNodes.select.disabled = !candidates.length;
    if (K.available('openInstallMonitor')) watchNodes.open.disabled = !candidates.length;
  }

  // Opens the install monitor for one USB printer; the answer goes to the notice.
  function watchUsbPrinter(id, notice) {
    var watched = K.model.search.watchId(id);
    if (!watched) { ui.notice(notice, 'warn', { key: 'monitor.pickNone' }); return false; }
    var opened = K.call('openInstallMonitor', watched) === true;
    ui.notice(notice, opened ? 'info' : 'warn', { key: opened ? 'monitor.opened' : 'common.unavailable' });
    return opened;
  }

  function toolbar() {
    var kind = el('select', { id: 'add-printer-kind', 'aria-labelledby': 'add-printer-label' }, [
      el('option', { value: '0', i18n: 'add.kind0' }), el('option', { value: '1', i18n: 'add.kind1' }),
      el('option', { value: '2', i18n: 'add.kind2' }), el('option', { value: '3', i18n: 'add.kind3' })]);
    var add = ui.needs(el('button', { type: 'button', id: 'add-printer-go', i18n: 'add.go', onclick: function () {
      var k = Number(kind.value) || 0;
      ui.notice(noticeNode, 'busy', { key: 'add.opening' });
      ui.defer(function () {
        ui.outcome(noticeNode, model.operationOutcome('addPrinter', K.call('addPrinter', windowHandle(), k)), []);
      });
    } }), 'addPrinter');
    var manager = el('select', { id: 'manager-kind', 'aria-labelledby': 'manager-label' });
    var choices = K.available('getManagerTool')
      ? model.managerChoices(function (kind) { return K.call('getManagerTool', kind); })
      : ['manager.kind0', 'manager.kind1', 'manager.kind2'].map(function (key, kind) { return { kind: kind, key: key, args: [] }; });
    choices.forEach(function (c) {
      manager.appendChild(el('option', { value: String(c.kind), i18n: c.key, args: c.args }));
    });
    if (!choices.length) {
      manager.appendChild(el('option', { value: '', i18n: 'manager.none' }));
      manager.disabled = true;
    }
    var open = ui.needs(el('button', { type: 'button', id: 'manager-open', i18n: 'manager.go', onclick: function () {
      var k = Number(manager.value) || 0;
      var result = K.call('openManager', windowHandle(), k);
      ui.outcome(noticeNode, model.operationOutcome('openManager', result), []);
    } }), 'openManager');
    if (!choices.length) open.disabled = true;
    watchNodes.select = el('select', { id: 'install-monitor-device', 'aria-labelledby': 'install-monitor-label' });
    watchNodes.open = ui.needs(el('button', { type: 'button', id: 'install-monitor-open', i18n: 'monitor.open', onclick: function () {
      watchUsbPrinter(watchNodes.select.value, noticeNode);
    } }), 'openInstallMonitor');
    var monitor = el('span', { 'class': 'group' }, [
      el('label', { id: 'install-monitor-label', 'for': 'install-monitor-device', i18n: 'monitor.pick' }), watchNodes.select, watchNodes.open]);
    renderWatchCandidates();
    return el('div', { 'class': 'toolbar' }, [
      el('span', { 'class': 'group' }, [el('label', { id: 'add-printer-label', 'for': 'add-printer-kind', i18n: 'add.label' }), kind, add]),
      el('span', { 'class': 'group' }, [el('label', { id: 'manager-label', 'for': 'manager-kind', i18n: 'manager.label' }), manager, open]),
      monitor
    ]);
  }

  K.registerPanel({
    id: 'printers', titleKey: 'nav.printers',
    build: function (section) {
      countNode = el('span', { 'class': 'count', id: 'printers-count' });
      section.appendChild(el('div', { 'class': 'panel-head' }, [
        el('h2', {}, [el('span', { i18n: 'printers.heading' }), countNode]),
        el('button', { type: 'button', id: 'printers-refresh', i18n: 'common.refresh', onclick: refresh })
      ]));
      section.appendChild(toolbar());
      section.appendChild(serviceBanner('printers-service'));
      noticeNode = el('div', { id: 'printers-notice', 'aria-live': 'polite' });
      section.appendChild(noticeNode);
      listNode = el('div', { id: 'printers-list', role: 'list', 'aria-labelledby': 'tab-printers' });
      section.appendChild(listNode);
      if (K.queue) K.queue.attach({ notice: noticeNode, render: render, refresh: scheduleRefresh });
      K.on('enumPrinterCbkByCpp', onList);
      K.on('notifyPrinterChangeByCpp', onChange);
      K.on('notifyPrinterCountByCpp', onCount);
      render();
      refresh();
    }
  });

  K.installMonitor = {
    offer: function (source, items) {
      if (source !== 'search' && source !== 'list') return;
      watchSources[source] = Array.isArray(items) ? items.slice(0, 200) : [];
      renderWatchCandidates();
    },
    watch: watchUsbPrinter
  };

  K.printers = {
    list: function () { return printers.slice(); },
    loaded: function () { return loaded; },
    refresh: refresh,
    serviceDown: function () { return serviceIsDown; },
    serviceBanner: serviceBanner,
    onChange: function (fn) { listeners.push(fn); }
  };
})(this);
