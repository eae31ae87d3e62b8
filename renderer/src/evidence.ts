// Reading an exported bundle the way the review shows it: moments in time order, their frames by
// kind, and where in the video each moment lies.
import type { EvidenceCandidate, EvidenceDocument, FeedbackItem } from './types';

export type FrameKind = 'before' | 'atMoment' | 'after' | 'annotated' | 'focusedCrop' | 'evidence';

export const FRAME_CAPTIONS: Record<FrameKind, string> = {
  before: 'Before',
  atMoment: 'At the moment',
  after: 'After',
  annotated: 'Change outlined',
  focusedCrop: 'Focused view',
  evidence: 'Evidence',
};

/** Frame files are named "<candidate>-0.png" … "-2.png", "-change-anchor.png", "-change-focus.png". */
export function frameKind(path: string): FrameKind {
  const name = path.slice(path.lastIndexOf('/') + 1).toLowerCase();
  if (name.endsWith('-change-anchor.png')) return 'annotated';
  if (name.endsWith('-change-focus.png')) return 'focusedCrop';
  if (name.endsWith('-0.png')) return 'before';
  if (name.endsWith('-1.png')) return 'atMoment';
  if (name.endsWith('-2.png')) return 'after';
  return 'evidence';
}

export type MomentFrames = Partial<Record<FrameKind, string>>;

export function framesOf(candidate: EvidenceCandidate): MomentFrames {
  const out: MomentFrames = {};
  for (const frame of candidate.frames) {
    const kind = frameKind(frame.path);
    out[kind] ??= frame.path;
  }
  return out;
}

/** Candidates by start time; equal starts keep their exported order. */
export function orderedMoments(evidence: EvidenceDocument): EvidenceCandidate[] {
  return evidence.candidates
    .map((c, i) => [c, i] as const)
    .sort((a, b) => a[0].rangeStartSeconds - b[0].rangeStartSeconds || a[1] - b[1])
    .map(([c]) => c);
}

const EPSILON = 1e-6;

/**
 * The spoken moment inside a candidate's window. The window runs from two seconds before to one
 * second after it, cut short where the video begins or ends, so whichever side was not cut tells.
 */
export function momentSeconds(candidate: EvidenceCandidate, evidence: EvidenceDocument): number {
  const videoStart = evidence.session.videoRangeSeconds?.start ?? 0;
  const videoEnd = evidence.session.videoRangeSeconds?.end;
  const { rangeStartSeconds: start, rangeEndSeconds: end } = candidate;
  if (start > videoStart + EPSILON) return Math.min(start + 2, end);
  if (videoEnd === undefined || end < videoEnd - EPSILON) return Math.max(end - 1, start);
  return Math.min(start + 2, end);
}

/** Seconds into the video file for a time on the capture clock. */
export function videoTimeFor(seconds: number, evidence: EvidenceDocument): number {
  return Math.max(0, seconds - (evidence.session.videoRangeSeconds?.start ?? 0));
}

/** The context split around the first mention of the trigger, for highlighting. */
export function splitOnTrigger(context: string, trigger: string): [string, string, string] {
  const needle = trigger.trim();
  if (!needle) return [context, '', ''];
  const escaped = needle.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
  const match = new RegExp(`\\b${escaped}\\b`, 'i').exec(context) ?? new RegExp(escaped, 'i').exec(context);
  if (!match) return [context, '', ''];
  return [context.slice(0, match.index), match[0], context.slice(match.index + match[0].length)];
}

export function feedbackByCandidate(items: FeedbackItem[] | undefined): Map<string, FeedbackItem[]> {
  const map = new Map<string, FeedbackItem[]>();
  for (const item of items ?? []) {
    const key = item.candidateID.toUpperCase();
    map.set(key, [...(map.get(key) ?? []), item]);
  }
  return map;
}

/** A colour number per voice: the operator and the call audio always differ; other voices by name. */
export function speakerTone(speaker: { id?: string; name: string } | undefined): number {
  if (!speaker) return 0;
  if (speaker.id === 'self') return 1;
  if (speaker.id === 'remote') return 2;
  let hash = 0;
  for (const ch of speaker.name) hash = (hash * 31 + ch.codePointAt(0)!) >>> 0;
  return (hash % 3) + 3;
}
