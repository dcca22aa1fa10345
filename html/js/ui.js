// DOM helpers the feature panels share: elements whose texts follow the
// language switch, notices that say what happened and what to do next, a
// confirmation dialog, and deferring native calls that block.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var common = K.model.common;

  // el('button', { id, i18n: key, args: [...], label: key, class, onclick, ... }, children)
  function el(tag, attrs, children) {
    var node = document.createElement(tag);
    var a = attrs || {};
    Object.keys(a).forEach(function (k) {
      var v = a[k];
      if (v === undefined || v === null || k === 'args') return;
      if (k === 'text') node.textContent = String(v);
      else if (k === 'i18n') setText(node, v, a.args);
      else if (k === 'label') setLabel(node, v);
      else if (k === 'onclick') node.addEventListener('click', v);
      else if (k === 'hidden') node.hidden = !!v;
      else if (k === 'disabled') node.disabled = !!v;
      else node.setAttribute(k, v);
    });
    (children || []).forEach(function (c) {
      if (c === null || c === undefined || c === false) return;
      node.appendChild(typeof c === 'string' ? document.createTextNode(c) : c);
    });
    return node;
  }

  function setText(node, key, args) {
    node.setAttribute('data-i18n', key);
    if (args && args.length) node.setAttribute('data-i18n-args', JSON.stringify(args));
    else if (node.removeAttribute) node.removeAttribute('data-i18n-args');
    node.textContent = K.t.apply(null, [key].concat(args || []));
    return node;
  }

  function setLabel(node, key) {
    node.setAttribute('data-i18n-label', key);
    var text = K.t(key);
    node.setAttribute('aria-label', text);
    node.setAttribute('title', text);
  }

  function clear(node) {
    if (!node) return node;
    if (typeof node.replaceChildren === 'function') node.replaceChildren();
    else while (node.firstChild) node.removeChild(node.firstChild);
    return node;
  }

  // A message { key, args } as a span that follows the language.
  function span(msg, cls) {
    return el('span', { i18n: msg.key, args: msg.args, 'class': cls });
  }

  // The words for a failed Win32 code: the system's text, the code, the advice.
  // The system's texts are English: other languages show the code and the
  // advice in their own words only.
  function errorParts(code) {
    var english = !K.i18n || typeof K.i18n.language !== 'function' || K.i18n.language() === 'en';
    var systemText = english ? K.call('formatMessage', code) : '';
    var d = common.describeError(code, typeof systemText === 'string' ? systemText : '');
    return [{ key: d.key, args: d.args }, { key: d.advice, args: [] }];
  }

  // Shows one notice in `area` (replacing what was there). level: ok, info,
  // busy, warn, error. parts: messages ({ key, args }) joined by blanks.
  function notice(area, level, parts) {
    clear(area);
    var list = Array.isArray(parts) ? parts : [parts];
    var box = el('p', { 'class': 'notice ' + level, role: level === 'error' ? 'alert' : 'status' });
    list.forEach(function (p, i) {
      if (!p) return;
      if (i) box.appendChild(document.createTextNode(' '));
      box.appendChild(typeof p === 'string' ? el('span', { text: p }) : span(p));
    });
    area.appendChild(box);
    return box;
  }

  // Outcome of an operation: ok → its sentence; a code → the error words.
  function outcome(area, result, okArgs) {
    if (result.ok) return notice(area, result.level || 'ok', { key: result.key, args: okArgs || result.args || [] });
    if (result.code !== null && result.code !== undefined && result.key === 'op.failed') {
      return notice(area, 'error', [{ key: 'op.failed', args: okArgs || [] }].concat(errorParts(result.code)));
    }
    return notice(area, result.level || 'error', { key: result.key, args: result.args || okArgs || [] });
  }

  // Lets the page paint (a busy notice, a disabled button) before a native
  // call that blocks until its work is done.
  function defer(fn) {
    global.setTimeout(fn, 40);
  }

  // A modal question inside the page; done(true) for the confirming button.
  function confirm(options, done) {
    var previous = document.activeElement;
    var overlay = el('div', { 'class': 'overlay', id: 'dialog-overlay' });
    var title = el('h2', { id: 'dialog-title', i18n: options.title, args: options.titleArgs });
    var text = el('p', { id: 'dialog-text', i18n: options.text, args: options.textArgs });
    var cancel = el('button', { type: 'button', id: 'dialog-cancel', i18n: options.cancel || 'common.cancel' });
    var ok = el('button', { type: 'button', id: 'dialog-ok', 'class': options.danger ? 'danger' : 'primary',
                            i18n: options.ok || 'common.ok' });
    var dialog = el('div', { 'class': 'dialog', role: 'alertdialog', 'aria-modal': 'true',
                             'aria-labelledby': 'dialog-title', 'aria-describedby': 'dialog-text' },
                    [title, text, el('div', { 'class': 'actions' }, [cancel, ok])]);
    overlay.appendChild(dialog);
    function close(answer) {
      if (overlay.parentNode) overlay.parentNode.removeChild(overlay);
      if (previous && previous.focus) previous.focus();
      done(answer);
    }
    cancel.addEventListener('click', function () { close(false); });
    ok.addEventListener('click', function () { close(true); });
    dialog.addEventListener('keydown', function (e) {
      if (e.key === 'Escape') { e.preventDefault(); close(false); }
      else if (e.key === 'Tab') {
        e.preventDefault();
        (document.activeElement === ok ? cancel : ok).focus();
      }
    });
    document.body.appendChild(overlay);
    // The safe answer has the focus, so Enter never destroys by accident.
    cancel.focus();
  }

  // Marks a control unavailable when the program does not offer `name`.
  function needs(node, name) {
    if (!K.available(name)) {
      node.disabled = true;
      node.setAttribute('data-unavailable', name);
      node.setAttribute('data-i18n-title', 'common.unavailable');
      node.setAttribute('title', K.t('common.unavailable'));
    }
    return node;
  }

  // A feature module adds its panel: { id, titleKey, build(section), onShow() }.
  K.panels = K.panels || [];
  K.registerPanel = function (panel) { K.panels.push(panel); };

  K.ui = { el: el, setText: setText, setLabel: setLabel, clear: clear, span: span, notice: notice,
           outcome: outcome, errorParts: errorParts, defer: defer, confirm: confirm, needs: needs };
  K.el = el;
})(this);
