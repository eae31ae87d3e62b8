// A stand-in for `quillmer serve` in end-to-end tests: serves the built page, answers the bridge
// from a small in-memory meeting library and streams state snapshots. Loopback only.
import { randomUUID } from 'node:crypto';
import { readFile } from 'node:fs/promises';
import http from 'node:http';
import path from 'node:path';
import { EXPORTED_SESSION, makeExport } from './fixtures.mjs';

const UNSUPPORTED = 'This version of Quillmer does not support that operation.';
const NOT_APPROVED = 'This meeting has not been approved for analysis yet.';
const CONSENT_REQUIRED = 'Quillmer needs your confirmation that everyone on the call knows it is being recorded.';
const TYPES = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.png': 'image/png', '.json': 'application/json' };

export async function startFakeServer({ rendererDir, token = randomUUID(), stepMilliseconds = 250 } = {}) {
  const bundleID = randomUUID().toUpperCase();
  const exported = makeExport(bundleID);
  const clients = new Set();
  const timers = new Set();
  const library = [
    { id: EXPORTED_SESSION, title: 'Yesterday at 09:30', detail: 'Ready to analyze', exported: true, transcriptSegments: 9, evidenceMoments: 3 },
    { id: '9D8C7B6A-5F4E-4D3C-8B2A-19F0E1D2C3B4', title: '2 May 2026 at 14:05', detail: '14 transcript moments', exported: false, transcriptSegments: 14 },
  ];
  const engine = { current: undefined, stage: undefined, detail: undefined, progress: undefined, frames: 0, error: undefined };
  const consent = { acknowledgedVersion: 0, standing: false, standingSince: undefined, lastAffirmedAt: undefined };

  const currentRow = () => library.find((s) => s.id === engine.current);
  const snapshot = () => {
    const row = currentRow();
    let stage = engine.stage;
    let detail = engine.detail;
    let progress = engine.progress;
    if (!stage) {
      if (engine.error) stage = 'failed';
      else if (row) {
        stage = 'ready-to-process';
        detail ??= row.transcriptSegments !== undefined ? 'Transcript added. Ready to understand.' : 'Ready to understand.';
      } else stage = 'idle';
    }
    const s = {
      available: true,
      stage,
      recentSessions: library.slice(0, 5).map(({ id, title, detail: d }) => ({ id, title, detail: d })),
      cloudSync: { configured: false, phase: 'unavailable', connectAvailable: false, connectUnavailableReason: 'No relay is configured for this build.' },
      captureRole: 'recorder',
      update: { enabled: true, feedConfigured: false, currentVersion: '0.1.0', lastCheckFailed: false },
      disclosure: { currentVersion: 1, acknowledgedVersion: consent.acknowledgedVersion, required: consent.acknowledgedVersion < 1 },
      consent: { standing: consent.standing, ...(consent.standingSince && { standingSince: consent.standingSince }), ...(consent.lastAffirmedAt && { lastAffirmedAt: consent.lastAffirmedAt }) },
    };
    if (row) s.sessionName = row.id;
    if (detail) s.detail = detail;
    if (progress !== undefined) s.progress = progress;
    if (engine.error) s.error = engine.error;
    if (row?.transcriptSegments !== undefined) s.transcriptSegments = row.transcriptSegments;
    if (row?.evidenceMoments !== undefined) s.evidenceMoments = row.evidenceMoments;
    return s;
  };
  const push = () => {
    const data = `data: ${JSON.stringify(snapshot())}\n\n`;
    for (const res of clients) res.write(data);
  };
  const later = (ms, fn) => {
    const t = setTimeout(() => { timers.delete(t); fn(); }, ms);
    timers.add(t);
  };
  const bundleFor = (row) => (row?.exported ? { ...exported.bundle, evidence: { ...exported.bundle.evidence, session: { ...exported.bundle.evidence.session, id: row.id } } } : undefined);

  let recordingTimer;
  let processing;
  const methods = {
    'capture.state': () => snapshot(),
    'capture.restore': ([id]) => {
      if (id !== undefined) {
        if (!library.some((s) => s.id === id)) throw new Error('This local session is no longer available.');
        engine.current = id;
        engine.error = undefined;
        push();
      }
      const bundle = bundleFor(currentRow());
      return bundle ? { state: snapshot(), bundle } : { state: snapshot() };
    },
    'capture.newSession': () => { engine.current = undefined; engine.error = undefined; push(); return snapshot(); },
    'capture.deleteSession': ([id]) => {
      const i = library.findIndex((s) => s.id === id);
      if (i >= 0) library.splice(i, 1);
      if (engine.current === id) engine.current = undefined;
      push();
      return snapshot();
    },
    'capture.importRecording': () => snapshot(),
    'capture.importTranscript': () => snapshot(),
    'capture.sources': () => [{ id: '1', label: 'Built-in display (1920 × 1080)' }, { id: '2', label: 'HDMI-1 (2560 × 1440)' }],
    'consent.acknowledgeDisclosure': ([version]) => {
      if (version !== 1) throw new Error('That disclosure revision is not part of this build.');
      consent.acknowledgedVersion = Math.max(consent.acknowledgedVersion, 1);
      push();
      return snapshot();
    },
    'consent.setStandingRecordingConsent': ([on]) => {
      consent.standing = on === true;
      consent.standingSince = consent.standing ? consent.standingSince ?? new Date().toISOString().replace(/\.\d+Z$/, 'Z') : undefined;
      push();
      return snapshot();
    },
    'capture.start': ([sourceID, affirmation]) => {
      const a = affirmation ?? {};
      if (a.participantsInformed !== true || a.disclosureTextVersion !== 1 || typeof a.affirmedAt !== 'string' || !a.affirmedAt || typeof a.standing !== 'boolean')
        throw new Error(CONSENT_REQUIRED);
      if (!['1', '2'].includes(String(sourceID))) throw new Error('Choose a display before recording.');
      engine.stage = 'recording';
      engine.frames = 0;
      engine.detail = '0 frames captured';
      consent.lastAffirmedAt = new Date().toISOString().replace(/\.\d+Z$/, 'Z');
      recordingTimer = setInterval(() => {
        engine.frames += Math.round((stepMilliseconds / 1000) * 30);
        engine.detail = `${engine.frames} frames captured`;
        push();
      }, stepMilliseconds);
      return snapshot();
    },
    'capture.stop': () => {
      clearInterval(recordingTimer);
      const id = randomUUID().toUpperCase();
      library.unshift({ id, title: 'Today at 10:42', detail: 'Ready to understand', exported: false });
      engine.current = id;
      engine.stage = undefined;
      engine.detail = undefined;
      push();
      return snapshot();
    },
    'capture.cancel': () => {
      if (processing) processing.cancelled = true;
      engine.detail = 'Stopping safely…';
      const s = snapshot();
      push();
      return s;
    },
    'capture.process': () => {
      const row = currentRow();
      if (!row) throw new Error('Import or record a meeting first.');
      engine.error = undefined;
      if (row.exported) throw new Error(NOT_APPROVED);
      const run = { cancelled: false };
      processing = run;
      const steps = [
        ...[0, 1, 2, 3].map((done) => ({ stage: 'transcribing', detail: `Part ${done + 1} of 4`, progress: done / 4 })),
        { stage: 'finding-evidence', detail: 'Matching words to the screen…' },
        { stage: 'finding-evidence', detail: 'Matching words to the screen…' },
        { stage: 'exporting', detail: 'Preparing cited evidence…' },
      ];
      return new Promise((resolve, reject) => {
        const next = (i) => {
          if (run.cancelled) {
            engine.stage = undefined; engine.detail = undefined; engine.progress = undefined;
            push();
            return reject(new Error('The operation was cancelled.'));
          }
          if (i === steps.length) {
            Object.assign(row, { exported: true, transcriptSegments: 9, evidenceMoments: 3, detail: 'Ready to analyze' });
            engine.stage = undefined; engine.detail = undefined; engine.progress = undefined;
            push();
            return reject(new Error(NOT_APPROVED));
          }
          Object.assign(engine, steps[i]);
          if (steps[i].progress === undefined) engine.progress = undefined;
          push();
          later(stepMilliseconds, () => next(i + 1));
        };
        next(0);
      });
    },
  };

  const server = http.createServer(async (req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    const cookies = Object.fromEntries((req.headers.cookie ?? '').split(/;\s*/).filter(Boolean).map((c) => c.split('=')));
    const authorised = cookies.quillmer_token === token;
    try {
      if (url.pathname === '/' && url.searchParams.get('token') === token) {
        res.setHeader('Set-Cookie', `quillmer_token=${token}; HttpOnly; SameSite=Strict; Path=/`);
        return await sendFile(res, path.join(rendererDir, 'index.html'));
      }
      if (!authorised) return send(res, 401, 'text/plain', 'Not authorised');
      if (url.pathname === '/bridge' && req.method === 'POST') {
        const body = JSON.parse(await readBody(req));
        const { id, method, args = [] } = body;
        const handler = methods[method];
        let reply;
        try {
          if (!handler) throw new Error(UNSUPPORTED);
          const value = await handler(Array.isArray(args) ? args : []);
          reply = { id, ok: true, value: value ?? null };
        } catch (error) {
          reply = { id, ok: false, error: error.message };
        }
        return send(res, 200, 'application/json', JSON.stringify(reply));
      }
      if (url.pathname === '/events') {
        res.writeHead(200, { 'Content-Type': 'text/event-stream', 'Cache-Control': 'no-store', Connection: 'keep-alive' });
        res.write(`data: ${JSON.stringify(snapshot())}\n\n`);
        clients.add(res);
        req.on('close', () => clients.delete(res));
        return;
      }
      const evidence = /^\/evidence\/([^/]+)\/(.+)$/.exec(url.pathname);
      if (evidence) {
        const file = evidence[1] === bundleID && exported.files.get(decodeURIComponent(evidence[2]));
        return file ? send(res, 200, TYPES[path.extname(evidence[2])] ?? 'application/octet-stream', file) : send(res, 404, 'text/plain', 'Not found');
      }
      const relative = path.normalize(decodeURIComponent(url.pathname)).replace(/^\/+/, '');
      if (relative.startsWith('..')) return send(res, 404, 'text/plain', 'Not found');
      return await sendFile(res, path.join(rendererDir, relative || 'index.html'));
    } catch {
      send(res, 404, 'text/plain', 'Not found');
    }
  });

  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  return {
    url: `http://127.0.0.1:${port}/?token=${token}`,
    async close() {
      clearInterval(recordingTimer);
      for (const t of timers) clearTimeout(t);
      for (const res of clients) res.end();
      await new Promise((resolve) => server.close(resolve));
    },
  };
}

function send(res, status, type, body) {
  res.writeHead(status, { 'Content-Type': type, 'Cache-Control': 'no-store' });
  res.end(body);
}

async function sendFile(res, file) {
  send(res, 200, TYPES[path.extname(file)] ?? 'application/octet-stream', await readFile(file));
}

function readBody(req) {
  return new Promise((resolve, reject) => {
    let data = '';
    req.on('data', (c) => (data += c));
    req.on('end', () => resolve(data));
    req.on('error', reject);
  });
}

// Run directly to look at the page by hand: node e2e/fake-server.mjs build/share/quillmer/renderer
if (import.meta.url === `file://${process.argv[1]}`) {
  const server = await startFakeServer({ rendererDir: path.resolve(process.argv[2] ?? '../build/share/quillmer/renderer') });
  console.log(server.url);
}
