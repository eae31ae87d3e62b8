// The review of an exported meeting: its moments, the recording, the transcript and the evidence
// files, with the decisions and hand-off beside them as soon as the native side offers them.
import { useEffect, useMemo, useRef, useState } from 'preact/hooks';
import { feedbackByCandidate, orderedMoments, speakerTone, videoTimeFor } from '../evidence';
import { formatBytes, formatDateTime, formatTimestamp, plural } from '../format';
import { decisionsFrom, sameDecisions, setEdit, setIncluded, setUseful, type ReviewDecisions } from '../review';
import type { Bundle, Snapshot } from '../types';
import { AnalysisPanel, UnfinishedAnalysis } from './Analysis';
import { Handoff } from './Handoff';
import { Integrations } from './Integrations';
import { Moment } from './Moment';
import { Failed } from './Progress';
import { EmptyState } from './ui';
import { useAppState, useController } from './context';

type Tab = 'moments' | 'transcript' | 'summary' | 'files';

export function Review({ assetURL }: { assetURL: (url: string | undefined) => string | undefined }) {
  const state = useAppState();
  const bundle = state.bundle!;
  const snapshot = state.snapshot;
  const [tab, setTab] = useState<Tab>('moments');
  const video = useRef<HTMLVideoElement>(null);
  const [videoFailed, setVideoFailed] = useState(false);
  const moments = useMemo(() => orderedMoments(bundle.evidence), [bundle]);
  const byCandidate = useMemo(() => feedbackByCandidate(bundle.feedback?.items), [bundle]);
  const saved = useMemo(() => decisionsFrom(bundle), [bundle]);
  const [decisions, setDecisions] = useState<ReviewDecisions>(saved);
  useEffect(() => setDecisions(saved), [saved]);
  const mediaURL = assetURL(bundle.mediaURL);
  useEffect(() => setVideoFailed(false), [mediaURL]);

  const seek = (captureSeconds: number) => {
    const v = video.current;
    if (!v) return;
    v.currentTime = videoTimeFor(captureSeconds, bundle.evidence);
    void v.play?.()?.catch(() => undefined);
    v.focus({ preventScroll: true });
  };
  const canPlay = Boolean(mediaURL) && !videoFailed;
  const segments = bundle.transcript?.segments ?? [];
  const tabs: Array<{ id: Tab; label: string; count?: number }> = [
    { id: 'moments', label: 'Moments', count: moments.length },
    { id: 'transcript', label: 'Transcript', count: segments.length },
    ...(bundle.summary ? [{ id: 'summary' as Tab, label: 'Summary' }] : []),
    { id: 'files', label: 'Evidence files' },
  ];

  return (
    <section class="screen review" aria-labelledby="review-title">
      <ReviewHeader bundle={bundle} snapshot={snapshot} />
      {snapshot?.stage === 'failed' && <Failed banner />}
      {!bundle.feedback && <AnalysisPanel bundle={bundle} />}
      {bundle.feedback && (snapshot?.unfinishedAnalysis ?? 0) > 0 && <UnfinishedAnalysis count={snapshot!.unfinishedAnalysis!} />}
      {bundle.feedback && (
        <Handoff bundle={bundle} decisions={decisions} dirty={!sameDecisions(decisions, saved)} />
      )}
      <Integrations />

      <div class="review-body">
        <div class="review-main">
          <div class="tabs" role="tablist" aria-label="Review">
            {tabs.map((t) => (
              <button key={t.id} type="button" role="tab" id={`tab-${t.id}`} aria-selected={tab === t.id}
                aria-controls={`panel-${t.id}`} tabIndex={tab === t.id ? 0 : -1} class="tab"
                onClick={() => setTab(t.id)}
                onKeyDown={(e) => {
                  const i = tabs.findIndex((x) => x.id === tab);
                  const step = e.key === 'ArrowRight' ? 1 : e.key === 'ArrowLeft' ? -1 : 0;
                  if (!step) return;
                  const next = tabs[(i + step + tabs.length) % tabs.length];
                  setTab(next.id);
                  (e.currentTarget.parentElement?.querySelector(`#tab-${next.id}`) as HTMLElement | null)?.focus();
                }}>
                {t.label}{t.count !== undefined && <span class="count">{t.count}</span>}
              </button>
            ))}
          </div>
          <div role="tabpanel" id={`panel-${tab}`} aria-labelledby={`tab-${tab}`} class="tab-panel">
            {tab === 'moments' && (moments.length === 0 ? (
              <EmptyState title="No pointing moments were found">
                Nobody asked for a change while pointing at the screen (“this”, “here”). The transcript is still here to read.
              </EmptyState>
            ) : (
              <div class="moments">
                {moments.map((c, i) => (
                  <Moment key={c.id} index={i + 1} candidate={c} evidence={bundle.evidence}
                    frameURL={(path) => assetURL(bundle.frameDataURLs[path])}
                    onPlay={canPlay ? seek : undefined}
                    feedback={byCandidate.get(c.id.toUpperCase()) ?? []}
                    analysed={Boolean(bundle.feedback)}
                    decisions={decisions}
                    onInclude={(id, on) => setDecisions((d) => setIncluded(d, id, on))}
                    onUseful={(id, on) => setDecisions((d) => setUseful(d, id, on))}
                    onEdit={(item, edit) => setDecisions((d) => setEdit(d, item, edit))} />
                ))}
              </div>
            ))}
            {tab === 'transcript' && <TranscriptList bundle={bundle} onSeek={canPlay ? seek : undefined} />}
            {tab === 'summary' && <SummaryView bundle={bundle} />}
            {tab === 'files' && <EvidenceFiles bundle={bundle} />}
          </div>
        </div>

        <aside class="review-side" aria-label="Recording">
          <div class="card player">
            {mediaURL && !videoFailed ? (
              <video ref={video} src={mediaURL} controls preload="metadata" playsInline onError={() => setVideoFailed(true)}
                aria-label="Screen recording" />
            ) : (
              <div class="player-empty">
                <p>{videoFailed ? 'The screen recording could not be played.' : 'The screen recording is not available for this meeting.'}</p>
              </div>
            )}
            <p class="muted small">
              {canPlay ? 'Play a moment or a transcript line to jump there.' : 'The moments and transcript below still carry every cited frame and word.'}
            </p>
          </div>
        </aside>
      </div>
    </section>
  );
}

