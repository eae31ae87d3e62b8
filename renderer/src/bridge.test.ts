import { describe, expect, it, vi } from 'vitest';
import {
  assetURLFor, createHttpBridge, invoke, NATIVE_FAILURE_MESSAGE, PendingCalls,
  SIGNED_OUT_MESSAGE, UNREACHABLE_MESSAGE, UNSUPPORTED_MESSAGE, type HttpTransport,
} from './bridge';

describe('PendingCalls', () => {
  it('makes ids of epoch milliseconds and a rising sequence', () => {
    const calls = new PendingCalls(() => 1714815012345.7);
    expect(calls.nextId()).toBe('1714815012345-1');
    expect(calls.nextId()).toBe('1714815012345-2');
  });

  it('settles each call once by id, ignoring unknown ids', async () => {
    const calls = new PendingCalls();
    const a = calls.register('a');
    const b = calls.register('b');
    expect(calls.settle({ id: 'zzz', ok: true, value: 1 })).toBe(false);
    expect(calls.settle({ id: 'b', ok: true, value: { x: 1 } })).toBe(true);
    expect(calls.settle({ id: 'b', ok: true, value: 2 })).toBe(false);
    expect(calls.settle({ id: 'a', ok: true, value: null })).toBe(true);
    await expect(b).resolves.toEqual({ x: 1 });
    await expect(a).resolves.toBeUndefined();
    expect(calls.size).toBe(0);
  });

  it('rejects with the native text, or a fixed one when the text is empty', async () => {
    const calls = new PendingCalls();
    const a = calls.register('a');
    const b = calls.register('b');
    calls.settle({ id: 'a', ok: false, error: 'Choose a display before recording.' });
    calls.settle({ id: 'b', ok: false, error: '' });
    await expect(a).rejects.toThrow('Choose a display before recording.');
    await expect(b).rejects.toThrow(NATIVE_FAILURE_MESSAGE);
  });
});

function fakeTransport(reply: (body: { id: string; method: string; args: unknown[] }) => Response | Promise<Response>) {
  const sent: Array<{ id: string; method: string; args: unknown[] }> = [];
  let onData: ((data: string) => void) | undefined;
  let closed = 0;
  const transport: HttpTransport = {
    baseURL: 'http://127.0.0.1:4000/review/index.html?token=t',
    fetch: vi.fn(async (url: string, init: RequestInit) => {
      expect(url).toBe('http://127.0.0.1:4000/bridge');
      expect(init.credentials).toBe('same-origin');
      // The server takes bridge calls only as JSON.
      expect(new Headers(init.headers).get('Content-Type')).toBe('application/json');
      const body = JSON.parse(String(init.body));
      sent.push(body);
      return reply(body);
    }),
    openEvents: (url, handler) => {
      expect(url).toBe('http://127.0.0.1:4000/events');
      onData = handler;
      return { close: () => { closed += 1; } };
    },
  };
  return { transport, sent, push: (d: string) => onData?.(d), closed: () => closed };
}

const json = (v: unknown, status = 200) => new Response(JSON.stringify(v), { status, headers: { 'Content-Type': 'application/json' } });

describe('HTTP bridge', () => {
  it('sends the table method name for page calls whose names differ', async () => {
    const t = fakeTransport((b) => json({ id: b.id, ok: true, value: null }));
    const api = createHttpBridge(t.transport);
    await invoke(api, 'review.copyText', ['hello']);
    await invoke(api, 'diagnostics.exportBundle');
    await invoke(api, 'capture.getState');
    expect(t.sent.map((s) => s.method)).toEqual(['text.copy', 'diagnostics.export', 'capture.state']);
    expect(t.sent[0].args).toEqual(['hello']);
    expect(t.sent[1].args).toEqual([]);
    expect(new Set(t.sent.map((s) => s.id)).size).toBe(3);
  });

  it('turns failures into the texts the page shows', async () => {
    const unsupported = createHttpBridge(fakeTransport((b) => json({ id: b.id, ok: false, error: UNSUPPORTED_MESSAGE })).transport);
    await expect(invoke(unsupported, 'analysis.plan')).rejects.toThrow(UNSUPPORTED_MESSAGE);
    const signedOut = createHttpBridge(fakeTransport(() => json({}, 401)).transport);
    await expect(invoke(signedOut, 'capture.getState')).rejects.toThrow(SIGNED_OUT_MESSAGE);
    const wrongID = createHttpBridge(fakeTransport(() => json({ id: 'other', ok: true, value: 1 })).transport);
    await expect(invoke(wrongID, 'capture.getState')).rejects.toThrow(NATIVE_FAILURE_MESSAGE);
    const garbage = createHttpBridge(fakeTransport(() => new Response('<html>', { status: 500 })).transport);
    await expect(invoke(garbage, 'capture.getState')).rejects.toThrow(NATIVE_FAILURE_MESSAGE);
    const down = createHttpBridge(fakeTransport(() => { throw new TypeError('fetch failed'); }).transport);
    await expect(invoke(down, 'capture.getState')).rejects.toThrow(UNREACHABLE_MESSAGE);
  });

  it('hands each pushed snapshot to every listener, skips unreadable ones, and closes when the last leaves', () => {
    const t = fakeTransport(() => json({}));
    const api = createHttpBridge(t.transport);
    const onState = (api.capture as Record<string, (l: (s: unknown) => void) => () => void>).onState;
    const a: unknown[] = [];
    const b: unknown[] = [];
    const offA = onState((s) => a.push(s));
    const offB = onState((s) => b.push(s));
    t.push('{"stage":"idle"}');
    t.push('not json');
    offA();
    t.push('{"stage":"recording"}');
    expect(a).toEqual([{ stage: 'idle' }]);
    expect(b).toEqual([{ stage: 'idle' }, { stage: 'recording' }]);
    expect(t.closed()).toBe(0);
    offB();
    expect(t.closed()).toBe(1);
  });
});

describe('invoke and asset URLs', () => {
  it('treats a function the native object lacks as unsupported', async () => {
    await expect(invoke({ platform: 'linux', capture: {} }, 'capture.sources')).rejects.toThrow(UNSUPPORTED_MESSAGE);
    await expect(invoke({ platform: 'linux' }, 'summary.refresh', ['x'])).rejects.toThrow(UNSUPPORTED_MESSAGE);
  });

  it('asks the serving origin for private-scheme frames and media only over HTTP', () => {
    const url = 'quillmer-review://evidence/B1/frames/A%20B-1.png';
    expect(assetURLFor(url, true)).toBe('/evidence/B1/frames/A%20B-1.png');
    expect(assetURLFor(url, false)).toBe(url);
    expect(assetURLFor('quillmer-review://media/B1/screen.mp4', true)).toBe('/media/B1/screen.mp4');
    expect(assetURLFor('http://127.0.0.1:9/t/x.mp4', true)).toBe('http://127.0.0.1:9/t/x.mp4');
    expect(assetURLFor(undefined, true)).toBeUndefined();
  });
});
