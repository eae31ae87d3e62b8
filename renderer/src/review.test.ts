import { describe, expect, it } from 'vitest';
import { readPlan } from './parse';
import { feedbackSourceNote } from './review';

describe('analysis on this computer', () => {
  it.each([
    [{ provider: 'transcript-rules', model: 'transcript-rules' }, /transcript rules, not judged by a model: nothing left this computer/],
    [{ provider: 'local-model', model: 'qwen2.5vl:7b' }, /by qwen2.5vl:7b: nothing left this computer/],
    [{ provider: 'gemini', model: 'gemini-3.6-flash' }, undefined],
    [undefined, undefined],
  ])('says where %o feedback came from', (feedback, expected) => {
    const note = feedbackSourceNote(feedback);
    if (expected) expect(note).toMatch(expected);
    else expect(note).toBeUndefined();
  });

  it('reads the local route and its note from the plan, and a remote plan as needing approval', () => {
    const local = readPlan({ providerName: 'This computer', providerHost: 'rule-based, no model', model: 'transcript-rules',
      passes: [{ pass: 'evidence', candidateCount: 3 }], canSend: true, onThisComputer: true, note: 'not used' });
    expect(local).toMatchObject({ onThisComputer: true, note: 'not used', canSend: true });
    expect(readPlan({ providerName: 'Quillmer hosted analysis', canSend: true })?.onThisComputer).toBe(false);
  });
});
