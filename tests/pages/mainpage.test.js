// The main page driven through its own controls against a stand-in for the
// program, checking what a user would read.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { loadPage, makeEvent } = require('./support/fakedom.js');
const { fakeProgram, SAMPLE_PRINTERS } = require('./support/program.js');

function open(overrides, options) {
  const program = fakeProgram(overrides);
  const page = loadPage('index.html', Object.assign({ natives: program.natives }, options || {}));
  page.program = program;
  page.named = (name) => page.calls.filter((c) => c.name === name);
  page.tab = (id) => { page.byId('tab-' + id).click(); page.advance(100); };
  page.deliverPrinters = () => {
    page.window.enumPrinterCbkByCpp(JSON.stringify(SAMPLE_PRINTERS.slice(0, 1)));
    page.window.enumPrinterCbkByCpp(JSON.stringify(SAMPLE_PRINTERS.slice(1)));
    page.advance(0);
  };
  page.button = (root, action, printer) => page.byId(root).querySelectorAll('[data-action="' + action + '"]')
    .find((b) => printer === undefined || b.getAttribute('data-printer') === printer);
  return page;
}

test('outside the program the page renders and says what is unavailable', () => {
  const page = loadPage('index.html');
  page.advance();
  assert.deepEqual(page.window.errors, []);
  ['printers', 'search', 'repair', 'downloads', 'hardware', 'settings', 'log'].forEach((id) => {
    assert.ok(page.byId('panel-' + id), id);
    assert.ok(page.byId('tab-' + id).textContent, id);
  });
  assert.equal(page.byId('offline-note').hidden, false);
  assert.match(page.text('printers-notice'), /cannot be listed/);
  assert.equal(page.byId('search-start').disabled, true);
  assert.equal(page.byId('btn-close').disabled, true);
});

test('the page reports "loadedjs" once and asks for both printer lists', () => {
  const page = open();
  page.advance();
  assert.deepEqual(page.named('eMsg').map((c) => c.args), [['loadedjs']]);
  assert.deepEqual(page.named('enumPrinters').map((c) => c.args), [[0], [1]]);
  assert.equal(page.byId('offline-note').hidden, true);
  assert.deepEqual(page.window.errors, []);
});

test('title bar buttons go through "click"', () => {
  const page = open();
  page.byId('btn-min').click();
  page.byId('btn-close').click();
  assert.deepEqual(page.named('click').map((c) => c.args), [['minimizeBtn'], ['closeBtn']]);
  assert.equal(page.byId('btn-close').getAttribute('aria-label'), 'Close');
});

test('sign-in state follows userLoginByCpp', () => {
  const page = open();
  assert.equal(page.text('login-state'), 'Not signed in');
  page.window.userLoginByCpp(true, '小明');
  assert.equal(page.text('login-state'), 'Signed in: 小明');
  page.advance();
  assert.equal(page.text('settings-login'), 'Signed in: 小明');
});

test('installed printers show status, jobs and capabilities in words', () => {
  const page = open();
  page.deliverPrinters();
  const list = page.text('printers-list');
  assert.match(list, /Office Laser/);
  assert.match(list, /Default/);
  assert.match(list, /Ready/);
  assert.match(list, /Out of paper, Offline/);
  assert.match(list, /Load paper into the tray\./);
  assert.match(list, /2 documents waiting/);
  assert.match(list, /30 pages per minute/);
  assert.match(list, /600 dpi, 1200 dpi/);
  assert.equal(page.text('printers-count'), '(2)');
  const cards = page.byId('printers-list').querySelectorAll('article');
  assert.equal(cards[0].getAttribute('data-printer'), 'Office Laser', 'the default printer comes first');
});

