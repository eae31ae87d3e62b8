// The first screen when no meeting is open.
import { Button } from './ui';
import { useAppState, useController } from './context';

export function Home() {
  const controller = useController();
  const state = useAppState();
  const syncing = state.snapshot?.cloudSync.phase === 'syncing';
  return (
    <section class="screen home" aria-labelledby="home-title">
      <div class="card hero">
        <h1 id="home-title">Turn a product meeting into changes you can ship</h1>
        <p class="lede">
          Quillmer records your screen and the conversation, finds the moments where someone points at
          something and asks for a change, and keeps the frames and words that prove it.
        </p>
        <ol class="how">
          <li><strong>Record</strong> or import a meeting.</li>
          <li><strong>Review</strong> each moment with its screens and transcript.</li>
          <li><strong>Hand off</strong> a cited brief to your coding agent.</li>
        </ol>
        <div class="actions">
          <Button kind="record" onClick={() => controller.setUpRecording(true)}>
            <span class="record-dot" aria-hidden="true" /> Record a meeting
          </Button>
          {!controller.isUnsupported('capture.importRecording') && (
            <Button busy={controller.isPending('capture.importRecording')} onClick={() => controller.importRecording()}>
              Import a recording
            </Button>
          )}
          {!controller.isUnsupported('evidence.open') && (
            <Button kind="quiet" busy={controller.isPending('evidence.open')} onClick={() => controller.openEvidence()}>
              Open an evidence brief…
            </Button>
          )}
        </div>
        <p class="fineprint">Everything stays on this computer unless you approve sending it for a meeting.</p>
      </div>
      <p class="status-line" aria-live="polite">{syncing ? 'Checking for cloud meetings…' : '\u00a0'}</p>
    </section>
  );
}
