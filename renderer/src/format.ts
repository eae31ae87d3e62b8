// Time, size and date texts as people read them in the review.

/**
 * "%02d:%05.2f": whole minutes, then the remaining seconds with two decimals (75.5 → "01:15.50").
 * The same rounding as the exported Markdown, so a time on screen matches the brief exactly.
 */
export function formatTimestamp(seconds: number): string {
  const s = Number.isFinite(seconds) && seconds > 0 ? seconds : 0;
  const minutes = Math.trunc(Math.trunc(s) / 60);
  const rest = (s % 60).toFixed(2).padStart(5, '0');
  return `${String(minutes).padStart(2, '0')}:${rest}`;
}

/** A running clock: "0:07", "12:03", "1:02:09". */
export function formatClock(totalSeconds: number): string {
  const s = Math.max(0, Math.floor(Number.isFinite(totalSeconds) ? totalSeconds : 0));
  const h = Math.floor(s / 3600);
  const m = Math.floor((s % 3600) / 60);
  const sec = String(s % 60).padStart(2, '0');
  return h > 0 ? `${h}:${String(m).padStart(2, '0')}:${sec}` : `${m}:${sec}`;
}

export function formatBytes(bytes: number): string {
  if (!Number.isFinite(bytes) || bytes < 0) return '—';
  if (bytes < 1024) return `${bytes} B`;
  const units = ['KB', 'MB', 'GB'];
  let value = bytes / 1024;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit += 1;
  }
  return `${value < 10 ? value.toFixed(1) : Math.round(value)} ${units[unit]}`;
}

/** A local date and time for an ISO 8601 text; the text itself when it does not parse. */
export function formatDateTime(iso: string | undefined, locale?: string): string {
  if (!iso) return '';
  const date = new Date(iso);
  if (Number.isNaN(date.getTime())) return iso;
  return date.toLocaleString(locale, { dateStyle: 'medium', timeStyle: 'short' });
}

export function plural(count: number, one: string, many = `${one}s`): string {
  return `${count} ${count === 1 ? one : many}`;
}

/** The frame count inside a recording detail such as "412 frames captured". */
export function framesFromDetail(detail: string | undefined): number | undefined {
  const match = /^(\d+) frames? captured/.exec(detail ?? '');
  return match ? Number(match[1]) : undefined;
}
