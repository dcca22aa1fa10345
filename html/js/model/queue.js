// Managing one installed queue: its jobs, its supply levels, its description
// and location, and what the answers of those commands mean.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./common.js'));
  else { root.Korvane.model.queue = factory(root.Korvane.model.common); }
})(this, function (common) {
  'use strict';

  var MAX_JOBS = 500;
  var MAX_SUPPLIES = 32;
  var MAX_TEXT_BYTES = 127;
  var JOB_STATES = ['pending', 'held', 'processing', 'stopped', 'canceled', 'aborted', 'completed'];

  function parseObject(text) {
    if (typeof text !== 'string' || text.length > 4 * 1024 * 1024) return null;
    try {
      var value = JSON.parse(text);
      return value && typeof value === 'object' && !Array.isArray(value) && typeof value.code === 'number' ? value : null;
    } catch (e) {
      return null;
    }
  }

  function str(value, max) {
    return typeof value === 'string' ? value.slice(0, max || 255) : '';
  }

  function whole(value) {
    return typeof value === 'number' && isFinite(value) && Math.floor(value) === value ? value : null;
  }

  // "getPrinterJobs" → { code, accepting, paused, jobs: [{ id, name, owner, size, state, held, time }] }, or null.
  function parseJobs(text) {
    var value = parseObject(text);
    if (!value) return null;
    if (value.code !== 0) return { code: value.code, accepting: true, paused: false, jobs: [] };
    var jobs = (Array.isArray(value.jobs) ? value.jobs : []).slice(0, MAX_JOBS).map(function (j) {
      if (!j || typeof j !== 'object') return null;
      var id = whole(j.id);
      if (id === null || id < 1) return null;
      var state = JOB_STATES.indexOf(j.state) >= 0 ? j.state : 'unknown';
      return { id: id, name: str(j.name), owner: str(j.owner), size: Math.max(0, whole(j.size) || 0),
               state: state, held: state === 'held', time: Math.max(0, whole(j.time) || 0) };
    }).filter(Boolean);
    return { code: 0, accepting: value.accepting !== false, paused: value.paused === true, jobs: jobs };
  }

  // "getPrinterSupplies" → { code, supplies: [{ name, color, level, type }] }, or null.
  function parseSupplies(text) {
    var value = parseObject(text);
    if (!value) return null;
    if (value.code !== 0) return { code: value.code, supplies: [] };
    var supplies = (Array.isArray(value.supplies) ? value.supplies : []).slice(0, MAX_SUPPLIES).map(function (s) {
      if (!s || typeof s !== 'object') return null;
      var level = whole(s.level);
      var color = typeof s.color === 'string' && /^(#[0-9A-Fa-f]{6}){1,6}$/.test(s.color) ? s.color.slice(0, 7) : '';
      return { name: str(s.name), color: color, level: level === null || level < -3 || level > 100 ? -1 : level,
               type: str(s.type, 64) };
    }).filter(Boolean);
    return { code: 0, supplies: supplies };
  }

  // How one supply is drawn: the filled share (null when unknown), its words
  // and whether it needs attention.
  function supplyView(supply) {
    var level = supply.level;
    if (level >= 0) {
      var low = level <= 10;
      return { percent: level, low: low, key: level === 0 ? 'supply.empty' : (low ? 'supply.low' : 'supply.percent'),
               args: [level] };
    }
    if (level === -3) return { percent: null, low: false, key: 'supply.ok', args: [] };
    if (level === -2) return { percent: null, low: false, key: 'supply.some', args: [] };
    return { percent: null, low: false, key: 'supply.unknown', args: [] };
  }

  function jobStateKey(state) {
    return 'job.state.' + (JOB_STATES.indexOf(state) >= 0 ? state : 'unknown');
  }

  // Bytes in words a person reads: "12 KB", "3.4 MB".
  function formatSize(bytes) {
    var n = Math.max(0, Number(bytes) || 0);
    if (n < 1024 * 1024) return { key: 'size.kb', args: [Math.max(1, Math.round(n / 1024))] };
    if (n < 1024 * 1024 * 1024) return { key: 'size.mb', args: [(n / 1024 / 1024).toFixed(1)] };
    return { key: 'size.gb', args: [(n / 1024 / 1024 / 1024).toFixed(1)] };
  }

  // Seconds since 1970 as "YYYY-MM-DD HH:MM" in local time; "" when unknown.
  function formatTime(seconds) {
    if (!(seconds > 0)) return '';
    var d = new Date(seconds * 1000);
    var two = function (v) { return (v < 10 ? '0' : '') + v; };
    return d.getFullYear() + '-' + two(d.getMonth() + 1) + '-' + two(d.getDate()) + ' ' + two(d.getHours()) + ':' +
      two(d.getMinutes());
  }

  function utf8Length(text) {
    var n = 0;
    for (var i = 0; i < text.length; i++) {
      var c = text.charCodeAt(i);
      if (c < 0x80) n += 1;
      else if (c < 0x800) n += 2;
      else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.length) { n += 4; i++; }
      else n += 3;
    }
    return n;
  }

  // What the program accepts as a description or location; null when fine,
  // else the key of the reason.
  function textProblem(text) {
    if (typeof text !== 'string') return 'edit.badText';
    if (/[\u0000-\u001f\u007f-\u009f\u2028\u2029]/.test(text)) return 'edit.badText';
    if (utf8Length(text) > MAX_TEXT_BYTES) return 'edit.tooLong';
    return null;
  }

  var OPERATIONS = {
    pausePrinter: 'op.pause.ok',
    resumePrinter: 'op.resume.ok',
    acceptJobs: 'op.accept.ok',
    rejectJobs: 'op.reject.ok',
    cancelPrinterJob: 'op.cancelJob.ok',
    releasePrinterJob: 'op.releaseJob.ok',
    setPrinterDescription: 'op.describe.ok'
  };

  function operationOutcome(operation, result) {
    var ok = OPERATIONS[operation];
    if (!ok || typeof result !== 'number') return { ok: false, key: 'common.unavailable', code: null };
    if (result === 0) return { ok: true, key: ok, code: 0 };
    if (result === 87 && (operation === 'cancelPrinterJob' || operation === 'releasePrinterJob')) {
      return { ok: false, key: 'job.gone', code: 87, level: 'warn' };
    }
    return { ok: false, key: 'op.failed', code: result };
  }

  return {
    JOB_STATES: JOB_STATES,
    OPERATIONS: OPERATIONS,
    parseJobs: parseJobs,
    parseSupplies: parseSupplies,
    supplyView: supplyView,
    jobStateKey: jobStateKey,
    formatSize: formatSize,
    formatTime: formatTime,
    textProblem: textProblem,
    operationOutcome: operationOutcome
  };
});
