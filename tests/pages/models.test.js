// The page logic that is not DOM: status words, progress phases, outcomes.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const common = require('../../html/js/model/common.js');
const printers = require('../../html/js/model/printers.js');
const search = require('../../html/js/model/search.js');
const repair = require('../../html/js/model/repair.js');
const downloads = require('../../html/js/model/downloads.js');
const hardware = require('../../html/js/model/hardware.js');
const settings = require('../../html/js/model/settings.js');
const monitor = require('../../html/js/model/installmonitor.js');

test('printer status words', async (t) => {
  const cases = [
    [0, 'ok', ['status.ready']],
    [0x1, 'warn', ['status.paused']],
    [0x2, 'error', ['status.error']],
    [0x10 | 0x80, 'error', ['status.paperOut', 'status.offline']],
    [0x20000, 'warn', ['status.tonerLow']],
    [0x400, 'busy', ['status.printing']],
    [0x400 | 0x20000, 'warn', ['status.tonerLow', 'status.printing']],
    [0x400000, 'error', ['status.doorOpen']],
    [0x800000, 'error', ['status.serverUnknown']],
    // A status word sent as a signed number still decodes.
    [-2147483648, 'warn', ['status.other']],
    [0x40000000, 'warn', ['status.other']]
  ];
  for (const [status, level, keys] of cases) {
    await t.test(common.hex(status), () => {
      const d = printers.decodeStatus(status);
      assert.equal(d.level, level);
      assert.deepEqual(d.items.map((i) => i.key), keys);
    });
  }
  await t.test('every error state tells the user what to do', () => {
    printers.STATUS_BITS.filter((b) => b.level === 'error').forEach((b) => assert.ok(b.advice, b.key));
  });
});

test('printer attribute words', () => {
  assert.deepEqual(printers.decodeAttributes(0x4 | 0x8 | 0x40), ['attr.default', 'attr.shared', 'attr.local']);
  assert.deepEqual(printers.decodeAttributes(0x10 | 0x1000 | 0x2000), ['attr.network', 'attr.rawOnly', 'attr.published']);
  assert.deepEqual(printers.decodeAttributes(0), []);
});

test('printer list parsing keeps good records and survives junk', () => {
  assert.equal(printers.parsePrinterList('not json'), null);
  assert.equal(printers.parsePrinterList('{}'), null);
  assert.deepEqual(printers.parsePrinterList('[]'), []);
  const list = printers.parsePrinterList(JSON.stringify([
    { printerName: 'B', isDefault: false, attributes: 8, status: 0, cjobs: 1 },
    { printerName: '' }, null, 7,
    { printerName: 'A', isDefault: true, serverName: 'srv', resolutions: [300, 300, 'x'], cjobs: -3 }
  ]));
  assert.deepEqual(list.map((p) => p.printerName), ['B', 'A']);
  assert.equal(list[0].isShare, true, 'shared bit read when isShare is absent');
  assert.deepEqual(list[1].resolutions, [300, 300]);
  assert.equal(list[1].cjobs, 0);
  assert.deepEqual(printers.sortPrinters(list).map((p) => p.printerName), ['A', 'B'], 'the default comes first');
});

test('merging the two enumerations keeps one record per queue', () => {
  const local = printers.parsePrinterList(JSON.stringify([{ printerName: 'P', status: 0 }, { printerName: 'Q' }]));
  const remote = printers.parsePrinterList(JSON.stringify([{ printerName: 'P', serverName: 'host' }, { printerName: 'Q', status: 1 }]));
  const merged = printers.mergePrinters(local, remote);
  assert.equal(merged.length, 3);
  assert.equal(merged.find((p) => p.printerName === 'Q').status, 1);
});

