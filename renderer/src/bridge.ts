// The page's only way to the native side. In the desktop view the native page script installs
// `window.quillmer`; in an ordinary browser served by `quillmer serve` the same object is built
// here on top of `POST /bridge` (calls) and `GET /events` (state pushes). Views never touch either.

export const UNSUPPORTED_MESSAGE = 'This version of Quillmer does not support that operation.';
export const NATIVE_FAILURE_MESSAGE = 'The native operation failed.';
export const UNREACHABLE_MESSAGE = 'Quillmer is not answering. Check that it is still running, then try again.';
export const SIGNED_OUT_MESSAGE = 'This review link is no longer valid. Open the address Quillmer printed again.';

type Fn = (...args: unknown[]) => unknown;
type Group = Record<string, unknown>;
/** The `window.quillmer` object: groups of functions plus `platform` and `capture.available`. */
export type QuillmerPageAPI = { platform: string } & Record<string, Group | string>;

/** Page call → bridge method name. Most are the same; the few that differ are why this table exists. */
export const METHOD_NAMES: Readonly<Record<string, string>> = {
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
  'diagnostics.exportBundle': 'diagnostics.export',
};

export interface NativeReply {
  id?: unknown;
  ok?: unknown;
  value?: unknown;
  error?: unknown;
}

/** Outstanding calls by id, with ids made the way the native page script makes them. */
export class PendingCalls {
  private sequence = 0;
  private readonly calls = new Map<string, { resolve: (v: unknown) => void; reject: (e: Error) => void }>();

  constructor(private readonly now: () => number = Date.now) {}

  nextId(): string {
    this.sequence += 1;
    return `${Math.floor(this.now())}-${this.sequence}`;
  }

  get size(): number {
    return this.calls.size;
  }

  register(id: string): Promise<unknown> {
    return new Promise((resolve, reject) => this.calls.set(id, { resolve, reject }));
  }

  /** Settles the call the reply names; false when no such call is waiting. */
  settle(reply: NativeReply): boolean {
    const id = typeof reply?.id === 'string' ? reply.id : undefined;
    const call = id === undefined ? undefined : this.calls.get(id);
    if (!call || id === undefined) return false;
    this.calls.delete(id);
    if (reply.ok === true) call.resolve(reply.value === null ? undefined : reply.value);
    else call.reject(new Error(typeof reply.error === 'string' && reply.error ? reply.error : NATIVE_FAILURE_MESSAGE));
    return true;
  }

  fail(id: string, message: string): void {
    const call = this.calls.get(id);
    if (!call) return;
    this.calls.delete(id);
    call.reject(new Error(message));
  }
}

export interface HttpTransport {
  fetch: (input: string, init: RequestInit) => Promise<Response>;
  /** Opens the event stream; each message's data is handed to `onData`. */
  openEvents: (url: string, onData: (data: string) => void) => { close(): void };
  baseURL: string;
}

/** The `window.quillmer` object for a page served over HTTP. */
export function createHttpBridge(transport: HttpTransport, pending = new PendingCalls()): QuillmerPageAPI {
  const listeners = new Set<(state: unknown) => void>();
  let events: ReturnType<HttpTransport['openEvents']> | undefined;

  const call = async (method: string, args: unknown[]): Promise<unknown> => {
    const id = pending.nextId();
    const result = pending.register(id);
    let reply: NativeReply | undefined;
    try {
      const response = await transport.fetch(new URL('/bridge', transport.baseURL).toString(), {
        method: 'POST',
        credentials: 'same-origin',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify({ id, method, args }),
      });
      if (response.status === 401 || response.status === 403) {
        pending.fail(id, SIGNED_OUT_MESSAGE);
        return result;
      }
      reply = (await response.json().catch(() => undefined)) as NativeReply | undefined;
    } catch {
      pending.fail(id, UNREACHABLE_MESSAGE);
      return result;
    }
    if (!reply || !pending.settle(reply)) pending.fail(id, NATIVE_FAILURE_MESSAGE);
    return result;
  };

  const api: QuillmerPageAPI = { platform: 'linux' };
  for (const [pageCall, method] of Object.entries(METHOD_NAMES)) {
    const [group, name] = pageCall.split('.');
    const target = (api[group] ??= {}) as Group;
    target[name] = (...args: unknown[]) => call(method, args);
  }
  const capture = api.capture as Group;
  capture.available = true;
  capture.onState = (listener: (state: unknown) => void) => {
    listeners.add(listener);
    if (!events) {
      events = transport.openEvents(new URL('/events', transport.baseURL).toString(), (data) => {
        let state: unknown;
        try {
          state = JSON.parse(data);
        } catch {
          return;
        }
        for (const l of [...listeners]) l(state);
      });
    }
    return () => {
      listeners.delete(listener);
      if (listeners.size === 0 && events) {
        events.close();
        events = undefined;
      }
    };
  };
  return api;
}

/**
 * Frame and media URLs name the desktop view's private scheme; a browser cannot load those, so over
 * HTTP they are asked from the same origin under the same host and path.
 */
export function assetURLFor(url: string | undefined, overHttp: boolean): string | undefined {
  if (!url) return undefined;
  const match = /^quillmer-review:\/\/(evidence|media)\/(.*)$/.exec(url);
  return overHttp && match ? `/${match[1]}/${match[2]}` : url;
}

export interface ConnectedBridge {
  api: QuillmerPageAPI;
  overHttp: boolean;
}

/** The bridge the page should use, or undefined when it has none (a file opened directly). */
export function connectBridge(win: Window & { quillmer?: QuillmerPageAPI } = window): ConnectedBridge | undefined {
  if (win.quillmer && typeof win.quillmer === 'object') return { api: win.quillmer, overHttp: false };
  if (win.location.protocol === 'http:' || win.location.protocol === 'https:') {
    const api = createHttpBridge({
      fetch: (input, init) => win.fetch(input, init),
      openEvents: (url, onData) => {
        const source = new EventSource(url, { withCredentials: true });
        source.onmessage = (e) => onData(String(e.data));
        return source;
      },
      baseURL: win.location.href,
    });
    return { api, overHttp: true };
  }
  return undefined;
}

/** Calls a page function by its dotted name; a function the native side lacks is "unsupported". */
export async function invoke(api: QuillmerPageAPI, pageCall: string, args: unknown[] = []): Promise<unknown> {
  const [group, name] = pageCall.split('.');
  const target = api[group];
  const fn = typeof target === 'object' && target !== null ? (target as Group)[name] : undefined;
  if (typeof fn !== 'function') throw new Error(UNSUPPORTED_MESSAGE);
  return await (fn as Fn).apply(target, args);
}

export const isUnsupported = (error: unknown): boolean =>
  error instanceof Error && error.message === UNSUPPORTED_MESSAGE;

export const messageOf = (error: unknown): string =>
  error instanceof Error && error.message ? error.message : NATIVE_FAILURE_MESSAGE;
