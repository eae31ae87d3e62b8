import { describe, expect, it } from 'vitest';
import type { AnalysisPlan, Bundle } from '../types';
import { staysLocal } from './Analysis';

const pass = (name: string, candidateCount: number) => ({
  pass: name, candidateCount, frameCount: 0, frameByteCount: 0, transcriptSegmentCount: 0, transcriptCharacterCount: 0,
  sendsFullTranscript: name === 'summary',
});
const plan = (canSend: boolean): AnalysisPlan => ({
  sessionID: 'S', providerName: 'P', providerHost: 'h', model: 'm', canSend, localFallbackAvailable: true,
  passes: [pass('evidence', 16), pass('summary', 0)],
});
const bundle = { evidence: { candidates: new Array(20).fill({}) } } as unknown as Bundle;

describe('what stays on this computer', () => {
  it.each([
    [true, ['evidence'], ['the screen recording and its audio', 'the other 4 moments', 'the rest of the transcript']],
    [true, ['evidence', 'summary'], ['the screen recording and its audio', 'the other 4 moments']],
    [false, ['evidence', 'summary'], ['the screen recording and its audio', 'every moment and its frames', 'the transcript']],
  ])('can send %s with %j', (canSend, passes, stays) => {
    expect(staysLocal(plan(canSend as boolean), new Set(passes as string[]), bundle)).toEqual(stays);
  });
});
