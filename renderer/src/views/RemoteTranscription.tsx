// The remote-transcription switch with every fact about where the audio would go.
import { Switch } from './ui';
import { useAppState, useController } from './context';

export function RemoteTranscriptionCard() {
  const controller = useController();
  const remote = useAppState().snapshot?.remoteTranscription;
  if (!remote) return null;
  const method = 'consent.setRemoteTranscription';
  return (
    <div class="card" aria-labelledby="remote-transcription-title">
      <h2 class="card-title" id="remote-transcription-title">Transcription</h2>
      {remote.configured ? (
        <>
          <Switch
            checked={remote.enabled}
            disabled={controller.isPending(method) || controller.isUnsupported(method)}
            label="Transcribe with speaker names off this computer"
            hint={remote.enabled ? 'On: the audio tracks are uploaded when a meeting is transcribed.' : 'Off: transcription stays on this computer.'}
            onChange={(on) => controller.setRemoteTranscription(on)}
          />
          <dl class="facts">
            <dt>Provider</dt><dd>{remote.providerName}</dd>
            <dt>Host</dt><dd>{remote.providerHost}</dd>
            {remote.model && <><dt>Model</dt><dd>{remote.model}</dd></>}
            <dt>Uploaded</dt><dd>The complete audio tracks. The screen recording never leaves this computer.</dd>
          </dl>
          {remote.detail && <p class="fineprint">{remote.detail}</p>}
        </>
      ) : (
        <p class="muted">
          Transcription runs on this computer. Speaker-labelled transcription becomes available once this computer
          is connected to the Quillmer relay.
        </p>
      )}
    </div>
  );
}
