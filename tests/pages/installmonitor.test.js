// The install monitor page as the program's three calls drive it.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadPage } = require('./support/fakedom.js');
const { fakeProgram } = require('./support/program.js');

function open(overrides) {
  const program = fakeProgram(overrides);
  const page = loadPage('installmonitor.html', { natives: program.natives });
  page.named = (name) => page.calls.filter((c) => c.name === name);
  return page;
}

test('before any news it asks the user to connect the printer', () => {
  const page = open();
  assert.match(page.text('monitor-state'), /Connect its USB cable/);
  assert.equal(page.byId('monitor-details').hidden, true);
  assert.equal(page.named('eMsg').length, 0, 'only the main page reports "loadedjs"');
  assert.deepEqual(page.window.errors, []);
});

test('status objects with the key "connected " drive the state and queues', () => {
  const page = open();
  page.window.notifyPrinterChangedByCpp({ 'connected ': true, usbprint: false, printQueue: [], code: true });
  assert.match(page.text('monitor-state'), /waiting for its print queue/);
  assert.match(page.text('monitor-usbprint'), /not active yet/);
  page.window.notifyPrinterChangedByCpp({ 'connected ': true, usbprint: true, printQueue: ['HP_LaserJet_1020', 'HP_Fax'], code: true });
  assert.match(page.text('monitor-state'), /ready to print/);
  assert.equal(page.byId('monitor-queues').querySelectorAll('li').map((l) => l.textContent).join('|'), 'HP_LaserJet_1020|HP_Fax');
  assert.match(page.text('monitor-events'), /Print queue ready: HP_LaserJet_1020, HP_Fax/);
  page.window.notifyPrinterChangedByCpp({ code: true, 'connected ': false });
  assert.match(page.text('monitor-state'), /not connected/);
  assert.equal(page.byId('monitor-details').hidden, true);
});

test('plug and unplug are told as events', () => {
  const page = open();
  page.window.notifyUSBChangedByCpp(true);
  assert.match(page.text('monitor-events'), /plugged in/);
  assert.match(page.text('monitor-state'), /connected; waiting/);
  page.window.notifyUSBChangedByCpp(false);
  assert.match(page.text('monitor-state'), /not connected/);
  assert.match(page.text('monitor-events'), /unplugged/);
});

test('a wireless queue is announced', () => {
  const page = open();
  page.window.notifyWirelessPrintQueue('WSD-', 'HP Envy', '10.203.7.30');
  assert.match(page.text('monitor-notice'), /wireless print queue was added \(WSD-: HP Envy 10\.203\.7\.30\)/);
});

test('the window buttons act on this window only', () => {
  const page = open();
  page.window.handle = 77;
  page.byId('btn-min').click();
  page.byId('btn-close').click();
  assert.deepEqual(page.named('closeWindow')[0].args, [77]);
  assert.deepEqual(page.named('sendMessage')[0].args, [77, 0x0010, 0, 0]);
  assert.equal(page.named('click').length, 0, '"click" would close the main window');
});

test('it shows the watched printer\'s status as soon as it opens', () => {
  const page = open({ usbStatus: () => ({ 'connected ': true, usbprint: true, printQueue: ['Office_M404'], code: true }) });
  assert.deepEqual(page.named('usbStatus').map((c) => c.args), [[]], 'asked once, for the window\'s own printer');
  assert.match(page.text('monitor-state'), /ready to print/);
  assert.equal(page.byId('monitor-queues').querySelectorAll('li').map((l) => l.textContent).join('|'), 'Office_M404');
  const absent = open({ usbStatus: () => ({ code: true, 'connected ': false }) });
  assert.match(absent.text('monitor-state'), /not connected/);
  const broken = open({ usbStatus: () => undefined });
  assert.match(broken.text('monitor-state'), /Connect its USB cable/);
});