test('printer change events', async (t) => {
  const base = printers.parsePrinterList(JSON.stringify([
    { printerName: 'A', isDefault: true, attributes: 0x44, status: 0, cjobs: 0 },
    { printerName: 'B', attributes: 0x40, status: 0, cjobs: 0 }
  ]));
  const change = (o) => Object.assign({ dwChanged: 0, dwNotifyField: [], printerName: '', printerServer: '', newPrinterName: '',
                                        dwAttribute: 0, dwPrinterStatus: 0, dwJobStatus: 0, dwCjobs: 0 }, o);
  await t.test('deleted', () => {
    const r = printers.applyPrinterChange(base, change({ dwChanged: 4, printerName: 'B' }));
    assert.deepEqual(r.list.map((p) => p.printerName), ['A']);
    assert.equal(r.removed, 'B');
    assert.equal(r.refresh, false);
  });
  await t.test('added asks for the full list', () => {
    const r = printers.applyPrinterChange(base, change({ dwChanged: 1, printerName: 'C' }));
    assert.equal(r.added, 'C');
    assert.equal(r.refresh, true);
    assert.ok(r.list.some((p) => p.printerName === 'C'));
  });
  await t.test('status and jobs', () => {
    const r = printers.applyPrinterChange(base, change({ dwChanged: 2, printerName: 'B', dwNotifyField: [0x12, 0x14],
                                                          dwPrinterStatus: 0x10, dwCjobs: 3 }));
    const b = r.list.find((p) => p.printerName === 'B');
    assert.equal(b.status, 0x10);
    assert.equal(b.cjobs, 3);
    assert.equal(r.refresh, false);
    assert.equal(base[1].status, 0, 'the old list is not changed');
  });
  await t.test('a new default clears the old one', () => {
    const r = printers.applyPrinterChange(base, change({ dwChanged: 2, printerName: 'B', dwNotifyField: [0x0D], dwAttribute: 0x4c }));
    assert.deepEqual(r.list.filter((p) => p.isDefault).map((p) => p.printerName), ['B']);
    assert.equal(r.list.find((p) => p.printerName === 'B').isShare, true);
  });
  await t.test('rename', () => {
    const r = printers.applyPrinterChange(base, change({ dwChanged: 2, printerName: 'B', dwNotifyField: [1], newPrinterName: 'B2' }));
    assert.deepEqual(r.renamed, { from: 'B', to: 'B2' });
    assert.ok(r.list.some((p) => p.printerName === 'B2'));
  });
  await t.test('supplies only: the list stays as it was and is not read again', () => {
    const r = printers.applyPrinterChange(base, change({ dwChanged: 2, printerName: 'A', dwNotifyField: [0x100],
                                                          dwAttribute: 0x44 }));
    assert.deepEqual(r.list, base);
    assert.equal(r.refresh, false);
    assert.equal(r.updated, 'A');
  });
  await t.test('unknown printer or no fields: refresh', () => {
    assert.equal(printers.applyPrinterChange(base, change({ dwChanged: 2, printerName: 'Z', dwNotifyField: [0x12] })).refresh, true);
    assert.equal(printers.applyPrinterChange(base, change({ dwChanged: 2, printerName: 'A' })).refresh, true);
  });
  await t.test('junk is ignored', () => {
    assert.equal(printers.applyPrinterChange(base, null).list.length, 2);
    assert.equal(printers.applyPrinterChange(base, 'x').list.length, 2);
  });
});

test('capabilities in words', () => {
  assert.deepEqual(printers.formatResolutions([600, 600, 1200, 600, 600, 600, 300]), ['600 dpi', '1200×600 dpi', '300 dpi']);
  assert.deepEqual(printers.qualityKey(-1), { key: 'quality.draft', args: [] });
  assert.deepEqual(printers.qualityKey(600), { key: 'quality.dpi', args: [600] });
  assert.equal(printers.qualityKey(0), null);
  const caps = printers.capabilities(printers.normalise({ printerName: 'x', printPagePerMinute: -1, averagePPM: 0 }));
  assert.equal(caps.ppm, null, 'an unknown speed is not shown as -1');
});

test('printer operation outcomes', () => {
  assert.deepEqual(printers.operationOutcome('printTestPage', 0), { ok: true, key: 'op.testPage.ok', code: 0 });
  assert.deepEqual(printers.operationOutcome('deletePrinter', 5), { ok: false, key: 'op.failed', code: 5 });
  assert.equal(printers.operationOutcome('setDefaultPrinter', false).key, 'op.default.fail');
  assert.equal(printers.operationOutcome('printTestPage', undefined).key, 'common.unavailable');
  assert.equal(printers.operationOutcome('addPrinter', undefined).ok, true);
});

