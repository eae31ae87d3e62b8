// One evidence moment: when, what was said, the screens around it, and what the model made of it.
import { useState } from 'preact/hooks';
import { FRAME_CAPTIONS, framesOf, momentSeconds, splitOnTrigger, videoTimeFor, type FrameKind } from '../evidence';
import { formatTimestamp } from '../format';
import { displayedItem, type ReviewDecisions } from '../review';
import type { EvidenceCandidate, EvidenceDocument, FeedbackItem, ReviewEdit } from '../types';
import { Button } from './ui';

const STRIP: FrameKind[] = ['before', 'atMoment', 'after', 'annotated', 'focusedCrop'];
const OUTLINED: FrameKind[] = ['before', 'atMoment', 'after'];

export interface MomentProps {
  index: number;
  candidate: EvidenceCandidate;
  evidence: EvidenceDocument;
  frameURL: (path: string) => string | undefined;
  onPlay?: (seconds: number) => void;
  feedback: FeedbackItem[];
  analysed: boolean;
  decisions: ReviewDecisions;
  onInclude: (id: string, on: boolean) => void;
  onUseful: (id: string, on: boolean) => void;
  onEdit: (item: FeedbackItem, edit: ReviewEdit) => void;
}

export function Moment(props: MomentProps) {
  const { candidate, evidence } = props;
  const frames = framesOf(candidate);
  const available = STRIP.filter((k) => frames[k]);
  const [shown, setShown] = useState<FrameKind>(frames.atMoment ? 'atMoment' : available[0] ?? 'atMoment');
  const [outline, setOutline] = useState(true);
  const at = momentSeconds(candidate, evidence);
  const [before, trigger, after] = splitOnTrigger(candidate.transcriptContext, candidate.trigger);
  const { width, height } = evidence.session.displaySize;
  const ratio = width > 0 && height > 0 ? `${width} / ${height}` : '16 / 9';
  const shownPath = frames[shown];
  const shownURL = shownPath ? props.frameURL(shownPath) : undefined;
  const anchor = candidate.visualAnchor;
  const drawOutline = outline && anchor && OUTLINED.includes(shown);
  const headingID = `moment-${candidate.id}-title`;

  return (
    <article class="moment card" id={`moment-${candidate.id}`} aria-labelledby={headingID}>
      <header class="moment-head">
        <span class="moment-index" aria-hidden="true">{props.index}</span>
        <div class="moment-when">
          <h3 id={headingID}>
            <span class="visually-hidden">Moment {props.index} at </span>
            <time>{formatTimestamp(videoTimeFor(at, evidence))}</time>
            {candidate.trigger && <span class="trigger">“{candidate.trigger}”</span>}
          </h3>
          <span class="muted small">
            {formatTimestamp(videoTimeFor(candidate.rangeStartSeconds, evidence))}–{formatTimestamp(videoTimeFor(candidate.rangeEndSeconds, evidence))}
            {anchor ? ' · a small change was detected on screen' : ''}
          </span>
        </div>
        {props.onPlay && (
          <Button kind="quiet" class="play" onClick={() => props.onPlay!(at)} aria-label={`Play moment ${props.index} in the recording`}>
            <span class="play-glyph" aria-hidden="true" /> Play
          </Button>
        )}
      </header>

      <blockquote class="context">
        {before}
        {trigger && <mark>{trigger}</mark>}
        {after}
      </blockquote>

      {available.length > 0 ? (
        <div class="frames">
          <figure class="frame-stage" style={{ aspectRatio: shown === 'focusedCrop' ? '1 / 1' : ratio }}>
            {shownURL ? (
              <img src={shownURL} alt={`${FRAME_CAPTIONS[shown]}, moment ${props.index}`} loading="lazy" decoding="async" />
            ) : (
              <span class="muted">This frame is not available.</span>
            )}
            {drawOutline && (
              <span class="anchor" aria-hidden="true" style={{
                left: `${anchor!.x * 100}%`, top: `${anchor!.y * 100}%`,
                width: `${anchor!.width * 100}%`, height: `${anchor!.height * 100}%`,
              }} />
            )}
            <figcaption>{FRAME_CAPTIONS[shown]}</figcaption>
          </figure>
          <div class="frame-strip" role="group" aria-label={`Frames of moment ${props.index}`}>
            {available.map((kind) => {
              const url = props.frameURL(frames[kind]!);
              return (
                <button key={kind} type="button" class={`thumb ${shown === kind ? 'active' : ''}`}
                  aria-pressed={shown === kind} onClick={() => setShown(kind)}>
                  <span class="thumb-image" style={{ aspectRatio: kind === 'focusedCrop' ? '1 / 1' : ratio }}>
                    {url && <img src={url} alt="" loading="lazy" decoding="async" />}
                  </span>
                  <span class="thumb-label">{FRAME_CAPTIONS[kind]}</span>
                </button>
              );
            })}
            {anchor && (
              <label class="outline-toggle">
                <input type="checkbox" checked={outline} onChange={(e) => setOutline((e.currentTarget as HTMLInputElement).checked)} />
                Outline the change
              </label>
            )}
          </div>
        </div>
      ) : (
        <p class="muted">No screens were captured for this moment.</p>
      )}

      {props.feedback.map((item) => (
        <FeedbackEditor key={item.id} item={item} decisions={props.decisions} frameURL={props.frameURL}
          onInclude={props.onInclude} onUseful={props.onUseful} onEdit={props.onEdit} />
      ))}
      {props.analysed && props.feedback.length === 0 && (
        <p class="muted small no-change">The analysis found no concrete change requested here.</p>
      )}
    </article>
  );
}

