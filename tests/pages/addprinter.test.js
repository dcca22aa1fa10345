// Adding a printer from the search results or by its address, and what the
// page says about each answer of the program.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadPage } = require('./support/fakedom.js');
const { fakeProgram } = require('./support/program.js');
const model = require('../../html/js/model/search.js');

function open(overrides) {
  const program = fakeProgram(overrides);
  const page = loadPage('index.html', { natives: program.natives });
  page.named = (name) => page.calls.filter((c) => c.name === name);
  page.tab = (id) => { page.byId('tab-' + id).click(); page.advance(100); };
  page.actions = (root, action) => page.byId(root).querySelectorAll('[data-action="' + action + '"]');
  return page;
}

const DRIVERLESS = JSON.stringify({ uri: 'ipp://10.203.7.40:8631/ipp/print', port: 8631, driverless: true,
                                    makeAndModel: 'Brother MFC-L3770CDW series', source: ['dnssd', 'ipp'] });

test('addRequest: the IPP URI, else the raw port of a dotted address', () => {
  const ipp = model.parseNetworkPrinter('10.203.7.40', 'Brother', 'MFC-L3770CDW series', DRIVERLESS);
  assert.deepEqual(model.addRequest(ipp), { uri: 'ipp://10.203.7.40:8631/ipp/print',
    makeAndModel: 'Brother MFC-L3770CDW series', deviceId: 'MFG:Brother;MDL:MFC-L3770CDW series;' });
  const raw = model.parseNetworkPrinter('10.203.7.20', 'HP', 'Color LaserJet; MFP:M477');
  assert.deepEqual(model.addRequest(raw), { uri: 'socket://10.203.7.20:9100', makeAndModel: 'HP Color LaserJet; MFP:M477',
    deviceId: 'MFG:HP;MDL:Color LaserJet  MFP M477;' });
  assert.equal(model.addRequest(model.parseNetworkPrinter('printer.local', 'HP', 'X')), null);
  assert.equal(model.addRequest(model.parseNetworkPrinter('10.0.0.300', 'HP', 'X')), null);
  assert.equal(model.addRequest({ kind: 'usb', name: 'x' }), null);
  assert.equal(model.addRequest(null), null);
});

test('addOutcome and probeOutcome: every answer has its own words', () => {
  const table = [
    [{ code: 0, printerName: 'Brother_MFC' }, 'addnet.done', true],
    [{ code: 0 }, 'addnet.failed', false],
    [{ code: 1797 }, 'addnet.noDriver', false],
    [{ code: 3012 }, 'addnet.unreachable', false],
    [{ code: 5 }, 'addnet.denied', false],
    [{ code: 1722 }, 'addnet.noService', false],
    [{ code: 87 }, 'addnet.invalid', false],
    [{ code: 31 }, 'addnet.failed', false],
    ['junk', 'addnet.failed', false],
    [undefined, 'common.unavailable', false]
  ];
  for (const [answer, key, ok] of table) {
    const outcome = model.addOutcome(answer);
    assert.equal(outcome.key, key, JSON.stringify(answer));
    assert.equal(outcome.ok, ok);
  }
  assert.equal(model.addOutcome({ code: 1797 }).offerTool, true);
  assert.equal(model.probeOutcome({ code: 87 }).key, 'probe.invalid');
  assert.equal(model.probeOutcome({ code: 123 }).key, 'probe.unknownName');
  assert.equal(model.probeOutcome({ code: 3012 }).key, 'probe.nothing');
  assert.equal(model.probeOutcome({ code: 0, address: '1.2.3.4; rm' }).ok, false);
  const ipp = model.probeOutcome({ code: 0, address: '10.203.7.40', uri: 'ipp://10.203.7.40:631/ipp/print',
                                   driverless: true, ipp: true, makeAndModel: 'Acme Laser 100' });
  assert.equal(ipp.key, 'probe.foundIpp');
  assert.deepEqual(model.addRequest(ipp.item), { uri: 'ipp://10.203.7.40:631/ipp/print', makeAndModel: 'Acme Laser 100', deviceId: '' });
  const raw = model.probeOutcome({ code: 0, address: '10.203.7.20', uri: 'socket://10.203.7.20:9100', ipp: false,
                                   driverless: false, deviceId: 'MFG:HP;MDL:LaserJet 4;', makeAndModel: 'HP LaserJet 4' });
  assert.equal(raw.key, 'probe.foundRaw');
  assert.deepEqual(model.addRequest(raw.item), { uri: 'socket://10.203.7.20:9100', makeAndModel: 'HP LaserJet 4',
                                                  deviceId: 'MFG:HP;MDL:LaserJet 4;' });
  assert.equal(model.probeHost('  printer-1.local '), 'printer-1.local');
  assert.equal(model.probeHost('a b'), '');
  assert.equal(model.probeHost('-x'), '');
  assert.equal(model.probeHost('x'.repeat(254)), '');
});

