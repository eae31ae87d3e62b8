// A meeting on its way to a review: ready to start, in progress, or stopped by a failure.
import { plural } from '../format';
import { adviseOnFailure, describeStage, STEPS } from '../stage';
import type { Snapshot } from '../types';
import { Button, ProgressBar } from './ui';
import { useAppState, useController } from './context';

function meetingTitle(snapshot: Snapshot): string {
  const row = snapshot.recentSessions.find((r) => r.id.toUpperCase() === snapshot.sessionName?.toUpperCase());
  return row?.title ?? 'This meeting';
}

function Counts({ snapshot }: { snapshot: Snapshot }) {
  const parts = [
    snapshot.transcriptSegments !== undefined && plural(snapshot.transcriptSegments, 'transcript line'),
    snapshot.evidenceMoments !== undefined && plural(snapshot.evidenceMoments, 'evidence moment'),
    snapshot.groundedFeedback !== undefined && plural(snapshot.groundedFeedback, 'grounded change'),
  ].filter(Boolean);
  return <p class="muted counts">{parts.length ? parts.join(' · ') : '\u00a0'}</p>;
}

export function MeetingReady() {
  const controller = useController();
  const state = useAppState();
  const snapshot = state.snapshot!;
  const transcribed = snapshot.transcriptSegments !== undefined;
  return (
    <section class="screen" aria-labelledby="meeting-title">
      <div class="card">
        <p class="eyebrow">{meetingTitle(snapshot)}</p>
        <h1 id="meeting-title">{snapshot.stage === 'ready' ? 'Your review is ready' : 'Ready to understand'}</h1>
        <p class="lede">
          {transcribed
            ? 'The transcript is in. Quillmer will find the moments where someone asks for a change and prepare their screens.'
            : 'Quillmer will transcribe the conversation on this computer, find the moments where someone asks for a change, and prepare their screens.'}
        </p>
        <Counts snapshot={snapshot} />
        <div class="actions">
          {snapshot.stage === 'ready' ? (
            <Button kind="primary" busy={controller.isPending('capture.restore')} onClick={() => controller.refreshBundle()}>Open the review</Button>
          ) : (
            <Button kind="primary" busy={controller.isPending('capture.process')} onClick={() => controller.process()}>Understand this meeting</Button>
          )}
          {!transcribed && !controller.isUnsupported('capture.importTranscript') && (
            <Button busy={controller.isPending('capture.importTranscript')} onClick={() => controller.importTranscript()}>Add a transcript…</Button>
          )}
        </div>
        {!transcribed && <p class="fineprint">Have a VTT or SRT file from the meeting tool? Adding it skips transcription.</p>}
      </div>
    </section>
  );
}

export function Processing() {
  const controller = useController();
  const snapshot = useAppState().snapshot!;
  const view = describeStage(snapshot);
  const stopping = snapshot.detail === 'Stopping safely…';
  return (
    <section class="screen" aria-labelledby="processing-title">
      <div class="card processing">
        <p class="eyebrow">{meetingTitle(snapshot)}</p>
        <h1 id="processing-title">{view.title}</h1>
        <ol class="steps" aria-label="Steps">
          {STEPS.map((step, index) => {
            const status = view.step < 0 ? 'todo' : index < view.step ? 'done' : index === view.step ? 'now' : 'todo';
            return (
              <li key={step.stage} class={`step ${status}`} aria-current={status === 'now' ? 'step' : undefined}>
                <span class="step-mark" aria-hidden="true">{status === 'done' ? '✓' : index + 1}</span>
                {step.label}
              </li>
            );
          })}
        </ol>
        <ProgressBar value={view.progress} label={view.title} />
        <p class="detail" aria-live="polite">{view.detail || '\u00a0'}</p>
        <Counts snapshot={snapshot} />
        <div class="actions">
          <Button kind="quiet" disabled={stopping} busy={controller.isPending('capture.cancel')} onClick={() => controller.cancel()}>
            {stopping ? 'Stopping…' : 'Cancel'}
          </Button>
        </div>
        <p class="fineprint">You can leave this window open; each finished step is kept if you stop.</p>
      </div>
    </section>
  );
}

/** The failure of the last step; as a banner above a review whose evidence is still good. */
export function Failed({ banner = false }: { banner?: boolean }) {
  const controller = useController();
  const state = useAppState();
  const snapshot = state.snapshot!;
  const advice = adviseOnFailure(snapshot.error);
  const Heading = banner ? 'h2' : 'h1';
  const body = (
      <div class={`card failure ${banner ? 'banner' : ''}`} role="alert">
        {!banner && <p class="eyebrow">{meetingTitle(snapshot)}</p>}
        <Heading id="failed-title">{advice.headline}</Heading>
        <p class="failure-text">{snapshot.error}</p>
        <p>{advice.next}</p>
        <div class="actions">
          {advice.offerRetry && (
            <Button kind="primary" busy={controller.isPending('capture.process')} onClick={() => controller.process()}>Try again</Button>
          )}
          {advice.offerTranscript && !controller.isUnsupported('capture.importTranscript') && (
            <Button busy={controller.isPending('capture.importTranscript')} onClick={() => controller.importTranscript()}>Add a transcript…</Button>
          )}
          {!banner && <Button kind="quiet" onClick={() => controller.newSession()}>Start over</Button>}
        </div>
      </div>
  );
  return banner ? body : <section class="screen" aria-labelledby="failed-title">{body}</section>;
}