test('error codes carry the system text and advice', () => {
  assert.deepEqual(common.describeError(5, ' Access is\r\n denied. '),
                   { key: 'error.withText', args: ['Access is denied.', 5], advice: 'advice.accessDenied' });
  assert.deepEqual(common.describeError(1722, undefined), { key: 'error.noText', args: [1722], advice: 'advice.spoolerDown' });
  assert.equal(common.adviceFor(0x20000001), 'advice.badCall');
  assert.equal(common.adviceFor(12345), 'advice.retry');
});

test('search start answers and progress phases', async (t) => {
  assert.equal(search.startOutcome(0).key, 'search.started');
  assert.equal(search.startOutcome(1).key, 'search.busy');
  assert.equal(search.startOutcome(2).key, 'search.connectFailed');
  assert.equal(search.startOutcome(undefined).key, 'common.unavailable');
  const cases = [
    [[1, 100, 3, 0, 0], 'phase.usbStarted', [], 1],
    [[3, 100, 4, 0, 0], 'phase.usbStep', [], 3],
    [[5, 100, 1, 0, 0], 'phase.networkStarted', [], 5],
    [[15, 100, 2, 0, 0], 'phase.sweepDone', [], 15],
    [[55, 100, 0, 4, 10], 'phase.hostQueried', [4, 10], 55],
    [[55, 100, 0, 0, 0], 'phase.working', [], 55],
    [[200, 100, 9, 0, 0], 'phase.working', [], 100],
    [[3, 5, 4, 0, 0], 'phase.usbStep', [], 60],
    [[3, 0, 4, 0, 0], 'phase.usbStep', [], 0]
  ];
  for (const [args, key, phaseArgs, pct] of cases) {
    await t.test(args.join(','), () => {
      const p = search.progressPhase(...args);
      assert.equal(p.key, key);
      assert.deepEqual(p.args, phaseArgs);
      assert.equal(p.percent, pct);
    });
  }
  assert.deepEqual(search.finishOutcome(1, 2), { key: 'search.stopped', args: [2] });
  assert.deepEqual(search.finishOutcome(0, 0), { key: 'search.finishedNone', args: [] });
});

test('USB and network reports become one list', () => {
  const rec = search.parseUsbRecord(JSON.stringify({ compatibleids: [], deviceDesc: 'HP LaserJet', friendlyName: '',
    hardwareids: ['USB\\VID_03F0&PID_1853&REV_0100', 'USB\\VID_03F0&PID_1853'], mfg: 'HP', searchMethod: 0 }));
  assert.equal(rec.name, 'HP LaserJet');
  assert.equal(rec.vidPid, '03F0:1853');
  assert.equal(rec.hasDriver, true);
  assert.equal(search.parseUsbRecord('{'), null);
  assert.equal(search.parseUsbRecord('[]'), null);
  const noDriver = search.parseUsbRecord(JSON.stringify({ hardwareids: ['USB\\VID_1111&PID_2222'], searchMethod: 3 }));
  assert.equal(noDriver.hasDriver, false);
  assert.equal(search.methodKey(noDriver), 'found.usbNoDriver');

  const dev = search.parseUsbDevice([
    { Name: 'LaserJet', Manu: '', Service: '', Class: 'USB', Enumerator: 'USB', Instanceid: 'USB\\VID_03F0&PID_1853\\X', ParentInstanceid: '', Hardwareid: 'USB\\VID_03F0&PID_1853&REV_0100' },
    { Name: 'Printer interface', Manu: 'HP', Service: 'usbprint', Class: 'Printer', Enumerator: 'USB', Instanceid: 'USB\\VID_03F0&PID_1853&MI_00\\Y', ParentInstanceid: 'USB\\VID_03F0&PID_1853\\X', Hardwareid: '' }
  ]);
  assert.equal(dev.maker, 'HP');
  assert.equal(dev.isPrinter, true);
  assert.equal(dev.hasDriver, true);
  assert.equal(search.parseUsbDevice([]), null);
  const serial = search.parseUsbDevice([{ Name: 'Dual Serial Adapter', Manu: 'Acme', Service: 'ftdi_sio', Class: 'usb',
                                          Hardwareid: 'USB\\VID_0403&PID_6010&REV_0700', Instanceid: 'USB\\VID_0403&PID_6010\\A1' }]);
  assert.equal(search.addFound([], serial).added, false, 'a device with its own non-printer driver is not a printer');
  const driverless = search.parseUsbDevice([{ Name: 'Unknown', Manu: '', Service: '', Class: 'usb',
                                              Hardwareid: 'USB\\VID_1234&PID_5678', Instanceid: 'USB\\VID_1234&PID_5678\\B2' }]);
  assert.equal(search.addFound([], driverless).added, true, 'a driverless device may be a printer');
  assert.equal(search.parseUsbDevice('x'), null);

  let list = search.addFound([], rec).list;
  const again = search.addFound(list, dev);
  assert.equal(again.added, false, 'the same device from both USB reports is listed once');
  assert.equal(again.list.length, 1);
  assert.equal(again.list[0].name, 'HP LaserJet');
  list = search.addFound(again.list, search.parseNetworkPrinter('10.203.7.10', 'Brother', 'HL-L2350DW')).list;
  list = search.addFound(list, search.parseNetworkPrinter('10.203.7.10', 'Brother', 'HL-L2350DW')).list;
  assert.equal(list.length, 2);
  assert.equal(list[1].name, 'Brother HL-L2350DW');
  assert.equal(search.parseNetworkPrinter('', 'x', 'y'), null);
  assert.equal(search.parseNetworkPrinter('10.0.0.1', 'HP', 'HP LaserJet 400').name, 'HP LaserJet 400');
});

