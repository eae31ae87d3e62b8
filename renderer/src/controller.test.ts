import { describe, expect, it } from 'vitest';
import { UNSUPPORTED_MESSAGE, type QuillmerPageAPI } from './bridge';
import { Controller } from './controller';
import { decisionsFrom, sameDecisions, saveArguments, setEdit, setIncluded } from './review';
import { readBundle } from './parse';

const state = (o: Record<string, unknown> = {}) => ({ available: true, stage: 'idle', recentSessions: [], cloudSync: {}, disclosure: {}, consent: {}, ...o });
const bundlePayload = { id: 'B1', evidence: { session: { id: 'S1' }, candidates: [] }, frameDataURLs: {} };

/** A native object whose calls are answered from a table and recorded. */
function fakeNative(answers: Record<string, (args: unknown[]) => unknown>) {
  const calls: Array<[string, unknown[]]> = [];
  let listener: ((s: unknown) => void) | undefined;
  const api: QuillmerPageAPI = { platform: 'linux' };
  for (const pageCall of ['capture.restore', 'capture.getState', 'capture.process', 'capture.start', 'capture.newSession', 'analysis.plan', 'analysis.approve']) {
    const [group, name] = pageCall.split('.');
    const target = (api[group] ??= {}) as Record<string, unknown>;
    target[name] = async (...args: unknown[]) => {
      calls.push([pageCall, args]);
      const answer = answers[pageCall];
      if (!answer) throw new Error(UNSUPPORTED_MESSAGE);
      return answer(args);
    };
  }
  (api.capture as Record<string, unknown>).onState = (l: (s: unknown) => void) => { listener = l; return () => { listener = undefined; }; };
  return { api, calls, push: (s: unknown) => listener?.(s) };
}

