// Choosing a display and giving the word that everyone on the call knows, then starting.
import { useEffect, useState } from 'preact/hooks';
import { canStartRecording, DISCLOSURE_TEXT, DISCLOSURE_TITLE } from '../consent';
import { formatDateTime } from '../format';
import { readSources } from '../parse';
import type { CaptureSource } from '../types';
import { RemoteTranscriptionCard } from './RemoteTranscription';
import { Button, Switch } from './ui';
import { useAppState, useController } from './context';

export function RecordSetup() {
  const controller = useController();
  const snapshot = useAppState().snapshot;
  const [sources, setSources] = useState<CaptureSource[] | undefined>();
  const [sourceError, setSourceError] = useState<string | undefined>();
  const [sourceID, setSourceID] = useState<string | undefined>();
  const standing = snapshot?.consent.standing ?? false;
  const [informed, setInformed] = useState(standing);
  const acknowledged = snapshot ? !snapshot.disclosure.required : false;

  const loadSources = async () => {
    setSourceError(undefined);
    const result = await controller.call('capture.sources');
    if (!result.ok) return setSourceError(result.error);
    const list = readSources(result.value);
    setSources(list);
    setSourceID((id) => (id && list.some((s) => s.id === id) ? id : list[0]?.id));
  };
  useEffect(() => void loadSources(), []);
  useEffect(() => { if (standing) setInformed(true); }, [standing]);

  const ready = canStartRecording({ sourceID, disclosureAcknowledged: acknowledged, participantsInformed: informed });

  return (
    <section class="screen setup" aria-labelledby="setup-title">
      <div class="screen-head">
        <h1 id="setup-title">Record a meeting</h1>
        <Button kind="quiet" onClick={() => controller.setUpRecording(false)}>Cancel</Button>
      </div>

      <div class="card">
        <h2 class="card-title">1. Choose what to record</h2>
        {sourceError && (
          <div class="inline-error" role="alert">
            <p>{sourceError}</p>
            <Button kind="quiet" onClick={loadSources}>Try again</Button>
          </div>
        )}
        {!sources && !sourceError && <p class="muted">Looking for displays…</p>}
        {sources && sources.length === 0 && <p class="muted">No display can be recorded right now.</p>}
        {sources && sources.length > 0 && (
          <div class="choices" role="radiogroup" aria-label="Display">
            {sources.map((s) => (
              <label key={s.id} class={`choice ${sourceID === s.id ? 'chosen' : ''}`}>
                <input type="radio" name="display" value={s.id} checked={sourceID === s.id} onChange={() => setSourceID(s.id)} />
                <span class="display-glyph" aria-hidden="true" />
                <span>{s.label}</span>
              </label>
            ))}
          </div>
        )}
      </div>

      <div class="card">
        <h2 class="card-title">2. {DISCLOSURE_TITLE}</h2>
        <div class="disclosure">
          {DISCLOSURE_TEXT.map((p) => <p key={p}>{p}</p>)}
        </div>
        {acknowledged ? (
          <p class="ok-line"><span class="check" aria-hidden="true">✓</span> You have read this notice.</p>
        ) : (
          <Button kind="secondary" busy={controller.isPending('consent.acknowledgeDisclosure')}
            onClick={() => controller.acknowledgeDisclosure()}>
            I have read this
          </Button>
        )}
      </div>

      <div class="card">
        <h2 class="card-title">3. Confirm everyone knows</h2>
        <label class="affirm">
          <input type="checkbox" checked={informed} onChange={(e) => setInformed((e.currentTarget as HTMLInputElement).checked)} />
          <span>Everyone on this call knows it is being recorded.</span>
        </label>
        <Switch
          checked={standing}
          disabled={controller.isPending('consent.setStandingRecordingConsent') || controller.isUnsupported('consent.setStandingRecordingConsent')}
          label="I always tell participants before recording"
          hint={standing && snapshot?.consent.standingSince
            ? `On since ${formatDateTime(snapshot.consent.standingSince)}. You still confirm each recording.`
            : 'Ticks the confirmation for you each time; you can untick it.'}
          onChange={(on) => controller.setStandingConsent(on)}
        />
        <p class="fineprint">Quillmer keeps your confirmation with the recording. It cannot check it for you.</p>
      </div>

      <RemoteTranscriptionCard />

      <div class="setup-start">
        <Button kind="record" disabled={!ready} busy={controller.isPending('capture.start')}
          onClick={() => sourceID && controller.startRecording(sourceID, informed, standing)}>
          <span class="record-dot" aria-hidden="true" /> Start recording
        </Button>
        <span class="muted" aria-live="polite">
          {!sourceID ? 'Choose a display.' : !acknowledged ? 'Read the notice first.' : !informed ? 'Confirm that everyone knows.' : 'Ready.'}
        </span>
      </div>
    </section>
  );
}
