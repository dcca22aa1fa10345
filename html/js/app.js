// The main page shell: title bar, side navigation, panels, sign-in state and
// the log of everything the program told the page.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var el = K.ui.el;
  // Feature modules, loaded before this file, registered their panels.
  var panels = K.panels;
  var started = false;
  function registerPanel(panel) { panels.push(panel); }

  function show(id, focusTab) {
    // Each panel opens at its top, not where the last one was scrolled to.
    var scroller = document.getElementById('panels');
    if (scroller) scroller.scrollTop = 0;
    panels.forEach(function (p) {
      var selected = p.id === id;
      p.section.hidden = !selected;
      p.button.setAttribute('aria-selected', selected ? 'true' : 'false');
      p.button.tabIndex = selected ? 0 : -1;
      if (selected && focusTab) p.button.focus();
      if (selected && typeof p.onShow === 'function') {
        try { p.onShow(); } catch (e) { K.log('error', p.id + ' onShow: ' + e); }
      }
    });
    try { localStorage.setItem('korvane.panel', id); } catch (e) { /* storage off */ }
  }

  function buildNavigation() {
    var nav = document.getElementById('nav');
    var main = document.getElementById('panels');
    panels.forEach(function (p, index) {
      p.button = el('button', { type: 'button', role: 'tab', id: 'tab-' + p.id, 'aria-controls': 'panel-' + p.id,
                                i18n: p.titleKey, onclick: function () { show(p.id); } });
      p.button.addEventListener('keydown', function (e) {
        var next = null;
        if (e.key === 'ArrowDown' || e.key === 'ArrowRight') next = panels[(index + 1) % panels.length];
        else if (e.key === 'ArrowUp' || e.key === 'ArrowLeft') next = panels[(index - 1 + panels.length) % panels.length];
        else if (e.key === 'Home') next = panels[0];
        else if (e.key === 'End') next = panels[panels.length - 1];
        if (!next) return;
        show(next.id, true);
        e.preventDefault();
      });
      nav.appendChild(p.button);
      p.section = el('section', { role: 'tabpanel', id: 'panel-' + p.id, 'aria-labelledby': 'tab-' + p.id, tabindex: '-1' });
      main.appendChild(p.section);
      // One broken panel must not take the others (or the "loadedjs" report) with it.
      try { p.build(p.section); } catch (e) {
        K.log('error', p.id + ' build: ' + (e && e.stack || e));
        p.section.appendChild(el('p', { 'class': 'notice error', role: 'alert', i18n: 'common.panelBroken' }));
      }
    });
    var saved = null;
    try { saved = localStorage.getItem('korvane.panel'); } catch (e) { saved = null; }
    if (panels.length) show(panels.some(function (p) { return p.id === saved; }) ? saved : panels[0].id);
  }

  function buildTitleBar() {
    var min = document.getElementById('btn-min');
    var close = document.getElementById('btn-close');
    min.addEventListener('click', function () { K.call('click', 'minimizeBtn'); });
    close.addEventListener('click', function () { K.call('click', 'closeBtn'); });
    if (!K.available('click')) {
      min.disabled = true;
      close.disabled = true;
    }
  }

  function buildLogin() {
    var badge = document.getElementById('login-state');
    var state = { in: false, name: '' };
    function render() {
      if (state.in && state.name) K.ui.setText(badge, 'login.in', [state.name]);
      else if (state.in) K.ui.setText(badge, 'login.inNoName');
      else K.ui.setText(badge, 'login.out');
    }
    K.on('userLoginByCpp', function (loggedIn, nickname) {
      state.in = loggedIn === true;
      state.name = typeof nickname === 'string' ? K.model.common.text(nickname, 40) : '';
      render();
    });
    if (K.available('isLogin')) state.in = K.call('isLogin') === true;
    render();
    K.login = { state: function () { return { in: state.in, name: state.name }; } };
  }

  function logPanel() {
    return {
      id: 'log', titleKey: 'nav.log',
      build: function (section) {
        var list = el('ol', { 'class': 'log', id: 'log-list', 'aria-live': 'off' });
        var empty = el('p', { 'class': 'muted', id: 'log-empty', i18n: 'log.empty' });
        section.appendChild(el('div', { 'class': 'panel-head' }, [
          el('h2', { i18n: 'log.heading' }),
          el('button', { type: 'button', id: 'log-clear', i18n: 'log.clear',
                         onclick: function () { K.ui.clear(list); empty.hidden = false; } })
        ]));
        section.appendChild(el('p', { 'class': 'muted', i18n: 'log.hint' }));
        section.appendChild(empty);
        section.appendChild(list);
        K.onLog(function (line) {
          empty.hidden = true;
          var text = line.text + (line.args !== undefined ? ' ' + K.json(line.args) : '');
          var item = el('li', { 'class': 'log-' + line.kind }, [
            el('time', { text: line.time.toLocaleTimeString() }), el('span', { text: ' ' + K.model.common.shorten(text, 2000) })]);
          if (list.firstChild) list.insertBefore(item, list.firstChild);
          else list.appendChild(item);
          while (list.childNodes && list.childNodes.length > 500) list.removeChild(list.lastChild);
        });
      }
    };
  }

  function start() {
    if (started) return;
    started = true;
    K.i18n.apply();
    try { buildTitleBar(); } catch (e) { K.log('error', 'title bar: ' + e); }
    try { buildLogin(); } catch (e) { K.log('error', 'login: ' + e); }
    registerPanel(logPanel());
    buildNavigation();
    K.i18n.apply();
    var offline = document.getElementById('offline-note');
    if (offline) offline.hidden = K.available('eMsg');
    // The program answers with the sign-in state and, once the back end's
    // configuration is known, the help links to show.
    K.call('eMsg', 'loadedjs');
  }

  K.showPanel = show;
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})(this);
