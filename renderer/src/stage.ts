// What the page shows for each engine stage, and what a failure means for the person.
import type { Snapshot, Stage } from './types';

export const NOT_APPROVED_MESSAGE = 'This meeting has not been approved for analysis yet.';

export type Screen = 'home' | 'recording' | 'processing' | 'failed' | 'meeting';

export const PROCESSING_STAGES: readonly Stage[] = ['importing', 'transcribing', 'finding-evidence', 'exporting', 'analyzing'];

/** The steps a meeting goes through, in order, as the progress view lists them. */
export const STEPS: ReadonlyArray<{ stage: Stage; label: string }> = [
  { stage: 'transcribing', label: 'Transcribe' },
  { stage: 'finding-evidence', label: 'Find moments' },
  { stage: 'exporting', label: 'Prepare evidence' },
  { stage: 'analyzing', label: 'Understand' },
];

const TITLES: Partial<Record<Stage, string>> = {
  recording: 'Recording',
  importing: 'Importing your recording',
  transcribing: 'Transcribing the conversation',
  'finding-evidence': 'Finding the moments that matter',
  exporting: 'Preparing cited evidence',
  analyzing: 'Understanding the feedback',
  failed: 'Something stopped this meeting',
  ready: 'Your review is ready',
  'ready-to-process': 'Ready to understand',
  idle: 'No meeting open',
};

export interface StageView {
  title: string;
  detail: string;
  /** 0–1 when known; undefined means "working, amount unknown". */
  progress: number | undefined;
  busy: boolean;
  /** Index into STEPS of the step in flight, -1 when none. */
  step: number;
}

export function describeStage(state: Snapshot): StageView {
  const busy = PROCESSING_STAGES.includes(state.stage);
  const progress = state.progress === undefined ? undefined : Math.min(1, Math.max(0, state.progress));
  return {
    title: TITLES[state.stage] ?? 'Working',
    detail: state.stage === 'failed' ? state.error ?? '' : state.detail ?? '',
    progress: busy || state.stage === 'ready' ? progress : undefined,
    busy,
    step: STEPS.findIndex((s) => s.stage === state.stage),
  };
}

/** Which main view the state asks for, before the person's own navigation is considered. */
export function screenFor(state: Snapshot): Screen {
  if (state.stage === 'recording') return 'recording';
  if (PROCESSING_STAGES.includes(state.stage)) return 'processing';
  if (state.stage === 'failed') return 'failed';
  if (state.sessionName) return 'meeting';
  return 'home';
}

export interface FailureAdvice {
  headline: string;
  next: string;
  /** Offer "Add a transcript" as the way forward. */
  offerTranscript: boolean;
  /** Offer running the remaining steps again. */
  offerRetry: boolean;
}

/** Turns the engine's one-line failure into a headline and what to do next. */
export function adviseOnFailure(message: string | undefined): FailureAdvice {
  const text = message ?? '';
  const starts = (prefix: string) => text.startsWith(prefix);
  if (starts('Transcription could not complete: '))
    return {
      headline: 'The conversation could not be transcribed',
      next: 'You can add a transcript file (VTT or SRT) from the meeting tool instead, then continue.',
      offerTranscript: true,
      offerRetry: true,
    };
  if (starts('Transcript import could not complete: '))
    return {
      headline: 'That transcript could not be added',
      next: 'Choose a VTT or SRT file with timestamped cues, or continue without it.',
      offerTranscript: true,
      offerRetry: false,
    };
  if (starts('Evidence extraction could not complete: ') || starts('Evidence export could not complete: '))
    return {
      headline: 'The evidence could not be prepared',
      next: 'Your recording and transcript are safe. Try again; if it keeps failing, export diagnostics and send them to us.',
      offerTranscript: false,
      offerRetry: true,
    };
  if (starts('Evidence analysis could not complete: ') || starts('Retry could not complete: '))
    return {
      headline: 'The analysis did not finish',
      next: 'The exported evidence is kept and nothing was lost. Try again when you are connected.',
      offerTranscript: false,
      offerRetry: true,
    };
  if (starts('Capture could not start: ') || starts('Capture could not stop cleanly: '))
    return {
      headline: 'The recording had a problem',
      next: 'Check that the display and audio are available, then start a new meeting.',
      offerTranscript: false,
      offerRetry: false,
    };
  if (starts('Recording import could not complete: '))
    return {
      headline: 'That recording could not be imported',
      next: 'Choose an MP4, MOV or M4V file with video and sound.',
      offerTranscript: false,
      offerRetry: false,
    };
  if (starts('This meeting could not be deleted: '))
    return {
      headline: 'The meeting could not be deleted',
      next: 'It is still in your library. Check that its folders can be moved to the trash, then try again.',
      offerTranscript: false,
      offerRetry: false,
    };
  return {
    headline: 'Something went wrong',
    next: 'Your recording is kept. Try again, or export diagnostics if it keeps happening.',
    offerTranscript: false,
    offerRetry: true,
  };
}

/** A processing call that ended because the meeting waits for an analysis decision, not a fault. */
export const isAwaitingApproval = (error: unknown): boolean =>
  error instanceof Error && error.message === NOT_APPROVED_MESSAGE;