test('a printer operation reports its outcome, failures with the system text and advice', () => {
  const page = open({ printTestPage: () => 5 });
  page.deliverPrinters();
  page.button('printers-list', 'printTestPage', 'Hall Inkjet').click();
  assert.match(page.text('printers-notice'), /Working on/);
  page.advance();
  assert.deepEqual(page.named('printTestPage')[0].args, ['Hall Inkjet', '']);
  assert.deepEqual(page.named('formatMessage')[0].args, [5]);
  const notice = page.text('printers-notice');
  assert.match(notice, /That did not work for “Hall Inkjet”/);
  assert.match(notice, /“Access is denied\.” \(code 5\)/);
  assert.match(notice, /administrator/);
  page.program.natives.printTestPage = () => 0;
  page.button('printers-list', 'printTestPage', 'Hall Inkjet').click();
  page.advance();
  assert.match(page.text('printers-notice'), /A test page was sent to “Hall Inkjet”/);
});

test('sharing toggles with the third argument', () => {
  const page = open();
  page.deliverPrinters();
  page.button('printers-list', 'sharePrinter', 'Office Laser').click();
  page.button('printers-list', 'sharePrinter', 'Hall Inkjet').click();
  page.advance();
  assert.deepEqual(page.named('sharePrinter').map((c) => c.args), [['Office Laser', '', false], ['Hall Inkjet', '', true]]);
});

test('deleting asks first; cancel keeps the printer', () => {
  const page = open();
  page.deliverPrinters();
  page.button('printers-list', 'deletePrinter', 'Hall Inkjet').click();
  assert.ok(page.byId('dialog-overlay'));
  assert.equal(page.document.activeElement, page.byId('dialog-cancel'), 'the safe answer has the focus');
  page.byId('dialog-cancel').click();
  assert.equal(page.byId('dialog-overlay'), null);
  assert.equal(page.named('deletePrinter').length, 0);
  assert.match(page.text('printers-notice'), /was not deleted/);

  page.button('printers-list', 'deletePrinter', 'Hall Inkjet').click();
  page.byId('dialog-ok').click();
  page.advance(100);
  assert.deepEqual(page.named('deletePrinter')[0].args, ['Hall Inkjet', '']);
  assert.doesNotMatch(page.text('printers-list'), /Hall Inkjet/);
  assert.match(page.text('printers-notice'), /“Hall Inkjet” was deleted/);
});

test('Escape closes the confirmation without deleting', () => {
  const page = open();
  page.deliverPrinters();
  page.button('printers-list', 'deletePrinter', 'Office Laser').click();
  page.byId('dialog-ok').focus();
  page.byId('dialog-ok').dispatchEvent(makeEvent('keydown', true, { key: 'Escape' }));
  assert.equal(page.byId('dialog-overlay'), null);
  assert.equal(page.named('deletePrinter').length, 0);
});

test('printer changes from the program update the list live', () => {
  const page = open();
  page.deliverPrinters();
  page.window.notifyPrinterChangeByCpp({ dwChanged: 2, dwNotifyField: [0x12, 0x14], printerName: 'Office Laser', printerServer: '',
                                         newPrinterName: '', dwAttribute: 0, dwPrinterStatus: 0x400000, dwJobStatus: 0, dwCjobs: 4 });
  assert.match(page.text('printers-list'), /A door or cover is open/);
  assert.match(page.text('printers-list'), /4 documents waiting/);
  page.window.notifyPrinterChangeByCpp({ dwChanged: 4, dwNotifyField: [], printerName: 'Hall Inkjet', printerServer: '',
                                         newPrinterName: '', dwAttribute: 0, dwPrinterStatus: 0, dwJobStatus: 0, dwCjobs: 0 });
  assert.doesNotMatch(page.text('printers-list'), /Hall Inkjet/);
  assert.match(page.text('printers-notice'), /“Hall Inkjet” was removed/);
  const before = page.named('enumPrinters').length;
  page.window.notifyPrinterChangeByCpp({ dwChanged: 1, dwNotifyField: [], printerName: 'New One', printerServer: '',
                                         newPrinterName: '', dwAttribute: 0, dwPrinterStatus: 0, dwJobStatus: 0, dwCjobs: 0 });
  page.advance(1000);
  assert.equal(page.named('enumPrinters').length, before + 2, 'an added printer makes the page read the list again');
  page.window.notifyPrinterCountByCpp(7);
  page.advance(1000);
  assert.equal(page.named('enumPrinters').length, before + 4);
});

