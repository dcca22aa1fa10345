// Downloads panel: driver packages fetched by the program into the download
// folder, with progress, cancel, the folder, and running the package.
(function (global) {
  'use strict';
  var K = global.Korvane;
  var model = K.model.downloads;
  var ui = K.ui;
  var el = ui.el;

  var transfers = [];
  var nextId = 1;
  var folderNodes = [];
  var nodes = {};

  // The program calls the progress function after every chunk; its answer
  // decides whether the transfer goes on, so Cancel takes effect at the next
  // chunk.
  function installCallbacks(transfer) {
    var names = model.callbackNames(transfer.id);
    transfer.names = names;
    global[names.progress] = function (received, total) {
      transfer.received = model.extendCount(transfer.received, received);
      if (typeof total === 'number' && total !== -1) transfer.total = model.extendCount(transfer.total > 0 ? transfer.total : 0, total);
      if (!transfer.cancel) showProgress(transfer);
      return !transfer.cancel;
    };
    global[names.finish] = function (code, path, message) {
      K.log('callback', names.finish, [code, path, message]);
      finish(transfer, code, path, message);
      // Nothing calls these again once the transfer has ended.
      global.setTimeout(function () { delete global[names.progress]; delete global[names.finish]; }, 0);
    };
  }

  function start(url, fallbackName, label) {
    var checked = model.validateUrl(url);
    if (!checked.ok) {
      ui.notice(nodes.notice, 'error', { key: checked.key, args: checked.args || [] });
      if (nodes.url && nodes.url.focus) nodes.url.focus();
      return null;
    }
    var transfer = { id: nextId++, url: checked.url, name: model.nameFromUrl(checked.url), label: label || '',
                     received: 0, total: -1, cancel: false, state: 'running' };
    installCallbacks(transfer);
    var result = K.call('Down', checked.url, transfer.names.progress, transfer.names.finish,
                        model.fallbackNameFor(checked.url, fallbackName), model.MAIN_WINDOW_TYPE);
    var outcome = model.startOutcome(result);
    if (!outcome.ok) {
      delete global[transfer.names.progress];
      delete global[transfer.names.finish];
      var parts = [{ key: outcome.key, args: outcome.args || [] }];
      if (outcome.key === 'dl.start.cannotWrite') parts.push({ key: 'dl.chooseFolder' });
      ui.notice(nodes.notice, 'error', parts);
      return null;
    }
    ui.clear(nodes.notice);
    transfers.unshift(transfer);
    nodes.list.insertBefore ? nodes.list.insertBefore(item(transfer), nodes.list.firstChild || null)
                            : nodes.list.appendChild(item(transfer));
    nodes.empty.hidden = true;
    showProgress(transfer);
    return transfer.id;
  }

  function item(transfer) {
    transfer.node = {};
    var n = transfer.node;
    n.bar = el('progress', { max: '100', 'aria-label': K.t('dl.progressOf', transfer.name) });
    n.text = el('p', { 'class': 'muted', 'aria-live': 'off' });
    n.notice = el('div', { 'aria-live': 'polite' });
    n.cancel = el('button', { type: 'button', 'data-action': 'cancel', i18n: 'common.cancel', onclick: function () {
      transfer.cancel = true;
      transfer.state = 'cancelling';
      n.cancel.disabled = true;
      ui.notice(n.notice, 'busy', { key: 'dl.cancelling' });
    } });
    n.actions = el('div', { 'class': 'actions' }, [n.cancel]);
    n.root = el('li', { 'class': 'download', 'data-download': String(transfer.id) }, [
      el('strong', { 'class': 'name', text: transfer.name }),
      transfer.label ? el('span', { 'class': 'muted', text: ' · ' + transfer.label }) : null,
      n.bar, n.text, n.notice, n.actions]);
    return n.root;
  }

  function showProgress(transfer) {
    var n = transfer.node;
    if (!n) return;
    var view = model.progressView(transfer.received, transfer.total);
    if (view.percent === null) { if (n.bar.removeAttribute) n.bar.removeAttribute('value'); }
    else n.bar.value = view.percent;
    ui.setText(n.text, view.key, view.args);
  }

  function finish(transfer, code, path, message) {
    var n = transfer.node;
    var outcome = model.finishOutcome(code, path, message);
    transfer.state = outcome.ok ? 'done' : (code === 1 ? 'cancelled' : 'failed');
    transfer.path = outcome.path || '';
    n.root.setAttribute('data-state', transfer.state);
    n.bar.hidden = true;
    ui.clear(n.actions);
    var parts = [{ key: outcome.key, args: outcome.args }];
    if (code === 2) parts.push({ key: 'dl.failedAdvice' });
    ui.notice(n.notice, outcome.level, parts);
    if (outcome.ok) {
      n.text.hidden = true;
      n.actions.appendChild(ui.needs(el('button', { type: 'button', 'class': 'primary', 'data-action': 'install',
                                                    i18n: 'dl.install', onclick: function () { install(transfer); } }),
                                     'installDriverPackage'));
      n.actions.appendChild(openFolderButton());
    } else {
      n.actions.appendChild(el('button', { type: 'button', 'data-action': 'retry', i18n: 'dl.retry', onclick: function () {
        start(transfer.url, '', transfer.label);
      } }));
    }
  }

  // Watches for printers that appear after an installer was started: the
  // program cannot tell the page when the installer ends, a new queue can.
  function watchForNewPrinters(transfer) {
    if (!K.printers) return;
    var before = {};
    K.printers.list().forEach(function (p) { before[p.printerName] = true; });
    K.printers.onChange(function (list) {
      if (transfer.installState !== 'running') return;
      var added = list.filter(function (p) { return !before[p.printerName]; });
      if (!added.length) return;
      transfer.installState = 'printer';
      ui.notice(transfer.node.notice, 'ok', { key: 'install.newPrinter', args: [added.map(function (p) { return p.printerName; }).join(', ')] });
    });
  }

  function install(transfer) {
    var n = transfer.node;
    ui.notice(n.notice, 'busy', { key: 'install.starting' });
    ui.defer(function () {
      var result = K.call('installDriverPackage', transfer.name, transfer.path);
      var outcome = model.installOutcome(result);
      var parts = [{ key: outcome.key, args: outcome.args || [] }];
      if (outcome.key === 'install.missing') parts.push({ key: 'install.downloadAgain' });
      ui.notice(n.notice, outcome.level, parts);
      if (result === 0) {
        transfer.installState = 'running';
        watchForNewPrinters(transfer);
      }
    });
  }

  function openFolderButton() {
    return ui.needs(el('button', { type: 'button', 'data-action': 'open-folder', i18n: 'dl.openFolder', onclick: function () {
      var opened = K.call('eMsg', 'saveFolder');
      if (opened === false) ui.notice(nodes.notice, 'error', [{ key: 'dl.folderNotOpened' }, { key: 'dl.chooseFolder' }]);
    } }), 'eMsg');
  }

  function currentFolder() {
    var folder = K.call('downDir');
    return typeof folder === 'string' ? folder : null;
  }

  function showFolder() {
    var folder = currentFolder();
    folderNodes.forEach(function (node) {
      if (folder === null) ui.setText(node, 'common.unavailable');
      else { if (node.removeAttribute) node.removeAttribute('data-i18n'); node.textContent = folder; }
    });
  }

  function changeFolder(noticeNode) {
    var chosen = K.call('selectDir');
    if (typeof chosen !== 'string') { ui.notice(noticeNode, 'warn', { key: 'common.unavailable' }); return; }
    if (!chosen) { ui.notice(noticeNode, 'info', { key: 'folder.unchanged' }); return; }
    var answer = K.call('downDir', chosen);
    if (answer === true) ui.notice(noticeNode, 'ok', { key: 'folder.changed', args: [chosen] });
    else ui.notice(noticeNode, 'error', [{ key: 'folder.notChanged' }, { key: 'advice.retry' }]);
    showFolder();
  }

  // The download folder with its buttons; used here and in Settings.
  function folderWidget(idPrefix) {
    var path = el('code', { id: idPrefix + '-path', 'class': 'path' });
    var notice = el('div', { id: idPrefix + '-notice', 'aria-live': 'polite' });
    folderNodes.push(path);
    var change = ui.needs(el('button', { type: 'button', id: idPrefix + '-change', i18n: 'folder.change',
                                         onclick: function () { changeFolder(notice); } }), 'selectDir');
    var open = openFolderButton();
    open.id = idPrefix + '-open';
    var box = el('div', { 'class': 'folder' }, [
      el('p', {}, [el('span', { i18n: 'folder.label' }), ' ', path]),
      el('div', { 'class': 'actions' }, [change, open]), notice]);
    showFolder();
    return box;
  }

  K.registerPanel({
    id: 'downloads', titleKey: 'nav.downloads',
    build: function (section) {
      section.appendChild(el('h2', { i18n: 'dl.heading' }));
      nodes.url = el('input', { id: 'download-url', type: 'url', 'class': 'wide', spellcheck: 'false', autocomplete: 'off',
                                'data-i18n-placeholder': 'dl.placeholder', placeholder: K.t('dl.placeholder') });
      var go = ui.needs(el('button', { type: 'submit', id: 'download-start', 'class': 'primary', i18n: 'dl.start' }), 'Down');
      var form = el('form', { 'class': 'row', id: 'download-form' }, [
        el('label', { 'for': 'download-url', i18n: 'dl.urlLabel' }), nodes.url, go]);
      form.addEventListener('submit', function (e) {
        e.preventDefault();
        if (start(nodes.url.value, '', '') !== null) nodes.url.value = '';
      });
      section.appendChild(form);
      nodes.notice = el('div', { id: 'download-notice', 'aria-live': 'polite' });
      section.appendChild(nodes.notice);
      section.appendChild(folderWidget('download-folder'));
      section.appendChild(el('h3', { i18n: 'dl.transfers' }));
      nodes.empty = el('p', { 'class': 'muted', id: 'download-empty', i18n: 'dl.none' });
      nodes.list = el('ul', { id: 'download-list', 'class': 'downloads' });
      section.appendChild(nodes.empty);
      section.appendChild(nodes.list);
    },
    onShow: showFolder
  });

  K.downloads = {
    start: start,
    folderWidget: folderWidget,
    transfers: function () { return transfers.map(function (t) { return { id: t.id, url: t.url, state: t.state, path: t.path || '' }; }); }
  };
})(this);
