// The person's decisions on grounded feedback before they are saved into the export.
import type { Bundle, FeedbackItem, ReviewEdit } from './types';

export interface ReviewDecisions {
  included: ReadonlySet<string>;
  useful: ReadonlySet<string>;
  edits: Readonly<Record<string, ReviewEdit>>;
}

export function decisionsFrom(bundle: Bundle): ReviewDecisions {
  return {
    included: new Set(bundle.includedFeedbackIDs),
    useful: new Set(bundle.visualEvidenceUsefulIDs),
    edits: { ...bundle.reviewEdits },
  };
}

const toggled = (set: ReadonlySet<string>, id: string, on: boolean): Set<string> => {
  const next = new Set(set);
  if (on) next.add(id);
  else next.delete(id);
  return next;
};

export const setIncluded = (d: ReviewDecisions, id: string, on: boolean): ReviewDecisions => ({
  ...d,
  included: toggled(d.included, id, on),
});

export const setUseful = (d: ReviewDecisions, id: string, on: boolean): ReviewDecisions => ({
  ...d,
  useful: toggled(d.useful, id, on),
});

/** An edit equal to the item's own text is no edit; the saved file then keeps the model's words. */
export function setEdit(d: ReviewDecisions, item: FeedbackItem, edit: ReviewEdit): ReviewDecisions {
  const edits = { ...d.edits };
  if (edit.component === item.component && edit.requestedChange === item.requestedChange) delete edits[item.id];
  else edits[item.id] = edit;
  return { ...d, edits };
}

/** Edits the native side would drop (an empty field) are left out rather than sent. */
export function keptEdits(d: ReviewDecisions): Record<string, ReviewEdit> {
  const out: Record<string, ReviewEdit> = {};
  for (const [id, e] of Object.entries(d.edits))
    if (e.component.trim() && e.requestedChange.trim()) out[id] = e;
  return out;
}

/** Arguments of "review.save" and "review.createHandoff": bundle, included, edits, useful. */
export function saveArguments(bundleID: string, d: ReviewDecisions): [string, string[], Record<string, ReviewEdit>, string[]] {
  return [bundleID, [...d.included].sort(), keptEdits(d), [...d.useful].sort()];
}

export function sameDecisions(a: ReviewDecisions, b: ReviewDecisions): boolean {
  const sameSet = (x: ReadonlySet<string>, y: ReadonlySet<string>) => x.size === y.size && [...x].every((v) => y.has(v));
  const canonical = (d: ReviewDecisions) =>
    Object.entries(keptEdits(d))
      .sort(([x], [y]) => (x < y ? -1 : x > y ? 1 : 0))
      .map(([id, e]) => JSON.stringify([id, e.component, e.requestedChange]))
      .join('\n');
  return sameSet(a.included, b.included) && sameSet(a.useful, b.useful) && canonical(a) === canonical(b);
}

export function displayedItem(item: FeedbackItem, d: ReviewDecisions): { component: string; requestedChange: string } {
  const edit = d.edits[item.id];
  return {
    component: edit?.component.trim() ? edit.component : item.component,
    requestedChange: edit?.requestedChange.trim() ? edit.requestedChange : item.requestedChange,
  };
}

/** Where the feedback came from, said plainly when nothing left this computer; undefined for a remote model. */
export function feedbackSourceNote(feedback: { provider?: string; model?: string } | undefined): string | undefined {
  if (feedback?.provider === 'transcript-rules')
    return 'Found on this computer by transcript rules, not judged by a model: nothing left this computer.';
  if (feedback?.provider === 'local-model')
    return `Judged on this computer by ${feedback.model || 'your local model'}: nothing left this computer.`;
  return undefined;
}