describe('Controller', () => {
  it('starts from the restored meeting, with its bundle when it has one, and follows pushes', async () => {
    const native = fakeNative({ 'capture.restore': () => ({ state: state({ stage: 'ready-to-process', sessionName: 'S1' }), bundle: bundlePayload }) });
    const c = new Controller(native.api);
    await c.start();
    expect(c.state.snapshot?.sessionName).toBe('S1');
    expect(c.state.bundle?.id).toBe('B1');
    native.push(state({ stage: 'exporting', sessionName: 'S1' }));
    expect(c.state.snapshot?.stage).toBe('exporting');
    expect(c.state.bundle?.id).toBe('B1');
    native.push(state({ stage: 'ready-to-process', sessionName: 'S2' }));
    expect(c.state.bundle).toBeUndefined();
  });

  it('brings a view that subscribes after the restore reply up to date, and only such a view', async () => {
    const native = fakeNative({ 'capture.restore': () => ({ state: state({ sessionName: 'S1' }), bundle: bundlePayload }) });
    const c = new Controller(native.api);
    const rendered = c.state;
    await c.start();
    let late = 0;
    c.subscribe(() => late++, rendered);
    expect(late).toBe(1);
    let current = 0;
    c.subscribe(() => current++, c.state);
    expect(current).toBe(0);
    native.push(state({ sessionName: 'S1', stage: 'exporting' }));
    expect([late, current]).toEqual([2, 1]);
  });

  it('treats "not approved for analysis" as evidence ready and fetches the bundle', async () => {
    const native = fakeNative({
      'capture.restore': () => ({ state: state({ stage: 'ready-to-process', sessionName: 'S1' }), bundle: bundlePayload }),
      'capture.process': () => { throw new Error('This meeting has not been approved for analysis yet.'); },
    });
    const c = new Controller(native.api);
    c.applySnapshot(state({ stage: 'ready-to-process', sessionName: 'S1' }));
    await c.process();
    expect(c.state.awaitingApproval).toBe(true);
    expect(c.state.bundle?.id).toBe('B1');
    expect(c.state.notice).toBeUndefined();
    expect(native.calls.map(([m, a]) => [m, a.length])).toEqual([['capture.process', 0], ['capture.restore', 0]]);
  });

  it('reports other processing failures unless the state already shows them', async () => {
    const native = fakeNative({ 'capture.process': () => { throw new Error('Import or record a meeting first.'); } });
    const c = new Controller(native.api);
    c.applySnapshot(state());
    await c.process();
    expect(c.state.notice).toEqual({ kind: 'error', text: 'Import or record a meeting first.' });

    const failing = fakeNative({ 'capture.process': () => { throw new Error('Evidence export could not complete: disk full'); } });
    const d = new Controller(failing.api);
    d.applySnapshot(state({ stage: 'failed', sessionName: 'S', error: 'Evidence export could not complete: disk full' }));
    await d.process();
    expect(d.state.notice).toBeUndefined();
  });

  it('remembers unsupported calls and does not raise them as errors where the page can hide the feature', async () => {
    const native = fakeNative({});
    const c = new Controller(native.api);
    const result = await c.call('analysis.plan');
    expect(result).toEqual({ ok: false, error: UNSUPPORTED_MESSAGE, unsupported: true });
    expect(c.isUnsupported('analysis.plan')).toBe(true);
    expect(c.isUnsupported('capture.start')).toBe(false);
    const missing = await c.call('summary.refresh', ['B1']);
    expect(missing.ok).toBe(false);
    expect(c.isUnsupported('summary.refresh')).toBe(true);
    expect(c.state.pending.size).toBe(0);
  });

  it('starts a recording with the display and a complete affirmation, and clocks it from the first recording state', async () => {
    let t = 1_000_000;
    const native = fakeNative({ 'capture.start': () => state({ stage: 'recording', detail: '0 frames captured' }) });
    const c = new Controller(native.api, () => t);
    await c.startRecording('42', true, false);
    const [, args] = native.calls[0];
    expect(args[0]).toBe('42');
    expect(args[1]).toEqual({ participantsInformed: true, disclosureTextVersion: 1, affirmedAt: new Date(1_000_000).toISOString(), standing: false });
    expect(c.state.recordingSince).toBe(1_000_000);
    t += 5000;
    c.applySnapshot(state({ stage: 'recording', detail: '150 frames captured' }));
    expect(c.state.recordingSince).toBe(1_000_000);
    c.applySnapshot(state({ stage: 'ready-to-process', sessionName: 'S' }));
    expect(c.state.recordingSince).toBeUndefined();
  });

  it('approves the chosen passes for the current meeting, then processes', async () => {
    const native = fakeNative({ 'analysis.approve': () => state({ sessionName: 'S1' }), 'capture.process': () => bundlePayload });
    const c = new Controller(native.api);
    c.applySnapshot(state({ stage: 'ready-to-process', sessionName: 'S1' }));
    await c.approveAnalysis(['evidence']);
    expect(native.calls[0]).toEqual(['analysis.approve', [{ sessionID: 'S1', passes: ['evidence'] }]]);
    expect(c.state.bundle?.id).toBe('B1');
  });
});

describe('review decisions', () => {
  const item = { id: 'I1', candidateID: 'C', component: 'Header', observed: '', requestedChange: 'Make it sticky', quote: '', confidence: 0.9, evidenceFramePaths: [] };
  const bundle = readBundle({ ...bundlePayload, includedFeedbackIDs: ['I2', 'I1'], visualEvidenceUsefulIDs: ['I1'], feedback: { items: [item] } })!;

  it('sends sorted ids and only edits the native side would keep', () => {
    let d = decisionsFrom(bundle);
    d = setEdit(d, item, { component: 'Header', requestedChange: 'Make it sticky on scroll' });
    d = setEdit(d, { ...item, id: 'I2' }, { component: ' ', requestedChange: 'x' });
    expect(saveArguments('B1', d)).toEqual(['B1', ['I1', 'I2'], { I1: { component: 'Header', requestedChange: 'Make it sticky on scroll' } }, ['I1']]);
  });

  it('knows when the person changed something and when they changed it back', () => {
    const saved = decisionsFrom(bundle);
    const changed = setIncluded(saved, 'I1', false);
    expect(sameDecisions(saved, changed)).toBe(false);
    expect(sameDecisions(saved, setIncluded(changed, 'I1', true))).toBe(true);
    const edited = setEdit(saved, item, { component: 'Top bar', requestedChange: item.requestedChange });
    expect(sameDecisions(saved, edited)).toBe(false);
    expect(sameDecisions(saved, setEdit(edited, item, { component: item.component, requestedChange: item.requestedChange }))).toBe(true);
  });
});
