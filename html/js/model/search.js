// The printer search: start answers, progress phases, the USB and network
// reports turned into one list of found printers, and where a driver package
// for a maker can be downloaded.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./common.js'));
  else { root.Korvane.model.search = factory(root.Korvane.model.common); }
})(this, function (common) {
  'use strict';

  var PROGRESS_EVENT = { HOST_QUERIED: 0, NETWORK_STARTED: 1, SWEEP_DONE: 2, USB_STARTED: 3, USB_STEP: 4 };

  function startOutcome(result) {
    if (result === 0) return { ok: true, key: 'search.started' };
    if (result === 1) return { ok: false, key: 'search.busy' };
    if (result === 2) return { ok: false, key: 'search.connectFailed' };
    return { ok: false, key: 'common.unavailable' };
  }

  // The five numbers of "notifyScanProgressByCpp" as a bar value and a sentence.
  function progressPhase(current, total, event, curMachine, totalMachine) {
    var phase;
    switch (Number(event)) {
    case PROGRESS_EVENT.USB_STARTED: phase = { key: 'phase.usbStarted', args: [] }; break;
    case PROGRESS_EVENT.USB_STEP: phase = { key: 'phase.usbStep', args: [] }; break;
    case PROGRESS_EVENT.NETWORK_STARTED: phase = { key: 'phase.networkStarted', args: [] }; break;
    case PROGRESS_EVENT.SWEEP_DONE: phase = { key: 'phase.sweepDone', args: [] }; break;
    case PROGRESS_EVENT.HOST_QUERIED:
      phase = Number(totalMachine) > 0
        ? { key: 'phase.hostQueried', args: [Math.max(0, Math.min(Number(curMachine) || 0, Number(totalMachine))), Number(totalMachine)] }
        : { key: 'phase.working', args: [] };
      break;
    default: phase = { key: 'phase.working', args: [] };
    }
    phase.percent = common.percent(current, total);
    if (phase.percent === null) phase.percent = 0;
    return phase;
  }

  function finishOutcome(state, found) {
    var stopped = Number(state) === 1;
    var count = found || 0;
    if (stopped) return { key: 'search.stopped', args: [count] };
    return count ? { key: 'search.finished', args: [count] } : { key: 'search.finishedNone', args: [] };
  }

  function vidPid(id) {
    var m = /VID_([0-9A-F]{4})&PID_([0-9A-F]{4})/i.exec(typeof id === 'string' ? id : '');
    return m ? (m[1] + ':' + m[2]).toUpperCase() : '';
  }

  function strings(list) {
    return Array.isArray(list) ? list.filter(function (s) { return typeof s === 'string' && s; }) : [];
  }

  // A USB serial number as the program reports it: printable ASCII, at most
  // 128 characters, no blanks at the ends; '' otherwise.
  function usbSerial(value) {
    return typeof value === 'string' && value.length <= 128 && /^[\x21-\x7e]([\x20-\x7e]*[\x21-\x7e])?$/.test(value) ? value : '';
  }

  // One record of "notifyUsbPrinterByCpp"; null when the text is not one.
  function parseUsbRecord(text) {
    var r;
    try { r = JSON.parse(text); } catch (e) { return null; }
    if (!r || typeof r !== 'object' || Array.isArray(r)) return null;
    var hardware = strings(r.hardwareids);
    var method = Number(r.searchMethod);
    var name = common.text(r.friendlyName, 120) || common.text(r.deviceDesc, 120) || hardware[0] || '';
    if (!name) return null;
    var id = '';
    hardware.some(function (h) { id = vidPid(h); return !!id; });
    // Installed means a print queue names the device; a bound kernel driver
    // alone prints nothing.
    var queues = strings(r.queues).slice(0, 8).map(function (q) { return common.text(q, 127); }).filter(Boolean);
    return {
      kind: 'usb',
      name: name,
      maker: common.text(r.mfg, 80),
      method: method,
      hasDriver: method !== 3,
      installed: queues.length > 0,
      queues: queues,
      ids: hardware.slice(0, 8),
      vidPid: id,
      serial: usbSerial(r.serial),
      key: id ? 'usb:' + id : 'usbid:' + (hardware[0] || name).toLowerCase()
    };
  }

  // The device objects of "notifyUsbPrinterByCpp2": the first is the device
  // itself, the rest are its interfaces and their children.
  function parseUsbDevice(nodes) {
    if (!Array.isArray(nodes) || !nodes.length) return null;
    var valid = nodes.filter(function (n) { return n && typeof n === 'object'; });
    if (!valid.length) return null;
    var first = valid[0];
    var maker = '';
    valid.some(function (n) { maker = common.text(n.Manu, 80); return !!maker; });
    var id = vidPid(first.Hardwareid) || vidPid(first.Instanceid);
    var printer = valid.some(function (n) { return n.Class === 'Printer' || n.Service === 'usbprint'; });
    var name = common.text(first.Name, 120) || common.text(first.Hardwareid, 120) || common.text(first.Instanceid, 120);
    if (!name) return null;
    return {
      kind: 'usbdev',
      name: name,
      maker: maker,
      hasDriver: valid.some(function (n) { return typeof n.Service === 'string' && n.Service !== ''; }),
      isPrinter: printer,
      services: valid.map(function (n) { return common.text(n.Service, 40); }).filter(Boolean),
      ids: [common.text(first.Hardwareid, 200), common.text(first.Instanceid, 200)].filter(Boolean),
      vidPid: id,
      key: id ? 'usb:' + id : 'usbid:' + String(first.Instanceid || name).toLowerCase()
    };
  }

  // The fourth argument of "notifyNetworkPrinterByCpp": a JSON text with what
  // more the search learnt (IPP URI, driverless, UUID, DNS-SD name, sources).
  // Untrusted: only known keys of the right type and size are kept.
  function parseNetworkDetails(details) {
    var out = { uri: '', driverless: false, uuid: '', dnssdName: '', makeAndModel: '', port: 0, sources: [] };
    if (typeof details !== 'string' || !details || details.length > 16384) return out;
    var d;
    try { d = JSON.parse(details); } catch (e) { return out; }
    if (!d || typeof d !== 'object' || Array.isArray(d)) return out;
    if (typeof d.uri === 'string' && /^ipps?:\/\/[0-9.]+:[0-9]{1,5}\/[A-Za-z0-9_.\/-]*$/.test(d.uri) && d.uri.length <= 300) out.uri = d.uri;
    out.driverless = d.driverless === true;
    if (typeof d.uuid === 'string' && /^[0-9a-f-]{36}$/.test(d.uuid)) out.uuid = d.uuid;
    out.dnssdName = common.text(d.dnssdName, 80);
    out.makeAndModel = common.text(d.makeAndModel, 120);
    if (common.isInteger(d.port) && d.port > 0 && d.port < 65536) out.port = d.port;
    if (Array.isArray(d.source)) {
      out.sources = d.source.filter(function (x) { return x === 'dnssd' || x === 'ipp' || x === 'snmp'; }).slice(0, 3);
    }
    return out;
  }

  function parseNetworkPrinter(ip, mfg, mdl, details) {
    var address = common.text(ip, 64);
    if (!address) return null;
    var maker = common.text(mfg, 80);
    var model = common.text(mdl, 120);
    var more = parseNetworkDetails(details);
    return {
      kind: 'net',
      name: model ? (maker && model.toLowerCase().indexOf(maker.toLowerCase()) !== 0 ? maker + ' ' + model : model)
                  : (maker || more.makeAndModel || more.dnssdName || address),
      maker: maker,
      model: model,
      ip: address,
      hasDriver: null,
      driverless: more.driverless,
      uri: more.uri,
      makeAndModel: more.makeAndModel,
      deviceId: maker && model ? 'MFG:' + maker.replace(/[;:]/g, ' ') + ';MDL:' + model.replace(/[;:]/g, ' ') + ';' : '',
      uuid: more.uuid,
      dnssdName: more.dnssdName,
      sources: more.sources,
      // Two print services on one host are two printers; the usual IPP port
      // keeps the plain address as the key.
      key: 'net:' + address + (more.port && more.port !== 631 ? ':' + more.port : '')
    };
  }

  // Adds a found printer to the list; a device reported by both USB reports
  // is kept once, the richer details winning.
  function addFound(list, item) {
    if (!item) return { list: list, added: false };
    // A USB device that runs with a driver of its own and shows no printer
    // interface (a serial adapter, a camera) is no printer; one without any
    // driver may be a printer waiting for its driver, so it stays.
    if (item.kind === 'usbdev' && item.hasDriver && !item.isPrinter) return { list: list, added: false };
    var out = list.slice();
    for (var i = 0; i < out.length; i++) {
      if (out[i].key !== item.key) continue;
      var merged = {};
      Object.keys(out[i]).forEach(function (k) { merged[k] = out[i][k]; });
      Object.keys(item).forEach(function (k) {
        if (item[k] !== '' && item[k] !== null && item[k] !== undefined && !(Array.isArray(item[k]) && !item[k].length)) merged[k] = item[k];
      });
      if (out[i].kind === 'usb') { merged.kind = 'usb'; merged.name = out[i].name; }
      merged.hasDriver = !!(out[i].hasDriver || item.hasDriver);
      merged.installed = !!(out[i].installed || item.installed);
      out[i] = merged;
      return { list: out, added: false };
    }
    out.push(item);
    return { list: out, added: true };
  }

  // Makers whose Linux driver package has a stable download address.
  var DRIVER_PACKAGES = [
    { pattern: /^(hp|hewlett[- ]?packard)\b/i, url: 'https://sourceforge.net/projects/hplip/files/latest/download',
      fallbackName: 'hplip' },
    { pattern: /^brother\b/i, url: 'https://download.brother.com/welcome/dlf006893/linux-brprinter-installer-2.2.4-1.gz',
      fallbackName: 'linux-brprinter-installer' }
  ];

  function driverPackageFor(maker, name) {
    var candidates = [maker, name].filter(function (s) { return typeof s === 'string' && s; });
    for (var i = 0; i < DRIVER_PACKAGES.length; i++) {
      for (var j = 0; j < candidates.length; j++) {
        if (DRIVER_PACKAGES[i].pattern.test(candidates[j].trim())) {
          return { url: DRIVER_PACKAGES[i].url, fallbackName: DRIVER_PACKAGES[i].fallbackName };
        }
      }
    }
    return null;
  }

  function methodKey(item) {
    if (item.kind === 'net') return item.sources && item.sources.indexOf('dnssd') >= 0 ? 'found.networkDnssd' : 'found.network';
    if (item.kind === 'usbdev') return item.hasDriver ? 'found.usbDevice' : 'found.usbNoDriver';
    if (item.method === 0) return 'found.usbInstalled';
    if (item.method === 1) return 'found.usbSoftware';
    return 'found.usbNoDriver';
  }

  // The id the install monitor watches for a printer, USB\VID_vvvv&PID_pppp,
  // from a "vvvv:pppp" pair or any id naming both; '' when there is none.
  function watchId(text) {
    var s = typeof text === 'string' ? text.slice(0, 300) : '';
    var m = /^([0-9A-F]{4}):([0-9A-F]{4})$/i.exec(s) || /VID_([0-9A-F]{4})&PID_([0-9A-F]{4})/i.exec(s);
    return m ? 'USB\\VID_' + m[1].toUpperCase() + '&PID_' + m[2].toUpperCase() : '';
  }

  // The USB printers a user may pick to watch being set up: [{id, name}],
  // each id once (the first name wins), from lists of {id or vidPid, name}.
  function watchCandidates(lists) {
    var out = [];
    var seen = {};
    (Array.isArray(lists) ? lists : []).forEach(function (list) {
      (Array.isArray(list) ? list : []).forEach(function (item) {
        if (!item || typeof item !== 'object' || out.length >= 50) return;
        var id = watchId(item.vidPid) || watchId(item.id);
        if (!id || seen[id]) return;
        seen[id] = true;
        out.push({ id: id, name: common.text(item.name, 120) || id });
      });
    });
    return out;
  }

  var DOTTED = /^(25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9])(\.(25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9])){3}$/;

  // What "addNetworkPrinter" gets for a found network printer: its IPP URI,
  // else its raw port; null when neither is known.
  function addRequest(item) {
    if (!item || item.kind !== 'net') return null;
    var makeAndModel = item.makeAndModel || item.name || '';
    var deviceId = typeof item.deviceId === 'string' ? item.deviceId : '';
    if (item.uri) return { uri: item.uri, makeAndModel: makeAndModel, deviceId: deviceId };
    if (typeof item.ip === 'string' && DOTTED.test(item.ip)) {
      return { uri: 'socket://' + item.ip + ':9100', makeAndModel: makeAndModel, deviceId: deviceId };
    }
    return null;
  }

  // The answer of "addNetworkPrinter" as a notice; printerName when added,
  // offerTool when no installed driver fits.
  function addOutcome(result) {
    if (result === undefined) return { ok: false, level: 'warn', key: 'common.unavailable', args: [] };
    var code = result && typeof result === 'object' ? Number(result.code) : NaN;
    var name = result && typeof result === 'object' ? common.text(result.printerName, 127) : '';
    if (code === 0 && name) return { ok: true, level: 'ok', key: 'addnet.done', args: [name], printerName: name };
    if (code === 3012) return { ok: false, level: 'error', key: 'addnet.unreachable', args: [] };
    if (code === 1797) return { ok: false, level: 'warn', key: 'addnet.noDriver', args: [], offerTool: true };
    if (code === 5) return { ok: false, level: 'error', key: 'addnet.denied', args: [] };
    if (code === 1722) return { ok: false, level: 'error', key: 'addnet.noService', args: [] };
    if (code === 87) return { ok: false, level: 'error', key: 'addnet.invalid', args: [] };
    return { ok: false, level: 'error', key: 'addnet.failed', args: [isFinite(code) ? String(code) : '?'] };
  }

  // What "addUsbPrinter" gets for a found USB printer that no queue drives
  // yet (one the first two passes reported): its USB\VID_vvvv&PID_pppp id and
  // serial number; null otherwise.
  function addUsbRequest(item) {
    if (!item || item.kind !== 'usb' || item.installed || (item.method !== 0 && item.method !== 1)) return null;
    var hardwareId = watchId(item.vidPid);
    return hardwareId ? { hardwareId: hardwareId, serial: usbSerial(item.serial) } : null;
  }

  // The answer of "addUsbPrinter" as a notice, as addOutcome with the USB
  // words for a device that is not there or cannot be named.
  function addUsbOutcome(result) {
    var code = result && typeof result === 'object' ? Number(result.code) : NaN;
    if (code === 2) return { ok: false, level: 'warn', key: 'addusb.notFound', args: [] };
    if (code === 87) return { ok: false, level: 'error', key: 'addusb.invalid', args: [] };
    return addOutcome(result);
  }

  // What the user typed as a printer's address, trimmed; '' when it cannot be one.
  function probeHost(text) {
    var host = typeof text === 'string' ? text.trim() : '';
    return host.length <= 253 && /^[A-Za-z0-9][A-Za-z0-9.-]*$/.test(host) ? host : '';
  }

  // The answer of "probeNetworkPrinter": a found item to show and add, or why not.
  function probeOutcome(result) {
    if (result === undefined) return { ok: false, level: 'warn', key: 'common.unavailable', args: [] };
    var code = result && typeof result === 'object' ? Number(result.code) : NaN;
    if (code === 0) {
      var address = common.text(result.address, 64);
      if (!DOTTED.test(address)) return { ok: false, level: 'error', key: 'probe.failed', args: ['?'] };
      var uri = typeof result.uri === 'string' && result.uri.length <= 300 &&
                (/^ipps?:\/\/[0-9.]+:[0-9]{1,5}\/[A-Za-z0-9_.\/-]*$/.test(result.uri)) ? result.uri : '';
      var makeAndModel = common.text(result.makeAndModel, 120);
      var item = { kind: 'net', name: makeAndModel || address, maker: '', model: '', ip: address, hasDriver: null,
                   driverless: uri !== '' && result.driverless === true, uri: uri, makeAndModel: makeAndModel,
                   deviceId: common.text(result.deviceId, 1024), sources: [], key: 'net:' + address };
      return { ok: true, level: 'ok', key: uri ? 'probe.foundIpp' : 'probe.foundRaw', args: [item.name, address], item: item };
    }
    if (code === 87) return { ok: false, level: 'error', key: 'probe.invalid', args: [] };
    if (code === 123) return { ok: false, level: 'error', key: 'probe.unknownName', args: [] };
    if (code === 3012) return { ok: false, level: 'warn', key: 'probe.nothing', args: [] };
    return { ok: false, level: 'error', key: 'probe.failed', args: [isFinite(code) ? String(code) : '?'] };
  }

  return {
    PROGRESS_EVENT: PROGRESS_EVENT,
    addRequest: addRequest,
    addOutcome: addOutcome,
    addUsbRequest: addUsbRequest,
    addUsbOutcome: addUsbOutcome,
    probeHost: probeHost,
    probeOutcome: probeOutcome,
    DRIVER_PACKAGES: DRIVER_PACKAGES,
    startOutcome: startOutcome,
    progressPhase: progressPhase,
    finishOutcome: finishOutcome,
    vidPid: vidPid,
    parseUsbRecord: parseUsbRecord,
    parseUsbDevice: parseUsbDevice,
    parseNetworkPrinter: parseNetworkPrinter,
    parseNetworkDetails: parseNetworkDetails,
    addFound: addFound,
    driverPackageFor: driverPackageFor,
    methodKey: methodKey,
    watchId: watchId,
    watchCandidates: watchCandidates
  };
});
