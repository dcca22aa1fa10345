// Managing an installed queue from its card: the answers the queue commands
// give, read by the page model, and the card's controls against a stand-in
// for the program.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const queue = require('../../html/js/model/queue.js');
const { loadPage, makeEvent } = require('./support/fakedom.js');
const { fakeProgram, SAMPLE_PRINTERS } = require('./support/program.js');

const JOBS = { code: 0, accepting: true, paused: false, jobs: [
  { id: 7, name: 'Quarterly report.pdf', owner: 'ana', size: 2048, state: 'pending', reasons: ['none'], time: 1796720000 },
  { id: 9, name: 'Letter', owner: 'bo', size: 3 * 1024 * 1024, state: 'held', reasons: ['job-hold-until-specified'], time: 1796720100 }
] };
const SUPPLIES = { code: 0, supplies: [
  { name: 'Black Toner', color: '#000000', level: 62, type: 'toner' },
  { name: 'Cyan Ink', color: '#00FFFF', level: 4, type: 'ink' },
  { name: 'Waste', color: '', level: -3, type: 'waste-toner' }
] };

function open(overrides) {
  const state = { jobs: JSON.parse(JSON.stringify(JOBS)), supplies: SUPPLIES };
  const program = fakeProgram(Object.assign({
    getPrinterJobs: (name) => JSON.stringify(name === 'Office Laser' ? state.jobs : { code: 0, accepting: true, paused: false, jobs: [] }),
    getPrinterSupplies: (name) => JSON.stringify(name === 'Office Laser' ? state.supplies : { code: 0, supplies: [] }),
    pausePrinter: () => 0,
    resumePrinter: () => 0,
    setPrinterAcceptJobs: () => 0,
    cancelPrinterJob: (name, id) => { state.jobs.jobs = state.jobs.jobs.filter((j) => j.id !== id); return 0; },
    releasePrinterJob: (name, id) => { state.jobs.jobs.forEach((j) => { if (j.id === id) j.state = 'pending'; }); return 0; },
    setPrinterDescription: () => 0
  }, overrides || {}));
  const page = loadPage('index.html', { natives: program.natives });
  page.program = program;
  page.state = state;
  page.named = (name) => page.calls.filter((c) => c.name === name);
  page.deliverPrinters = (list) => {
    const printers = list || SAMPLE_PRINTERS;
    page.window.enumPrinterCbkByCpp(JSON.stringify(printers.slice(0, 1)));
    page.window.enumPrinterCbkByCpp(JSON.stringify(printers.slice(1)));
    page.advance(100);
  };
  page.card = (name) => page.byId('printers-list').querySelectorAll('article').find((a) => a.getAttribute('data-printer') === name);
  page.button = (name, action) => page.card(name).querySelectorAll('[data-action="' + action + '"]')[0];
  return page;
}

test('job lists are read strictly and bounded', () => {
  assert.equal(queue.parseJobs('not json'), null);
  assert.equal(queue.parseJobs('[]'), null);
  assert.equal(queue.parseJobs(42), null);
  assert.deepEqual(queue.parseJobs('{"code":1801}'), { code: 1801, accepting: true, paused: false, jobs: [] });
  const parsed = queue.parseJobs(JSON.stringify({ code: 0, accepting: false, paused: true, jobs: [
    { id: 3, name: 'x'.repeat(400), owner: 'me', size: 10, state: 'weird', time: -5 },
    { id: 0, name: 'no id' }, { id: 2.5 }, null, 'text', { id: '4' }
  ] }));
  assert.equal(parsed.accepting, false);
  assert.equal(parsed.paused, true);
  assert.equal(parsed.jobs.length, 1);
  assert.equal(parsed.jobs[0].name.length, 255);
  assert.equal(parsed.jobs[0].state, 'unknown');
  assert.equal(parsed.jobs[0].time, 0);
  const many = { code: 0, jobs: Array.from({ length: 900 }, (_, i) => ({ id: i + 1, state: 'pending' })) };
  assert.equal(queue.parseJobs(JSON.stringify(many)).jobs.length, 500);
});

test('supplies are read strictly, with words for each level', () => {
  assert.equal(queue.parseSupplies('{"supplies":[]}'), null);
  const parsed = queue.parseSupplies(JSON.stringify({ code: 0, supplies: [
    { name: 'A', color: 'red;background:url(x)', level: 250, type: 'toner' },
    { name: 'B', color: '#00FF00#FF00FF', level: 50 }, 7
  ] }));
  assert.deepEqual(parsed.supplies, [{ name: 'A', color: '', level: -1, type: 'toner' },
                                     { name: 'B', color: '#00FF00', level: 50, type: '' }]);
  assert.deepEqual(queue.supplyView({ level: 62 }), { percent: 62, low: false, key: 'supply.percent', args: [62] });
  assert.deepEqual(queue.supplyView({ level: 4 }), { percent: 4, low: true, key: 'supply.low', args: [4] });
  assert.deepEqual(queue.supplyView({ level: 0 }), { percent: 0, low: true, key: 'supply.empty', args: [0] });
  assert.equal(queue.supplyView({ level: -3 }).key, 'supply.ok');
  assert.equal(queue.supplyView({ level: -2 }).key, 'supply.some');
  assert.equal(queue.supplyView({ level: -1 }).key, 'supply.unknown');
});