test('network printer details: the fourth argument of notifyNetworkPrinterByCpp', () => {
  const details = JSON.stringify({ uri: 'ipp://10.203.7.40:8631/ipp/print', port: 8631, driverless: true,
    uuid: '7002657c-4ed8-3731-686b-cb38fea40f0a', dnssdName: 'Office\u0001Jet', makeAndModel: 'Brother MFC',
    source: ['dnssd', 'ipp', 'evil'] });
  const p = search.parseNetworkPrinter('10.203.7.40', 'Brother', 'MFC-L3770CDW series', details);
  assert.equal(p.key, 'net:10.203.7.40:8631');
  assert.equal(p.driverless, true);
  assert.equal(p.uri, 'ipp://10.203.7.40:8631/ipp/print');
  assert.equal(p.uuid, '7002657c-4ed8-3731-686b-cb38fea40f0a');
  assert.equal(p.dnssdName, 'Office Jet');
  assert.deepEqual(p.sources, ['dnssd', 'ipp']);
  assert.equal(search.methodKey(p), 'found.networkDnssd');
  // Three arguments, as older reports: as before.
  const old = search.parseNetworkPrinter('10.203.7.20', 'HP', 'LaserJet');
  assert.equal(old.key, 'net:10.203.7.20');
  assert.equal(old.driverless, false);
  assert.equal(search.methodKey(old), 'found.network');
  // Port 631 keeps the plain key; hostile or broken details are ignored.
  assert.equal(search.parseNetworkPrinter('10.0.0.1', '', '', '{"port":631}').key, 'net:10.0.0.1');
  for (const bad of ['{', '[]', 'null', '{"uri":"javascript:alert(1)","driverless":"yes","port":99999,"uuid":"x"}', 'x'.repeat(20000)]) {
    const q = search.parseNetworkPrinter('10.0.0.2', 'A', 'B', bad);
    assert.equal(q.uri, '', bad.slice(0, 20));
    assert.equal(q.driverless, false);
    assert.equal(q.key, 'net:10.0.0.2');
    assert.equal(q.uuid, '');
  }
  // No maker and model: the make and model, then the DNS-SD name, then the address.
  assert.equal(search.parseNetworkPrinter('10.0.0.3', '', '', '{"dnssdName":"Hall"}').name, 'Hall');
});