test('add printer, management tools and the install monitor', () => {
  const page = open();
  page.window.handle = 4242;
  page.byId('add-printer-kind').querySelectorAll('option')[3].selected = true;
  page.byId('add-printer-go').click();
  page.advance(100);
  assert.deepEqual(page.named('addPrinter')[0].args, [4242, 3]);
  assert.match(page.text('printers-notice'), /add-printer window is opening/);
  page.byId('manager-kind').querySelectorAll('option')[2].selected = true;
  page.byId('manager-open').click();
  assert.deepEqual(page.named('openManager')[0].args, [4242, 2]);
  assert.equal(page.byId('install-monitor-open').disabled, true, 'nothing to watch before a search or the list');
  assert.equal(page.named('sendMessage').length, 0);
});

test('the install monitor watches the USB printer the user picked', () => {
  const page = open();
  page.tab('search');
  page.byId('search-start').click();
  page.window.notifyUsbPrinterByCpp(JSON.stringify({ compatibleids: [], deviceDesc: 'HP LaserJet 1020', friendlyName: '',
    hardwareids: ['USB\\VID_03F0&PID_2B17'], mfg: 'HP', searchMethod: 0 }));
  page.window.notifyNetworkPrinterByCpp('10.203.7.10', 'Brother', 'HL-L2350DW');
  // From the search results: the row's own button.
  page.button('search-results', 'watch-setup').click();
  assert.deepEqual(page.named('openInstallMonitor')[0].args, ['USB\\VID_03F0&PID_2B17']);
  assert.match(page.text('search-notice'), /set-up is opening/);
  assert.equal(page.byId('search-results').querySelectorAll('[data-action="watch-setup"]').length, 1, 'not for network printers');

  // From the printer list under Hardware, picked in the printers panel.
  page.tab('hardware');
  page.byId('hardware-read').click();
  page.advance(1000);
  page.tab('printers');
  const options = page.byId('install-monitor-device').querySelectorAll('option');
  assert.deepEqual(options.map((o) => o.value), ['USB\\VID_03F0&PID_2B17', 'USB\\VID_1234&PID_5678']);
  options[0].selected = false;  // as a real single-choice list does
  options[1].selected = true;
  page.byId('install-monitor-open').click();
  assert.deepEqual(page.named('openInstallMonitor')[1].args, ['USB\\VID_1234&PID_5678']);
  assert.equal(page.named('sendMessage').length, 0, 'no fixed device through the timer message');
  assert.deepEqual(page.window.errors, []);
});

test('a search shows progress, results as they arrive, and its end', () => {
  const page = open();
  page.tab('search');
  page.byId('search-start').click();
  assert.equal(page.named('startScan').length, 1);
  assert.equal(page.byId('search-start').disabled, true);
  assert.equal(page.byId('search-stop').disabled, false);
  page.window.notifyScanProgressByCpp(1, 100, 3, 0, 0);
  assert.equal(page.text('search-phase'), 'Looking for USB printers…');
  page.window.notifyUsbPrinterByCpp(JSON.stringify({ compatibleids: [], deviceDesc: 'HP LaserJet 1020', friendlyName: '',
    hardwareids: ['USB\\VID_03F0&PID_2B17'], mfg: 'HP', searchMethod: 0 }));
  page.window.notifyUsbPrinterByCpp2([{ Name: 'Scanner', Manu: 'Acme', Service: '', Class: 'USB', Enumerator: 'USB',
    Instanceid: 'USB\\VID_1111&PID_2222\\1', ParentInstanceid: '', Hardwareid: 'USB\\VID_1111&PID_2222' }]);
  page.window.notifyScanProgressByCpp(55, 100, 0, 4, 10);
  assert.equal(page.text('search-phase'), 'Asked network device 4 of 10.');
  assert.equal(page.byId('search-progress').value, 55);
  page.window.notifyNetworkPrinterByCpp('10.203.7.10', 'Brother', 'HL-L2350DW');
  const rows = page.byId('search-results').querySelectorAll('tr');
  assert.equal(rows.length, 3);
  assert.match(page.text('search-results'), /HP LaserJet 1020/);
  assert.equal(page.byId('search-results').querySelectorAll('[data-action="install-driver"]').length, 1,
               'only the network printer of a known maker offers a download; the installed one does not');
  assert.match(page.text('search-results'), /USB device without a driver|Missing/);
  assert.match(page.text('search-results'), /Network, 10\.203\.7\.10/);
  page.window.notifyScanFinishiByCpp(0, 'ok');
  assert.match(page.text('search-notice'), /Search finished: 3 printers found/);
  assert.equal(page.byId('search-start').disabled, false);
});