test('sizes, descriptions and outcomes', () => {
  assert.deepEqual(queue.formatSize(10), { key: 'size.kb', args: [1] });
  assert.deepEqual(queue.formatSize(2048), { key: 'size.kb', args: [2] });
  assert.deepEqual(queue.formatSize(3 * 1024 * 1024), { key: 'size.mb', args: ['3.0'] });
  assert.equal(queue.formatTime(0), '');
  assert.equal(queue.textProblem(''), null);
  assert.equal(queue.textProblem('二楼 Room 2'), null);
  assert.equal(queue.textProblem('a'.repeat(127)), null);
  assert.equal(queue.textProblem('a'.repeat(128)), 'edit.tooLong');
  assert.equal(queue.textProblem('二'.repeat(43)), 'edit.tooLong');
  assert.equal(queue.textProblem('a\tb'), 'edit.badText');
  assert.equal(queue.textProblem('a\u2028b'), 'edit.badText');
  assert.deepEqual(queue.operationOutcome('pausePrinter', 0), { ok: true, key: 'op.pause.ok', code: 0 });
  assert.deepEqual(queue.operationOutcome('cancelPrinterJob', 87), { ok: false, key: 'job.gone', code: 87, level: 'warn' });
  assert.deepEqual(queue.operationOutcome('resumePrinter', 5), { ok: false, key: 'op.failed', code: 5 });
  assert.deepEqual(queue.operationOutcome('resumePrinter', undefined), { ok: false, key: 'common.unavailable', code: null });
});

test('the card shows the description, location and supply bars', () => {
  const page = open();
  page.deliverPrinters();
  assert.deepEqual(page.window.errors, []);
  const laser = page.card('Office Laser');
  assert.match(laser.textContent, /Location: Room 2/);
  assert.match(page.card('Hall Inkjet').textContent, /colour/);
  const bars = laser.querySelectorAll('.supply');
  assert.equal(bars.length, 3);
  assert.match(bars[0].textContent, /Black Toner62%/);
  assert.match(bars[1].textContent, /Cyan Ink4% — low/);
  assert.match(bars[2].textContent, /WasteOK/);
  assert.equal(bars[1].querySelectorAll('.fill')[0].getAttribute('style'), 'width:4%;background:#00FFFF;');
  assert.equal(page.card('Hall Inkjet').querySelectorAll('.supply').length, 0);
  assert.deepEqual(page.named('getPrinterSupplies').map((c) => c.args), [['Office Laser'], ['Hall Inkjet']]);
});

test('supplies are read again when the program reports a change of that printer', () => {
  const page = open();
  page.deliverPrinters();
  page.state.supplies = { code: 0, supplies: [{ name: 'Black Toner', color: '#000000', level: 10, type: 'toner' }] };
  page.window.notifyPrinterChangeByCpp({ dwChanged: 2, dwNotifyField: [0x12], printerName: 'Office Laser', printerServer: '',
                                         newPrinterName: '', dwAttribute: 0x4c, dwPrinterStatus: 0, dwJobStatus: 0, dwCjobs: 0 });
  page.advance(100);
  const bars = page.card('Office Laser').querySelectorAll('.supply');
  assert.equal(bars.length, 1);
  assert.match(bars[0].textContent, /10% — low/);
});

test('a report that only the supplies changed reads that printer\'s supplies again and changes nothing else', () => {
  const page = open();
  page.deliverPrinters();
  const listCalls = page.named('enumPrinters').length;
  const supplyCalls = page.named('getPrinterSupplies').length;
  const statusBefore = page.card('Office Laser').querySelectorAll('.status')[0].textContent;
  page.state.supplies = { code: 0, supplies: [
    { name: 'Black Toner', color: '#000000', level: 55, type: 'toner' },
    { name: 'Cyan Ink', color: '#00FFFF', level: 3, type: 'ink' },
    { name: 'Waste', color: '', level: -3, type: 'waste-toner' }] };
  // What the change monitor sends when a driver reported new levels (0x100):
  // every other value as it was.
  page.window.notifyPrinterChangeByCpp({ dwChanged: 2, dwNotifyField: [0x100], printerName: 'Office Laser', printerServer: '',
                                         newPrinterName: '', dwAttribute: 0x4c, dwPrinterStatus: 0, dwJobStatus: 0, dwCjobs: 0 });
  page.advance(100);
  assert.deepEqual(page.window.errors, []);
  const bars = page.card('Office Laser').querySelectorAll('.supply');
  assert.equal(bars.length, 3);
  assert.match(bars[0].textContent, /Black Toner55%/);
  assert.match(bars[1].textContent, /Cyan Ink3% — low/);
  assert.deepEqual(page.named('getPrinterSupplies').slice(supplyCalls).map((c) => c.args), [['Office Laser']]);
  assert.equal(page.named('enumPrinters').length, listCalls);
  assert.equal(page.card('Office Laser').querySelectorAll('.status')[0].textContent, statusBefore);
});

