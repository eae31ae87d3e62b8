import { describe, expect, it } from 'vitest';
import { canStartRecording, makeAffirmation } from './consent';

describe('consent affirmation', () => {
  it('carries the four keys the native check requires', () => {
    const a = makeAffirmation(true, false, new Date('2026-05-04T09:30:12.345Z'));
    expect(a).toEqual({ participantsInformed: true, disclosureTextVersion: 1, affirmedAt: '2026-05-04T09:30:12.345Z', standing: false });
    expect(makeAffirmation(true, true).standing).toBe(true);
    expect(makeAffirmation(true, true).affirmedAt).not.toBe('');
  });
  it('allows a start only with a display, the notice read and everyone informed', () => {
    const ok = { sourceID: '1', disclosureAcknowledged: true, participantsInformed: true };
    expect(canStartRecording(ok)).toBe(true);
    expect(canStartRecording({ ...ok, sourceID: undefined })).toBe(false);
    expect(canStartRecording({ ...ok, disclosureAcknowledged: false })).toBe(false);
    expect(canStartRecording({ ...ok, participantsInformed: false })).toBe(false);
  });
});