function FeedbackEditor(props: {
  item: FeedbackItem;
  decisions: ReviewDecisions;
  frameURL: (path: string) => string | undefined;
  onInclude: (id: string, on: boolean) => void;
  onUseful: (id: string, on: boolean) => void;
  onEdit: (item: FeedbackItem, edit: ReviewEdit) => void;
}) {
  const { item, decisions } = props;
  const shown = displayedItem(item, decisions);
  const [editing, setEditing] = useState(false);
  const [draft, setDraft] = useState<ReviewEdit>(shown);
  const included = decisions.included.has(item.id);
  const edited = decisions.edits[item.id] !== undefined;
  const confidence = Math.trunc(item.confidence * 100);

  return (
    <section class={`feedback ${included ? 'included' : ''}`} aria-label={`Grounded change: ${shown.component}`}>
      <div class="feedback-head">
        <label class="include">
          <input type="checkbox" checked={included} onChange={(e) => props.onInclude(item.id, (e.currentTarget as HTMLInputElement).checked)} />
          <span>Include in hand-off</span>
        </label>
        <span class="confidence" title="How well the evidence supports this change">{confidence}% grounded</span>
      </div>
      {editing ? (
        <form class="feedback-edit" onSubmit={(e) => { e.preventDefault(); props.onEdit(item, draft); setEditing(false); }}>
          <label>Component
            <input type="text" value={draft.component} onInput={(e) => setDraft({ ...draft, component: (e.currentTarget as HTMLInputElement).value })} />
          </label>
          <label>Requested change
            <textarea rows={3} value={draft.requestedChange} onInput={(e) => setDraft({ ...draft, requestedChange: (e.currentTarget as HTMLTextAreaElement).value })} />
          </label>
          <div class="actions">
            <Button kind="primary" type="submit" disabled={!draft.component.trim() || !draft.requestedChange.trim()}>Keep edit</Button>
            <Button kind="quiet" onClick={() => { setDraft(shown); setEditing(false); }}>Cancel</Button>
            {edited && <Button kind="quiet" onClick={() => { props.onEdit(item, { component: item.component, requestedChange: item.requestedChange }); setDraft({ component: item.component, requestedChange: item.requestedChange }); setEditing(false); }}>Use the original</Button>}
          </div>
        </form>
      ) : (
        <div class="feedback-body">
          <p class="component">{shown.component}{edited && <span class="tag">edited</span>}</p>
          <p class="requested">{shown.requestedChange}</p>
          <p class="observed"><span class="label">Observed</span> {item.observed}</p>
          <p class="quote" title="Word for word from the transcript: this is what grounds the change">
            <span class="label">Grounded in</span> “{item.quote}”
          </p>
          {item.evidenceFramePaths.length > 0 && (
            <div class="cited-frames" role="group" aria-label="Frames the analysis cites">
              {item.evidenceFramePaths.map((path) => {
                const url = props.frameURL(path);
                return url ? <img key={path} src={url} alt={`Cited frame ${path}`} loading="lazy" decoding="async" /> : null;
              })}
            </div>
          )}
          <div class="feedback-foot">
            <label class="useful">
              <input type="checkbox" checked={decisions.useful.has(item.id)} onChange={(e) => props.onUseful(item.id, (e.currentTarget as HTMLInputElement).checked)} />
              <span>The screens help explain this</span>
            </label>
            <Button kind="quiet" onClick={() => { setDraft(shown); setEditing(true); }}>Edit</Button>
          </div>
        </div>
      )}
    </section>
  );
}