test('driver packages by maker', () => {
  assert.ok(search.driverPackageFor('Hewlett-Packard', '').url.startsWith('https://'));
  assert.ok(search.driverPackageFor('', 'HP LaserJet 400'));
  assert.ok(search.driverPackageFor('BROTHER', ''));
  assert.equal(search.driverPackageFor('Acme', 'Acme 1'), null);
  assert.equal(search.driverPackageFor('Hpx', ''), null);
  search.DRIVER_PACKAGES.forEach((p) => assert.equal(downloads.validateUrl(p.url).ok, true, p.url));
});

test('diagnosis plan and sentences', async (t) => {
  const plan = repair.checkPlan([{ printerName: 'L', isLocal: true }, { printerName: 'R', isLocal: false }, { printerName: '' }]);
  assert.deepEqual(plan.map((c) => c.id), ['spooler', 'firewall-discovery', 'firewall-sharing', 'font', 'sharing:L', 'queue:L', 'queue:R']);
  assert.deepEqual(plan[1].args, [0]);
  assert.deepEqual(plan[2].args, [1]);
  const byId = (id) => plan.find((c) => c.id === id);
  const cases = [
    ['spooler', 4, 'ok', 'check.spooler.running', null],
    ['spooler', 1, 'error', 'check.spooler.stopped', 'restartPrinterSpool'],
    ['spooler', 2, 'info', 'check.spooler.starting', null],
    ['spooler', 3, 'warn', 'check.spooler.stopping', 'restartPrinterSpool'],
    ['spooler', -1, 'error', 'check.spooler.unknown', 'restartPrinterSpool'],
    ['spooler', undefined, 'unknown', 'common.unavailable', null],
    ['firewall-discovery', false, 'warn', 'check.firewall.discovery.closed', 'enableFirewall'],
    ['firewall-sharing', true, 'ok', 'check.firewall.sharing.open', null],
    ['font', false, 'warn', 'check.font.missing', 'installOcrFont'],
    ['sharing:L', false, 'info', 'check.sharing.off', 'enablePrinterSharing'],
    ['queue:L', 0, 'ok', 'check.queue.empty', null],
    ['queue:L', 6, 'error', 'check.queue.jobs', 'cleanPrinterQueueOf'],
    ['queue:R', 4, 'warn', 'check.queue.jobs', 'cleanPrinterQueueOf']
  ];
  for (const [id, answer, level, key, fix] of cases) {
    await t.test(id + ' ' + String(answer), () => {
      const r = repair.interpret(byId(id), answer);
      assert.equal(r.level, level);
      assert.equal(r.key, key);
      assert.equal(r.repair, fix);
    });
  }
  assert.deepEqual(repair.queueWords(6), ['job.error', 'job.waiting']);
  assert.deepEqual(repair.recheckFor('cleanPrinterQueue', plan).map((c) => c.id), ['queue:L', 'queue:R']);
  assert.deepEqual(repair.recheckFor('enablePrinterSharing', plan, 'L').map((c) => c.id), ['sharing:L']);
  assert.deepEqual(repair.recheckFor('cleanPrinterQueueOf', plan, 'R').map((c) => c.id), ['queue:R']);
  assert.deepEqual(repair.recheckFor('enableFirewall', plan).map((c) => c.id), ['firewall-discovery', 'firewall-sharing']);
});

test('repair answers', () => {
  assert.equal(repair.toolOutcome(0).ok, true);
  assert.equal(repair.toolOutcome(2).key, 'repair.toolMissing');
  assert.equal(repair.toolOutcome(126).key, 'repair.dismissed');
  assert.equal(repair.toolOutcome(127).key, 'repair.notAuthorised');
  assert.equal(repair.toolOutcome(10).key, 'repair.failed.spooler');
  assert.equal(repair.toolOutcome(99).key, 'repair.failed.code');
  assert.equal(repair.toolOutcome(undefined).key, 'common.unavailable');
  assert.deepEqual(repair.win32Outcome(5), { ok: false, key: 'op.failed', code: 5 });
  // The program turns pkexec's own answers into Win32 codes.
  assert.equal(repair.toolOutcome(1223).key, 'repair.dismissed');
  assert.equal(repair.toolOutcome(5).key, 'repair.notAuthorised');
  assert.equal(repair.toolOutcome(13).key, 'repair.failed.notOurs');
  assert.deepEqual(repair.queueOutcome(0), { ok: true, key: 'repair.done', code: 0 });
  assert.equal(repair.queueOutcome(1801).key, 'repair.queueGone');
  assert.equal(repair.queueOutcome(12).key, 'repair.failed.queues');
  assert.equal(repair.queueOutcome(1223).key, 'repair.dismissed');
  assert.deepEqual(repair.queueOutcome(1722), { ok: false, key: 'op.failed', code: 1722 });
  assert.equal(repair.queueOutcome(undefined).key, 'common.unavailable');
  assert.equal(repair.summary([]).key, 'repair.summary.none');
  assert.equal(repair.summary([{ level: 'ok' }, { level: 'info' }]).key, 'repair.summary.good');
  assert.deepEqual(repair.summary([{ level: 'ok' }, { level: 'warn' }, { level: 'error' }]),
                   { key: 'repair.summary.problems', args: [2], level: 'error' });
});

