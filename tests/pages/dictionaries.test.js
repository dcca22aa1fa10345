// Every text the pages show exists in both languages with the same blanks.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const zh = require('../../html/js/lang/zh.js');
const en = require('../../html/js/lang/en.js');

const htmlDir = path.resolve(__dirname, '../../html');

function sources() {
  const out = [];
  const walk = (dir) => fs.readdirSync(dir, { withFileTypes: true }).forEach((e) => {
    const full = path.join(dir, e.name);
    if (e.isDirectory()) { if (e.name !== 'lang') walk(full); } else if (/\.(js|html)$/.test(e.name)) out.push(full);
  });
  walk(htmlDir);
  return out;
}

// Keys built at run time from a prefix and a known set of endings.
const DYNAMIC = {
  'checkname.': ['checkPrinterSpool', 'checkFirewall', 'checkOcrFont', 'checkPrinterSharing', 'checkPrinterQueue'],
  'level.': ['ok', 'info', 'warn', 'error', 'unknown'],
  'faq.q': ['1', '2', '3', '4', '5'],
  'faq.a': ['1', '2', '3', '4', '5'],
  'hw.': require('../../html/js/model/hardware.js').FIELDS,
  'check.firewall.': ['discovery.open', 'discovery.closed', 'sharing.open', 'sharing.closed'],
  'job.state.': require('../../html/js/model/queue.js').JOB_STATES.concat(['unknown'])
};
// Prefixes of the dynamic keys and storage names also look like keys.
const NOT_TEXT = new Set(['korvane.language', 'korvane.panel', 'faq.q', 'faq.a']);

test('both dictionaries have the same keys', () => {
  assert.deepEqual(Object.keys(zh).sort(), Object.keys(en).sort());
});

test('placeholders match between languages and no text is empty', () => {
  for (const key of Object.keys(en)) {
    const blanks = (s) => (s.match(/\{\d\}/g) || []).sort().join();
    assert.equal(blanks(zh[key]), blanks(en[key]), key);
    assert.ok(en[key].length > 0 && zh[key].length > 0, key);
  }
});

test('every key the pages use is in the dictionaries', () => {
  const missing = [];
  for (const file of sources()) {
    const text = fs.readFileSync(file, 'utf8');
    for (const m of text.matchAll(/['"]([a-zA-Z]+(?:\.[a-zA-Z0-9]+)+)['"]/g)) {
      const key = m[1];
      if (NOT_TEXT.has(key) || /\.(js|html|css|run|exe|gz|msc)$/.test(key)) continue;
      if (!(key in en)) missing.push(path.basename(file) + ': ' + key);
    }
  }
  for (const [prefix, endings] of Object.entries(DYNAMIC)) {
    for (const end of endings) if (!((prefix + end) in en)) missing.push('dynamic: ' + prefix + end);
  }
  assert.deepEqual(missing, []);
});

test('the model files name only keys that exist', () => {
  const printers = require('../../html/js/model/printers.js');
  const repair = require('../../html/js/model/repair.js');
  const keys = [].concat(printers.STATUS_BITS.map((b) => b.key), printers.STATUS_BITS.map((b) => b.advice).filter(Boolean),
                         printers.ATTRIBUTE_BITS.map((b) => b.key), repair.QUEUE_BITS.map((b) => b.key),
                         Object.values(repair.REPAIRS).map((r) => r.label), Object.values(repair.TOOL_EXIT));
  assert.deepEqual(keys.filter((k) => !(k in en) || !(k in zh)), []);
});
