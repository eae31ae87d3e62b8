// The affirmation sent with every capture start.
import type { ConsentAffirmation } from './types';

/** The only disclosure text revision this page shows. */
export const DISCLOSURE_VERSION = 1;

export const DISCLOSURE_TITLE = 'Before you record';
export const DISCLOSURE_TEXT = [
  'Quillmer is recording this computer\u2019s screen and audio.',
  'It records the display you choose as video, together with the sound of the call and your microphone as separate tracks. The recording stays on this computer.',
  'Nothing leaves this computer unless you approve it for a meeting: speaker-labelled transcription and model analysis are sent only after you have seen what would be sent and to whom.',
  'Recording people without telling them may be unlawful where you or they are. Tell everyone on the call before you start.',
];

export function makeAffirmation(participantsInformed: boolean, standing: boolean, now: Date = new Date()): ConsentAffirmation {
  return {
    participantsInformed,
    disclosureTextVersion: DISCLOSURE_VERSION,
    affirmedAt: now.toISOString(),
    standing,
  };
}

/** Whether the person has done all a capture start needs from them. */
export function canStartRecording(options: {
  sourceID: string | undefined;
  disclosureAcknowledged: boolean;
  participantsInformed: boolean;
}): boolean {
  return Boolean(options.sourceID) && options.disclosureAcknowledged && options.participantsInformed;
}