test('download addresses and names', async (t) => {
  const cases = [
    ['', 'dl.err.empty'], ['   ', 'dl.err.empty'], ['ftp://x/y', 'dl.err.scheme'], ['file:///etc/passwd', 'dl.err.scheme'],
    ['javascript:alert(1)', 'dl.err.scheme'], ['https://a b/c', 'dl.err.spaces'], ['https://x/' + 'a'.repeat(3000), 'dl.err.long'],
    ['http://', 'dl.err.scheme'], ['https://user@host/x', 'dl.err.scheme']
  ];
  for (const [url, key] of cases) {
    await t.test(JSON.stringify(url.slice(0, 30)), () => assert.equal(downloads.validateUrl(url).key, key));
  }
  assert.deepEqual(downloads.validateUrl(' https://example.com/a.run '), { ok: true, url: 'https://example.com/a.run' });
  assert.equal(downloads.validateUrl('HTTP://127.0.0.1:8080').ok, true);
  assert.equal(downloads.fallbackNameFor('https://www.example.com/', ''), 'example-driver');
  assert.equal(downloads.fallbackNameFor('https://x/', '../../evil name'), 'evil-name');
  assert.equal(downloads.nameFromUrl('https://h/dir/%2E%2E%2Fsetup.run?x=1'), '..setup.run');
  assert.equal(downloads.nameFromUrl('https://host.example/'), 'host.example');
  assert.deepEqual(downloads.displayName('/home/u/驱动/pkg.run'), { name: 'pkg.run', folder: '/home/u/驱动' });
  assert.deepEqual(downloads.displayName('C:\\Users\\u\\pkg.exe'), { name: 'pkg.exe', folder: 'C:\\Users\\u' });
  assert.equal(downloads.displayName('x'.repeat(100) + '.run').name.length, 56);
});

test('download answers and byte counts', () => {
  assert.equal(downloads.startOutcome(0).ok, true);
  assert.equal(downloads.startOutcome(2).key, 'dl.start.cannotWrite');
  assert.equal(downloads.startOutcome(3).key, 'dl.start.badCall');
  assert.equal(downloads.startOutcome(4).key, 'dl.start.noWindow');
  assert.equal(downloads.startOutcome(undefined).key, 'common.unavailable');
  assert.deepEqual(downloads.finishOutcome(0, '/d/a.run', ''),
                   { ok: true, level: 'ok', key: 'dl.done', args: ['a.run', '/d'], path: '/d/a.run' });
  assert.equal(downloads.finishOutcome(1, '', '用户取消了下载').key, 'dl.cancelled');
  assert.deepEqual(downloads.finishOutcome(2, '', '下载过程发生了错误').args, ['下载过程发生了错误']);
  assert.equal(downloads.finishOutcome(2, '', '').key, 'dl.failedBare');
  // Counts are the low 32 bits, signed: 3 GiB arrives negative, 5 GiB wraps.
  assert.equal(downloads.extendCount(0, 1000), 1000);
  assert.equal(downloads.extendCount(2147483647, -1073741824), 3221225472);
  assert.equal(downloads.extendCount(4294967000, 1000), 4294968296);
  assert.equal(downloads.extendCount(5000, 'x'), 5000);
  assert.equal(downloads.progressView(512, -1).percent, null);
  assert.equal(downloads.progressView(512, -1).key, 'dl.progress.unknownTotal');
  assert.equal(downloads.progressView(512, 1024).percent, 50);
  assert.deepEqual(downloads.callbackNames(3), { progress: 'korvaneDownloadProgress3', finish: 'korvaneDownloadFinished3' });
  assert.equal(downloads.installOutcome(0).key, 'install.started');
  assert.equal(downloads.installOutcome(1).key, 'install.shown');
  assert.equal(downloads.installOutcome(3).key, 'install.missing');
  assert.equal(downloads.installOutcome(undefined).key, 'common.unavailable');
  assert.equal(common.formatBytes(1536), '1.5 KB');
  assert.equal(common.formatBytes(5 * 1024 * 1024 * 1024), '5.0 GB');
});

