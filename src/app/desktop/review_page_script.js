// The page's side of the desktop bridge, injected at document start into the main frame only.
// Calls go to the "quillmer" script message handler as { id, method, args }; the native side answers
// each through window.__quillmerNativeResolve and pushes state snapshots through
// window.__quillmerNativeState.
(function () {
  'use strict';

  var NATIVE_FAILURE = 'The native operation failed.';

  // Page call -> bridge method name.
  var METHOD_NAMES = {
    'capture.getState': 'capture.state',
    'capture.restore': 'capture.restore',
    'capture.deleteSession': 'capture.deleteSession',
    'capture.newSession': 'capture.newSession',
    'capture.importRecording': 'capture.importRecording',
    'capture.importTranscript': 'capture.importTranscript',
    'capture.sources': 'capture.sources',
    'capture.start': 'capture.start',
    'capture.stop': 'capture.stop',
    'capture.process': 'capture.process',
    'capture.cancel': 'capture.cancel',
    'capture.retry': 'capture.retry',
    'capture.connectCloud': 'capture.connectCloud',
    'capture.syncCloud': 'capture.syncCloud',
    'consent.acknowledgeDisclosure': 'consent.acknowledgeDisclosure',
    'consent.setStandingRecordingConsent': 'consent.setStandingRecordingConsent',
    'consent.setRemoteTranscription': 'consent.setRemoteTranscription',
    'analysis.plan': 'analysis.plan',
    'analysis.approve': 'analysis.approve',
    'analysis.decline': 'analysis.decline',
    'updates.openDownload': 'updates.openDownload',
    'updates.setEnabled': 'updates.setEnabled',
    'evidence.open': 'evidence.open',
    'integrations.status': 'integrations.status',
    'integrations.install': 'integrations.install',
    'review.save': 'review.save',
    'review.createHandoff': 'review.createHandoff',
    'review.copyHandoff': 'review.copyHandoff',
    'review.copyText': 'text.copy',
    'summary.refresh': 'summary.refresh',
    'diagnostics.exportBundle': 'diagnostics.export'
  };

  var pending = new Map();
  var sequence = 0;
  var stateListeners = [];

  function call(method, args) {
    sequence += 1;
    var id = String(Date.now()) + '-' + sequence;
    return new Promise(function (resolve, reject) {
      pending.set(id, { resolve: resolve, reject: reject });
      try {
        window.webkit.messageHandlers.quillmer.postMessage({ id: id, method: method, args: args || [] });
      } catch (error) {
        // No handler (or an argument that cannot be posted): nothing will ever answer this id.
        pending.delete(id);
        reject(new Error(NATIVE_FAILURE));
      }
    });
  }

  function resolveNative(reply) {
    if (!reply || typeof reply.id !== 'string' || !pending.has(reply.id)) return;
    var waiting = pending.get(reply.id);
    pending.delete(reply.id);
    if (reply.ok === true) {
      waiting.resolve(reply.value === null ? undefined : reply.value);
    } else {
      waiting.reject(new Error(typeof reply.error === 'string' && reply.error ? reply.error : NATIVE_FAILURE));
    }
  }

  function pushState(state) {
    stateListeners.slice().forEach(function (listener) {
      try {
        listener(state);
      } catch (error) {
        // One broken view must not keep the snapshot from the others.
        console.error(error);
      }
    });
  }

  var api = { platform: 'linux' };
  Object.keys(METHOD_NAMES).forEach(function (pageCall) {
    var parts = pageCall.split('.');
    var group = api[parts[0]] || (api[parts[0]] = {});
    var method = METHOD_NAMES[pageCall];
    group[parts[1]] = function () {
      return call(method, Array.prototype.slice.call(arguments));
    };
  });
  api.capture.available = true;
  api.capture.onState = function (listener) {
    if (typeof listener !== 'function') return function () {};
    stateListeners.push(listener);
    return function () {
      var index = stateListeners.indexOf(listener);
      if (index >= 0) stateListeners.splice(index, 1);
    };
  };
  Object.keys(api).forEach(function (key) {
    if (typeof api[key] === 'object') Object.freeze(api[key]);
  });

  function define(name, value) {
    Object.defineProperty(window, name, { value: value, enumerable: false, writable: false, configurable: false });
  }
  define('__quillmerNativeResolve', resolveNative);
  define('__quillmerNativeState', pushState);
  Object.defineProperty(window, 'quillmer', {
    value: Object.freeze(api),
    enumerable: true,
    writable: false,
    configurable: false
  });
})();