test('a found network printer is added from its row, then a test page is offered', () => {
  const page = open({ addNetworkPrinter: () => ({ code: 0, printerName: 'Brother_MFC-L3770CDW_series' }),
                      probeNetworkPrinter: () => ({ code: 3012 }) });
  page.tab('search');
  page.byId('search-start').click();
  page.window.notifyNetworkPrinterByCpp('10.203.7.40', 'Brother', 'MFC-L3770CDW series', DRIVERLESS);
  const add = page.actions('search-results', 'add-printer');
  assert.equal(add.length, 1);
  add[0].click();
  assert.match(page.text('search-notice'), /Adding the printer/);
  page.advance(100);
  assert.deepEqual(page.named('addNetworkPrinter')[0].args,
                   ['ipp://10.203.7.40:8631/ipp/print', 'Brother MFC-L3770CDW series', 'MFG:Brother;MDL:MFC-L3770CDW series;']);
  assert.match(page.text('search-notice'), /added as Brother_MFC-L3770CDW_series/);
  assert.match(page.text('search-results'), /Added as Brother_MFC-L3770CDW_series/);
  assert.equal(page.actions('search-results', 'add-printer').length, 0, 'added once');
  page.actions('search-notice', 'test-page')[0].click();
  assert.deepEqual(page.named('printTestPage')[0].args, ['Brother_MFC-L3770CDW_series', '']);
  assert.match(page.text('search-notice'), /test page was sent to Brother_MFC-L3770CDW_series/);
  assert.deepEqual(page.window.errors, []);
});

test('without a fitting driver the page says so and offers the printer tool', () => {
  const page = open({ addNetworkPrinter: () => ({ code: 1797 }), probeNetworkPrinter: () => ({ code: 3012 }) });
  page.tab('search');
  page.byId('search-start').click();
  page.window.notifyNetworkPrinterByCpp('10.203.7.20', 'HP', 'LaserJet 4');
  page.actions('search-results', 'add-printer')[0].click();
  page.advance(100);
  assert.deepEqual(page.named('addNetworkPrinter')[0].args, ['socket://10.203.7.20:9100', 'HP LaserJet 4', 'MFG:HP;MDL:LaserJet 4;']);
  assert.match(page.text('search-notice'), /No installed driver fits/);
  assert.equal(page.actions('search-notice', 'test-page').length, 0);
  page.actions('search-notice', 'printer-tool')[0].click();
  assert.equal(page.named('addPrinter').length, 1);
  assert.equal(page.actions('search-results', 'add-printer').length, 1, 'still to add');
});

test('add by address: look the host up, show what answered, add it', () => {
  const page = open({
    probeNetworkPrinter: () => ({ code: 0, address: '10.203.7.40', uri: 'ipp://10.203.7.40:631/ipp/print', ipp: true,
                                  driverless: true, makeAndModel: 'Acme Laser 100' }),
    addNetworkPrinter: () => ({ code: 0, printerName: 'Acme_Laser_100' })
  });
  page.tab('search');
  page.byId('probe-host').value = ' printer.example ';
  page.byId('probe-go').click();
  assert.match(page.text('probe-notice'), /Asking printer\.example/);
  page.advance(100);
  assert.deepEqual(page.named('probeNetworkPrinter')[0].args, ['printer.example']);
  assert.match(page.text('probe-notice'), /10\.203\.7\.40 is Acme Laser 100; it prints without a driver/);
  page.actions('probe-notice', 'add-printer')[0].click();
  page.advance(100);
  assert.deepEqual(page.named('addNetworkPrinter')[0].args, ['ipp://10.203.7.40:631/ipp/print', 'Acme Laser 100', '']);
  assert.match(page.text('probe-notice'), /added as Acme_Laser_100/);
  assert.equal(page.actions('probe-notice', 'test-page').length, 1);
  assert.deepEqual(page.window.errors, []);
});