test('hardware summary rows and text', () => {
  const text = JSON.stringify({ host: 'pc', bit: 64, system: '', cpu: 'unknown', baseboard: ' ', physicalMemory: '8GB(M 2400MHz)',
                                diskDrive: 'SSD', videoController: 'GPU', monitor: 'unknown', audioCard: 'HDA', extra: 'x' });
  const rows = hardware.parseSummary(text);
  assert.deepEqual(rows.map((r) => r.field), ['host', 'system', 'bit', 'cpu', 'baseboard', 'physicalMemory', 'diskDrive',
                                             'videoController', 'monitor', 'audioCard', 'extra', 'networkAdapter']);
  assert.deepEqual(rows.find((r) => r.field === 'bit').value, { key: 'hw.bits', args: [64] });
  assert.deepEqual(rows.find((r) => r.field === 'baseboard').value, { key: 'hw.unknown', args: [] });
  assert.deepEqual(rows.find((r) => r.field === 'networkAdapter').value, { key: 'hw.onlyVirtual', args: [] });
  const t = (key, ...args) => key + (args.length ? '(' + args.join(',') + ')' : '');
  const copied = hardware.summaryText(rows, t).split('\n');
  assert.equal(copied[0], 'hw.host: pc');
  assert.equal(copied[2], 'hw.bit: hw.bits(64)');
  assert.equal(copied[10], 'extra: x');
  assert.equal(hardware.parseSummary('[]'), null);
  assert.equal(hardware.parseSummary('nope'), null);
  assert.deepEqual(hardware.parseDeviceList('[{"desc":"P","hardid":"USB\\\\VID_1"}]'), [{ desc: 'P', hardid: 'USB\\VID_1' }]);
  assert.equal(hardware.parseDeviceList('{}'), null);
});

test('start with the session and help links', () => {
  assert.equal(settings.startupCommand('/opt/korvane/korvane'), '/opt/korvane/korvane');
  assert.equal(settings.startupCommand('/opt/my apps/korvane'), '"/opt/my apps/korvane"');
  assert.equal(settings.startupCommand('empty'), null);
  assert.equal(settings.startupCommand(undefined), null);
  assert.equal(settings.startupCommand('/a"b'), null);
  assert.equal(settings.startupOutcome(false, 2).ok, true, 'removing a missing entry is the wanted state');
  assert.equal(settings.startupOutcome(true, 5).key, 'op.failed');
  assert.deepEqual(settings.helpLinks(true, false, true).map((l) => l.command), ['service', null]);
});

test('install monitor status objects', () => {
  assert.deepEqual(monitor.describeUsbStatus({ code: true, 'connected ': false }),
                   { state: 'absent', connected: false, usbprint: false, queues: [] });
  assert.deepEqual(monitor.describeUsbStatus({ 'connected ': true, usbprint: true, printQueue: ['HP_LaserJet'], code: true }),
                   { state: 'ready', connected: true, usbprint: true, queues: ['HP_LaserJet'] });
  assert.equal(monitor.describeUsbStatus({ 'connected ': true, usbprint: false, printQueue: [], code: true }).state, 'noQueue');
  assert.equal(monitor.describeUsbStatus(null).state, 'invalid');
  assert.equal(monitor.describeUsbStatus({ 'connected ': true, printQueue: [1, '', 'Q'] }).queues.join(), 'Q');
  assert.deepEqual(monitor.wirelessQueue('WSD', 'a', 'b'), { key: 'monitor.wireless', args: ['WSD', 'a', 'b'] });
});

