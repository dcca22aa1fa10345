// The install monitor window's page: the watched USB printer's connection,
// its driver and its print queues, as the program reports them.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var model = K.model.installmonitor;
  var ui = K.ui;
  var el = ui.el;
  var WM_CLOSE = 0x0010;
  var MAX_EVENTS = 30;
  var nodes = {};
  var last = { state: 'waiting', usbprint: false, queues: [], known: false };

  function windowHandle() { return typeof global.handle === 'number' ? global.handle : 0; }

  function event(key, args) {
    if (!nodes.events) return;
    var line = el('li', {}, [el('time', { text: new Date().toLocaleTimeString() }), ' ', ui.span({ key: key, args: args || [] })]);
    if (nodes.events.firstChild && nodes.events.insertBefore) nodes.events.insertBefore(line, nodes.events.firstChild);
    else nodes.events.appendChild(line);
    while (nodes.events.childNodes && nodes.events.childNodes.length > MAX_EVENTS) nodes.events.removeChild(nodes.events.lastChild);
    nodes.eventsEmpty.hidden = true;
  }

  function render() {
    if (!nodes.state) return;
    var text = model.stateText(last.state);
    nodes.state.className = 'state-card ' + text.level;
    ui.setText(nodes.stateText, text.key);
    nodes.details.hidden = !last.known || last.state === 'absent';
    ui.setText(nodes.usbprint, last.usbprint ? 'monitor.usbprint.yes' : 'monitor.usbprint.no');
    ui.clear(nodes.queues);
    last.queues.forEach(function (q) { nodes.queues.appendChild(el('li', { text: q })); });
    if (!last.queues.length) nodes.queues.appendChild(el('li', { 'class': 'muted', i18n: 'monitor.noQueues' }));
  }

  function onStatus(status) {
    var d = model.describeUsbStatus(status);
    var before = last.state;
    last = { state: d.state, usbprint: d.usbprint, queues: d.queues, known: true };
    render();
    if (d.state !== before || d.state === 'ready') {
      if (d.state === 'ready') event('monitor.event.queues', [d.queues.join(', ')]);
      else event('monitor.event.status', [K.t(model.stateText(d.state).key)]);
    }
  }

  function onUsb(plugged) {
    if (plugged === true) {
      if (last.state === 'waiting' || last.state === 'absent') last.state = 'noQueue';
      event('monitor.event.plugged');
    } else {
      last = { state: 'absent', usbprint: false, queues: [], known: true };
      event('monitor.event.unplugged');
    }
    render();
  }

  function onWireless(portKey, value1, value2) {
    var m = model.wirelessQueue(portKey, value1, value2);
    ui.notice(nodes.notice, 'ok', m);
    event(m.key, m.args);
  }

  function build() {
    K.i18n.apply();
    var min = document.getElementById('btn-min');
    var close = document.getElementById('btn-close');
    min.addEventListener('click', function () { if (windowHandle()) K.call('closeWindow', windowHandle()); });
    close.addEventListener('click', function () { if (windowHandle()) K.call('sendMessage', windowHandle(), WM_CLOSE, 0, 0); });
    if (!K.available('sendMessage')) { min.disabled = true; close.disabled = true; }

    var main = document.getElementById('monitor');
    nodes.stateText = el('p', { id: 'monitor-state-text', 'class': 'state-text' });
    nodes.state = el('div', { id: 'monitor-state', role: 'status', 'aria-live': 'polite' }, [
      el('span', { 'class': 'dot', 'aria-hidden': 'true' }), nodes.stateText]);
    nodes.usbprint = el('p', { id: 'monitor-usbprint' });
    nodes.queues = el('ul', { id: 'monitor-queues', 'class': 'queues', 'aria-labelledby': 'monitor-queues-heading' });
    nodes.details = el('div', { id: 'monitor-details' }, [
      nodes.usbprint, el('h3', { id: 'monitor-queues-heading', i18n: 'monitor.queues' }), nodes.queues]);
    nodes.notice = el('div', { id: 'monitor-notice', 'aria-live': 'polite' });
    nodes.events = el('ol', { id: 'monitor-events', 'class': 'log' });
    nodes.eventsEmpty = el('p', { 'class': 'muted', i18n: 'monitor.noEvents' });
    [el('h2', { i18n: 'monitor.heading' }), el('p', { 'class': 'muted', i18n: 'monitor.intro' }), nodes.state, nodes.details,
     nodes.notice, el('h3', { i18n: 'monitor.events' }), nodes.eventsEmpty, nodes.events].forEach(function (n) { main.appendChild(n); });
    if (!K.available('sendMessage')) ui.notice(nodes.notice, 'warn', { key: 'monitor.offline' });
    render();
    // The watched printer's status now, not only after its next change.
    if (K.available('usbStatus')) {
      var status = K.call('usbStatus');
      if (status && typeof status === 'object' && !last.known) onStatus(status);
    }
  }

  K.on('notifyUSBChangedByCpp', onUsb);
  K.on('notifyPrinterChangedByCpp', onStatus);
  K.on('notifyWirelessPrintQueue', onWireless);
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', build);
  else build();
  K.monitor = { state: function () { return { state: last.state, usbprint: last.usbprint, queues: last.queues.slice() }; } };
})(this);
