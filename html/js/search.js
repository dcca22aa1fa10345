// Search panel: starts and stops the printer search, shows its progress in
// words, and lists the USB and network printers as they are reported, with a
// driver download where one is known.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var model = K.model.search;
  var ui = K.ui;
  var el = ui.el;

  var found = [];
  var running = false;
  var stopping = false;
  var nodes = {};

  function setRunning(on) {
    running = on;
    nodes.start.disabled = on || !K.available('startScan');
    nodes.stop.disabled = !on || !K.available('interrupt');
    nodes.progress.hidden = !on && nodes.progress.value === 0;
    nodes.section.setAttribute('aria-busy', on ? 'true' : 'false');
  }

  function start() {
    var result = K.call('startScan');
    var outcome = model.startOutcome(result);
    if (!outcome.ok) {
      var parts = [{ key: outcome.key }];
      if (outcome.key === 'search.connectFailed') parts.push({ key: 'advice.restartProgram' });
      ui.notice(nodes.notice, result === 1 ? 'warn' : 'error', parts);
      if (result === 1) setRunning(true);
      return;
    }
    found = [];
    stopping = false;
    render();
    offerToWatch();
    nodes.progress.value = 0;
    nodes.progress.removeAttribute && nodes.progress.removeAttribute('value');
    ui.setText(nodes.phase, 'phase.starting');
    ui.notice(nodes.notice, 'busy', { key: outcome.key });
    setRunning(true);
  }

  function stop() {
    if (K.call('interrupt') === undefined) { ui.notice(nodes.notice, 'warn', { key: 'common.unavailable' }); return; }
    stopping = true;
    nodes.stop.disabled = true;
    ui.notice(nodes.notice, 'busy', { key: 'search.stopping' });
  }

  function onProgress(current, total, event, cur, totalMachines) {
    if (!running) setRunning(true);
    var phase = model.progressPhase(current, total, event, cur, totalMachines);
    nodes.progress.hidden = false;
    nodes.progress.value = phase.percent;
    nodes.progress.setAttribute('aria-valuetext', K.t('search.percent', phase.percent));
    ui.setText(nodes.phase, phase.key, phase.args);
  }

  function onFinish(state) {
    var outcome = model.finishOutcome(state, found.length);
    setRunning(false);
    if (Number(state) !== 1) nodes.progress.value = 100;
    ui.setText(nodes.phase, Number(state) === 1 ? 'phase.stopped' : 'phase.done');
    var parts = [{ key: outcome.key, args: outcome.args }];
    if (!found.length && Number(state) !== 1) parts.push({ key: 'search.noneAdvice' });
    ui.notice(nodes.notice, Number(state) === 1 ? 'info' : 'ok', parts);
    stopping = false;
  }

  function offerToWatch() {
    if (K.installMonitor) K.installMonitor.offer('search', found.filter(function (f) { return f.kind !== 'net' && f.vidPid; }));
  }

  function add(item) {
    var r = model.addFound(found, item);
    found = r.list;
    render();
    offerToWatch();
  }

  function installDriver(item, pkg) {
    if (!K.downloads) return;
    K.downloads.start(pkg.url, pkg.fallbackName, item.maker || item.name);
    K.showPanel('downloads', true);
  }

  function sendTestPage(name, area) {
    var result = K.call('printTestPage', name, '');
    if (result === 0) ui.notice(area, 'ok', { key: 'addnet.testSent', args: [name] });
    else if (result === undefined) ui.notice(area, 'warn', { key: 'common.unavailable' });
    else ui.notice(area, 'error', { key: 'addnet.testFailed', args: [String(result)] });
  }

  // Adds a found (or looked-up) network or USB printer; the answer goes to
  // the area, with a test page offered once it is added.
  function addFoundPrinter(item, area, after) {
    var usb = model.addUsbRequest(item);
    var request = usb ? null : model.addRequest(item);
    if (!usb && !request) return;
    ui.notice(area, 'busy', { key: 'addnet.adding' });
    ui.defer(function () {
      var outcome = usb ? model.addUsbOutcome(K.call('addUsbPrinter', usb.hardwareId, usb.serial))
                        : model.addOutcome(K.call('addNetworkPrinter', request.uri, request.makeAndModel, request.deviceId));
      var box = ui.notice(area, outcome.level, { key: outcome.key, args: outcome.args });
      if (outcome.ok) {
        item.addedAs = outcome.printerName;
        // A queue now names the USB device: it is installed.
        if (usb) { item.installed = true; item.queues = [outcome.printerName]; }
        box.appendChild(document.createTextNode(' '));
        box.appendChild(ui.needs(el('button', { type: 'button', 'data-action': 'test-page', i18n: 'found.testPage',
                                                onclick: function () { sendTestPage(outcome.printerName, area); } }),
                                 'printTestPage'));
        if (after) after();
      } else if (outcome.offerTool) {
        box.appendChild(document.createTextNode(' '));
        box.appendChild(ui.needs(el('button', { type: 'button', 'data-action': 'printer-tool', i18n: 'addnet.openTool',
                                                onclick: function () { K.call('addPrinter', typeof global.handle === 'number' ? global.handle : 0, 0); } }),
                                 'addPrinter'));
      }
    });
  }

  function addButton(item, area, after) {
    return ui.needs(el('button', { type: 'button', 'data-action': 'add-printer', 'data-key': item.key, i18n: 'found.addThis',
                                   onclick: function () { addFoundPrinter(item, area, after); } }),
                    item.kind === 'net' ? 'addNetworkPrinter' : 'addUsbPrinter');
  }

  function probe() {
    var host = model.probeHost(nodes.probeHost.value);
    if (!host) { ui.notice(nodes.probeNotice, 'error', { key: 'probe.invalid' }); return; }
    ui.notice(nodes.probeNotice, 'busy', { key: 'probe.asking', args: [host] });
    nodes.probeGo.disabled = true;
    ui.defer(function () {
      var outcome = model.probeOutcome(K.call('probeNetworkPrinter', host));
      nodes.probeGo.disabled = false;
      var box = ui.notice(nodes.probeNotice, outcome.level, { key: outcome.key, args: outcome.args });
      if (outcome.ok && model.addRequest(outcome.item)) {
        box.appendChild(document.createTextNode(' '));
        box.appendChild(addButton(outcome.item, nodes.probeNotice));
      }
    });
  }

  function row(item) {
    // A printer whose driver is already installed needs no download.
    var pkg = item.hasDriver === true || item.driverless ? null : model.driverPackageFor(item.maker, item.name);
    var where = item.kind === 'net' ? el('td', { i18n: 'found.at', args: [item.ip] })
                                    : el('td', { i18n: 'found.usb', args: [item.vidPid || '—'] });
    var driver = item.kind === 'net' ? (item.driverless ? el('td', { 'class': 'ok-text', i18n: 'found.driverless' })
                                                        : el('td', { i18n: 'found.driverUnknown' }))
                                     : item.installed ? el('td', { 'class': 'ok-text', i18n: 'found.driverYes' })
                                     : el('td', { 'class': 'warn-text', i18n: item.hasDriver ? 'found.noQueue' : 'found.driverNo' });
    var next;
    var download = pkg ? ui.needs(el('button', { type: 'button', 'data-action': 'install-driver', 'data-key': item.key,
                                                 i18n: 'found.install', onclick: function () { installDriver(item, pkg); } }), 'Down')
                       : null;
    if (item.addedAs) {
      next = el('span', { 'class': 'ok-text', i18n: 'found.addedAs', args: [item.addedAs] });
    } else if (item.kind === 'net' && K.available('addNetworkPrinter') && model.addRequest(item)) {
      // The download stays offered next to it: a maker's driver may do more.
      next = download ? el('span', {}, [addButton(item, nodes.notice, render), ' ', download])
                      : addButton(item, nodes.notice, render);
    } else if (item.kind !== 'net' && K.available('addUsbPrinter') && model.addUsbRequest(item)) {
      next = download ? el('span', {}, [addButton(item, nodes.notice, render), ' ', download])
                      : addButton(item, nodes.notice, render);
    } else if (download) {
      next = download;
    } else if (item.kind === 'net' && item.uri) {
      next = el('span', { 'class': 'muted', i18n: 'found.addNetworkUri', args: [item.uri] });
    } else if (item.kind === 'net') {
      next = el('span', { 'class': 'muted', i18n: 'found.addNetwork' });
    } else if (item.installed) {
      next = el('span', { 'class': 'muted', i18n: 'found.readyAs', args: [item.queues && item.queues[0] || item.name] });
    } else {
      next = el('span', { 'class': 'muted', i18n: item.hasDriver ? 'found.setUpUsb' : 'found.noPackage' });
    }
    var watch = null;
    if (item.kind !== 'net' && model.watchId(item.vidPid)) {
      watch = ui.needs(el('button', { type: 'button', 'data-action': 'watch-setup', 'data-key': item.key, i18n: 'found.watch',
                                      onclick: function () { if (K.installMonitor) K.installMonitor.watch(item.vidPid, nodes.notice); } }),
                       'openInstallMonitor');
    }
    var title = el('td', {}, [el('strong', { text: item.name }),
                              item.maker && item.name.indexOf(item.maker) < 0 ? el('span', { 'class': 'muted', text: ' · ' + item.maker }) : null,
                              el('br'), el('small', { 'class': 'muted', i18n: model.methodKey(item) })]);
    return el('tr', { 'data-key': item.key }, [title, where, driver, el('td', {}, watch ? [next, ' ', watch] : [next])]);
  }

  function render() {
    ui.clear(nodes.rows);
    ui.setText(nodes.count, 'search.count', [found.length]);
    nodes.table.hidden = !found.length;
    found.forEach(function (item) { nodes.rows.appendChild(row(item)); });
  }

  K.registerPanel({
    id: 'search', titleKey: 'nav.search',
    build: function (section) {
      nodes.section = section;
      nodes.start = el('button', { type: 'button', id: 'search-start', 'class': 'primary', i18n: 'search.start', onclick: start });
      nodes.stop = el('button', { type: 'button', id: 'search-stop', i18n: 'search.stop', onclick: stop, disabled: true });
      section.appendChild(el('div', { 'class': 'panel-head' }, [
        el('h2', { i18n: 'search.heading' }), el('span', { 'class': 'buttons' }, [nodes.start, nodes.stop])]));
      section.appendChild(el('p', { 'class': 'muted', i18n: 'search.intro' }));
      nodes.phase = el('p', { id: 'search-phase', 'aria-live': 'polite', i18n: 'phase.idle' });
      nodes.progress = el('progress', { id: 'search-progress', max: '100', value: '0', 'aria-labelledby': 'search-phase', hidden: true });
      section.appendChild(nodes.progress);
      section.appendChild(nodes.phase);
      nodes.notice = el('div', { id: 'search-notice', 'aria-live': 'polite' });
      section.appendChild(nodes.notice);
      if (K.printers) section.appendChild(K.printers.serviceBanner('search-service'));
      nodes.count = el('h3', { id: 'search-count' });
      section.appendChild(nodes.count);
      nodes.rows = el('tbody', { id: 'search-results' });
      nodes.table = el('table', { id: 'search-table', 'aria-labelledby': 'search-count' }, [
        el('thead', {}, [el('tr', {}, [el('th', { scope: 'col', i18n: 'found.col.printer' }),
                                        el('th', { scope: 'col', i18n: 'found.col.connection' }),
                                        el('th', { scope: 'col', i18n: 'found.col.driver' }),
                                        el('th', { scope: 'col', i18n: 'found.col.next' })])]),
        nodes.rows]);
      section.appendChild(nodes.table);
      nodes.probeHost = el('input', { type: 'text', id: 'probe-host', maxlength: '253', autocomplete: 'off',
                                      spellcheck: 'false', 'aria-labelledby': 'probe-label' });
      nodes.probeGo = ui.needs(el('button', { type: 'button', id: 'probe-go', i18n: 'probe.go', onclick: probe }),
                               'probeNetworkPrinter');
      nodes.probeHost.addEventListener('keydown', function (e) { if (e.key === 'Enter' && !nodes.probeGo.disabled) probe(); });
      nodes.probeNotice = el('div', { id: 'probe-notice', 'aria-live': 'polite' });
      section.appendChild(el('h3', { i18n: 'probe.heading' }));
      section.appendChild(el('p', {}, [el('label', { id: 'probe-label', 'for': 'probe-host', i18n: 'probe.label' }), ' ',
                                       nodes.probeHost, ' ', nodes.probeGo]));
      section.appendChild(nodes.probeNotice);
      if (!K.available('startScan')) ui.notice(nodes.notice, 'warn', { key: 'common.unavailable' });

      K.on('notifyScanProgressByCpp', onProgress);
      K.on('notifyUsbPrinterByCpp', function (text) { add(model.parseUsbRecord(text)); });
      K.on('notifyUsbPrinterByCpp2', function (nodesOfDevice) { add(model.parseUsbDevice(nodesOfDevice)); });
      K.on('notifyNetworkPrinterByCpp', function (ip, mfg, mdl, details) { add(model.parseNetworkPrinter(ip, mfg, mdl, details)); });
      K.on('notifyScanFinishiByCpp', onFinish);
      setRunning(false);
      render();
    }
  });

  K.search = { found: function () { return found.slice(); }, running: function () { return running || stopping; } };
})(this);
