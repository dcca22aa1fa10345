// The print service stopped: one banner with a Start button instead of an
// empty list or every queue's "server unknown", in the Printers panel and the
// search results; Start brings the list back.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadPage } = require('./support/fakedom.js');
const { fakeProgram, SAMPLE_PRINTERS } = require('./support/program.js');
const model = require('../../html/js/model/printers.js');

function open(service) {
  const program = fakeProgram({
    checkPrinterSpool: () => service.state,
    restartPrinterSpool: () => { service.restarts++; if (service.restartResult === 0) service.state = 4; return service.restartResult; }
  });
  const page = loadPage('index.html', { natives: program.natives });
  page.named = (name) => page.calls.filter((c) => c.name === name);
  page.advance(100);
  return page;
}

function serverGone(name) {
  return { dwChanged: 2, dwNotifyField: [0x12], printerName: name, printerServer: '', newPrinterName: '',
           dwAttribute: 0, dwPrinterStatus: 0x800000, dwJobStatus: 0, dwCjobs: 0 };
}

test('service states that mean "not running"', () => {
  assert.equal(model.serviceDown(1), true);
  assert.equal(model.serviceDown(3), true);
  assert.equal(model.serviceDown(-1), true);
  assert.equal(model.serviceDown(4), false);
  assert.equal(model.serviceDown(2), false);
  assert.equal(model.serviceDown(undefined), false);
  assert.equal(model.changeSaysServerGone(serverGone('x')), true);
  assert.equal(model.changeSaysServerGone(Object.assign(serverGone('x'), { dwPrinterStatus: 0x80 })), false);
  assert.equal(model.changeSaysServerGone(null), false);
});

test('an empty list from a stopped service shows the banner, not "no printers"; Start brings the list back', () => {
  const service = { state: 1, restarts: 0, restartResult: 0 };
  const page = open(service);
  page.window.enumPrinterCbkByCpp('[]');
  page.window.enumPrinterCbkByCpp('[]');
  page.advance(0);
  assert.equal(page.byId('printers-service').hidden, false);
  assert.match(page.text('printers-service'), /The print service is not running\./);
  assert.doesNotMatch(page.text('printers-list'), /No printers are installed/);
  assert.equal(page.byId('search-service').hidden, false, 'the search results say it too');

  const asked = page.named('enumPrinters').length;
  page.byId('printers-service-start').click();
  page.advance(100);
  assert.equal(service.restarts, 1);
  assert.equal(page.byId('printers-service').hidden, true);
  assert.equal(page.byId('search-service').hidden, true);
  assert.equal(page.named('enumPrinters').length, asked + 2, 'the list is read again');
  page.window.enumPrinterCbkByCpp(JSON.stringify(SAMPLE_PRINTERS));
  page.window.enumPrinterCbkByCpp('[]');
  page.advance(0);
  assert.match(page.text('printers-list'), /Office Laser/);
});

test('an empty list from a running service still says no printers are installed', () => {
  const service = { state: 4, restarts: 0, restartResult: 0 };
  const page = open(service);
  page.window.enumPrinterCbkByCpp('[]');
  page.window.enumPrinterCbkByCpp('[]');
  page.advance(0);
  assert.equal(page.byId('printers-service').hidden, true);
  assert.match(page.text('printers-list'), /No printers are installed/);
});

test('a service that stops mid-session is one banner, not "server unknown" on every queue', () => {
  const service = { state: 4, restarts: 0, restartResult: 10 };
  const page = open(service);
  page.window.enumPrinterCbkByCpp(JSON.stringify(SAMPLE_PRINTERS));
  page.window.enumPrinterCbkByCpp('[]');
  page.advance(0);
  service.state = 1;
  page.window.notifyPrinterChangeByCpp(serverGone('Office Laser'));
  page.window.notifyPrinterChangeByCpp(serverGone('Hall Inkjet'));
  page.advance(1000);
  assert.equal(page.named('checkPrinterSpool').length, 1, 'one check for the burst');
  assert.equal(page.byId('printers-service').hidden, false);
  assert.doesNotMatch(page.text('printers-list'), /Print server unknown/);
  assert.doesNotMatch(page.text('printers-list'), /Office Laser/);

  // A refused start says why and keeps the banner.
  page.byId('printers-service-start').click();
  page.advance(100);
  assert.match(page.text('printers-service-notice'), /The print service could not be restarted \(result 10\)\./);
  assert.equal(page.byId('printers-service').hidden, false);

  // The scheduler came back by itself: its reports clear the banner.
  service.state = 4;
  page.window.notifyPrinterChangeByCpp(Object.assign(serverGone('Office Laser'), { dwPrinterStatus: 0 }));
  page.advance(1000);
  assert.equal(page.byId('printers-service').hidden, true);
});
