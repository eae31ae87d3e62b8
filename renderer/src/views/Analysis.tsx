// Asking, per meeting, whether its evidence may be sent for analysis, and showing what would go where.
import { useEffect, useState } from 'preact/hooks';
import { formatBytes, plural } from '../format';
import { readPlan } from '../parse';
import type { AnalysisPlan, Bundle } from '../types';
import { Button } from './ui';
import { useAppState, useController } from './context';

/** What analysis never sends, in the words the page shows, for the passes ticked so far. */
export function staysLocal(plan: AnalysisPlan, passes: Set<string>, bundle: Bundle): string[] {
  const stays = ['the screen recording and its audio'];
  const evidence = plan.passes.find((p) => p.pass === 'evidence');
  const sentMoments = plan.canSend && passes.has('evidence') ? evidence?.candidateCount ?? 0 : 0;
  const keptMoments = bundle.evidence.candidates.length - sentMoments;
  if (keptMoments > 0) stays.push(sentMoments > 0 ? `the other ${plural(keptMoments, 'moment')}` : 'every moment and its frames');
  if (!(plan.canSend && passes.has('summary'))) stays.push(sentMoments > 0 ? 'the rest of the transcript' : 'the transcript');
  return stays;
}

/** Moments whose analysis failed, offered again with the approval already given. */
export function UnfinishedAnalysis({ count }: { count: number }) {
  const controller = useController();
  return (
    <div class="card note" role="status">
      <p>{plural(count, 'moment')} could not be analysed. The others are ready below.</p>
      <Button kind="secondary" busy={controller.isPending('capture.retry')} onClick={() => controller.process('capture.retry')}>
        Try {count === 1 ? 'it' : 'them'} again
      </Button>
    </div>
  );
}

export function AnalysisPanel({ bundle }: { bundle: Bundle }) {
  const controller = useController();
  const state = useAppState();
  const declined = state.snapshot?.remoteAnalysisApproved === false;
  const [plan, setPlan] = useState<AnalysisPlan | undefined>();
  const [planError, setPlanError] = useState<string | undefined>();
  const [passes, setPasses] = useState<Set<string>>(new Set(['evidence', 'summary']));
  const [asked, setAsked] = useState(!declined);
  const unsupported = controller.isUnsupported('analysis.plan');

  useEffect(() => {
    if (!asked || unsupported) return;
    let live = true;
    void controller.call('analysis.plan').then((result) => {
      if (!live) return;
      if (result.ok) {
        const p = readPlan(result.value);
        setPlan(p);
        if (p) setPasses(new Set(p.passes.map((x) => x.pass)));
      } else if (!result.unsupported) setPlanError(result.error);
    });
    return () => { live = false; };
  }, [asked, bundle.id, unsupported]);

  if (unsupported) {
    return (
      <div class="card note" role="note">
        <h2 class="card-title">Evidence ready</h2>
        <p>Model analysis is not available in this version of Quillmer. Every moment below is cited evidence you can review now; nothing has left this computer.</p>
      </div>
    );
  }
  if (declined && !asked) {
    return (
      <div class="card note">
        <h2 class="card-title">Kept on this computer</h2>
        <p>You chose not to send this meeting for analysis. The evidence below is complete.</p>
        <Button kind="quiet" onClick={() => setAsked(true)}>Review what analysis would send…</Button>
      </div>
    );
  }
  if (plan?.onThisComputer) return <LocalAnalysisPanel plan={plan} />;
  return (
    <div class="card approval" aria-labelledby="approval-title" aria-busy={!plan && !planError}>
      <h2 class="card-title" id="approval-title">Evidence ready · analysis needs your approval</h2>
      {!plan && !planError && <p class="muted">Working out what analysis would send…</p>}
      {planError && <p class="inline-error" role="alert">{planError}</p>}
      {plan && (
        <>
          <p>
            To turn these moments into grounded changes, Quillmer would send the items below to{' '}
            <strong>{plan.providerName || 'the analysis service'}</strong>
            {plan.providerHost && <> at <span class="mono">{plan.providerHost}</span></>}
            {plan.model && <> ({plan.model})</>}. Nothing is sent until you approve.
          </p>
          {plan.passes.length > 0 && (
            <ul class="passes">
              {plan.passes.map((p) => (
                <li key={p.pass}>
                  <label class="pass">
                    <input type="checkbox" checked={passes.has(p.pass)} disabled={!plan.canSend}
                      onChange={(e) => {
                        const next = new Set(passes);
                        if ((e.currentTarget as HTMLInputElement).checked) next.add(p.pass);
                        else next.delete(p.pass);
                        setPasses(next);
                      }} />
                    <span>
                      <strong>{p.pass === 'evidence' ? 'Evidence moments' : 'Meeting summary'}</strong>
                      <span class="muted small">
                        {p.pass === 'evidence'
                          ? `${plural(p.candidateCount, 'moment')}, ${plural(p.frameCount, 'frame')} (${formatBytes(p.frameByteCount)}), their transcript context`
                          : `${p.sendsFullTranscript ? 'the full transcript' : 'transcript excerpts'}: ${plural(p.transcriptSegmentCount, 'line')}, ${p.transcriptCharacterCount.toLocaleString()} characters`}
                      </span>
                    </span>
                  </label>
                </li>
              ))}
            </ul>
          )}
          <p class="stays">
            <strong>Stays on this computer:</strong> {staysLocal(plan, passes, bundle).join(', ')}.
          </p>
          {!plan.canSend && <p class="inline-note">{plan.blockedDetail ?? 'Analysis cannot be sent from this computer right now.'}</p>}
          <div class="actions">
            {plan.canSend && (
              <Button kind="primary" disabled={passes.size === 0} busy={controller.isPending('analysis.approve') || controller.isPending('capture.process')}
                onClick={() => controller.approveAnalysis([...passes])}>
                Approve and analyze
              </Button>
            )}
            {!controller.isUnsupported('analysis.decline') && (
              <Button kind="secondary" busy={controller.isPending('analysis.decline')} onClick={() => controller.declineAnalysis()}>
                Keep it on this computer
              </Button>
            )}
          </div>
          {plan.localFallbackAvailable && <p class="fineprint">Keeping it local still gives you a summary written on this computer from the transcript.</p>}
        </>
      )}
    </div>
  );
}

/** Analysis on this computer: nothing to approve, only something to start. */
function LocalAnalysisPanel({ plan }: { plan: AnalysisPlan }) {
  const controller = useController();
  const evidence = plan.passes.find((p) => p.pass === 'evidence');
  return (
    <div class="card approval local" aria-labelledby="local-analysis-title">
      <h2 class="card-title" id="local-analysis-title">Evidence ready · analysis on this computer</h2>
      <p>
        Quillmer can turn {evidence ? plural(evidence.candidateCount, 'moment') : 'these moments'} into feedback items here,{' '}
        {plan.model && plan.model !== 'transcript-rules'
          ? <>with <strong>{plan.model}</strong> (<span class="mono">{plan.providerHost}</span>).</>
          : <>with transcript rules (rule-based, no model). You choose which requests go into the brief.</>}
      </p>
      <p class="stays"><strong>Nothing leaves this computer</strong>, so there is nothing to approve.</p>
      {plan.note && <p class="inline-note">{plan.note}</p>}
      <div class="actions">
        <Button kind="primary" disabled={!plan.canSend} busy={controller.isPending('capture.process')}
          onClick={() => controller.process()}>
          Analyze on this computer
        </Button>
      </div>
    </div>
  );
}