test('add by address: a host that cannot be one is not sent', () => {
  const page = open({ probeNetworkPrinter: () => ({ code: 0 }), addNetworkPrinter: () => ({ code: 0 }) });
  page.tab('search');
  page.byId('probe-host').value = 'a; rm -rf /';
  page.byId('probe-go').click();
  page.advance(100);
  assert.equal(page.named('probeNetworkPrinter').length, 0);
  assert.match(page.text('probe-notice'), /Type a host name or an IPv4 address/);
});

test('without the add commands the rows keep their old advice', () => {
  const page = open();
  page.tab('search');
  page.byId('search-start').click();
  page.window.notifyNetworkPrinterByCpp('10.203.7.40', 'Brother', 'MFC-L3770CDW series', DRIVERLESS);
  assert.equal(page.actions('search-results', 'add-printer').length, 0);
  assert.match(page.text('search-results'), /Add it under Printers/);
  assert.equal(page.byId('probe-go').disabled, true);
});

test('a USB printer is installed only when a print queue names it', () => {
  const page = open();
  page.tab('search');
  page.byId('search-start').click();
  // usblp bound, no queue.
  page.window.notifyUsbPrinterByCpp(JSON.stringify({ compatibleids: [], deviceDesc: 'LaserJet 1020', friendlyName: 'LaserJet 1020',
    hardwareids: ['USB\\VID_03F0&PID_2B17'], mfg: 'HP', searchMethod: 0 }));
  // A queue names this one.
  page.window.notifyUsbPrinterByCpp(JSON.stringify({ compatibleids: [], deviceDesc: 'LBP6030', friendlyName: 'Canon_LBP',
    hardwareids: ['USB\\VID_04A9&PID_2771'], mfg: 'Canon', searchMethod: 0, queues: ['Canon_LBP'] }));
  const rows = page.byId('search-results').querySelectorAll('tr');
  assert.equal(rows.length, 2);
  assert.match(rows[0].textContent, /Connected, not set up/);
  assert.match(rows[0].textContent, /Not set up for printing yet/);
  assert.doesNotMatch(rows[0].textContent, /Installed|Ready to use/);
  assert.match(rows[1].textContent, /Installed/);
  assert.match(rows[1].textContent, /Ready to use as Canon_LBP\./);
  // The second report of the same device (its interfaces) keeps it installed.
  page.window.notifyUsbPrinterByCpp2([{ Name: 'LBP6030', Hardwareid: 'USB\\VID_04A9&PID_2771', Instanceid: 'x', Manu: 'Canon',
                                        Class: 'Printer', Service: 'usblp' }]);
  assert.match(page.byId('search-results').querySelectorAll('tr')[1].textContent, /Ready to use as Canon_LBP\./);
  assert.deepEqual(page.window.errors, []);
});

const USB_LASER = JSON.stringify({ compatibleids: [], deviceDesc: 'LaserJet Pro M404-M405', friendlyName: 'LaserJet Pro M404-M405',
  hardwareids: ['USB\\VID_03F0&PID_1853', 'USB\\VID_03F0&PID_1853&REV_0100'], mfg: 'HP', searchMethod: 0, serial: 'PHB1234567' });

