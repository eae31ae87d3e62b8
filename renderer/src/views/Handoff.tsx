// Saving the decisions and handing the included changes to a coding agent.
import { useEffect, useState } from 'preact/hooks';
import { plural } from '../format';
import { feedbackSourceNote, saveArguments, type ReviewDecisions } from '../review';
import type { Bundle } from '../types';
import { Button } from './ui';
import { useController } from './context';

export function Handoff({ bundle, decisions, dirty }: { bundle: Bundle; decisions: ReviewDecisions; dirty: boolean }) {
  const controller = useController();
  const total = bundle.feedback?.items.length ?? 0;
  const included = bundle.feedback?.items.filter((i) => decisions.included.has(i.id)).length ?? 0;
  const [briefReady, setBriefReady] = useState(bundle.implementationBriefReady);
  const [message, setMessage] = useState<string | undefined>();
  useEffect(() => setBriefReady(bundle.implementationBriefReady), [bundle]);
  const source = feedbackSourceNote(bundle.feedback);

  const save = async () => {
    const result = await controller.call('review.save', saveArguments(bundle.id, decisions));
    if (!result.ok) return controller.notify({ kind: 'error', text: result.error });
    await controller.refreshBundle();
    controller.notify({ kind: 'info', text: 'Your review is saved.' });
  };
  const createHandoff = async () => {
    const result = await controller.call<{ itemCount?: number }>('review.createHandoff', saveArguments(bundle.id, decisions));
    if (!result.ok) return controller.notify({ kind: 'error', text: result.error });
    setBriefReady(true);
    const count = typeof result.value?.itemCount === 'number' ? result.value.itemCount : included;
    setMessage(`The hand-off brief lists ${plural(count, 'change')}.`);
    await controller.refreshBundle();
  };
  const copyPrompt = async () => {
    const result = await controller.call('review.copyHandoff', [bundle.id]);
    if (result.ok) controller.notify({ kind: 'info', text: 'The hand-off prompt is on the clipboard. Paste it into your coding agent.' });
    else controller.notify({ kind: 'error', text: result.error });
  };

  if (total === 0) {
    return (
      <div class="card note">
        <h2 class="card-title">No concrete changes found</h2>
        <p>The analysis read every moment and found no request specific enough to hand off. The evidence and transcript are below.</p>
        {source && <p class="muted small source-note">{source}</p>}
      </div>
    );
  }
  return (
    <div class="card handoff" aria-labelledby="handoff-title">
      <div class="handoff-row">
        <div>
          <h2 class="card-title" id="handoff-title">{included} of {plural(total, 'change')} included</h2>
          <p class="muted small" aria-live="polite">{message ?? (dirty ? 'You have unsaved choices.' : briefReady ? 'A hand-off brief is ready.' : 'Tick the changes you want built, then create the hand-off.')}</p>
          {source && <p class="muted small source-note">{source}</p>}
        </div>
        <div class="actions">
          {!controller.isUnsupported('review.save') && (
            <Button kind="secondary" disabled={!dirty} busy={controller.isPending('review.save')} onClick={save}>Save</Button>
          )}
          {!controller.isUnsupported('review.createHandoff') && (
            <Button kind="primary" disabled={included === 0} busy={controller.isPending('review.createHandoff')} onClick={createHandoff}>
              {briefReady ? 'Update hand-off' : 'Create hand-off'}
            </Button>
          )}
          {briefReady && !controller.isUnsupported('review.copyHandoff') && (
            <Button kind="secondary" busy={controller.isPending('review.copyHandoff')} onClick={copyPrompt}>Copy prompt</Button>
          )}
        </div>
      </div>
      {briefReady && bundle.implementationBrief && (
        <details class="brief-view">
          <summary>Show the brief the coding agent reads</summary>
          <pre>{bundle.implementationBrief}</pre>
        </details>
      )}
    </div>
  );
}
