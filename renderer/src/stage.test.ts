import { describe, expect, it } from 'vitest';
import { readSnapshot } from './parse';
import { adviseOnFailure, describeStage, isAwaitingApproval, screenFor } from './stage';

const snap = (o: Record<string, unknown>) => readSnapshot({ available: true, recentSessions: [], cloudSync: {}, disclosure: {}, consent: {}, ...o });

describe('stage display', () => {
  it('shows transcription progress as a fraction and the step in flight', () => {
    const view = describeStage(snap({ stage: 'transcribing', detail: 'Part 3 of 8', progress: 0.25 }));
    expect(view).toMatchObject({ busy: true, progress: 0.25, detail: 'Part 3 of 8', step: 0 });
  });
  it('leaves progress unknown for stages that report none, and clamps odd values', () => {
    expect(describeStage(snap({ stage: 'exporting' })).progress).toBeUndefined();
    expect(describeStage(snap({ stage: 'transcribing', progress: 7 })).progress).toBe(1);
    expect(describeStage(snap({ stage: 'analyzing' })).step).toBe(3);
  });
  it('shows the engine error as the failure detail', () => {
    const view = describeStage(snap({ stage: 'failed', error: 'Transcription could not complete: no audio.' }));
    expect(view.detail).toBe('Transcription could not complete: no audio.');
    expect(view.busy).toBe(false);
  });
  it('picks the screen from the state', () => {
    expect(screenFor(snap({ stage: 'recording', sessionName: 'S' }))).toBe('recording');
    expect(screenFor(snap({ stage: 'finding-evidence', sessionName: 'S' }))).toBe('processing');
    expect(screenFor(snap({ stage: 'failed', sessionName: 'S' }))).toBe('failed');
    expect(screenFor(snap({ stage: 'ready-to-process', sessionName: 'S' }))).toBe('meeting');
    expect(screenFor(snap({ stage: 'idle' }))).toBe('home');
    expect(screenFor(snap({ stage: 'something-new' }))).toBe('home');
  });
});

describe('failures', () => {
  it('offers a transcript when transcription failed, and a retry for analysis', () => {
    expect(adviseOnFailure('Transcription could not complete: x')).toMatchObject({ offerTranscript: true, offerRetry: true });
    expect(adviseOnFailure('Evidence analysis could not complete: x')).toMatchObject({ offerTranscript: false, offerRetry: true });
    expect(adviseOnFailure('Capture could not start: x').offerRetry).toBe(false);
    expect(adviseOnFailure(undefined).headline).toBe('Something went wrong');
  });
  it('recognises the analysis-approval stop exactly', () => {
    expect(isAwaitingApproval(new Error('This meeting has not been approved for analysis yet.'))).toBe(true);
    expect(isAwaitingApproval(new Error('Evidence analysis could not complete: x'))).toBe(false);
  });
});

describe('snapshot reading', () => {
  it('survives a snapshot of the wrong shape', () => {
    const s = readSnapshot({ stage: 3, recentSessions: [{ id: 'A', title: 'T' }, { title: 'no id' }, 'junk'], disclosure: 'x', progress: 'half' });
    expect(s.stage).toBe('idle');
    expect(s.recentSessions).toEqual([{ id: 'A', title: 'T', detail: '' }]);
    expect(s.disclosure).toEqual({ currentVersion: 1, acknowledgedVersion: 0, required: true });
    expect(s.progress).toBeUndefined();
    expect(readSnapshot(null).stage).toBe('idle');
  });
});
