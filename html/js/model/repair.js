// Diagnosis: which checks run, what each answer means in one sentence, which
// repair fixes it, and what a repair's answer means.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./common.js'));
  else { root.Korvane.model.repair = factory(root.Korvane.model.common); }
})(this, function (common) {
  'use strict';

  // Job status bits as "checkPrinterQueue" ORs them; a job without status
  // arrives as 0x4, so in this answer that bit means "waiting".
  var QUEUE_BITS = [
    { bit: 0x2, key: 'job.error' },
    { bit: 0x400, key: 'job.userIntervention' },
    { bit: 0x40, key: 'job.paperOut' },
    { bit: 0x20, key: 'job.offline' },
    { bit: 0x200, key: 'job.blocked' },
    { bit: 0x1, key: 'job.paused' },
    { bit: 0x10, key: 'job.printing' },
    { bit: 0x8, key: 'job.spooling' },
    { bit: 0x4, key: 'job.waiting' },
    { bit: 0x800, key: 'job.restart' },
    { bit: 0x100, key: 'job.deleted' },
    { bit: 0x80, key: 'job.printed' },
    { bit: 0x1000, key: 'job.complete' },
    { bit: 0x2000, key: 'job.retained' },
    { bit: 0x4000, key: 'job.rendering' }
  ];

  // The checks of one diagnosis, in the order they run.
  function checkPlan(printers) {
    var plan = [
      { id: 'spooler', fn: 'checkPrinterSpool', args: [] },
      { id: 'firewall-discovery', fn: 'checkFirewall', args: [0] },
      { id: 'firewall-sharing', fn: 'checkFirewall', args: [1] },
      { id: 'font', fn: 'checkOcrFont', args: [] }
    ];
    (printers || []).forEach(function (p) {
      if (!p || typeof p.printerName !== 'string' || !p.printerName) return;
      // A connection to another computer's printer cannot be shared from here.
      if (p.isLocal !== false) plan.push({ id: 'sharing:' + p.printerName, fn: 'checkPrinterSharing', args: [p.printerName], printer: p.printerName });
      plan.push({ id: 'queue:' + p.printerName, fn: 'checkPrinterQueue', args: [p.printerName], printer: p.printerName });
    });
    return plan;
  }

  function unavailable() {
    return { level: 'unknown', key: 'common.unavailable', args: [], repair: null };
  }

  function queueWords(bits) {
    return QUEUE_BITS.filter(function (entry) { return common.hasBit(bits, entry.bit); })
      .map(function (entry) { return entry.key; });
  }

  // One sentence, a level (ok, info, warn, error, unknown) and the repair
  // that helps, for the answer of one planned check.
  function interpret(check, result) {
    switch (check.fn) {
    case 'checkPrinterSpool':
      if (typeof result !== 'number') return unavailable();
      switch (result) {
      case 4: return { level: 'ok', key: 'check.spooler.running', args: [], repair: null };
      case 1: return { level: 'error', key: 'check.spooler.stopped', args: [], repair: 'restartPrinterSpool' };
      case 2: return { level: 'info', key: 'check.spooler.starting', args: [], repair: null };
      case 3: return { level: 'warn', key: 'check.spooler.stopping', args: [], repair: 'restartPrinterSpool' };
      case 5: case 6: case 7:
        return { level: 'warn', key: 'check.spooler.paused', args: [], repair: 'restartPrinterSpool' };
      case -1: return { level: 'error', key: 'check.spooler.unknown', args: [], repair: 'restartPrinterSpool' };
      default: return { level: 'warn', key: 'check.spooler.other', args: [result], repair: 'restartPrinterSpool' };
      }
    case 'checkFirewall':
      if (typeof result !== 'boolean') return unavailable();
      var group = check.args[0] === 0 ? 'discovery' : 'sharing';
      return result ? { level: 'ok', key: 'check.firewall.' + group + '.open', args: [], repair: null }
                    : { level: 'warn', key: 'check.firewall.' + group + '.closed', args: [], repair: 'enableFirewall' };
    case 'checkOcrFont':
      if (typeof result !== 'boolean') return unavailable();
      return result ? { level: 'ok', key: 'check.font.present', args: [], repair: null }
                    : { level: 'warn', key: 'check.font.missing', args: [], repair: 'installOcrFont' };
    case 'checkPrinterSharing':
      if (typeof result !== 'boolean') return unavailable();
      return result ? { level: 'ok', key: 'check.sharing.on', args: [check.printer], repair: null }
                    : { level: 'info', key: 'check.sharing.off', args: [check.printer], repair: 'enablePrinterSharing' };
    case 'checkPrinterQueue':
      if (typeof result !== 'number') return unavailable();
      if (result === 0) return { level: 'ok', key: 'check.queue.empty', args: [check.printer], repair: null };
      var words = queueWords(result);
      var serious = common.hasBit(result, 0x2) || common.hasBit(result, 0x400) || common.hasBit(result, 0x200) ||
                    common.hasBit(result, 0x40) || common.hasBit(result, 0x20);
      return { level: serious ? 'error' : 'warn', key: 'check.queue.jobs', args: [check.printer], words: words,
               repair: 'cleanPrinterQueueOf' };
    default:
      return unavailable();
    }
  }

  // Exit codes of the repair tool, besides 0; they name the failed step.
  var TOOL_EXIT = {
    2: 'repair.toolMissing',
    10: 'repair.failed.spooler',
    11: 'repair.failed.firewall',
    5: 'repair.notAuthorised',
    12: 'repair.failed.queues',
    13: 'repair.failed.notOurs',
    64: 'repair.failed.usage',
    126: 'repair.dismissed',
    127: 'repair.notAuthorised',
    1223: 'repair.dismissed'
  };

  // "restartPrinterSpool", "enableFirewall" and the start of
  // "resetSpool_firewall_queue" answer the tool's exit code or a start error.
  function toolOutcome(result) {
    if (typeof result !== 'number') return { ok: false, key: 'common.unavailable', code: null };
    if (result === 0) return { ok: true, key: 'repair.done', code: 0 };
    if (TOOL_EXIT[result]) return { ok: false, key: TOOL_EXIT[result], code: result };
    return { ok: false, key: 'repair.failed.code', code: result };
  }

  // "enablePrinterSharing" and "installOcrFont" answer 0 or a Win32 code.
  function win32Outcome(result) {
    if (typeof result !== 'number') return { ok: false, key: 'common.unavailable', code: null };
    if (result === 0) return { ok: true, key: 'repair.done', code: 0 };
    return { ok: false, key: 'op.failed', code: result };
  }

  // "cleanPrinterQueueOf" answers 0, 1801 (no such printer), a Win32 code of
  // its own (1722 the print service does not answer) or the tool's result.
  function queueOutcome(result) {
    if (typeof result !== 'number') return { ok: false, key: 'common.unavailable', code: null };
    if (result === 0) return { ok: true, key: 'repair.done', code: 0 };
    if (result === 1801) return { ok: false, key: 'repair.queueGone', code: result };
    if (TOOL_EXIT[result]) return { ok: false, key: TOOL_EXIT[result], code: result };
    return { ok: false, key: 'op.failed', code: result };
  }

  // The documents a cancel would destroy: how many, on how many printers, from
  // the printer records (cjobs) and, where the program can tell now, fresh
  // counts by name. known is false when there is no list of printers at all.
  function pendingDocuments(printers, freshCount) {
    var result = { documents: 0, printers: 0, names: [], known: Array.isArray(printers) };
    (printers || []).forEach(function (p) {
      if (!p || typeof p.printerName !== 'string' || !p.printerName) return;
      var fresh = freshCount ? freshCount(p.printerName) : undefined;
      var count = typeof fresh === 'number' && fresh >= 0 ? fresh : Math.max(0, Number(p.cjobs) || 0);
      if (!count) return;
      result.documents += count;
      result.printers += 1;
      result.names.push(p.printerName);
    });
    return result;
  }

  // The sentence saying what a cancel will lose.
  function lossMessage(pending) {
    if (!pending.known) return { key: 'repair.loss.unknown', args: [] };
    if (!pending.documents) return { key: 'repair.loss.none', args: [] };
    if (pending.printers === 1) {
      return pending.documents === 1 ? { key: 'repair.loss.one', args: [1, pending.names[0]] }
                                     : { key: 'repair.loss.onePrinter', args: [pending.documents, pending.names[0]] };
    }
    return { key: 'repair.loss.many', args: [pending.documents, pending.printers] };
  }

  // Which checks "Repair everything" acts on: the print service, the
  // firewall and the queues. The font and sharing are never part of it.
  function coveredByRepairAll(check) {
    return check.id === 'spooler' || check.id.indexOf('firewall-') === 0 || check.id.indexOf('queue:') === 0;
  }

  // What the page says once "Repair everything" has ended and the checks ran
  // again: what is right now, what is still wrong among what it repairs, and
  // the problems it leaves to their own buttons. lost: the documents the
  // confirmation counted.
  function repairAllReport(plan, results, lost) {
    var bad = function (c) { return results[c.id] && (results[c.id].level === 'warn' || results[c.id].level === 'error'); };
    var still = plan.filter(function (c) { return coveredByRepairAll(c) && bad(c); });
    var others = plan.filter(function (c) { return !coveredByRepairAll(c) && bad(c); });
    var parts = [];
    if (!still.length) parts.push({ key: 'repair.all.done', args: [] });
    else parts.push({ key: 'repair.all.partly', args: [still.length] });
    if (lost && lost.documents && !still.some(function (c) { return c.id.indexOf('queue:') === 0; })) {
      parts.push(lost.documents === 1 ? { key: 'repair.all.cancelledOne', args: [] }
                                      : { key: 'repair.all.cancelled', args: [lost.documents] });
    }
    if (still.length) parts.push({ key: 'repair.all.stillAdvice', args: [] });
    if (others.length) parts.push({ key: 'repair.all.notIncluded', args: [others.length] });
    return { level: still.length ? 'warn' : others.length ? 'info' : 'ok', parts: parts,
             still: still.map(function (c) { return c.id; }), others: others.map(function (c) { return c.id; }) };
  }

  var REPAIRS = {
    restartPrinterSpool: { label: 'repair.btn.spooler', outcome: toolOutcome, recheck: ['spooler'] },
    enableFirewall: { label: 'repair.btn.firewall', outcome: toolOutcome, recheck: ['firewall-discovery', 'firewall-sharing'] },
    installOcrFont: { label: 'repair.btn.font', outcome: win32Outcome, recheck: ['font'] },
    enablePrinterSharing: { label: 'repair.btn.sharing', outcome: win32Outcome, recheck: ['sharing:'] },
    // Answers nothing whatever happened; the checks afterwards tell the truth.
    cleanPrinterQueue: { label: 'repair.btn.queue', outcome: null, recheck: ['queue:'] },
    // One printer's documents only.
    cleanPrinterQueueOf: { label: 'repair.btn.queueOf', outcome: queueOutcome, recheck: ['queue:'] }
  };

  function summary(results) {
    var counts = { ok: 0, info: 0, warn: 0, error: 0, unknown: 0 };
    results.forEach(function (r) { counts[r.level] = (counts[r.level] || 0) + 1; });
    var problems = counts.warn + counts.error;
    if (!results.length) return { key: 'repair.summary.none', args: [], level: 'unknown' };
    if (counts.unknown === results.length) return { key: 'repair.summary.unavailable', args: [], level: 'unknown' };
    if (!problems) return { key: 'repair.summary.good', args: [results.length], level: 'ok' };
    return { key: 'repair.summary.problems', args: [problems], level: counts.error ? 'error' : 'warn' };
  }

  // The checks a repair should run again, from the last plan.
  function recheckFor(repair, plan, printer) {
    var entry = REPAIRS[repair];
    if (!entry) return [];
    return plan.filter(function (check) {
      return entry.recheck.some(function (prefix) {
        if (prefix.charAt(prefix.length - 1) !== ':') return check.id === prefix;
        if (check.id.indexOf(prefix) !== 0) return false;
        return printer === undefined || check.printer === printer;
      });
    });
  }

  return {
    QUEUE_BITS: QUEUE_BITS,
    REPAIRS: REPAIRS,
    TOOL_EXIT: TOOL_EXIT,
    checkPlan: checkPlan,
    interpret: interpret,
    queueWords: queueWords,
    toolOutcome: toolOutcome,
    win32Outcome: win32Outcome,
    queueOutcome: queueOutcome,
    pendingDocuments: pendingDocuments,
    lossMessage: lossMessage,
    coveredByRepairAll: coveredByRepairAll,
    repairAllReport: repairAllReport,
    summary: summary,
    recheckFor: recheckFor
  };
});
