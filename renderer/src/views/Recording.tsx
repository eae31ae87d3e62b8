// The running recording: how long, how much, and Stop.
import { useEffect, useState } from 'preact/hooks';
import { formatClock, framesFromDetail } from '../format';
import { Button } from './ui';
import { useAppState, useController } from './context';

export function Recording() {
  const controller = useController();
  const state = useAppState();
  const [now, setNow] = useState(Date.now());
  useEffect(() => {
    const timer = setInterval(() => setNow(Date.now()), 500);
    return () => clearInterval(timer);
  }, []);
  const since = state.recordingSince ?? now;
  const frames = framesFromDetail(state.snapshot?.detail);
  return (
    <section class="screen recording" aria-labelledby="recording-title">
      <div class="card recording-card">
        <p class="live"><span class="live-dot" aria-hidden="true" /> <span id="recording-title">Recording</span></p>
        <p class="clock" role="timer" aria-label="Elapsed time">{formatClock((now - since) / 1000)}</p>
        <p class="muted frames-line">{frames === undefined ? '\u00a0' : `${frames.toLocaleString()} frames captured`}</p>
        <Button kind="danger" busy={controller.isPending('capture.stop')} onClick={() => controller.stopRecording()}>
          <span class="stop-square" aria-hidden="true" /> Stop recording
        </Button>
        <p class="fineprint">Quillmer is recording this computer’s screen and audio.</p>
      </div>
    </section>
  );
}
