import { describe, expect, it } from 'vitest';
import { formatBytes, formatClock, formatTimestamp, framesFromDetail } from './format';

describe('formatTimestamp ("%02d:%05.2f")', () => {
  it('writes whole minutes and two-decimal seconds, zero-padded', () => {
    expect(formatTimestamp(75.5)).toBe('01:15.50');
    expect(formatTimestamp(3725.25)).toBe('62:05.25');
    expect(formatTimestamp(0)).toBe('00:00.00');
    expect(formatTimestamp(9.999)).toBe('00:10.00');
    expect(formatTimestamp(600)).toBe('10:00.00');
  });
  it('never shows a negative or non-numeric time', () => {
    expect(formatTimestamp(-3)).toBe('00:00.00');
    expect(formatTimestamp(Number.NaN)).toBe('00:00.00');
  });
});

describe('other formats', () => {
  it('runs a recording clock past the hour', () => {
    expect(formatClock(7.9)).toBe('0:07');
    expect(formatClock(723)).toBe('12:03');
    expect(formatClock(3729)).toBe('1:02:09');
  });
  it('reads the frame count out of the recording detail only', () => {
    expect(framesFromDetail('412 frames captured')).toBe(412);
    expect(framesFromDetail('Ready to understand.')).toBeUndefined();
    expect(framesFromDetail(undefined)).toBeUndefined();
  });
  it('sizes files in readable units', () => {
    expect(formatBytes(512)).toBe('512 B');
    expect(formatBytes(1536)).toBe('1.5 KB');
    expect(formatBytes(5 * 1024 * 1024)).toBe('5.0 MB');
    expect(formatBytes(-1)).toBe('—');
  });
});
