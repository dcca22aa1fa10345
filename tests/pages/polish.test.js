// Small things seen in use: the system version in words, each panel opening
// at its top.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadPage } = require('./support/fakedom.js');
const { fakeProgram } = require('./support/program.js');
const settings = require('../../html/js/model/settings.js');

test('the system version reads like a person wrote it', () => {
  assert.deepEqual(settings.systemVersion('Linuxamd64.6.1', 'Debian GNU/Linux 12'),
                   { key: 'about.systemVersion', args: ['Debian GNU/Linux 12', '6.1'] });
  assert.deepEqual(settings.systemVersion('Linuxarm64.6.18', ''), { key: 'about.systemVersion', args: ['Linux', '6.18'] });
  assert.deepEqual(settings.systemVersion('Linuxamd64.6.1', 'unknown'), { key: 'about.systemVersion', args: ['Linux', '6.1'] });
  assert.deepEqual(settings.systemVersion('something else', 'x'), { text: 'something else' });
  assert.equal(settings.systemVersion(undefined, 'x'), null);
});

test('About shows the system by name once the hardware summary names it, the native value as its title', () => {
  const program = fakeProgram({ kernelVersion: () => 'Linuxamd64.6.1' });
  const page = loadPage('index.html', { natives: program.natives });
  page.advance(100);
  const node = page.byId('about-system-version');
  assert.equal(node.textContent, 'Linux, kernel 6.1');
  assert.equal(node.getAttribute('title'), 'Linuxamd64.6.1');
  page.window.scanCbkByCpp(JSON.stringify({ system: 'Debian GNU/Linux 12', bit: 64 }));
  assert.equal(node.textContent, 'Debian GNU/Linux 12, kernel 6.1');
  page.window.Korvane.i18n.setLanguage('zh');
  assert.equal(node.textContent, 'Debian GNU/Linux 12，内核 6.1');
});

test('each panel opens at its top', () => {
  const page = loadPage('index.html', { natives: fakeProgram({}).natives });
  page.advance(100);
  page.byId('panels').scrollTop = 640;
  page.byId('tab-repair').click();
  assert.equal(page.byId('panels').scrollTop, 0);
  page.byId('panels').scrollTop = 300;
  page.byId('tab-printers').click();
  assert.equal(page.byId('panels').scrollTop, 0);
});

test('words in table cells are not broken, and a click draws no focus ring', () => {
  const css = require('node:fs').readFileSync(require('node:path').resolve(__dirname, '../../html/css/main.css'), 'utf8');
  // Only names and addresses that came from the network may break anywhere:
  // one of them can be a single word wider than the window.
  css.split('\n').filter((l) => /overflow-wrap:\s*anywhere/.test(l)).forEach((line) => {
    assert.match(line, /^#search-table td:first-child, #search-table td:last-child \.muted \{/, line);
  });
  assert.match(css, /^td \{ overflow-wrap: break-word; hyphens: none; \}$/m);
  assert.match(css, /th \{[^}]*white-space: nowrap/);
  assert.match(css, /:focus:not\(:focus-visible\) \{ outline: none; \}/);
  css.split('\n').filter((l) => /:focus\b(?!-visible)/.test(l) && !/:not\(:focus-visible\)/.test(l)).forEach((line) => {
    assert.match(line, /^(\.skip:focus|#panels:focus, section:focus) /, line);
  });
});

test('a printer class is marked as a class', () => {
  const page = loadPage('index.html', { natives: fakeProgram({}).natives });
  page.advance(100);
  page.window.enumPrinterCbkByCpp(JSON.stringify([
    { printerName: 'office', driverName: 'Local Printer Class', portName: 'file:///dev/null', isLocal: true },
    { printerName: 'laser', driverName: 'HP LaserJet Series PCL 4/5', isLocal: true }]));
  page.window.enumPrinterCbkByCpp('[]');
  page.advance(0);
  const card = (name) => page.byId('printers-list').querySelectorAll('article').find((a) => a.getAttribute('data-printer') === name);
  assert.match(card('office').textContent, /Printer class/);
  assert.match(card('office').textContent, /first free printer of the class/);
  assert.doesNotMatch(card('office').textContent, /Local Printer Class/);
  assert.doesNotMatch(card('laser').textContent, /Printer class/);
  assert.match(card('laser').textContent, /HP LaserJet/);
});
