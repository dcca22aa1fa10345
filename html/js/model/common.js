// Small helpers every feature area shares: numbers from the program, error
// codes in words, sizes. No DOM here, so the page tests can load it in Node.
(function (root, factory) {
  var api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else { root.Korvane = root.Korvane || {}; root.Korvane.model = root.Korvane.model || {}; root.Korvane.model.common = api; }
})(this, function () {
  'use strict';

  // Win32 codes the program hands back, each with the next step a user can take.
  var ERROR_ADVICE = {
    2: 'advice.fileMissing',         // ERROR_FILE_NOT_FOUND
    3: 'advice.fileMissing',         // ERROR_PATH_NOT_FOUND
    5: 'advice.accessDenied',        // ERROR_ACCESS_DENIED
    8: 'advice.memory',              // ERROR_NOT_ENOUGH_MEMORY
    31: 'advice.retry',              // ERROR_GEN_FAILURE
    1155: 'advice.noTool',           // ERROR_NO_ASSOCIATION
    1223: 'advice.cancelled',        // ERROR_CANCELLED
    1722: 'advice.spoolerDown',      // RPC_S_SERVER_UNAVAILABLE
    1801: 'advice.noSuchPrinter',    // ERROR_INVALID_PRINTER_NAME
    1797: 'advice.noSuchPrinter',    // ERROR_UNKNOWN_PRINTER_DRIVER
    2138: 'advice.network',          // ERROR_NO_NETWORK
    0x20000001: 'advice.badCall'     // the program's own "called without enough arguments"
  };

  function isInteger(value) {
    return typeof value === 'number' && isFinite(value) && Math.floor(value) === value;
  }

  // Page values arrive as doubles; status and attribute words are 32-bit
  // unsigned on the native side but may travel as signed numbers.
  function toUnsigned32(value) {
    var n = Number(value);
    if (!isFinite(n)) return 0;
    n = Math.trunc(n) % 4294967296;
    return n < 0 ? n + 4294967296 : n;
  }

  function hasBit(word, bit) {
    // Bits above 2^30 do not survive JS's signed 32-bit operators, so test by arithmetic.
    return Math.floor(toUnsigned32(word) / bit) % 2 === 1;
  }

  function hex(value) {
    return '0x' + toUnsigned32(value).toString(16).toUpperCase();
  }

  function adviceFor(code) {
    return ERROR_ADVICE[toUnsigned32(code)] || 'advice.retry';
  }

  // What a failed Win32 code says: the system's own text when the program can
  // give it, the code, and the advice. The view translates the keys.
  function describeError(code, systemText) {
    var text = typeof systemText === 'string' ? systemText.replace(/\s+/g, ' ').trim() : '';
    return {
      key: text ? 'error.withText' : 'error.noText',
      args: text ? [text, code] : [code],
      advice: adviceFor(code)
    };
  }

  function percent(current, total) {
    var c = Number(current), t = Number(total);
    if (!isFinite(c) || !isFinite(t) || t <= 0) return null;
    return Math.max(0, Math.min(100, Math.round(c * 100 / t)));
  }

  function formatBytes(bytes) {
    var n = Number(bytes);
    if (!isFinite(n) || n < 0) return '?';
    var units = ['B', 'KB', 'MB', 'GB', 'TB'];
    var i = 0;
    while (n >= 1024 && i < units.length - 1) { n /= 1024; i++; }
    return (i === 0 ? String(Math.round(n)) : n.toFixed(n >= 100 ? 0 : 1)) + ' ' + units[i];
  }

  // Shortens text in the middle, so both the start and the file suffix stay visible.
  function shorten(text, max) {
    var s = String(text === undefined || text === null ? '' : text);
    if (!(max > 3) || s.length <= max) return s;
    var head = Math.ceil((max - 1) / 2), tail = Math.floor((max - 1) / 2);
    return s.slice(0, head) + '…' + s.slice(s.length - tail);
  }

  function text(value, max) {
    if (typeof value !== 'string') return '';
    var cleaned = value.replace(/[\u0000-\u001f\u007f]+/g, ' ');
    return max ? shorten(cleaned, max) : cleaned;
  }

  return {
    ERROR_ADVICE: ERROR_ADVICE,
    isInteger: isInteger,
    toUnsigned32: toUnsigned32,
    hasBit: hasBit,
    hex: hex,
    adviceFor: adviceFor,
    describeError: describeError,
    percent: percent,
    formatBytes: formatBytes,
    shorten: shorten,
    text: text
  };
});