test('pause and resume follow the printer state', () => {
  const page = open();
  const paused = JSON.parse(JSON.stringify(SAMPLE_PRINTERS));
  paused[1].status = 0x1;
  page.deliverPrinters(paused);
  assert.equal(page.button('Office Laser', 'pausePrinter').textContent, 'Pause');
  assert.equal(page.button('Hall Inkjet', 'resumePrinter').textContent, 'Resume');
  assert.match(page.card('Hall Inkjet').textContent, /Paused/);
  page.button('Hall Inkjet', 'resumePrinter').click();
  page.advance(100);
  assert.deepEqual(page.named('resumePrinter').map((c) => c.args), [['Hall Inkjet']]);
  assert.match(page.text('printers-notice'), /“Hall Inkjet” prints again/);
  page.button('Office Laser', 'pausePrinter').click();
  page.advance(100);
  assert.deepEqual(page.named('pausePrinter').map((c) => c.args), [['Office Laser']]);
  assert.match(page.text('printers-notice'), /“Office Laser” is paused/);
});

test('a refused pause says why', () => {
  const page = open({ pausePrinter: () => 5 });
  page.deliverPrinters();
  page.button('Office Laser', 'pausePrinter').click();
  page.advance(100);
  assert.match(page.text('printers-notice'), /That did not work for “Office Laser”.*code 5/);
});

test('accepting documents toggles with a boolean', () => {
  const page = open();
  page.state.jobs.accepting = false;
  page.deliverPrinters();
  assert.equal(page.button('Office Laser', 'setPrinterAcceptJobs').textContent, 'Accept documents');
  assert.equal(page.button('Hall Inkjet', 'setPrinterAcceptJobs').textContent, 'Refuse new documents');
  page.button('Office Laser', 'setPrinterAcceptJobs').click();
  page.advance(100);
  page.button('Hall Inkjet', 'setPrinterAcceptJobs').click();
  page.advance(100);
  assert.deepEqual(page.named('setPrinterAcceptJobs').map((c) => c.args), [['Office Laser', true], ['Hall Inkjet', false]]);
  assert.match(page.text('printers-notice'), /“Hall Inkjet” refuses new documents/);
});

test('a queue that another program set to refuse documents shows it after the program\'s report', () => {
  const page = open();
  page.deliverPrinters();
  assert.equal(page.button('Office Laser', 'setPrinterAcceptJobs').textContent, 'Refuse new documents');
  const jobCalls = page.named('getPrinterJobs').length;
  page.state.jobs.accepting = false;
  // What the change monitor sends when only printer-is-accepting-jobs changed (0x101).
  page.window.notifyPrinterChangeByCpp({ dwChanged: 2, dwNotifyField: [0x101], printerName: 'Office Laser', printerServer: '',
                                         newPrinterName: '', dwAttribute: 0x4c, dwPrinterStatus: 0, dwJobStatus: 0, dwCjobs: 0 });
  page.advance(100);
  assert.deepEqual(page.window.errors, []);
  assert.deepEqual(page.named('getPrinterJobs').slice(jobCalls).map((c) => c.args), [['Office Laser']]);
  assert.equal(page.button('Office Laser', 'setPrinterAcceptJobs').textContent, 'Accept documents');
});

test('a document released in another program loses its Release button after the program\'s report', () => {
  const page = open();
  page.deliverPrinters();
  page.button('Office Laser', 'getPrinterJobs').click();
  const releases = () => page.card('Office Laser').querySelectorAll('[data-action="releasePrinterJob"]');
  assert.equal(releases().length, 1);
  page.state.jobs.jobs.forEach((j) => { j.state = 'pending'; });
  // What the change monitor sends when only a job's state changed (0x102).
  page.window.notifyPrinterChangeByCpp({ dwChanged: 2, dwNotifyField: [0x102], printerName: 'Office Laser', printerServer: '',
                                         newPrinterName: '', dwAttribute: 0x4c, dwPrinterStatus: 0, dwJobStatus: 0, dwCjobs: 2 });
  page.advance(100);
  assert.deepEqual(page.window.errors, []);
  assert.equal(releases().length, 0);
  assert.equal(page.card('Office Laser').querySelectorAll('tr[data-job]').length, 2);
});

