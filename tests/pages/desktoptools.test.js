// "Add printer" and "Manage": a failure to start anything is said with what
// to install, and the Manage choices name what opens on this machine.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadPage } = require('./support/fakedom.js');
const { fakeProgram } = require('./support/program.js');
const model = require('../../html/js/model/printers.js');

function open(overrides) {
  const program = fakeProgram(overrides);
  const page = loadPage('index.html', { natives: program.natives });
  page.named = (name) => page.calls.filter((c) => c.name === name);
  page.advance(100);
  return page;
}

function options(page) {
  return page.byId('manager-kind').querySelectorAll('option').map((o) => [o.getAttribute('value'), o.textContent]);
}

test('Manage choices: one per distinct thing that opens, none when nothing can', () => {
  const tools = (list) => (kind) => list[kind];
  assert.deepEqual(model.managerChoices(tools(['system-config-printer', 'system-config-printer', 'system-config-printer'])),
                   [{ kind: 0, key: 'manager.tool.systemConfigPrinter', args: [] }]);
  assert.deepEqual(model.managerChoices(tools(['web-admin', 'web-printers', 'web-printers'])),
                   [{ kind: 0, key: 'manager.tool.webAdmin', args: [] }, { kind: 1, key: 'manager.tool.webPrinters', args: [] }]);
  assert.deepEqual(model.managerChoices(tools(['', '', ''])), []);
  assert.deepEqual(model.managerChoices(tools([undefined, 7, 'x'.repeat(100)])),
                   [{ kind: 2, key: 'manager.tool.other', args: ['x'.repeat(60)] }]);
});

test('tool operations that start nothing say so, with what to install', () => {
  assert.deepEqual(model.operationOutcome('addPrinter', 2), { ok: false, key: 'op.noTool', code: null });
  assert.deepEqual(model.operationOutcome('openManager', 2), { ok: false, key: 'op.noTool', code: null });
  assert.deepEqual(model.operationOutcome('viewPrintQueue', 2), { ok: false, key: 'op.noTool', code: null });
  assert.equal(model.operationOutcome('addPrinter', 0).ok, true);
  assert.equal(model.operationOutcome('addPrinter', 87).key, 'op.failed');
  assert.equal(model.operationOutcome('deletePrinter', 2).key, 'op.failed');
});

test('"Add" that could start nothing shows the failure, not "opening"', () => {
  const page = open({ addPrinter: () => 2, getManagerTool: () => '' });
  page.byId('add-printer-go').click();
  page.advance(100);
  const said = page.text('printers-notice');
  assert.doesNotMatch(said, /is opening/);
  assert.match(said, /Nothing could be opened/);
  assert.doesNotMatch(said, /reinstall Korvane/);
  assert.equal(page.byId('printers-notice').querySelector('.notice').className, 'notice error');
});

test('"Add" that started the tool says it is opening', () => {
  const page = open({ addPrinter: () => 0, getManagerTool: () => 'system-config-printer' });
  page.byId('add-printer-go').click();
  page.advance(100);
  assert.match(page.text('printers-notice'), /add-printer window is opening/);
});

test('Manage offers what opens here, under its own name', () => {
  const page = open({ getManagerTool: (kind) => (kind === 0 ? 'web-admin' : 'web-printers') });
  assert.deepEqual(options(page), [['0', 'Print service web page: administration'], ['1', 'Print service web page: printers']]);
  page.byId('manager-kind').querySelectorAll('option')[1].selected = true;
  page.byId('manager-open').click();
  assert.deepEqual(page.named('openManager').map((c) => c.args[1]), [1]);

  const one = open({ getManagerTool: () => 'gnome-control-center' });
  assert.deepEqual(options(one), [['0', 'GNOME Settings: Printers']]);
  assert.equal(one.byId('manager-open').disabled, false);
});

test('Manage with nothing to open is offered as nothing', () => {
  const page = open({ getManagerTool: () => '' });
  assert.deepEqual(options(page), [['', 'No printer settings program on this computer']]);
  assert.equal(page.byId('manager-kind').disabled, true);
  assert.equal(page.byId('manager-open').disabled, true);
});

test('in Chinese a failure is said in Chinese: no English system text', () => {
  const program = fakeProgram({ printTestPage: () => 5 });
  const page = loadPage('index.html', { natives: program.natives, language: 'zh-CN' });
  page.advance(100);
  page.window.enumPrinterCbkByCpp(JSON.stringify([{ printerName: 'laser', isLocal: true }]));
  page.window.enumPrinterCbkByCpp('[]');
  page.advance(0);
  page.byId('printers-list').querySelectorAll('[data-action="printTestPage"]')[0].click();
  page.advance(100);
  const said = page.text('printers-notice');
  assert.doesNotMatch(said, /Access is denied/);
  assert.match(said, /错误码 5/);
  assert.match(said, /管理员/);
});

test('a missing tool is not "reinstall Korvane", in either language', () => {
  const en = require('../../html/js/lang/en.js');
  const zh = require('../../html/js/lang/zh.js');
  for (const key of ['op.noTool', 'advice.fileMissing', 'advice.noTool']) {
    assert.doesNotMatch(en[key], /reinstall/i, key);
    assert.doesNotMatch(zh[key], /重新安装 Korvane/, key);
  }
});

test('counts read as a person would write them, in both languages', () => {
  const program = fakeProgram({});
  const page = loadPage('index.html', { natives: program.natives });
  page.advance(100);
  assert.equal(page.window.Korvane.t('printer.jobs', 1), '1 document waiting to print.');
  assert.equal(page.window.Korvane.t('printer.jobs', 2), '2 documents waiting to print.');
  assert.equal(page.window.Korvane.t('search.finished', 1), 'Search finished: 1 printer found.');
  assert.equal(page.window.Korvane.t('repair.doneButStill', 1), 'The repair ran, but 1 check still shows a problem.');
  page.window.Korvane.i18n.setLanguage('zh');
  assert.equal(page.window.Korvane.t('printer.jobs', 1), '有 1 个文档等待打印。');
  const en = require('../../html/js/lang/en.js');
  Object.keys(en).forEach((key) => assert.doesNotMatch(en[key], /\(s\)/, key));
});