test('stopping a search and a busy search are explained', () => {
  const page = open({ startScan: () => 1 });
  page.tab('search');
  page.byId('search-start').click();
  assert.match(page.text('search-notice'), /already running/);
  page.byId('search-stop').click();
  assert.equal(page.named('interrupt').length, 1);
  assert.match(page.text('search-notice'), /Stopping/);
  page.window.notifyScanFinishiByCpp(1, 'ok');
  assert.match(page.text('search-notice'), /Search stopped/);
});

test('"Download driver" on a found printer starts a download', () => {
  const page = open();
  page.window.notifyNetworkPrinterByCpp('10.203.7.11', 'HP', 'LaserJet Pro');
  page.button('search-results', 'install-driver').click();
  const down = page.named('Down')[0].args;
  assert.equal(down.length, 5);
  assert.match(down[0], /^https:\/\//);
  assert.equal(down[3], 'hplip');
  assert.equal(down[4], 3);
  assert.equal(page.byId('tab-downloads').getAttribute('aria-selected'), 'true');
});

test('a download shows progress, can be cancelled, and reports its end', () => {
  const page = open();
  page.tab('downloads');
  page.byId('download-url').value = 'https://drivers.example/pkg/setup.run';
  page.byId('download-start').click();
  const [url, progressName, finishName, fallback, type] = page.named('Down')[0].args;
  assert.equal(url, 'https://drivers.example/pkg/setup.run');
  assert.equal(fallback, 'drivers-driver');
  assert.equal(type, 3);
  assert.equal(page.window[progressName](1024, -1), true);
  assert.match(page.text('download-list'), /1\.0 KB received \(size not known yet\)/);
  assert.equal(page.window[progressName](2048, 4096), true);
  assert.match(page.text('download-list'), /2\.0 KB of 4\.0 KB/);
  page.byId('download-list').querySelector('[data-action="cancel"]').click();
  assert.equal(page.window[progressName](3000, -1), false, 'the next answer after Cancel stops the transfer');
  page.window[finishName](1, '', '用户取消了下载');
  page.advance();
  assert.match(page.text('download-list'), /Download cancelled/);
  assert.equal(page.window[progressName], undefined, 'the page functions of an ended transfer are removed');

  page.byId('download-url').value = 'https://drivers.example/pkg/setup.run';
  page.byId('download-start').click();
  const second = page.named('Down')[1].args;
  assert.notEqual(second[1], progressName, 'every transfer has its own page functions');
  page.window[second[2]](0, '/home/user/Downloads/驱动/setup.run', '');
  assert.match(page.text('download-list'), /Saved as “setup\.run” in \/home\/user\/Downloads\/驱动/);
  page.byId('download-list').querySelector('[data-action="install"]').click();
  page.advance();
  assert.deepEqual(page.named('installDriverPackage')[0].args, ['setup.run', '/home/user/Downloads/驱动/setup.run']);
  assert.match(page.text('download-list'), /installer is running/);
  // The end of an installer is seen as a new printer.
  page.window.enumPrinterCbkByCpp(JSON.stringify([{ printerName: 'Fresh Printer' }]));
  assert.match(page.text('download-list'), /New printer found: Fresh Printer/);
});

test('download failures and bad addresses say what to do', () => {
  const page = open({ Down: () => 2 });
  page.tab('downloads');
  page.byId('download-url').value = 'file:///etc/passwd';
  page.byId('download-start').click();
  assert.equal(page.named('Down').length, 0);
  assert.match(page.text('download-notice'), /http:\/\/ or https:\/\//);
  page.byId('download-url').value = 'https://x.example/a.run';
  page.byId('download-start').click();
  assert.match(page.text('download-notice'), /could not be created in the download folder/);
  assert.match(page.text('download-notice'), /Choose another download folder/);
});

test('the download folder is shown and changed through selectDir', () => {
  const page = open();
  page.tab('downloads');
  assert.equal(page.text('download-folder-path'), '/home/user/Downloads/驱动');
  page.byId('download-folder-change').click();
  assert.deepEqual(page.named('downDir').pop().args, []);
  assert.equal(page.program.state.folder, '/home/user/Drivers');
  assert.equal(page.text('download-folder-path'), '/home/user/Drivers');
  assert.equal(page.text('settings-folder-path'), '/home/user/Drivers');
  page.program.natives.selectDir = () => '';
  page.byId('download-folder-change').click();
  assert.match(page.text('download-folder-notice'), /No folder was chosen/);
  page.byId('download-folder-open').click();
  assert.deepEqual(page.named('eMsg').pop().args, ['saveFolder']);
});

test('diagnosis runs every check and offers the matching repair', () => {
  const answers = { checkPrinterSpool: () => 1, checkFirewall: (s) => s !== 0, checkOcrFont: () => false,
                    checkPrinterSharing: () => false, checkPrinterQueue: (name) => (name === 'Hall Inkjet' ? 6 : 0) };
  const page = open(answers);
  page.deliverPrinters();
  page.tab('repair');
  page.byId('repair-run').click();
  page.advance();
  const order = page.calls.filter((c) => c.name.startsWith('check') && c.name !== 'checkStartupList' && c.name !== 'checkMMCExists')
    .map((c) => c.name + '(' + c.args.join(',') + ')');
  assert.deepEqual(order, ['checkPrinterSpool()', 'checkFirewall(0)', 'checkFirewall(1)', 'checkOcrFont()',
                           'checkPrinterSharing(Office Laser)', 'checkPrinterQueue(Office Laser)',
                           'checkPrinterSharing(Hall Inkjet)', 'checkPrinterQueue(Hall Inkjet)']);
  const results = page.text('repair-results');
  assert.match(results, /The print service is stopped/);
  assert.match(results, /blocks finding printers/);
  assert.match(results, /OCR A Extended” font is missing/);
  assert.match(results, /“Hall Inkjet” has documents in its queue\. \(in error, waiting\)/);
  assert.match(page.text('repair-notice'), /problems? found/);
  const buttons = page.byId('repair-results').querySelectorAll('button').map((b) => b.getAttribute('data-repair'));
  assert.deepEqual(buttons, ['restartPrinterSpool', 'enableFirewall', 'installOcrFont', 'enablePrinterSharing',
                             'enablePrinterSharing', 'cleanPrinterQueueOf']);

  // The repair is judged by checking again, not by its answer alone.
  page.program.natives.checkPrinterSpool = () => 4;
  page.byId('repair-results').querySelector('[data-repair="restartPrinterSpool"]').click();
  page.advance();
  assert.equal(page.named('restartPrinterSpool').length, 1);
  assert.match(page.text('repair-notice'), /checked again and it is fine now/);
  assert.match(page.text('repair-results'), /The print service is running/);

  page.program.natives.enablePrinterSharing = () => 5;
  page.byId('repair-results').querySelector('[data-repair="enablePrinterSharing"]').click();
  page.advance();
  assert.deepEqual(page.named('enablePrinterSharing')[0].args, ['Office Laser', true]);
  assert.match(page.text('repair-notice'), /did not succeed.*Access is denied/);
  assert.doesNotMatch(page.text('repair-notice'), /restart the computer/);
});

// Jobs as the program counts them: "Hall Inkjet" 2, "Office Laser" 1.
function withJobs(counts, overrides) {
  const jobs = Object.assign({}, counts);
  return Object.assign({
    checkPrinterQueue: (name) => (jobs[name] ? 4 : 0),
    getPrinterInfo: (name) => ({ code: 0, info: { dwChanged: 0, dwNotifyField: [], printerName: name, printerServer: '',
                                                  newPrinterName: '', dwAttribute: 0x40, dwPrinterStatus: 0, dwJobStatus: 0,
                                                  dwCjobs: jobs[name] || 0 } }),
    cleanPrinterQueueOf: (name) => { jobs[name] = 0; return 0; },
    resetSpool_firewall_queue: () => 0,
    jobs
  }, overrides || {});
}

test('emptying one printer\'s queue asks first and cancels only that printer\'s documents', () => {
  const answers = withJobs({ 'Hall Inkjet': 2, 'Office Laser': 1 });
  const page = open(answers);
  page.deliverPrinters();
  page.tab('repair');
  page.byId('repair-run').click();
  page.advance();
  const row = () => page.byId('repair-results').querySelector('li[data-check="queue:Hall Inkjet"]');
  assert.match(row().textContent, /“Hall Inkjet” has documents in its queue/);
  const button = row().querySelector('button');
  assert.equal(button.getAttribute('data-repair'), 'cleanPrinterQueueOf');
  assert.equal(button.textContent, 'Empty this printer\'s queue');

  // Saying no keeps the documents.
  button.click();
  assert.equal(page.text('dialog-title'), 'Empty the queue of “Hall Inkjet”?');
  assert.equal(page.text('dialog-text'), '2 documents on “Hall Inkjet” will be cancelled and lost.');
  assert.equal(page.byId('dialog-ok').className, 'danger');
  page.byId('dialog-cancel').click();
  page.advance();
  assert.equal(page.named('cleanPrinterQueueOf').length, 0);
  assert.equal(page.named('cleanPrinterQueue').length, 0);
  assert.match(page.text('repair-notice'), /Nothing was changed/);

  row().querySelector('button').click();
  page.byId('dialog-ok').click();
  page.advance();
  assert.deepEqual(page.named('cleanPrinterQueueOf').map((c) => c.args), [['Hall Inkjet']]);
  assert.equal(page.named('cleanPrinterQueue').length, 0, 'the queues of every printer are never emptied for one');
  assert.equal(answers.jobs['Office Laser'], 1);
  assert.match(page.text('repair-notice'), /documents on “Hall Inkjet” were cancelled; the other printers' queues were left/);
  assert.match(row().textContent, /no documents stuck/);
  assert.match(page.byId('repair-results').querySelector('li[data-check="queue:Office Laser"]').textContent,
               /has documents in its queue/);
});

test('a printer that went away and a refused cancel are said plainly', () => {
  const page = open(withJobs({ 'Hall Inkjet': 1 }, { cleanPrinterQueueOf: () => 1801 }));
  page.deliverPrinters();
  page.tab('repair');
  page.byId('repair-run').click();
  page.advance();
  page.byId('repair-results').querySelector('[data-repair="cleanPrinterQueueOf"]').click();
  assert.equal(page.text('dialog-text'), '1 document on “Hall Inkjet” will be cancelled and lost.');
  page.byId('dialog-ok').click();
  page.advance();
  assert.match(page.text('repair-notice'), /no longer exists/);
  page.program.natives.cleanPrinterQueueOf = () => 1223;
  page.byId('repair-results').querySelector('[data-repair="cleanPrinterQueueOf"]').click();
  page.byId('dialog-ok').click();
  page.advance();
  assert.match(page.text('repair-notice'), /password request was closed/);
});

test('"Repair everything" stands apart, asks with the count of documents and waits for the program', () => {
  const answers = withJobs({ 'Hall Inkjet': 2, 'Office Laser': 1 }, { checkOcrFont: () => false });
  answers.resetSpool_firewall_queue = () => { answers.jobs['Hall Inkjet'] = 0; answers.jobs['Office Laser'] = 0; return 0; };
  const page = open(answers);
  page.deliverPrinters();
  page.tab('repair');
  const all = page.byId('repair-all');
  assert.equal(all.className, 'danger');
  assert.equal(all.parentNode.getAttribute('id'), 'repair-all-zone');
  assert.notEqual(page.byId('repair-run').parentNode, all.parentNode, 'not beside "Run all checks"');
  assert.match(page.text('repair-all-text'), /cancels every document waiting on every printer\. It does not install the font/);

  all.click();
  assert.equal(page.text('dialog-title'), 'Repair everything?');
  assert.equal(page.text('dialog-text'), '3 documents on 2 printers will be cancelled and lost.');
  page.byId('dialog-cancel').click();
  page.advance();
  assert.equal(page.named('resetSpool_firewall_queue').length, 0);
  assert.equal(answers.jobs['Hall Inkjet'], 2);
  assert.match(page.text('repair-notice'), /Nothing was changed/);

  all.click();
  page.byId('dialog-ok').click();
  assert.equal(page.named('resetSpool_firewall_queue').length, 1);
  assert.match(page.text('repair-notice'), /This can take a minute/);
  assert.equal(page.byId('repair-run').disabled, true);
  page.window.notifyFinishResetAllByCpp();
  page.advance();
  assert.ok(page.named('checkPrinterSpool').length >= 1);
  const notice = page.text('repair-notice');
  assert.match(notice, /Repair everything has finished: the print service runs/);
  assert.match(notice, /3 waiting documents were cancelled/);
  assert.match(notice, /1 other problem is not part of Repair everything/);
  assert.doesNotMatch(notice, /restart the computer/);
  assert.equal(page.byId('repair-run').disabled, false);
});

test('"Repair everything" without a list of printers warns that every document goes', () => {
  const page = open();
  page.tab('repair');
  page.byId('repair-all').click();
  assert.match(page.text('dialog-text'), /not known how many documents are waiting: every document on every printer/);
  page.byId('dialog-cancel').click();
  assert.equal(page.named('resetSpool_firewall_queue').length, 0);
});

test('the checks can be stopped part way', () => {
  const page = open();
  page.deliverPrinters();
  page.tab('repair');
  page.byId('repair-run').click();
  page.advance(35);
  page.byId('repair-cancel').click();
  page.advance();
  assert.ok(page.named('checkPrinterQueue').length === 0, 'no check runs after Stop');
  assert.match(page.text('repair-notice'), /Checks stopped/);
});

test('the hardware summary arrives as a table and copies as text', async () => {
  const page = open();
  page.tab('hardware');
  assert.deepEqual(page.named('eMsg').pop().args, ['scan']);
  assert.match(page.text('hardware-notice'), /Reading/);
  page.window.scanCbkByCpp(JSON.stringify({ audioCard: 'HDA Intel', baseboard: 'ACME B450', bit: 64, cpu: 'Ryzen 5',
    diskDrive: 'SSD 512', host: 'desk', monitor: 'unknown', networkAdapter: 'eth', physicalMemory: '8GB(M 2400MHz)',
    system: 'Debian GNU/Linux 12', videoController: 'Radeon' }, null, 4));
  assert.equal(page.byId('hardware-table').hidden, false);
  const table = page.text('hardware-table');
  assert.match(table, /Computer name\s*desk/);
  assert.match(table, /Architecture\s*64-bit/);
  assert.match(table, /Monitor\s*unknown/);
  let copied = null;
  page.window.navigator.clipboard = { writeText: (t) => { copied = t; return Promise.resolve(); } };
  page.byId('hardware-copy').click();
  await new Promise((r) => setImmediate(r));
  assert.match(copied, /^Computer name: desk\nOperating system: Debian GNU\/Linux 12\nArchitecture: 64-bit/);
  assert.match(page.text('hardware-notice'), /copied/);
  assert.match(page.text('devices-list'), /Acme Laser 9000\s*USB\\VID_1234&PID_5678/);
});

test('start with the session uses the program path under the name Korvane', () => {
  const page = open();
  page.tab('settings');
  const box = page.byId('startup-toggle');
  assert.equal(box.checked, false);
  box.checked = true;
  box.dispatchEvent(makeEvent('change', true));
  assert.deepEqual(page.named('addToStartupList')[0].args, ['Korvane', '/opt/korvane/lib/korvane/korvane']);
  assert.equal(box.checked, true);
  assert.match(page.text('startup-notice'), /will start when you sign in/);
  box.checked = false;
  box.dispatchEvent(makeEvent('change', true));
  assert.deepEqual(page.named('deleteFromStartupList')[0].args, ['Korvane']);
  assert.equal(box.checked, false);
  page.program.natives.addToStartupList = () => 5;
  box.checked = true;
  box.dispatchEvent(makeEvent('change', true));
  assert.equal(box.checked, false, 'the box shows the real state after a failure');
  assert.match(page.text('startup-notice'), /Access is denied/);
});

test('help links follow notifySettingByCpp and the answer is true', () => {
  const page = open();
  assert.equal(page.window.notifySettingByCpp('printer', true, false, true), true);
  assert.ok(page.byId('help-contact'));
  assert.equal(page.byId('help-manual'), null);
  page.byId('help-contact').click();
  assert.deepEqual(page.named('eMsg').pop().args, ['service']);
  assert.equal(page.byId('faq').hidden, true);
  page.byId('help-faq').click();
  assert.equal(page.byId('faq').hidden, false);
});

test('the language follows the browser and the switch in Settings', () => {
  const page = open({}, { language: 'zh-CN' });
  assert.equal(page.text('tab-printers'), '打印机');
  page.deliverPrinters();
  assert.match(page.text('printers-list'), /缺纸、脱机/);
  const select = page.byId('language');
  select.querySelectorAll('option')[1].selected = true;
  select.querySelectorAll('option')[0].selected = false;
  select.dispatchEvent(makeEvent('change', true));
  assert.equal(page.text('tab-printers'), 'Printers');
  assert.match(page.text('printers-list'), /Out of paper, Offline/);
  assert.equal(page.storage['korvane.language'], 'en');
});

test('the navigation works from the keyboard', () => {
  const page = open();
  page.tab('printers');
  page.byId('tab-printers').dispatchEvent(makeEvent('keydown', true, { key: 'ArrowDown' }));
  assert.equal(page.byId('tab-search').getAttribute('aria-selected'), 'true');
  assert.equal(page.document.activeElement, page.byId('tab-search'));
  assert.equal(page.byId('panel-search').hidden, false);
  assert.equal(page.byId('panel-printers').hidden, true);
  page.byId('tab-search').dispatchEvent(makeEvent('keydown', true, { key: 'End' }));
  assert.equal(page.byId('tab-log').getAttribute('aria-selected'), 'true');
  page.byId('tab-log').dispatchEvent(makeEvent('keydown', true, { key: 'Home' }));
  assert.equal(page.byId('tab-printers').getAttribute('aria-selected'), 'true');
});

test('every control has a name a screen reader can read', () => {
  const page = open();
  page.deliverPrinters();
  const unnamed = page.document.documentElement.querySelectorAll('button, select, input, textarea, progress').filter((n) => {
    if (n.getAttribute('aria-label') || n.getAttribute('aria-labelledby') || n.textContent.trim()) return false;
    return !(n.id && page.document.documentElement.querySelectorAll('label').some((l) => l.getAttribute('for') === n.id));
  }).map((n) => n.tagName + '#' + n.id);
  assert.deepEqual(unnamed, []);
});