test('what a cancel would lose, counted and said', async (t) => {
  const printers = [{ printerName: 'A', cjobs: 2 }, { printerName: 'B', cjobs: 0 }, { printerName: 'C', cjobs: 1 },
                    { printerName: '', cjobs: 5 }, null];
  assert.deepEqual(repair.pendingDocuments(printers), { documents: 3, printers: 2, names: ['A', 'C'], known: true });
  // A fresh count from the program wins over the record's.
  const fresh = (name) => (name === 'B' ? 4 : name === 'C' ? undefined : 0);
  assert.deepEqual(repair.pendingDocuments(printers, fresh), { documents: 5, printers: 2, names: ['B', 'C'], known: true });
  assert.equal(repair.pendingDocuments(null).known, false);
  const cases = [
    [{ documents: 3, printers: 2, names: ['A', 'C'], known: true }, 'repair.loss.many', [3, 2]],
    [{ documents: 2, printers: 1, names: ['A'], known: true }, 'repair.loss.onePrinter', [2, 'A']],
    [{ documents: 1, printers: 1, names: ['C'], known: true }, 'repair.loss.one', [1, 'C']],
    [{ documents: 0, printers: 0, names: [], known: true }, 'repair.loss.none', []],
    [{ documents: 0, printers: 0, names: [], known: false }, 'repair.loss.unknown', []]
  ];
  for (const [pending, key, args] of cases) {
    await t.test(key, () => assert.deepEqual(repair.lossMessage(pending), { key, args }));
  }
});

test('the report after "Repair everything" separates what it repairs from what it leaves', () => {
  const plan = repair.checkPlan([{ printerName: 'L', isLocal: true }]);
  const all = (level) => Object.fromEntries(plan.map((c) => [c.id, { level }]));
  const fine = repair.repairAllReport(plan, all('ok'), { documents: 3 });
  assert.equal(fine.level, 'ok');
  assert.deepEqual(fine.parts.map((p) => p.key), ['repair.all.done', 'repair.all.cancelled']);
  assert.deepEqual(fine.parts[1].args, [3]);

  // The font and sharing are never part of it, and no advice to restart the computer.
  const results = all('ok');
  results.font = { level: 'warn' };
  results['sharing:L'] = { level: 'info' };
  const fontLeft = repair.repairAllReport(plan, results, { documents: 0 });
  assert.equal(fontLeft.level, 'info');
  assert.deepEqual(fontLeft.parts.map((p) => p.key), ['repair.all.done', 'repair.all.notIncluded']);
  assert.deepEqual(fontLeft.others, ['font']);

  results['queue:L'] = { level: 'error' };
  const queueLeft = repair.repairAllReport(plan, results, { documents: 2 });
  assert.equal(queueLeft.level, 'warn');
  assert.deepEqual(queueLeft.parts.map((p) => p.key), ['repair.all.partly', 'repair.all.stillAdvice', 'repair.all.notIncluded']);
  assert.deepEqual(queueLeft.still, ['queue:L']);
});

test('the install monitor watches a USB id made from the pair or an id', () => {
  assert.equal(search.watchId('03f0:1853'), 'USB\\VID_03F0&PID_1853');
  assert.equal(search.watchId('USBPRINT\\HP\\USB\\VID_03f0&PID_1853&REV_0100'), 'USB\\VID_03F0&PID_1853');
  assert.equal(search.watchId('USBPRINT\\HPLaserJet'), '');
  assert.equal(search.watchId({}), '');
  assert.deepEqual(search.watchCandidates([[{ vidPid: '03F0:1853', name: 'LaserJet' }, { kind: 'net', name: 'x' }],
                                           [{ id: 'USB\\VID_03F0&PID_1853', name: 'again' }, { id: 'USB\\VID_1234&PID_5678', name: '' }], null]),
                   [{ id: 'USB\\VID_03F0&PID_1853', name: 'LaserJet' }, { id: 'USB\\VID_1234&PID_5678', name: 'USB\\VID_1234&PID_5678' }]);
});
