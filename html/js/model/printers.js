// Installed printers: the list the program sends, status and attribute words
// in plain language, capabilities, live changes, and what each operation's
// answer means.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./common.js'));
  else { root.Korvane.model.printers = factory(root.Korvane.model.common); }
})(this, function (common) {
  'use strict';

  // PRINTER_STATUS_* bits, most serious first. "advice" is the next step for the user.
  var STATUS_BITS = [
    { bit: 0x2, key: 'status.error', level: 'error', advice: 'statusAdvice.error' },
    { bit: 0x8, key: 'status.paperJam', level: 'error', advice: 'statusAdvice.paperJam' },
    { bit: 0x10, key: 'status.paperOut', level: 'error', advice: 'statusAdvice.paperOut' },
    { bit: 0x40000, key: 'status.noToner', level: 'error', advice: 'statusAdvice.noToner' },
    { bit: 0x400000, key: 'status.doorOpen', level: 'error', advice: 'statusAdvice.doorOpen' },
    { bit: 0x80, key: 'status.offline', level: 'error', advice: 'statusAdvice.offline' },
    { bit: 0x800000, key: 'status.serverUnknown', level: 'error', advice: 'statusAdvice.serverUnknown' },
    { bit: 0x2000000, key: 'status.serverOffline', level: 'error', advice: 'statusAdvice.serverUnknown' },
    { bit: 0x100000, key: 'status.userIntervention', level: 'error', advice: 'statusAdvice.userIntervention' },
    { bit: 0x1000, key: 'status.notAvailable', level: 'error', advice: 'statusAdvice.offline' },
    { bit: 0x200000, key: 'status.outOfMemory', level: 'error', advice: 'statusAdvice.outOfMemory' },
    { bit: 0x80000, key: 'status.pagePunt', level: 'error', advice: 'statusAdvice.outOfMemory' },
    { bit: 0x1, key: 'status.paused', level: 'warn', advice: 'statusAdvice.paused' },
    { bit: 0x4, key: 'status.pendingDeletion', level: 'warn', advice: null },
    { bit: 0x40, key: 'status.paperProblem', level: 'warn', advice: 'statusAdvice.paperProblem' },
    { bit: 0x800, key: 'status.outputBinFull', level: 'warn', advice: 'statusAdvice.outputBinFull' },
    { bit: 0x20000, key: 'status.tonerLow', level: 'warn', advice: 'statusAdvice.tonerLow' },
    { bit: 0x20, key: 'status.manualFeed', level: 'warn', advice: 'statusAdvice.manualFeed' },
    { bit: 0x4000000, key: 'status.driverUpdate', level: 'warn', advice: 'statusAdvice.driverUpdate' },
    { bit: 0x400, key: 'status.printing', level: 'busy', advice: null },
    { bit: 0x4000, key: 'status.processing', level: 'busy', advice: null },
    { bit: 0x200, key: 'status.busy', level: 'busy', advice: null },
    { bit: 0x100, key: 'status.ioActive', level: 'busy', advice: null },
    { bit: 0x2000, key: 'status.waiting', level: 'busy', advice: null },
    { bit: 0x8000, key: 'status.initializing', level: 'busy', advice: null },
    { bit: 0x10000, key: 'status.warmingUp', level: 'busy', advice: null },
    { bit: 0x1000000, key: 'status.powerSave', level: 'busy', advice: null }
  ];
  var LEVEL_RANK = { ok: 0, busy: 1, warn: 2, error: 3 };

  // PRINTER_ATTRIBUTE_* bits worth telling a user about, in display order.
  var ATTRIBUTE_BITS = [
    { bit: 0x4, key: 'attr.default' },
    { bit: 0x8, key: 'attr.shared' },
    { bit: 0x10, key: 'attr.network' },
    { bit: 0x40, key: 'attr.local' },
    { bit: 0x400, key: 'attr.workOffline' },
    { bit: 0x1000, key: 'attr.rawOnly' },
    { bit: 0x2000, key: 'attr.published' },
    { bit: 0x20, key: 'attr.hidden' }
  ];

  // Printer notification field codes a change event may carry.
  var FIELD = { PRINTER_NAME: 0x01, ATTRIBUTES: 0x0D, STATUS: 0x12, CJOBS: 0x14 };
  var CHANGE = { ADDED: 0x1, SET: 0x2, DELETED: 0x4 };

  function decodeStatus(status) {
    var word = common.toUnsigned32(status);
    var items = [];
    var known = 0;
    STATUS_BITS.forEach(function (entry) {
      if (common.hasBit(word, entry.bit)) {
        items.push({ key: entry.key, level: entry.level, advice: entry.advice });
        known += entry.bit;
      }
    });
    if (word - known > 0) items.push({ key: 'status.other', level: 'warn', advice: null, args: [common.hex(word - known)] });
    if (!items.length) items.push({ key: 'status.ready', level: 'ok', advice: null });
    var level = items.reduce(function (worst, item) {
      return LEVEL_RANK[item.level] > LEVEL_RANK[worst] ? item.level : worst;
    }, 'ok');
    return { level: level, items: items };
  }

  function decodeAttributes(attributes) {
    return ATTRIBUTE_BITS.filter(function (entry) { return common.hasBit(attributes, entry.bit); })
      .map(function (entry) { return entry.key; });
  }

  function num(value) {
    var n = Number(value);
    return isFinite(n) ? n : 0;
  }

  function str(value) {
    return typeof value === 'string' ? value : '';
  }

  function normalise(raw) {
    if (!raw || typeof raw !== 'object' || typeof raw.printerName !== 'string' || !raw.printerName) return null;
    var attributes = num(raw.attributes);
    return {
      printerName: raw.printerName,
      serverName: str(raw.serverName),
      shareName: str(raw.shareName),
      portName: str(raw.portName),
      driverName: str(raw.driverName),
      comment: str(raw.comment),
      location: str(raw.location),
      dataType: str(raw.dataType),
      printProcessor: str(raw.printProcessor),
      isDefault: raw.isDefault === true,
      isShare: typeof raw.isShare === 'boolean' ? raw.isShare : common.hasBit(attributes, 0x8),
      isLocal: typeof raw.isLocal === 'boolean' ? raw.isLocal : common.hasBit(attributes, 0x40),
      attributes: attributes,
      status: num(raw.status),
      cjobs: Math.max(0, num(raw.cjobs)),
      averagePPM: num(raw.averagePPM),
      printQuality: num(raw.printQuality),
      duplex: raw.duplex === true,
      color: raw.color === true,
      printPagePerMinute: num(raw.printPagePerMinute),
      resolutions: Array.isArray(raw.resolutions) ? raw.resolutions.map(num).filter(function (n) { return n > 0; }) : []
    };
  }

  // The text "enumPrinterCbkByCpp" delivers; null when it is not a JSON array.
  function parsePrinterList(text) {
    var data;
    try { data = JSON.parse(text); } catch (e) { return null; }
    if (!Array.isArray(data)) return null;
    return data.map(normalise).filter(Boolean);
  }

  function printerKey(printer) {
    return (printer.serverName || '') + '\u0000' + printer.printerName;
  }

  function sortPrinters(list) {
    return list.slice().sort(function (a, b) {
      if (a.isDefault !== b.isDefault) return a.isDefault ? -1 : 1;
      return a.printerName.localeCompare(b.printerName);
    });
  }

  // Records from one answer replace those of the same queue; others stay.
  function mergePrinters(existing, incoming) {
    var byKey = {};
    var out = existing.slice();
    out.forEach(function (p, i) { byKey[printerKey(p)] = i; });
    incoming.forEach(function (p) {
      var k = printerKey(p);
      if (byKey.hasOwnProperty(k)) out[byKey[k]] = p;
      else { byKey[k] = out.length; out.push(p); }
    });
    return sortPrinters(out);
  }

  function matchesChange(printer, change) {
    if (printer.printerName !== change.printerName) return false;
    return !change.printerServer || change.printerServer === printer.serverName;
  }

  // Applies the object of "notifyPrinterChangeByCpp". The answer says what
  // happened and whether the page should ask for the whole list again (the
  // event alone does not carry driver, port or capabilities).
  function applyPrinterChange(list, change) {
    var result = { list: list.slice(), refresh: false, added: null, removed: null, renamed: null, updated: null };
    if (!change || typeof change !== 'object' || typeof change.printerName !== 'string') return result;
    var bits = common.toUnsigned32(change.dwChanged);
    var fields = Array.isArray(change.dwNotifyField) ? change.dwNotifyField.map(Number) : [];
    var name = change.printerName;

    if (bits & CHANGE.DELETED) {
      var before = result.list.length;
      result.list = result.list.filter(function (p) { return !matchesChange(p, change); });
      if (result.list.length !== before) result.removed = name;
      return result;
    }
    if (bits & CHANGE.ADDED) {
      if (!result.list.some(function (p) { return matchesChange(p, change); })) {
        var added = normalise({ printerName: name, serverName: str(change.printerServer),
                                attributes: num(change.dwAttribute), status: num(change.dwPrinterStatus),
                                cjobs: num(change.dwCjobs) });
        if (added) result.list = sortPrinters(result.list.concat([added]));
      }
      result.added = name;
      result.refresh = true;
      return result;
    }
    if (bits & CHANGE.SET) {
      var index = -1;
      result.list.forEach(function (p, i) { if (index < 0 && matchesChange(p, change)) index = i; });
      if (index < 0 || !fields.length) { result.refresh = true; return result; }
      var p = {};
      Object.keys(result.list[index]).forEach(function (k) { p[k] = result.list[index][k]; });
      if (fields.indexOf(FIELD.ATTRIBUTES) >= 0) {
        p.attributes = num(change.dwAttribute);
        p.isShare = common.hasBit(p.attributes, 0x8);
        if (common.hasBit(p.attributes, 0x4)) {
          result.list = result.list.map(function (q) {
            if (!q.isDefault) return q;
            var copy = {};
            Object.keys(q).forEach(function (k) { copy[k] = q[k]; });
            copy.isDefault = false;
            return copy;
          });
          p.isDefault = true;
        } else if (p.isDefault) {
          // The default may have moved elsewhere; only the full list can say.
          result.refresh = true;
        }
      }
      if (fields.indexOf(FIELD.STATUS) >= 0) p.status = num(change.dwPrinterStatus);
      if (fields.indexOf(FIELD.CJOBS) >= 0) p.cjobs = Math.max(0, num(change.dwCjobs));
      if (fields.indexOf(FIELD.PRINTER_NAME) >= 0 && typeof change.newPrinterName === 'string' && change.newPrinterName) {
        result.renamed = { from: name, to: change.newPrinterName };
        p.printerName = change.newPrinterName;
      }
      result.list[index] = p;
      result.list = sortPrinters(result.list);
      result.updated = p.printerName;
    }
    return result;
  }

  // "resolutions" holds x, y pairs; an odd last value stands alone.
  function formatResolutions(values) {
    var seen = {};
    var out = [];
    var list = Array.isArray(values) ? values : [];
    for (var i = 0; i < list.length; i += 2) {
      var label = i + 1 < list.length ? (list[i] === list[i + 1] ? String(list[i]) : list[i] + '×' + list[i + 1])
                                      : String(list[i]);
      if (!seen[label]) { seen[label] = true; out.push(label + ' dpi'); }
    }
    return out;
  }

  // DMRES_* codes are negative; positive values are dots per inch.
  function qualityKey(value) {
    var q = num(value);
    if (q === -1) return { key: 'quality.draft', args: [] };
    if (q === -2) return { key: 'quality.low', args: [] };
    if (q === -3) return { key: 'quality.medium', args: [] };
    if (q === -4) return { key: 'quality.high', args: [] };
    if (q > 0) return { key: 'quality.dpi', args: [q] };
    return null;
  }

  function capabilities(printer) {
    var ppm = printer.printPagePerMinute > 0 ? printer.printPagePerMinute
            : (printer.averagePPM > 0 ? printer.averagePPM : null);
    return {
      duplex: printer.duplex,
      color: printer.color,
      ppm: ppm,
      resolutions: formatResolutions(printer.resolutions),
      quality: qualityKey(printer.printQuality)
    };
  }

  // What an operation's answer means. Integer operations answer 0 or a Win32
  // code; "setDefaultPrinter" answers a boolean; "addPrinter" answers a code
  // (a program that answers nothing started its tool without saying so).
  // Operations that open a desktop tool answer 2 when there was none to start.
  var OPERATIONS = {
    printTestPage: { kind: 'code', ok: 'op.testPage.ok' },
    setDefaultPrinter: { kind: 'bool', ok: 'op.default.ok', fail: 'op.default.fail' },
    sharePrinter: { kind: 'code', ok: 'op.share.ok' },
    unsharePrinter: { kind: 'code', ok: 'op.unshare.ok' },
    deletePrinter: { kind: 'code', ok: 'op.delete.ok' },
    viewPrintQueue: { kind: 'code', ok: 'op.queue.ok', tool: true },
    showPrintPreferencesPage: { kind: 'code', ok: 'op.preferences.ok', tool: true },
    showPrinterPropertiesPage: { kind: 'code', ok: 'op.properties.ok', tool: true },
    openManager: { kind: 'code', ok: 'op.manager.ok', tool: true },
    addPrinter: { kind: 'code', ok: 'op.add.ok', tool: true, silentOk: true }
  };

  // What "getManagerTool" names, as the words of a choice.
  var MANAGER_TOOLS = {
    'system-config-printer': 'manager.tool.systemConfigPrinter',
    'gnome-control-center': 'manager.tool.gnome',
    'web-admin': 'manager.tool.webAdmin',
    'web-printers': 'manager.tool.webPrinters'
  };

  // The "Manage" choices of this machine: one per distinct thing that opens,
  // from toolOf(kind) for kinds 0..2 ("getManagerTool"); nothing that cannot
  // start is offered. Other program names are shown as they are, bounded.
  function managerChoices(toolOf) {
    var seen = {};
    var out = [];
    [0, 1, 2].forEach(function (kind) {
      var tool = toolOf(kind);
      if (typeof tool !== 'string' || !tool || seen[tool]) return;
      seen[tool] = true;
      out.push(MANAGER_TOOLS.hasOwnProperty(tool) ? { kind: kind, key: MANAGER_TOOLS[tool], args: [] }
                                                  : { kind: kind, key: 'manager.tool.other', args: [tool.slice(0, 60)] });
    });
    return out;
  }

  function operationOutcome(operation, result) {
    var op = OPERATIONS[operation];
    if (!op) return { ok: false, key: 'common.unavailable', code: null };
    if (op.kind === 'none' || (op.silentOk && result === undefined)) return { ok: true, key: op.ok, code: null };
    if (op.kind === 'bool') {
      if (typeof result !== 'boolean') return { ok: false, key: 'common.unavailable', code: null };
      return { ok: result, key: result ? op.ok : op.fail, code: null };
    }
    if (typeof result !== 'number') return { ok: false, key: 'common.unavailable', code: null };
    if (result === 0) return { ok: true, key: op.ok, code: 0 };
    if (op.tool && result === 2) return { ok: false, key: 'op.noTool', code: null };
    return { ok: false, key: 'op.failed', code: result };
  }

  // A printer class (a CUPS queue that hands each job to a free member): the
  // scheduler gives classes this make and model.
  function isClass(printer) {
    return !!printer && /^(Local|Remote) Printer Class$/.test(printer.driverName || '');
  }

  // The answer of "checkPrinterSpool" (a service state) says the print
  // service is not serving: stopped, stopping, or no scheduler at all.
  // Starting counts as serving: its list follows in a moment.
  function serviceDown(state) {
    return state === 1 || state === 3 || state === -1;
  }

  // Whether a change report may come from a scheduler that went away: the
  // change monitor marks every queue "server unknown" then.
  function changeSaysServerGone(change) {
    return !!change && typeof change === 'object' && common.hasBit(change.dwPrinterStatus, 0x800000);
  }

  return {
    serviceDown: serviceDown,
    isClass: isClass,
    changeSaysServerGone: changeSaysServerGone,
    STATUS_BITS: STATUS_BITS,
    ATTRIBUTE_BITS: ATTRIBUTE_BITS,
    FIELD: FIELD,
    CHANGE: CHANGE,
    decodeStatus: decodeStatus,
    decodeAttributes: decodeAttributes,
    parsePrinterList: parsePrinterList,
    normalise: normalise,
    printerKey: printerKey,
    sortPrinters: sortPrinters,
    mergePrinters: mergePrinters,
    applyPrinterChange: applyPrinterChange,
    formatResolutions: formatResolutions,
    qualityKey: qualityKey,
    capabilities: capabilities,
    operationOutcome: operationOutcome,
    managerChoices: managerChoices
  };
});
