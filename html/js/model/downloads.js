// Driver package downloads: address checks, what "Down" and the completion
// call mean, byte counts that survive 32-bit wrap-around, file names for
// display, and what handing a package over answered.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./common.js'));
  else { root.Korvane.model.downloads = factory(root.Korvane.model.common); }
})(this, function (common) {
  'use strict';

  var MAX_URL = 2048;
  var MAIN_WINDOW_TYPE = 3;
  var TWO_32 = 4294967296;

  function validateUrl(text) {
    var url = typeof text === 'string' ? text.trim() : '';
    if (!url) return { ok: false, key: 'dl.err.empty' };
    if (url.length > MAX_URL) return { ok: false, key: 'dl.err.long', args: [MAX_URL] };
    if (/[\s\u0000-\u001f\u007f]/.test(url)) return { ok: false, key: 'dl.err.spaces' };
    if (!/^https?:\/\/[^\/?#@\s]+(?:[\/?#]|$)/i.test(url)) return { ok: false, key: 'dl.err.scheme' };
    return { ok: true, url: url };
  }

  // The base name the program saves under when the address names no file.
  function fallbackNameFor(url, wanted) {
    var source = typeof wanted === 'string' && wanted ? wanted : '';
    if (!source) {
      var host = /^https?:\/\/([^\/?#:@]+)/i.exec(url || '');
      source = host ? host[1].replace(/^www\./i, '').split('.')[0] + '-driver' : 'driver';
    }
    var clean = source.replace(/[^A-Za-z0-9._-]+/g, '-').replace(/^[.-]+/, '').slice(0, 60);
    return clean || 'driver';
  }

  // Names of the page functions one transfer reports to; unique per transfer
  // so that several downloads can run side by side.
  function callbackNames(id) {
    return { progress: 'korvaneDownloadProgress' + id, finish: 'korvaneDownloadFinished' + id };
  }

  function startOutcome(result) {
    switch (result) {
    case 0: return { ok: true, key: 'dl.started' };
    case 2: return { ok: false, key: 'dl.start.cannotWrite' };
    case 3: return { ok: false, key: 'dl.start.badCall' };
    case 4: return { ok: false, key: 'dl.start.noWindow' };
    default:
      return typeof result === 'number' ? { ok: false, key: 'dl.start.other', args: [result] }
                                        : { ok: false, key: 'common.unavailable' };
    }
  }

  // The program sends the low 32 bits of the count as a signed number; the
  // full count is rebuilt from the last one, assuming it only grows.
  function extendCount(previous, low32) {
    var low = Number(low32);
    if (!isFinite(low)) return previous || 0;
    low = ((Math.trunc(low) % TWO_32) + TWO_32) % TWO_32;
    var prev = previous > 0 ? previous : 0;
    var high = Math.floor(prev / TWO_32);
    var candidate = high * TWO_32 + low;
    if (candidate < prev) candidate += TWO_32;
    return candidate;
  }

  function progressView(received, total) {
    var known = typeof total === 'number' && total > 0;
    return {
      percent: known ? common.percent(received, total) : null,
      key: known ? 'dl.progress' : 'dl.progress.unknownTotal',
      args: known ? [common.formatBytes(received), common.formatBytes(total)] : [common.formatBytes(received)]
    };
  }

  function displayName(path) {
    var p = typeof path === 'string' ? path : '';
    var cut = Math.max(p.lastIndexOf('/'), p.lastIndexOf('\\'));
    return {
      name: common.shorten(common.text(cut >= 0 ? p.slice(cut + 1) : p), 56),
      folder: cut > 0 ? common.shorten(common.text(p.slice(0, cut)), 72) : ''
    };
  }

  // Name shown for a transfer before it has finished: the address's last
  // segment, decoded when that is safe, else the host.
  function nameFromUrl(url) {
    var m = /^https?:\/\/([^\/?#]+)([^?#]*)/i.exec(url || '');
    if (!m) return common.shorten(common.text(url || ''), 56);
    var segments = m[2].split('/').filter(Boolean);
    var last = segments.length ? segments[segments.length - 1] : '';
    try { last = decodeURIComponent(last); } catch (e) { /* keep it encoded */ }
    last = common.text(last).replace(/[\/\\]/g, '');
    return common.shorten(last || m[1], 56);
  }

  function finishOutcome(code, path, message) {
    var words = common.text(message, 300);
    if (code === 0) {
      var shown = displayName(path);
      return { ok: true, level: 'ok', key: 'dl.done', args: [shown.name, shown.folder], path: typeof path === 'string' ? path : '' };
    }
    if (code === 1) return { ok: false, level: 'info', key: 'dl.cancelled', args: [] };
    if (code === 2) return { ok: false, level: 'error', key: words ? 'dl.failed' : 'dl.failedBare', args: words ? [words] : [] };
    return { ok: false, level: 'error', key: 'dl.failedCode', args: [code, words] };
  }

  // "installDriverPackage": 0 an installer runs, 1 its folder was shown,
  // 3 the file is gone.
  function installOutcome(result) {
    switch (result) {
    case 0: return { ok: true, level: 'busy', key: 'install.started' };
    case 1: return { ok: true, level: 'ok', key: 'install.shown' };
    case 3: return { ok: false, level: 'error', key: 'install.missing' };
    default:
      return typeof result === 'number' ? { ok: false, level: 'error', key: 'install.notShown', args: [result] }
                                        : { ok: false, level: 'error', key: 'common.unavailable' };
    }
  }

  return {
    MAX_URL: MAX_URL,
    MAIN_WINDOW_TYPE: MAIN_WINDOW_TYPE,
    validateUrl: validateUrl,
    fallbackNameFor: fallbackNameFor,
    callbackNames: callbackNames,
    startOutcome: startOutcome,
    extendCount: extendCount,
    progressView: progressView,
    displayName: displayName,
    nameFromUrl: nameFromUrl,
    finishOutcome: finishOutcome,
    installOutcome: installOutcome
  };
});