function ReviewHeader({ bundle, snapshot }: { bundle: Bundle; snapshot: Snapshot | undefined }) {
  const session = bundle.evidence.session;
  const row = snapshot?.recentSessions.find((r) => r.id.toUpperCase() === session.id.toUpperCase());
  const range = session.videoRangeSeconds;
  const length = range ? range.end - range.start : undefined;
  const facts = [
    formatDateTime(session.capturedAt),
    length !== undefined && length > 0 ? `${Math.max(1, Math.round(length / 60))} min` : undefined,
    session.displaySize.width > 0 ? `${session.displaySize.width} × ${session.displaySize.height}` : undefined,
    session.repository ? `${session.repository.branch ? session.repository.branch + ' · ' : ''}${session.repository.gitSHA.slice(0, 8)}` : undefined,
  ].filter(Boolean);
  return (
    <header class="review-head">
      <div>
        <p class="eyebrow">{row?.detail ?? 'Evidence ready'}</p>
        <h1 id="review-title">{row?.title ?? (formatDateTime(session.capturedAt) || bundle.displayName)}</h1>
        <p class="muted">{facts.join(' · ')}</p>
      </div>
      <div class="review-stats" aria-label="At a glance">
        <span><strong>{bundle.evidence.candidates.length}</strong> moments</span>
        <span><strong>{bundle.transcript?.segments.length ?? 0}</strong> lines</span>
        {bundle.feedback && <span><strong>{bundle.feedback.items.length}</strong> changes</span>}
      </div>
    </header>
  );
}

