// The watched USB device as the install monitor window is told of it.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./common.js'));
  else { root.Korvane.model.installmonitor = factory(root.Korvane.model.common); }
})(this, function (common) {
  'use strict';

  // The object of "notifyPrinterChangedByCpp"; its key "connected " ends in a blank.
  function describeUsbStatus(status) {
    if (!status || typeof status !== 'object' || Array.isArray(status)) {
      return { state: 'invalid', connected: false, usbprint: false, queues: [] };
    }
    var connected = status['connected '];
    if (typeof connected !== 'boolean') connected = status.connected === true;
    var queues = Array.isArray(status.printQueue)
      ? status.printQueue.filter(function (q) { return typeof q === 'string' && q; })
          .map(function (q) { return common.text(q, 120); }).slice(0, 50)
      : [];
    var usbprint = status.usbprint === true;
    var state = !connected ? 'absent' : (queues.length ? 'ready' : 'noQueue');
    return { state: state, connected: connected, usbprint: usbprint, queues: queues };
  }

  var STATE_TEXT = {
    absent: { key: 'monitor.state.absent', level: 'warn' },
    noQueue: { key: 'monitor.state.noQueue', level: 'busy' },
    ready: { key: 'monitor.state.ready', level: 'ok' },
    invalid: { key: 'monitor.state.invalid', level: 'error' },
    waiting: { key: 'monitor.state.waiting', level: 'info' }
  };

  function stateText(state) {
    return STATE_TEXT[state] || STATE_TEXT.invalid;
  }

  function wirelessQueue(portKey, value1, value2) {
    return { key: 'monitor.wireless', args: [common.text(portKey, 80), common.text(value1, 120), common.text(value2, 120)] };
  }

  return { describeUsbStatus: describeUsbStatus, stateText: stateText, wirelessQueue: wirelessQueue };
});
