// A small DOM for running the bundled pages in Node: enough of elements,
// events, selectors and timers for the page scripts, with a virtual clock.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const VOID = new Set(['meta', 'link', 'br', 'input', 'img', 'hr', 'path', 'source']);

class Node {
  constructor(doc, tag, text) {
    this.ownerDocument = doc;
    this.tagName = tag ? tag.toUpperCase() : '#text';
    this.nodeType = tag ? 1 : 3;
    this.childNodes = [];
    this.parentNode = null;
    this.attrs = {};
    this.listeners = {};
    this._text = text || '';
    this.hidden = false;
    this.disabled = false;
    this.checked = false;
    this.selected = false;
    this._value = undefined;
  }
  get firstChild() { return this.childNodes[0] || null; }
  get lastChild() { return this.childNodes[this.childNodes.length - 1] || null; }
  get children() { return this.childNodes.filter((n) => n.nodeType === 1); }
  get parentElement() { return this.parentNode; }
  get id() { return this.attrs.id || ''; }
  set id(v) { this.attrs.id = String(v); }
  get className() { return this.attrs.class || ''; }
  set className(v) { this.attrs.class = String(v); }
  get textContent() {
    if (this.nodeType === 3) return this._text;
    return this.childNodes.map((c) => c.textContent).join('');
  }
  set textContent(v) {
    if (this.nodeType === 3) { this._text = String(v); return; }
    this.childNodes.forEach((c) => { c.parentNode = null; });
    this.childNodes = [];
    if (String(v) !== '') this.appendChild(new Node(this.ownerDocument, null, String(v)));
  }
  set innerHTML(v) { this.textContent = ''; }
  get value() {
    if (this.tagName === 'SELECT') {
      const options = this.querySelectorAll('option');
      const chosen = options.find((o) => o.selected) || options[0];
      return chosen ? chosen.getAttribute('value') : '';
    }
    if (this._value !== undefined) return this._value;
    return this.attrs.value !== undefined ? this.attrs.value : '';
  }
  set value(v) { this._value = this.tagName === 'PROGRESS' ? Number(v) : String(v); }
  appendChild(c) { return this.insertBefore(c, null); }
  insertBefore(c, ref) {
    if (c.parentNode) c.parentNode.removeChild(c);
    const i = ref ? this.childNodes.indexOf(ref) : -1;
    if (i < 0) this.childNodes.push(c); else this.childNodes.splice(i, 0, c);
    c.parentNode = this;
    return c;
  }
  removeChild(c) {
    const i = this.childNodes.indexOf(c);
    if (i >= 0) { this.childNodes.splice(i, 1); c.parentNode = null; }
    return c;
  }
  replaceChildren() { this.textContent = ''; }
  setAttribute(k, v) { this.attrs[k] = String(v); if (k === 'value' && this.tagName === 'PROGRESS') this._value = Number(v); }
  getAttribute(k) { return Object.prototype.hasOwnProperty.call(this.attrs, k) ? this.attrs[k] : null; }
  hasAttribute(k) { return Object.prototype.hasOwnProperty.call(this.attrs, k); }
  removeAttribute(k) { delete this.attrs[k]; if (k === 'value') this._value = undefined; }
  addEventListener(type, fn) { (this.listeners[type] = this.listeners[type] || []).push(fn); }
  removeEventListener(type, fn) { const l = this.listeners[type] || []; const i = l.indexOf(fn); if (i >= 0) l.splice(i, 1); }
  dispatchEvent(event) {
    event.target = event.target || this;
    let node = this;
    while (node && !event.stopped) {
      (node.listeners[event.type] || []).slice().forEach((fn) => fn.call(node, event));
      node = event.bubbles ? node.parentNode : null;
    }
    return !event.defaultPrevented;
  }
  click() {
    if (this.disabled) return;
    const e = makeEvent('click', true);
    this.dispatchEvent(e);
    if (!e.defaultPrevented && this.tagName === 'BUTTON' && this.getAttribute('type') === 'submit') {
      let form = this.parentNode;
      while (form && form.tagName !== 'FORM') form = form.parentNode;
      if (form) form.dispatchEvent(makeEvent('submit', true));
    }
  }
  focus() { this.ownerDocument.activeElement = this; }
  blur() { if (this.ownerDocument.activeElement === this) this.ownerDocument.activeElement = this.ownerDocument.body; }
  select() {}
  descendants() {
    const out = [];
    const walk = (n) => n.childNodes.forEach((c) => { if (c.nodeType === 1) { out.push(c); walk(c); } });
    walk(this);
    return out;
  }
  querySelectorAll(selector) {
    const alternatives = selector.split(',').map((s) => s.trim());
    return this.descendants().filter((n) => alternatives.some((s) => matches(n, s)));
  }
  querySelector(selector) { return this.querySelectorAll(selector)[0] || null; }
}

