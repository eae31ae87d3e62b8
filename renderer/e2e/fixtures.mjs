// Canned meeting data for the fake server: an exported bundle with frames drawn here as PNGs.
import { createHash } from 'node:crypto';
import { deflateSync } from 'node:zlib';

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(buf) {
  let c = 0xffffffff;
  for (const b of buf) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}
function chunk(type, data) {
  const len = Buffer.alloc(4);
  len.writeUInt32BE(data.length);
  const body = Buffer.concat([Buffer.from(type, 'ascii'), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(body));
  return Buffer.concat([len, body, crc]);
}

/** An RGB canvas with rectangle drawing, encoded as PNG. */
export class Canvas {
  constructor(width, height, [r, g, b] = [255, 255, 255]) {
    this.width = width;
    this.height = height;
    this.pixels = Buffer.alloc(width * height * 3);
    this.fill(0, 0, width, height, [r, g, b]);
  }
  fill(x, y, w, h, [r, g, b]) {
    for (let j = Math.max(0, y); j < Math.min(this.height, y + h); j++)
      for (let i = Math.max(0, x); i < Math.min(this.width, x + w); i++) {
        const o = (j * this.width + i) * 3;
        this.pixels[o] = r;
        this.pixels[o + 1] = g;
        this.pixels[o + 2] = b;
      }
  }
  stroke(x, y, w, h, t, color) {
    this.fill(x, y, w, t, color);
    this.fill(x, y + h - t, w, t, color);
    this.fill(x, y, t, h, color);
    this.fill(x + w - t, y, t, h, color);
  }
  crop(x, y, w, h) {
    const out = new Canvas(w, h);
    for (let j = 0; j < h; j++) this.pixels.copy(out.pixels, j * w * 3, ((y + j) * this.width + x) * 3, ((y + j) * this.width + x + w) * 3);
    return out;
  }
  png() {
    const raw = Buffer.alloc((this.width * 3 + 1) * this.height);
    for (let j = 0; j < this.height; j++) this.pixels.copy(raw, j * (this.width * 3 + 1) + 1, j * this.width * 3, (j + 1) * this.width * 3);
    const header = Buffer.alloc(13);
    header.writeUInt32BE(this.width, 0);
    header.writeUInt32BE(this.height, 4);
    header[8] = 8; // bit depth
    header[9] = 2; // RGB
    return Buffer.concat([
      Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
      chunk('IHDR', header),
      chunk('IDAT', deflateSync(raw)),
      chunk('IEND', Buffer.alloc(0)),
    ]);
  }
}

const W = 640, H = 360;

/** A plain product screen: top bar, side navigation, a table of rows; `variant` changes one spot. */
function screen(variant) {
  const c = new Canvas(W, H, [247, 248, 250]);
  c.fill(0, 0, W, 40, [37, 52, 78]);
  c.fill(16, 13, 90, 14, [220, 228, 240]);
  c.fill(0, 40, 140, H - 40, [232, 236, 242]);
  for (let i = 0; i < 6; i++) c.fill(16, 60 + i * 28, 100, 12, i === 1 ? [70, 110, 200] : [190, 198, 210]);
  c.fill(164, 60, 300, 18, [60, 66, 80]);
  for (let i = 0; i < 7; i++) {
    c.fill(164, 100 + i * 30, 452, 24, i % 2 ? [255, 255, 255] : [242, 244, 247]);
    c.fill(176, 107 + i * 30, 140, 10, [150, 158, 170]);
    c.fill(420, 107 + i * 30, 60, 10, [170, 176, 188]);
  }
  c.fill(520, 56, 96, 28, [47, 95, 208]);
  if (variant === 'after') {
    c.fill(470, 88, 146, 96, [255, 255, 255]);
    c.stroke(470, 88, 146, 96, 1, [190, 198, 210]);
    for (let i = 0; i < 3; i++) c.fill(482, 100 + i * 28, 100, 10, [120, 130, 150]);
  }
  return c;
}

const ANCHOR = { x: 470 / W, y: 88 / H, width: 146 / W, height: 96 / H };

export function makeFrames(candidateID, withAnchor) {
  const before = screen('before');
  const at = screen('at');
  const after = screen('after');
  const files = [
    [`${candidateID}-0.png`, before.png()],
    [`${candidateID}-1.png`, at.png()],
    [`${candidateID}-2.png`, after.png()],
  ];
  if (withAnchor) {
    const annotated = screen('after');
    annotated.stroke(468, 86, 150, 100, 3, [59, 130, 246]);
    files.push([`${candidateID}-change-anchor.png`, annotated.png()]);
    files.push([`${candidateID}-change-focus.png`, after.crop(440, 60, 190, 190).png()]);
  }
  return files;
}

const sha = (buf) => createHash('sha256').update(buf).digest('hex');

export const EXPORTED_SESSION = '5B0C9E2A-41D7-4C1B-9F0E-7A2D3C4B5E6F';
const VIDEO_START = 1000.25;

const SEGMENTS = [
  [1001.0, 4.2, 'Call audio', 'Thanks for joining, let me share the reports screen.'],
  [1006.1, 3.8, 'You', 'Sure, I can see the reports list now.'],
  [1012.4, 5.5, 'Call audio', 'So this export button here is hard to find, you need to move it next to the filters.'],
  [1019.0, 4.0, 'You', 'Got it, next to the filters.'],
  [1031.6, 6.1, 'Call audio', 'And when I open this menu the options are cut off, can you fix the menu width?'],
  [1038.2, 3.2, 'You', 'Yes, the menu should be wider.'],
  [1052.9, 5.0, 'Call audio', 'Down here the totals row should be bold so it stands out.'],
  [1058.4, 2.9, 'You', 'Makes sense.'],
  [1070.0, 4.4, 'Call audio', 'Otherwise the page looks good to me.'],
];

/** The export folder's files and the bundle payload the bridge would hand the page for it. */
export function makeExport(bundleID) {
  const transcript = {
    schemaVersion: 2,
    createdAt: '2026-05-04T09:40:12Z',
    audioFile: 'system-audio.m4a,microphone.m4a',
    sourcePTSOffsetSeconds: 0,
    localeIdentifier: 'en-US',
    provider: 'pocketsphinx',
    segments: SEGMENTS.map(([start, duration, name, text], i) => ({
      id: `0000000${i}-0000-4000-8000-000000000000`,
      startSeconds: start,
      durationSeconds: duration,
      text,
      speaker: name === 'You' ? { id: 'self', name, role: 'self' } : { id: 'remote', name, role: 'remote' },
      sourceTrack: name === 'You' ? 'microphone' : 'system-audio',
    })),
  };
  const transcriptBytes = Buffer.from(JSON.stringify(transcript, null, 2));
  const files = new Map([['transcript.json', transcriptBytes]]);
  const moments = [
    // Listed out of time order on purpose: the page must sort.
    { id: 'C2A0B7E1-3F4D-4A5B-8C6D-7E8F9A0B1C2D', t: 1031.6, trigger: 'this', anchor: true, seg: [3, 4, 5] },
    { id: 'A1B2C3D4-E5F6-4789-A0B1-C2D3E4F5A6B7', t: 1012.4, trigger: 'this', anchor: true, seg: [1, 2, 3] },
    { id: 'F0E1D2C3-B4A5-4968-8776-655443322110', t: 1052.9, trigger: 'here', anchor: false, seg: [5, 6, 7] },
  ];
  const candidates = moments.map((m) => {
    const frames = makeFrames(m.id, m.anchor).map(([name, png]) => {
      files.set(`frames/${name}`, png);
      return { path: `frames/${name}`, sha256: sha(png), byteCount: png.length };
    });
    return {
      id: m.id,
      rangeStartSeconds: m.t - 2,
      rangeEndSeconds: m.t + 1,
      trigger: m.trigger,
      transcriptContext: m.seg.map((i) => SEGMENTS[i][3]).join(' '),
      frames,
      ...(m.anchor ? { visualAnchor: ANCHOR } : {}),
    };
  });
  const evidence = {
    schemaVersion: 1,
    exportedAt: '2026-05-04T09:41:03Z',
    session: {
      id: EXPORTED_SESSION,
      capturedAt: '2026-05-04T09:30:12Z',
      endedAt: '2026-05-04T09:33:20Z',
      displaySize: { width: W, height: H },
      videoRangeSeconds: { start: VIDEO_START, end: VIDEO_START + 186.5 },
      transcript: { path: 'transcript.json', sha256: sha(transcriptBytes), byteCount: transcriptBytes.length },
      repository: { rootPath: '/home/dev/reports-app', gitSHA: '3f9c2a17d4e85b6091c7a2f3e4d5c6b7a8f9e0d1', branch: 'main' },
    },
    candidates,
  };
  const frameDataURLs = {};
  for (const c of candidates)
    for (const f of c.frames)
      frameDataURLs[f.path] = `quillmer-review://evidence/${bundleID}/${f.path}`;
  const bundle = {
    id: bundleID,
    displayName: EXPORTED_SESSION,
    evidence,
    frameDataURLs,
    includedFeedbackIDs: [],
    visualEvidenceUsefulIDs: [],
    reviewEdits: {},
    implementationBriefReady: false,
    transcript,
  };
  return { bundle, files };
}
