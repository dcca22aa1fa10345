// Hardware panel: the computer's summary as a table, copied as text on
// request, and the printer-class devices the system sees.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var model = K.model.hardware;
  var ui = K.ui;
  var el = ui.el;

  var WAIT_MS = 60000;
  var rows = null;
  var asked = false;
  var waitTimer = 0;
  var nodes = {};

  function read() {
    asked = true;
    if (!K.available('eMsg')) { ui.notice(nodes.notice, 'warn', { key: 'common.unavailable' }); return; }
    nodes.read.disabled = true;
    ui.notice(nodes.notice, 'busy', { key: 'hw.reading' });
    K.call('eMsg', 'scan');
    global.clearTimeout(waitTimer);
    waitTimer = global.setTimeout(function () {
      nodes.read.disabled = false;
      ui.notice(nodes.notice, 'warn', [{ key: 'hw.slow' }, { key: 'advice.retry' }]);
    }, WAIT_MS);
  }

  function onSummary(text) {
    global.clearTimeout(waitTimer);
    nodes.read.disabled = false;
    var parsed = model.parseSummary(text);
    if (!parsed) {
      ui.notice(nodes.notice, 'error', [{ key: 'hw.bad' }, { key: 'advice.retry' }]);
      return;
    }
    rows = parsed;
    ui.clear(nodes.notice);
    render();
  }

  function valueNode(value) {
    return value.text !== undefined ? el('td', { text: value.text }) : el('td', { 'class': 'muted', i18n: value.key, args: value.args });
  }

  function render() {
    ui.clear(nodes.body);
    nodes.table.hidden = !rows;
    nodes.copy.disabled = !rows;
    (rows || []).forEach(function (row) {
      nodes.body.appendChild(el('tr', { 'data-field': row.field }, [
        row.label ? el('th', { scope: 'row', i18n: row.label }) : el('th', { scope: 'row', text: row.field }),
        valueNode(row.value)]));
    });
  }

  function copy() {
    if (!rows) return;
    var text = model.summaryText(rows, K.t);
    function fallback() {
      nodes.text.value = text;
      nodes.text.hidden = false;
      nodes.text.focus();
      nodes.text.select();
      var ok = false;
      try { ok = document.execCommand('copy'); } catch (e) { ok = false; }
      if (ok) ui.notice(nodes.notice, 'ok', { key: 'hw.copied' });
      else ui.notice(nodes.notice, 'warn', { key: 'hw.copyByHand' });
    }
    if (global.navigator && navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).then(function () {
        nodes.text.hidden = true;
        ui.notice(nodes.notice, 'ok', { key: 'hw.copied' });
      }, fallback);
    } else {
      fallback();
    }
  }

  function readDevices() {
    ui.clear(nodes.devices);
    var text = K.call('printerList');
    if (typeof text !== 'string') {
      nodes.devices.appendChild(el('tr', {}, [el('td', { colspan: '2', 'class': 'muted', i18n: 'common.unavailable' })]));
      return;
    }
    var list = model.parseDeviceList(text);
    if (!list) {
      nodes.devices.appendChild(el('tr', {}, [el('td', { colspan: '2', 'class': 'muted', i18n: 'hw.devicesBad' })]));
      return;
    }
    if (!list.length) {
      nodes.devices.appendChild(el('tr', {}, [el('td', { colspan: '2', 'class': 'muted', i18n: 'hw.devicesNone' })]));
      return;
    }
    if (K.installMonitor) K.installMonitor.offer('list', list.map(function (d) { return { id: d.hardid, name: d.desc }; }));
    list.forEach(function (d) {
      nodes.devices.appendChild(el('tr', {}, [el('td', { text: d.desc || '—' }), el('td', {}, [el('code', { text: d.hardid || '—' })])]));
    });
  }

  K.registerPanel({
    id: 'hardware', titleKey: 'nav.hardware',
    build: function (section) {
      nodes.read = el('button', { type: 'button', id: 'hardware-read', 'class': 'primary', i18n: 'hw.read', onclick: read });
      nodes.copy = el('button', { type: 'button', id: 'hardware-copy', i18n: 'hw.copy', onclick: copy, disabled: true });
      section.appendChild(el('div', { 'class': 'panel-head' }, [
        el('h2', { id: 'hardware-heading', i18n: 'hw.heading' }), el('span', { 'class': 'buttons' }, [nodes.read, nodes.copy])]));
      nodes.notice = el('div', { id: 'hardware-notice', 'aria-live': 'polite' });
      section.appendChild(nodes.notice);
      nodes.body = el('tbody');
      nodes.table = el('table', { id: 'hardware-table', 'class': 'kv', 'aria-labelledby': 'hardware-heading', hidden: true }, [nodes.body]);
      section.appendChild(nodes.table);
      nodes.text = el('textarea', { id: 'hardware-text', readonly: 'readonly', rows: '6', hidden: true, label: 'hw.copy' });
      section.appendChild(nodes.text);
      section.appendChild(el('div', { 'class': 'panel-head' }, [
        el('h3', { id: 'devices-heading', i18n: 'hw.devices' }),
        el('button', { type: 'button', id: 'devices-refresh', i18n: 'common.refresh', onclick: readDevices })]));
      nodes.devices = el('tbody', { id: 'devices-list' });
      section.appendChild(el('table', { id: 'devices-table', 'aria-labelledby': 'devices-heading' }, [
        el('thead', {}, [el('tr', {}, [el('th', { scope: 'col', i18n: 'hw.deviceDesc' }), el('th', { scope: 'col', i18n: 'hw.deviceId' })])]),
        nodes.devices]));
      K.on('scanCbkByCpp', onSummary);
    },
    // Reading the summary takes a moment; it starts when the panel is first opened.
    onShow: function () {
      if (!asked) { read(); readDevices(); }
    }
  });
})(this);