test('the document list shows each job; one is cancelled and a held one released', () => {
  const page = open();
  page.deliverPrinters();
  page.button('Office Laser', 'getPrinterJobs').click();
  const rows = () => page.card('Office Laser').querySelectorAll('tr[data-job]');
  assert.equal(rows().length, 2);
  assert.match(rows()[0].textContent, /^7Quarterly report\.pdfana2 KBWaiting/);
  assert.match(rows()[1].textContent, /^9Letterbo3\.0 MBHeld/);
  assert.equal(rows()[0].querySelectorAll('[data-action="releasePrinterJob"]').length, 0);
  rows()[1].querySelectorAll('[data-action="releasePrinterJob"]')[0].click();
  page.advance(100);
  assert.deepEqual(page.named('releasePrinterJob').map((c) => c.args), [['Office Laser', 9]]);
  assert.match(page.text('printers-notice'), /“Letter” was released/);
  assert.match(rows()[1].textContent, /Waiting/);
  rows()[0].querySelectorAll('[data-action="cancelPrinterJob"]')[0].click();
  page.advance(100);
  assert.deepEqual(page.named('cancelPrinterJob').map((c) => c.args), [['Office Laser', 7]]);
  assert.match(page.text('printers-notice'), /“Quarterly report\.pdf” was cancelled on “Office Laser”/);
  assert.equal(rows().length, 1);
  assert.equal(rows()[0].getAttribute('data-job'), '9');
  page.button('Office Laser', 'getPrinterJobs').click();
  assert.equal(rows().length, 0);
});

test('a job that is gone already is a warning and the list is read again', () => {
  const page = open({ cancelPrinterJob: () => 87 });
  page.deliverPrinters();
  page.button('Office Laser', 'getPrinterJobs').click();
  page.state.jobs.jobs = [];
  page.card('Office Laser').querySelectorAll('[data-action="cancelPrinterJob"]')[0].click();
  page.advance(100);
  assert.match(page.text('printers-notice'), /no longer waiting/);
  assert.match(page.card('Office Laser').textContent, /No documents are waiting/);
});

test('description and location are edited, checked, and saved', () => {
  const page = open();
  page.deliverPrinters();
  page.button('Office Laser', 'editDescription').click();
  const input = (which) => page.card('Office Laser').querySelectorAll('[data-action="edit-' + which + '"]')[0];
  assert.equal(input('location').value, 'Room 2');
  input('description').value = 'Front\tdesk';
  input('description').dispatchEvent(makeEvent('input', true));
  page.button('Office Laser', 'saveDescription').click();
  page.advance(100);
  assert.equal(page.named('setPrinterDescription').length, 0);
  assert.match(page.card('Office Laser').textContent, /one line of text/);
  input('description').value = 'Front desk 前台';
  input('description').dispatchEvent(makeEvent('input', true));
  input('location').value = 'Hall';
  input('location').dispatchEvent(makeEvent('input', true));
  page.button('Office Laser', 'saveDescription').click();
  page.advance(100);
  assert.deepEqual(page.named('setPrinterDescription').map((c) => c.args), [['Office Laser', 'Front desk 前台', 'Hall']]);
  assert.match(page.text('printers-notice'), /were saved/);
  assert.equal(page.card('Office Laser').querySelectorAll('.edit-form').length, 0);
  assert.match(page.card('Office Laser').textContent, /Front desk 前台Location: Hall/);
});

test('without the queue commands the buttons are marked unavailable', () => {
  const program = fakeProgram();
  const page = loadPage('index.html', { natives: program.natives });
  page.window.enumPrinterCbkByCpp(JSON.stringify(SAMPLE_PRINTERS.slice(0, 1)));
  page.window.enumPrinterCbkByCpp(JSON.stringify(SAMPLE_PRINTERS.slice(1)));
  page.advance(100);
  assert.deepEqual(page.window.errors, []);
  const b = page.byId('printers-list').querySelectorAll('[data-action="pausePrinter"]')[0];
  assert.equal(b.disabled, true);
});

test('a scheduler that stops answering ends the round of reads', () => {
  const page = open({ getPrinterSupplies: () => JSON.stringify({ code: 1722 }) });
  page.deliverPrinters();
  assert.deepEqual(page.window.errors, []);
  assert.equal(page.named('getPrinterSupplies').length, 1);
  assert.equal(page.named('getPrinterJobs').length, 0);
  assert.equal(page.card('Office Laser').querySelectorAll('.supply').length, 0);
});
