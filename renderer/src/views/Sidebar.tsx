// The library: start something new, reopen a recent meeting, and the quiet status of the app.
import { useState } from 'preact/hooks';
import { formatDateTime } from '../format';
import { Button, ConfirmDialog } from './ui';
import { useAppState, useController } from './context';

export function Sidebar() {
  const controller = useController();
  const state = useAppState();
  const snapshot = state.snapshot;
  const [toDelete, setToDelete] = useState<{ id: string; title: string } | undefined>();
  const recording = snapshot?.stage === 'recording';
  const current = snapshot?.sessionName?.toUpperCase();

  return (
    <aside class="sidebar" aria-label="Meetings">
      <div class="brand">
        <span class="brand-mark" aria-hidden="true">Q</span>
        <span class="brand-name">Quillmer</span>
      </div>

      <div class="sidebar-actions">
        <Button kind="record" disabled={recording || !snapshot} onClick={() => controller.setUpRecording(true)}>
          <span class="record-dot" aria-hidden="true" /> Record a meeting
        </Button>
        {!controller.isUnsupported('capture.importRecording') && (
          <Button kind="secondary" disabled={recording || !snapshot} busy={controller.isPending('capture.importRecording')}
            onClick={() => controller.importRecording()}>
            Import a recording
          </Button>
        )}
      </div>

      <h2 class="sidebar-heading" id="recent-heading">Recent meetings</h2>
      <ul class="recent" aria-labelledby="recent-heading">
        {snapshot && snapshot.recentSessions.length === 0 && (
          <li class="recent-empty">Your meetings will appear here once you record or import one.</li>
        )}
        {snapshot?.recentSessions.map((row) => {
          const selected = row.id.toUpperCase() === current;
          return (
            <li key={row.id} class={`recent-row ${selected ? 'selected' : ''}`}>
              <button type="button" class="recent-open" aria-current={selected ? 'true' : undefined}
                disabled={recording} onClick={() => controller.openSession(row.id)}>
                <span class="recent-title">{row.title}</span>
                <span class="recent-detail">{row.detail}</span>
              </button>
              <button type="button" class="recent-delete" aria-label={`Delete the meeting of ${row.title}`}
                title="Delete" disabled={recording} onClick={() => setToDelete({ id: row.id, title: row.title })}>
                <svg viewBox="0 0 16 16" width="14" height="14" aria-hidden="true"><path d="M3 4h10M6.5 4V2.5h3V4M4.5 4l.7 9.5h5.6l.7-9.5" fill="none" stroke="currentColor" stroke-width="1.3" stroke-linecap="round" stroke-linejoin="round" /></svg>
              </button>
            </li>
          );
        })}
      </ul>
      {snapshot?.sessionName && !recording && (
        <Button kind="quiet" class="new-meeting" onClick={() => controller.newSession()}>Close this meeting</Button>
      )}

      <div class="sidebar-footer">
        <CloudStatus />
        <UpdateStatus />
        {!controller.isUnsupported('diagnostics.exportBundle') && (
          <button type="button" class="link" onClick={() => controller.exportDiagnostics()}>Export diagnostics…</button>
        )}
      </div>

      <ConfirmDialog
        open={toDelete !== undefined}
        title="Delete this meeting?"
        body={<p>The recording, transcript and exported evidence of <strong>{toDelete?.title}</strong> move to the trash. You can restore them from there.</p>}
        confirmLabel="Move to trash"
        danger
        onCancel={() => setToDelete(undefined)}
        onConfirm={() => {
          const id = toDelete?.id;
          setToDelete(undefined);
          if (id) controller.deleteSession(id);
        }}
      />
    </aside>
  );
}

function CloudStatus() {
  const controller = useController();
  const cloud = useAppState().snapshot?.cloudSync;
  if (!cloud) return null;
  if (!cloud.configured) {
    if (!cloud.connectAvailable || controller.isUnsupported('capture.connectCloud')) return null;
    return (
      <div class="footer-row">
        <span class="footer-label">Zoom cloud meetings</span>
        <button type="button" class="link" onClick={() => controller.connectCloud()}>Connect…</button>
      </div>
    );
  }
  const text =
    cloud.phase === 'syncing' ? 'Checking for cloud meetings…'
      : cloud.phase === 'failed' ? cloud.error ?? 'The last check failed.'
        : cloud.lastSyncedAt ? `Checked ${formatDateTime(cloud.lastSyncedAt)}` : 'Connected';
  return (
    <div class="footer-row">
      <span class={`footer-label ${cloud.phase === 'failed' ? 'warn' : ''}`} title={text}>
        Cloud · {text}
      </span>
      {cloud.phase !== 'syncing' && !controller.isUnsupported('capture.syncCloud') && (
        <button type="button" class="link" onClick={() => controller.syncCloud()}>Check now</button>
      )}
    </div>
  );
}

function UpdateStatus() {
  const controller = useController();
  const update = useAppState().snapshot?.update;
  if (!update) return null;
  return (
    <div class="footer-row">
      <span class="footer-label" title={update.availableVersion ? update.releaseNotesSummary : undefined}>
        {update.currentVersion ? `Quillmer ${update.currentVersion}` : 'Quillmer'}
        {update.availableVersion ? ` · ${update.availableVersion} is available` : ''}
      </span>
      {update.availableVersion && !controller.isUnsupported('updates.openDownload') && (
        <button type="button" class="link" onClick={() => controller.openDownload()}>Download</button>
      )}
      {!update.availableVersion && update.feedConfigured && !controller.isUnsupported('updates.setEnabled') && (
        <button type="button" class="link" onClick={() => controller.setUpdatesEnabled(!update.enabled)}>
          {update.enabled ? 'Turn off update checks' : 'Check for updates'}
        </button>
      )}
    </div>
  );
}
