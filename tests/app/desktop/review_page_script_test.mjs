// The page-side bridge script, run in a fresh JavaScript realm with a fake window and a fake
// "quillmer" message handler: the same global surroundings WebKit gives it at document start.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import vm from 'node:vm';

const script = readFileSync(process.env.QUILLMER_PAGE_SCRIPT, 'utf8');

// Returns the fake window (an ordinary object of the page's realm) and what was posted to the handler.
function loadPage() {
  const posted = [];
  const realm = vm.createContext({ console: { error: () => {} } });
  const page = vm.runInContext('var window = {}; window', realm);
  page.webkit = { messageHandlers: { quillmer: { postMessage: (message) => posted.push(structuredClone(message)) } } };
  vm.runInContext(script, realm);
  page.run = (code) => vm.runInContext(code, realm);
  return { page, posted };
}

// Page call -> method name: the renderer's own table, which the page script must agree with.
const rendererBridge = readFileSync(process.env.QUILLMER_RENDERER_BRIDGE, 'utf8');
const tableText = /METHOD_NAMES[^{]*\{([^}]*)\}/.exec(rendererBridge)[1];
const EXPECTED_METHODS = Object.fromEntries([...tableText.matchAll(/'([^']+)':\s*'([^']+)'/g)].map((m) => [m[1], m[2]]));

test('every page call posts its method name with positional arguments and a fresh id', () => {
  const { page, posted } = loadPage();
  const before = Date.now();
  for (const [pageCall, method] of Object.entries(EXPECTED_METHODS)) {
    const [group, name] = pageCall.split('.');
    page.quillmer[group][name]('one', 2);
    assert.equal(posted.at(-1).method, method, pageCall);
    assert.deepEqual(posted.at(-1).args, ['one', 2]);
  }
  page.quillmer.capture.getState();
  assert.deepEqual(posted.at(-1).args, [], 'no arguments: an empty list');

  const ids = posted.map((message) => message.id);
  assert.equal(new Set(ids).size, ids.length);
  ids.forEach((id, index) => {
    const match = /^(\d+)-(\d+)$/.exec(id);
    assert.ok(match, id);
    assert.equal(Number(match[2]), index + 1, 'the sequence counts every call');
    assert.ok(Number(match[1]) >= before && Number(match[1]) <= Date.now(), 'milliseconds since the epoch');
  });
  const groups = Object.keys(page.quillmer).filter((key) => typeof page.quillmer[key] === 'object');
  const calls = groups.flatMap((group) =>
    Object.keys(page.quillmer[group]).filter((n) => n !== 'available' && n !== 'onState').map((n) => `${group}.${n}`));
  assert.deepEqual(calls.sort(), Object.keys(EXPECTED_METHODS).sort(), 'no call more, no call less');
});

test('replies settle their own call only, and a call that cannot be posted fails', async () => {
  const { page, posted } = loadPage();
  const first = page.quillmer.capture.getState();
  const second = page.quillmer.review.save('bundle', [], {}, []);
  const third = page.quillmer.capture.sources();
  const fourth = page.quillmer.capture.stop();
  const [a, b, c, d] = posted.map((message) => message.id);

  page.__quillmerNativeResolve({ id: 'unknown', ok: true, value: 1 });
  page.__quillmerNativeResolve(null);
  page.__quillmerNativeResolve({ id: b, ok: true, value: null });
  page.__quillmerNativeResolve({ id: a, ok: true, value: { stage: 'idle' } });
  page.__quillmerNativeResolve({ id: c, ok: false, error: 'Choose a display before recording.' });
  page.__quillmerNativeResolve({ id: d, ok: false, error: '' });
  page.__quillmerNativeResolve({ id: a, ok: true, value: 'twice' });

  assert.deepEqual({ ...(await first) }, { stage: 'idle' });
  assert.equal(await second, undefined, 'a null value resolves as undefined');
  await assert.rejects(third, (error) => error.message === 'Choose a display before recording.');
  await assert.rejects(fourth, (error) => error.message === 'The native operation failed.');

  // A call that cannot be posted fails instead of waiting forever.
  page.webkit.messageHandlers.quillmer.postMessage = () => {
    throw new Error('DataCloneError');
  };
  await assert.rejects(page.quillmer.capture.getState(), (error) => error.message === 'The native operation failed.');
});

test('state pushes reach every listener until it is removed', () => {
  const { page } = loadPage();
  const seen = [];
  const removeFirst = page.quillmer.capture.onState((state) => seen.push(['first', state.stage]));
  page.quillmer.capture.onState(() => {
    throw new Error('a broken view');
  });
  page.quillmer.capture.onState((state) => seen.push(['third', state.stage]));
  page.__quillmerNativeState({ stage: 'recording' });
  removeFirst();
  removeFirst();
  page.__quillmerNativeState({ stage: 'ready' });
  assert.deepEqual(seen, [['first', 'recording'], ['third', 'recording'], ['third', 'ready']]);
});

test('window.quillmer is fixed in place, describes Linux and offers capture', () => {
  const { page } = loadPage();
  const descriptor = Object.getOwnPropertyDescriptor(page, 'quillmer');
  assert.equal(descriptor.configurable, false);
  assert.equal(descriptor.writable, false);
  assert.equal(page.quillmer.platform, 'linux');
  assert.equal(page.quillmer.capture.available, true);
  const original = page.quillmer;
  assert.throws(() => page.run('"use strict"; delete window.quillmer'));
  assert.throws(() => page.run('"use strict"; window.quillmer = {}'));
  assert.throws(() => page.run('"use strict"; window.quillmer.capture.getState = null'));
  assert.throws(() => page.run('"use strict"; window.__quillmerNativeResolve = null'));
  assert.equal(page.quillmer, original);
  assert.equal(typeof page.quillmer.capture.getState, 'function');
});
