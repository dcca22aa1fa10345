// The main page shell: title bar, side navigation, panels, sign-in state and
// the log of everything the program told the page.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var panels = [];

  // A feature module adds its panel: { id, titleKey, build(container) }.
  function registerPanel(panel) { panels.push(panel); }

  function el(tag, attrs, children) {
    var node = document.createElement(tag);
    Object.keys(attrs || {}).forEach(function (k) {
      if (k === 'text') node.textContent = attrs[k];
      else if (k === 'onclick') node.addEventListener('click', attrs[k]);
      else node.setAttribute(k, attrs[k]);
    });
    (children || []).forEach(function (c) { if (c) node.appendChild(c); });
    return node;
  }

  function show(id) {
    panels.forEach(function (p) {
      var selected = p.id === id;
      p.section.hidden = !selected;
      p.button.setAttribute('aria-selected', selected ? 'true' : 'false');
      p.button.tabIndex = selected ? 0 : -1;
    });
    try { localStorage.setItem('korvane.panel', id); } catch (e) { /* storage off */ }
  }

  function buildNavigation() {
    var nav = document.getElementById('nav');
    var main = document.getElementById('panels');
    panels.forEach(function (p, index) {
      p.button = el('button', { role: 'tab', id: 'tab-' + p.id, 'aria-controls': 'panel-' + p.id,
                                'data-i18n': p.titleKey, onclick: function () { show(p.id); } });
      p.button.addEventListener('keydown', function (e) {
        var step = e.key === 'ArrowDown' ? 1 : e.key === 'ArrowUp' ? -1 : 0;
        if (!step) return;
        var next = panels[(index + step + panels.length) % panels.length];
        show(next.id);
        next.button.focus();
        e.preventDefault();
      });
      nav.appendChild(p.button);
      p.section = el('section', { role: 'tabpanel', id: 'panel-' + p.id, 'aria-labelledby': 'tab-' + p.id });
      main.appendChild(p.section);
      p.build(p.section);
    });
    var saved = null;
    try { saved = localStorage.getItem('korvane.panel'); } catch (e) { saved = null; }
    show(panels.some(function (p) { return p.id === saved; }) ? saved : panels[0].id);
  }

  function buildTitleBar() {
    document.getElementById('btn-min').addEventListener('click', function () { K.call('click', 'minimizeBtn'); });
    document.getElementById('btn-close').addEventListener('click', function () { K.call('click', 'closeBtn'); });
  }

  function buildLogin() {
    var badge = document.getElementById('login-state');
    var state = { in: false, name: '' };
    function render() { badge.textContent = state.in ? K.t('login.in', state.name || '') : K.t('login.out'); }
    K.on('userLoginByCpp', function (loggedIn, nickname) {
      state.in = !!loggedIn;
      state.name = typeof nickname === 'string' ? nickname : '';
      render();
    });
    K.i18n.onChange(render);
    render();
  }

  registerPanel({
    id: 'log', titleKey: 'nav.log',
    build: function (section) {
      var list = el('ol', { class: 'log', 'aria-live': 'polite' });
      var empty = el('p', { class: 'muted', 'data-i18n': 'log.empty' });
      section.appendChild(el('div', { class: 'panel-head' }, [
        el('h2', { 'data-i18n': 'log.heading' }),
        el('button', { 'data-i18n': 'log.clear', onclick: function () { list.innerHTML = ''; empty.hidden = false; } })
      ]));
      section.appendChild(empty);
      section.appendChild(list);
      K.onLog(function (line) {
        empty.hidden = true;
        var text = line.text + (line.args !== undefined ? ' ' + K.json(line.args) : '');
        var item = el('li', { class: 'log-' + line.kind }, [
          el('time', { text: line.time.toLocaleTimeString() }), el('span', { text: ' ' + text })]);
        list.insertBefore(item, list.firstChild);
        while (list.childNodes.length > 500) list.removeChild(list.lastChild);
      });
    }
  });

  function start() {
    buildTitleBar();
    buildLogin();
    buildNavigation();
    K.i18n.apply();
    // The program answers with the sign-in state and, once the back end's
    // configuration is known, the help links to show.
    K.call('eMsg', 'loadedjs');
  }

  K.registerPanel = registerPanel;
  K.el = el;
  K.showPanel = show;
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})(this);
