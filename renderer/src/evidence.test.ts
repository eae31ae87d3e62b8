import { describe, expect, it } from 'vitest';
import { feedbackByCandidate, frameKind, framesOf, momentSeconds, orderedMoments, speakerTone, splitOnTrigger, videoTimeFor } from './evidence';
import { readBundle, readEvidence } from './parse';

const candidate = (id: string, start: number, end: number, extra: Record<string, unknown> = {}) =>
  ({ id, rangeStartSeconds: start, rangeEndSeconds: end, trigger: 'this', transcriptContext: '', frames: [], ...extra });
const evidence = (candidates: unknown[], videoRangeSeconds?: unknown) =>
  readEvidence({ schemaVersion: 1, exportedAt: '', session: { id: 'S', displaySize: { width: 10, height: 10 }, videoRangeSeconds, transcript: { path: 'transcript.json' } }, candidates });

describe('moments', () => {
  it('orders by start time and keeps the exported order for equal starts', () => {
    const doc = evidence([candidate('c', 30, 33), candidate('a', 10, 13), candidate('b', 10, 13)]);
    expect(orderedMoments(doc).map((c) => c.id)).toEqual(['a', 'b', 'c']);
  });

  it('finds the spoken moment inside a window cut short by either end of the video', () => {
    const doc = evidence([], { start: 100, end: 200 });
    expect(momentSeconds({ ...candidate('x', 10, 13), frames: [] }, evidence([]))).toBe(12);
    expect(momentSeconds({ ...candidate('x', 100, 101.5), frames: [] }, doc)).toBeCloseTo(100.5); // cut at the start
    expect(momentSeconds({ ...candidate('x', 197.5, 200), frames: [] }, doc)).toBeCloseTo(199.5); // cut at the end
    expect(momentSeconds({ ...candidate('x', 150, 153), frames: [] }, doc)).toBe(152);
  });

  it('places capture-clock times in the video from its first frame', () => {
    const doc = evidence([], { start: 5000.5, end: 5100 });
    expect(videoTimeFor(5012.5, doc)).toBe(12);
    expect(videoTimeFor(4000, doc)).toBe(0);
    expect(videoTimeFor(12, evidence([]))).toBe(12);
  });

  it('names frames by their file names', () => {
    expect(frameKind('frames/ABC-0.png')).toBe('before');
    expect(frameKind('frames/ABC-1.png')).toBe('atMoment');
    expect(frameKind('frames/ABC-2.png')).toBe('after');
    expect(frameKind('frames/ABC-change-anchor.png')).toBe('annotated');
    expect(frameKind('frames/ABC-change-focus.png')).toBe('focusedCrop');
    expect(frameKind('frames/other.png')).toBe('evidence');
    const frames = framesOf({ ...candidate('x', 0, 1), frames: [{ path: 'frames/X-1.png', sha256: '', byteCount: 0 }, { path: 'frames/X-change-focus.png', sha256: '', byteCount: 0 }] });
    expect(frames).toEqual({ atMoment: 'frames/X-1.png', focusedCrop: 'frames/X-change-focus.png' });
  });

  it('highlights the trigger as a whole word, case-insensitively', () => {
    expect(splitOnTrigger('So This thing here', 'this')).toEqual(['So ', 'This', ' thing here']);
    expect(splitOnTrigger('within this', 'this')).toEqual(['within ', 'this', '']);
    expect(splitOnTrigger('nothing', 'here')).toEqual(['nothing', '', '']);
    expect(splitOnTrigger('a (b) c', '(b)')).toEqual(['a ', '(b)', ' c']);
  });

  it('keeps the operator and the call audio in different colours', () => {
    expect(speakerTone({ id: 'self', name: 'You' })).not.toBe(speakerTone({ id: 'remote', name: 'Call audio' }));
    expect(speakerTone({ id: 'A', name: 'Speaker A' })).toBe(speakerTone({ id: 'A', name: 'Speaker A' }));
    expect(speakerTone(undefined)).toBe(0);
  });

  it('groups feedback by candidate whatever the case of the id', () => {
    const map = feedbackByCandidate([{ id: '1', candidateID: 'abc', component: '', observed: '', requestedChange: '', quote: '', confidence: 1, evidenceFramePaths: [] }]);
    expect(map.get('ABC')?.length).toBe(1);
  });
});

describe('bundle reading', () => {
  it('refuses a payload without an id or evidence, and drops malformed parts', () => {
    expect(readBundle(null)).toBeUndefined();
    expect(readBundle({ id: 'B' })).toBeUndefined();
    const bundle = readBundle({
      id: 'B',
      evidence: { candidates: [candidate('a', 1, 2, { visualAnchor: { x: 0.9, y: 0.1, width: 0.5, height: 0.1 } }), { id: 'no-times' }] },
      frameDataURLs: { 'frames/a-1.png': 'quillmer-review://evidence/B/frames/a-1.png', bad: 3 },
      transcript: { segments: [{ startSeconds: 1, text: 'hi', speaker: { name: 'You', role: 'self' } }, { text: 'no time' }] },
      reviewEdits: { X: { component: 'c', requestedChange: 'r' }, Y: { component: 'only' } },
    })!;
    expect(bundle.evidence.candidates.map((c) => c.id)).toEqual(['a']);
    expect(bundle.evidence.candidates[0].visualAnchor).toBeUndefined(); // outside the frame
    expect(Object.keys(bundle.frameDataURLs)).toEqual(['frames/a-1.png']);
    expect(bundle.transcript?.segments.map((s) => s.text)).toEqual(['hi']);
    expect(Object.keys(bundle.reviewEdits)).toEqual(['X']);
    expect(bundle.includedFeedbackIDs).toEqual([]);
  });
});