function makeEvent(type, bubbles, extra) {
  return Object.assign({ type, bubbles, defaultPrevented: false, stopped: false,
                         preventDefault() { this.defaultPrevented = true; }, stopPropagation() { this.stopped = true; } }, extra || {});
}

// Compound selectors without combinators: tag, #id, .class, [attr], [attr="v"].
function matches(node, selector) {
  const re = /^([a-zA-Z][\w-]*)?((?:#[\w-]+|\.[\w-]+|\[[\w-]+(?:="[^"]*")?\])*)$/;
  const m = re.exec(selector);
  if (!m) throw new Error('selector not supported by the test DOM: ' + selector);
  if (m[1] && node.tagName !== m[1].toUpperCase()) return false;
  const parts = m[2].match(/#[\w-]+|\.[\w-]+|\[[\w-]+(?:="[^"]*")?\]/g) || [];
  return parts.every((p) => {
    if (p[0] === '#') return node.id === p.slice(1);
    if (p[0] === '.') return node.className.split(/\s+/).includes(p.slice(1));
    const a = /^\[([\w-]+)(?:="([^"]*)")?\]$/.exec(p);
    return a[2] === undefined ? node.hasAttribute(a[1]) : node.getAttribute(a[1]) === a[2];
  });
}

function decode(text) {
  return text.replace(/&#x([0-9a-f]+);/gi, (_, h) => String.fromCodePoint(parseInt(h, 16)))
    .replace(/&lt;/g, '<').replace(/&gt;/g, '>').replace(/&quot;/g, '"').replace(/&amp;/g, '&');
}

// Builds the body of a page from its markup, and lists its scripts.
function parseInto(doc, html) {
  const scripts = [];
  const body = /<body([^>]*)>([\s\S]*)<\/body>/i.exec(html);
  const bodyAttrs = /class="([^"]*)"/.exec(body[1]);
  if (bodyAttrs) doc.body.className = bodyAttrs[1];
  const tokens = body[2].match(/<!--[\s\S]*?-->|<\/?[a-zA-Z][^>]*>|[^<]+/g) || [];
  const stack = [doc.body];
  tokens.forEach((tok) => {
    if (tok.startsWith('<!--')) return;
    if (tok.startsWith('</')) { stack.pop(); return; }
    if (tok.startsWith('<')) {
      const tag = /^<([a-zA-Z][\w-]*)/.exec(tok)[1].toLowerCase();
      const node = doc.createElement(tag);
      const attrRe = /([\w:-]+)(?:="([^"]*)")?/g;
      let a;
      const rest = tok.slice(tag.length + 1).replace(/\/?>$/, '');
      while ((a = attrRe.exec(rest))) {
        if (a[1] === 'hidden') node.hidden = true;
        else node.setAttribute(a[1], a[2] === undefined ? '' : decode(a[2]));
      }
      if (tag === 'script') { scripts.push(node.getAttribute('src')); stack.push(node); return; }
      stack[stack.length - 1].appendChild(node);
      if (!VOID.has(tag) && !tok.endsWith('/>')) stack.push(node);
      return;
    }
    const parent = stack[stack.length - 1];
    if (parent.tagName === 'SCRIPT') return;
    if (tok.trim()) parent.appendChild(doc.createTextNode(decode(tok)));
  });
  return scripts;
}

// Loads a page of html/ with its scripts in a fresh context. `natives` are
// the program's bound functions; each call is recorded in `calls`.
function loadPage(file, options) {
  const opts = options || {};
  const htmlDir = path.resolve(__dirname, '../../../html');
  const html = fs.readFileSync(path.join(htmlDir, file), 'utf8');
  const timers = [];
  let now = 0;
  let nextTimer = 1;
  const calls = [];
  const doc = {
    readyState: 'loading', activeElement: null, title: '', listeners: {},
    createElement: (tag) => new Node(doc, tag),
    createTextNode: (text) => new Node(doc, null, String(text)),
    getElementById: (id) => doc.documentElement.descendants().find((n) => n.id === id) || null,
    querySelectorAll: (s) => doc.documentElement.querySelectorAll(s),
    querySelector: (s) => doc.documentElement.querySelector(s),
    addEventListener(type, fn) { (this.listeners[type] = this.listeners[type] || []).push(fn); },
    execCommand: () => false
  };
  doc.documentElement = new Node(doc, 'html');
  doc.body = new Node(doc, 'body');
  doc.documentElement.appendChild(doc.body);
  doc.activeElement = doc.body;
  const storage = {};
  const window = {
    document: doc,
    navigator: { language: opts.language || 'en-GB' },
    localStorage: {
      getItem: (k) => (Object.prototype.hasOwnProperty.call(storage, k) ? storage[k] : null),
      setItem: (k, v) => { storage[k] = String(v); },
      removeItem: (k) => { delete storage[k]; }
    },
    console: {
      // The page logs its own failures as "[error] ..." lines.
      log: (...a) => { const line = a.join(' '); if (line.startsWith('[error]')) window.errors.push(line); },
      error: (...a) => { window.errors.push(a.join(' ')); },
      warn() {}
    },
    errors: [],
    setTimeout: (fn, ms) => { const id = nextTimer++; timers.push({ id, at: now + (Number(ms) || 0), fn }); return id; },
    clearTimeout: (id) => { const i = timers.findIndex((t) => t.id === id); if (i >= 0) timers.splice(i, 1); },
  };
  window.window = window;
  Object.keys(opts.natives || {}).forEach((name) => {
    window[name] = (...args) => { calls.push({ name, args }); return opts.natives[name](...args); };
  });
  const context = vm.createContext(window);
  const scripts = parseInto(doc, html);
  scripts.forEach((src) => {
    const code = fs.readFileSync(path.join(htmlDir, src), 'utf8');
    vm.runInContext(code, context, { filename: src });
  });
  doc.readyState = 'interactive';
  (doc.listeners.DOMContentLoaded || []).forEach((fn) => fn(makeEvent('DOMContentLoaded', false)));
  doc.readyState = 'complete';

  // Runs the timers due within `ms` of virtual time, in order.
  function advance(ms) {
    const end = now + (ms === undefined ? 1e9 : ms);
    for (let guard = 0; guard < 10000; guard++) {
      timers.sort((a, b) => a.at - b.at || a.id - b.id);
      if (!timers.length || timers[0].at > end) break;
      const t = timers.shift();
      now = t.at;
      t.fn();
    }
    now = Math.max(now, Math.min(end, now + (ms || 0)));
  }
  const byId = (id) => doc.getElementById(id);
  const text = (id) => { const n = byId(id); return n ? n.textContent.replace(/\s+/g, ' ').trim() : null; };
  return { window, document: doc, calls, advance, byId, text, storage };
}

module.exports = { loadPage, makeEvent };