test('addUsbRequest and addUsbOutcome: the device by its id and serial number, its own words', () => {
  const laser = model.parseUsbRecord(USB_LASER);
  assert.equal(laser.serial, 'PHB1234567');
  assert.deepEqual(model.addUsbRequest(laser), { hardwareId: 'USB\\VID_03F0&PID_1853', serial: 'PHB1234567' });
  const noSerial = model.parseUsbRecord(JSON.stringify({ deviceDesc: 'X', hardwareids: ['USB\\VID_04B8&PID_1181'], searchMethod: 1 }));
  assert.deepEqual(model.addUsbRequest(noSerial), { hardwareId: 'USB\\VID_04B8&PID_1181', serial: '' });
  for (const bad of ['PHB\n1', ' PHB', 'x'.repeat(129), 'PHB\u00e9', 7]) {
    const record = JSON.parse(USB_LASER);
    record.serial = bad;
    assert.equal(model.addUsbRequest(model.parseUsbRecord(JSON.stringify(record))).serial, '', JSON.stringify(bad));
  }
  // Installed, a device without a driver, no USB id, a network printer: nothing to add.
  assert.equal(model.addUsbRequest(model.parseUsbRecord(JSON.stringify(Object.assign(JSON.parse(USB_LASER), { queues: ['HP'] })))), null);
  assert.equal(model.addUsbRequest(model.parseUsbRecord(JSON.stringify(Object.assign(JSON.parse(USB_LASER), { searchMethod: 3 })))), null);
  assert.equal(model.addUsbRequest(model.parseUsbRecord(JSON.stringify({ deviceDesc: 'X', hardwareids: ['USBPRINT\\X'], searchMethod: 0 }))), null);
  assert.equal(model.addUsbRequest(model.parseNetworkPrinter('10.203.7.20', 'HP', 'X')), null);
  assert.equal(model.addUsbRequest(null), null);
  assert.equal(model.addUsbOutcome({ code: 0, printerName: 'HP_LaserJet' }).key, 'addnet.done');
  assert.equal(model.addUsbOutcome({ code: 2 }).key, 'addusb.notFound');
  assert.equal(model.addUsbOutcome({ code: 87 }).key, 'addusb.invalid');
  assert.equal(model.addUsbOutcome({ code: 1797 }).offerTool, true);
  assert.equal(model.addUsbOutcome({ code: 5 }).key, 'addnet.denied');
  assert.equal(model.addUsbOutcome(undefined).key, 'common.unavailable');
});

test('a found USB printer is added from its row, then it is installed and a test page is offered', () => {
  const page = open({ addUsbPrinter: () => ({ code: 0, printerName: 'HP_LaserJet_Pro_M404-M405' }) });
  page.tab('search');
  page.byId('search-start').click();
  page.window.notifyUsbPrinterByCpp(USB_LASER);
  const add = page.actions('search-results', 'add-printer');
  assert.equal(add.length, 1);
  add[0].click();
  assert.match(page.text('search-notice'), /Adding the printer/);
  page.advance(100);
  assert.deepEqual(page.named('addUsbPrinter')[0].args, ['USB\\VID_03F0&PID_1853', 'PHB1234567']);
  assert.equal(page.named('addNetworkPrinter').length, 0);
  assert.match(page.text('search-notice'), /added as HP_LaserJet_Pro_M404-M405/);
  const row = page.byId('search-results').querySelectorAll('tr')[0];
  assert.match(row.textContent, /Installed/);
  assert.match(row.textContent, /Added as HP_LaserJet_Pro_M404-M405\./);
  assert.equal(page.actions('search-results', 'add-printer').length, 0, 'added once');
  page.actions('search-notice', 'test-page')[0].click();
  assert.deepEqual(page.named('printTestPage')[0].args, ['HP_LaserJet_Pro_M404-M405', '']);
  assert.match(page.text('search-notice'), /test page was sent to HP_LaserJet_Pro_M404-M405/);
  assert.deepEqual(page.window.errors, []);
});

test('a USB printer without a fitting driver, or that the print service does not list, is told so', () => {
  let answer = { code: 1797 };
  const page = open({ addUsbPrinter: () => answer });
  page.tab('search');
  page.byId('search-start').click();
  page.window.notifyUsbPrinterByCpp(USB_LASER);
  page.actions('search-results', 'add-printer')[0].click();
  page.advance(100);
  assert.match(page.text('search-notice'), /No installed driver fits/);
  assert.equal(page.actions('search-notice', 'test-page').length, 0);
  page.actions('search-notice', 'printer-tool')[0].click();
  assert.equal(page.named('addPrinter').length, 1);
  assert.equal(page.actions('search-results', 'add-printer').length, 1, 'still to add');
  answer = { code: 2 };
  page.actions('search-results', 'add-printer')[0].click();
  page.advance(100);
  assert.match(page.text('search-notice'), /does not list this printer/);
  assert.equal(page.actions('search-notice', 'printer-tool').length, 0);
  assert.deepEqual(page.window.errors, []);
});

test('the USB answers exist in both languages', () => {
  const en = require('../../html/js/lang/en.js');
  const zh = require('../../html/js/lang/zh.js');
  for (const key of ['addusb.notFound', 'addusb.invalid']) {
    assert.match(en[key], /print service|USB device/, key);
    assert.match(zh[key], /[\u4e00-\u9fff]/, key);
  }
});