function TranscriptList({ bundle, onSeek }: { bundle: Bundle; onSeek?: (seconds: number) => void }) {
  const segments = bundle.transcript?.segments ?? [];
  if (!bundle.transcript) return <EmptyState title="No transcript in this bundle" />;
  if (segments.length === 0) return <EmptyState title="The transcript is empty">The recording had no speech Quillmer could recognise.</EmptyState>;
  return (
    <ol class="transcript card">
      {segments.map((s) => {
        const time = formatTimestamp(videoTimeFor(s.startSeconds, bundle.evidence));
        const speaker = s.speaker?.name;
        return (
          <li key={s.id} class="line">
            {onSeek ? (
              <button type="button" class="line-time" onClick={() => onSeek(s.startSeconds)} aria-label={`Play from ${time}`}>{time}</button>
            ) : (
              <span class="line-time">{time}</span>
            )}
            <span class={`speaker tone-${speakerTone(s.speaker)}`}>{speaker ?? 'Speaker'}</span>
            <span class="line-text">{s.text}</span>
          </li>
        );
      })}
    </ol>
  );
}

function SummaryView({ bundle }: { bundle: Bundle }) {
  const controller = useController();
  const summary = bundle.summary!;
  const section = (title: string, items: string[]) =>
    items.length > 0 && (
      <section class="summary-section">
        <h3>{title}</h3>
        <ul>{items.map((t) => <li key={t}>{t}</li>)}</ul>
      </section>
    );
  return (
    <div class="card summary">
      <div class="summary-head">
        <h2 class="card-title">Meeting summary</h2>
        {!controller.isUnsupported('summary.refresh') && (
          <button type="button" class="link" disabled={controller.isPending('summary.refresh')}
            onClick={() => controller.refreshSummary(bundle.id)}>
            {controller.isPending('summary.refresh') ? 'Refreshing…' : 'Refresh'}
          </button>
        )}
      </div>
      <p class="overview">{summary.overview}</p>
      {section('Action items', summary.actionItems)}
      {section('Decisions', summary.decisions)}
      {section('Open questions', summary.unresolvedQuestions)}
      {summary.topics.length > 0 && (
        <section class="summary-section">
          <h3>Topics</h3>
          {summary.topics.map((t) => <p key={t.title}><strong>{t.title}.</strong> {t.detail}</p>)}
        </section>
      )}
      {summary.model && <p class="muted small">{summary.provider === 'local-fallback' ? 'Written on this computer from the transcript.' : `Written by ${summary.model}.`}</p>}
    </div>
  );
}

function EvidenceFiles({ bundle }: { bundle: Bundle }) {
  const controller = useController();
  const session = bundle.evidence.session;
  const files = [
    { path: session.transcript.path, sha256: session.transcript.sha256, byteCount: session.transcript.byteCount, what: 'Transcript' },
    ...orderedMoments(bundle.evidence).flatMap((c, i) => c.frames.map((f) => ({ ...f, what: `Moment ${i + 1}` }))),
  ];
  const total = files.reduce((sum, f) => sum + f.byteCount, 0);
  return (
    <div class="card files">
      <p class="muted">
        Exported {formatDateTime(bundle.evidence.exportedAt)} · {plural(files.length, 'file')} · {formatBytes(total)}.
        Each file is listed with its SHA-256 digest so a reader can check it is unchanged.
      </p>
      <table>
        <thead><tr><th scope="col">File</th><th scope="col">Of</th><th scope="col">Size</th><th scope="col">SHA-256</th></tr></thead>
        <tbody>
          {files.map((f) => (
            <tr key={f.path}>
              <td class="mono">{f.path}</td>
              <td>{f.what}</td>
              <td class="num">{formatBytes(f.byteCount)}</td>
              <td class="mono digest">
                <span title={f.sha256}>{f.sha256.slice(0, 16)}…</span>
                {!controller.isUnsupported('review.copyText') && f.sha256 && (
                  <button type="button" class="link" aria-label={`Copy the digest of ${f.path}`} onClick={() => controller.copyText(f.sha256)}>Copy</button>
                )}
              </td>
            </tr>
          ))}
        </tbody>
      </table>
      <p class="muted small mono">Session {session.id}</p>
    </div>
  );
}
