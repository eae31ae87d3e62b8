// The window: the library on the left, the current meeting on the right.
import { useEffect } from 'preact/hooks';
import { screenFor } from '../stage';
import { Home } from './Home';
import { Failed, MeetingReady, Processing } from './Progress';
import { Recording } from './Recording';
import { RecordSetup } from './RecordSetup';
import { Review } from './Review';
import { Sidebar } from './Sidebar';
import { useAppState, useController } from './context';

export function App({ assetURL }: { assetURL: (url: string | undefined) => string | undefined }) {
  const state = useAppState();
  const snapshot = state.snapshot;
  const screen = snapshot ? screenFor(snapshot) : undefined;

  let main;
  if (!snapshot) main = <div class="screen loading" aria-busy="true"><div class="card skeleton" /></div>;
  else if (screen === 'recording') main = <Recording />;
  else if (state.settingUpRecording) main = <RecordSetup />;
  else if (screen === 'processing') main = <Processing />;
  else if (state.bundle) main = <Review assetURL={assetURL} />;
  else if (screen === 'failed') main = <Failed />;
  else if (screen === 'meeting') main = <MeetingReady />;
  else main = <Home />;

  return (
    <div class="app">
      <Sidebar />
      <main class="main" id="main">{main}</main>
      <Toast />
    </div>
  );
}

function Toast() {
  const controller = useController();
  const notice = useAppState().notice;
  useEffect(() => {
    if (!notice || notice.kind === 'error') return;
    const timer = setTimeout(() => controller.notify(undefined), 3500);
    return () => clearTimeout(timer);
  }, [notice]);
  return (
    <div class="toast-area" aria-live="polite" role="status">
      {notice && (
        <div class={`toast ${notice.kind}`}>
          <span>{notice.text}</span>
          <button type="button" class="toast-close" aria-label="Dismiss" onClick={() => controller.notify(undefined)}>×</button>
        </div>
      )}
    </div>
  );
}

export function NoBridge() {
  return (
    <div class="app single">
      <main class="main">
        <section class="screen">
          <div class="card">
            <h1>Quillmer is not connected</h1>
            <p>This page is Quillmer’s review window. Open it from the Quillmer application, or from the address that <span class="mono">quillmer serve</span> prints.</p>
          </div>
        </section>
      </main>
    </div>
  );
}
