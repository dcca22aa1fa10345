// Korvane page bridge helpers: calls into the program when it is there, and
// a registry so each feature module can listen to the program's callbacks.
(function (global) {
  'use strict';

  var listeners = {};

  // Calls a native function by name; returns undefined when the page runs
  // outside the program (opened in a browser for layout work).
  function call(name) {
    var fn = global[name];
    if (typeof fn !== 'function') return undefined;
    var args = Array.prototype.slice.call(arguments, 1);
    try {
      return fn.apply(global, args);
    } catch (e) {
      Korvane.log('error', name + ': ' + e);
      return undefined;
    }
  }

  // Defines the page function the program calls (a "...ByCpp" global) once,
  // fanning each call out to every module that listens. The value returned to
  // the program is the last listener's non-undefined answer.
  function on(name, handler) {
    if (!listeners[name]) {
      listeners[name] = [];
      global[name] = function () {
        var args = Array.prototype.slice.call(arguments);
        Korvane.log('callback', name, args);
        var answer;
        listeners[name].forEach(function (h) {
          try {
            var r = h.apply(global, args);
            if (r !== undefined) answer = r;
          } catch (e) {
            Korvane.log('error', name + ' handler: ' + e);
          }
        });
        return answer;
      };
    }
    listeners[name].push(handler);
  }

  function available(name) {
    return typeof global[name] === 'function';
  }

  var logSinks = [];
  function log(kind, text, args) {
    var line = { time: new Date(), kind: kind, text: String(text), args: args };
    logSinks.forEach(function (sink) { sink(line); });
    if (global.console && console.log) console.log('[' + kind + '] ' + text + (args ? ' ' + safeJson(args) : ''));
  }
  function onLog(sink) { logSinks.push(sink); }

  function safeJson(value) {
    try { return JSON.stringify(value); } catch (e) { return String(value); }
  }

  function parseJson(text, fallback) {
    if (typeof text !== 'string') return fallback;
    try { return JSON.parse(text); } catch (e) { return fallback; }
  }

  global.Korvane = global.Korvane || {};
  global.Korvane.call = call;
  global.Korvane.on = on;
  global.Korvane.available = available;
  global.Korvane.log = log;
  global.Korvane.onLog = onLog;
  global.Korvane.json = safeJson;
  global.Korvane.parseJson = parseJson;
})(this);
