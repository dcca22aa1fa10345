// The hardware summary and the printer-class device list as rows a person
// can read, and as plain text to copy.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./common.js'));
  else { root.Korvane.model.hardware = factory(root.Korvane.model.common); }
})(this, function (common) {
  'use strict';

  var FIELDS = ['host', 'system', 'bit', 'cpu', 'baseboard', 'physicalMemory', 'diskDrive', 'videoController',
                'monitor', 'audioCard', 'networkAdapter'];
  var MAX_ROWS = 40;

  function valueOf(key, raw) {
    if (key === 'bit') {
      var bits = Number(raw);
      return isFinite(bits) && bits > 0 ? { key: 'hw.bits', args: [bits] } : { key: 'hw.unknown', args: [] };
    }
    var s = typeof raw === 'string' ? common.text(raw, 300).trim()
          : (raw === null || raw === undefined ? '' : common.text(JSON.stringify(raw), 300));
    if (!s || s.toLowerCase() === 'unknown') return { key: 'hw.unknown', args: [] };
    return { text: s };
  }

  // Rows of "scanCbkByCpp"'s text; null when it is not a JSON object.
  function parseSummary(text) {
    var data;
    try { data = JSON.parse(text); } catch (e) { return null; }
    if (!data || typeof data !== 'object' || Array.isArray(data)) return null;
    var rows = [];
    FIELDS.forEach(function (key) {
      if (Object.prototype.hasOwnProperty.call(data, key)) rows.push({ field: key, label: 'hw.' + key, value: valueOf(key, data[key]) });
    });
    Object.keys(data).sort().forEach(function (key) {
      if (FIELDS.indexOf(key) >= 0 || rows.length >= MAX_ROWS) return;
      rows.push({ field: key, label: null, value: valueOf(key, data[key]) });
    });
    if (!Object.prototype.hasOwnProperty.call(data, 'networkAdapter')) {
      rows.push({ field: 'networkAdapter', label: 'hw.networkAdapter', value: { key: 'hw.onlyVirtual', args: [] } });
    }
    return rows;
  }

  // "Label: value" lines; t translates a key with its arguments.
  function summaryText(rows, t) {
    return rows.map(function (row) {
      var label = row.label ? t(row.label) : common.text(row.field, 60);
      var value = row.value.text !== undefined ? row.value.text : t.apply(null, [row.value.key].concat(row.value.args || []));
      return label + ': ' + value;
    }).join('\n');
  }

  // The text of "printerList".
  function parseDeviceList(text) {
    var data;
    try { data = JSON.parse(text); } catch (e) { return null; }
    if (!Array.isArray(data)) return null;
    return data.filter(function (d) { return d && typeof d === 'object'; }).slice(0, 200).map(function (d) {
      return { desc: common.text(d.desc, 160), hardid: common.text(d.hardid, 200) };
    });
  }

  return { FIELDS: FIELDS, parseSummary: parseSummary, summaryText: summaryText, parseDeviceList: parseDeviceList };
});
