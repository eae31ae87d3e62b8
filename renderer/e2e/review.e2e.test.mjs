// The review page end to end in a real headless Chromium, against QUILLMER_SERVE_URL: the address a
// running `quillmer serve` printed, token included (tests/app/serve_e2e.sh prepares one).
import assert from 'node:assert/strict';
import { mkdir } from 'node:fs/promises';
import http from 'node:http';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const serveURL = process.env.QUILLMER_SERVE_URL;
if (!serveURL) throw new Error('Set QUILLMER_SERVE_URL to the address `quillmer serve` printed.');
const artefacts = process.env.QUILLMER_TEST_ARTEFACTS ?? path.join(repo, 'build/test-artefacts/renderer');
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--no-first-run'];
const TIMESTAMP = /^\d{2,}:\d{2}\.\d{2}$/;

let browser;
let page;
let pageErrors = [];

const shot = (name) => page.screenshot({ path: path.join(artefacts, `${name}.png`), fullPage: false });

async function openApp() {
  pageErrors = [];
  await page.goto(serveURL);
  await page.getByRole('heading', { name: 'Recent meetings' }).waitFor();
  await page.locator('.recent-row').first().waitFor();
}

/** A bridge call from this test itself, with the token as a bearer header (no browser, no origin). */
async function nativeCall(method, args = []) {
  const url = new URL(serveURL);
  const response = await fetch(new URL('/bridge', url), {
    method: 'POST',
    headers: { Authorization: `Bearer ${url.searchParams.get('token')}`, 'Content-Type': 'application/json' },
    body: JSON.stringify({ id: `e2e-${method}`, method, args }),
  });
  return (await response.json()).value;
}

/** What another local page would try with the person's cookie: delete a meeting and listen to the events. */
function hostilePage(target, meetingID) {
  return `<!doctype html><script>
    const call = JSON.stringify({ id: '1', method: 'capture.deleteSession', args: [${JSON.stringify(meetingID)}] });
    const post = (type) => fetch('${target}/bridge', { method: 'POST', credentials: 'include', headers: { 'Content-Type': type }, body: call })
      .then((r) => (r.ok ? 'served' : 'refused'), () => 'refused');
    const events = new Promise((resolve) => {
      const source = new EventSource('${target}/events', { withCredentials: true });
      source.onmessage = () => { source.close(); resolve('served'); };
      source.onerror = () => { source.close(); resolve('refused'); };
    });
    Promise.all([post('text/plain'), post('application/json'), events])
      .then(([plain, json, events]) => { window.outcome = { plain, json, events }; });
  </script>`;
}

describe('review page', () => {
  before(async () => {
    await mkdir(artefacts, { recursive: true });
    browser = await chromium.launch({
      executablePath: process.env.QUILLMER_CHROMIUM ?? '/usr/bin/chromium',
      args: CHROMIUM_FLAGS,
    });
    const context = await browser.newContext({ viewport: { width: 1360, height: 860 }, deviceScaleFactor: 1 });
    page = await context.newPage();
    page.on('pageerror', (error) => pageErrors.push(error.message));
  });

  after(async () => {
    await browser?.close();
  });

  it('lists recent meetings and offers to record or import', async () => {
    await openApp();
    assert.ok(await page.locator('.recent-row').count() >= 1);
    await page.getByRole('heading', { name: /Turn a product meeting/ }).waitFor();
    assert.ok(await page.getByRole('button', { name: 'Record a meeting' }).first().isEnabled());
    await shot('01-home');
    assert.deepEqual(pageErrors, []);
  });

  it('serves nothing to a page from another port of this computer, cookie or not', async () => {
    await openApp(); // the browser now holds the access cookie
    const target = new URL(serveURL).origin;
    const meetings = async () => (await nativeCall('capture.state')).recentSessions.map((s) => s.id);
    const before = await meetings();
    const other = http.createServer((req, res) => {
      res.writeHead(200, { 'Content-Type': 'text/html' });
      res.end(hostilePage(target, before[before.length - 1]));
    });
    await new Promise((resolve) => other.listen(0, '127.0.0.1', resolve));
    const hostile = await page.context().newPage();
    try {
      const answers = [];
      hostile.on('response', (r) => r.url().startsWith(target) && answers.push(`${r.request().method()} ${new URL(r.url()).pathname} ${r.status()}`));
      await hostile.goto(`http://127.0.0.1:${other.address().port}/`);
      const outcome = await (await hostile.waitForFunction(() => window.outcome)).jsonValue();
      assert.deepEqual(outcome, { plain: 'refused', json: 'refused', events: 'refused' });
      for (const answer of answers) assert.doesNotMatch(answer, / 2\d\d$/);
      assert.deepEqual(await meetings(), before, 'no meeting was deleted');
    } finally {
      await hostile.close();
      other.closeAllConnections();
      other.close();
    }
  });

  it('reviews an exported meeting: moments in time order with frames, outline, transcript and digests', async () => {
    await openApp();
    await page.locator('.recent-row', { hasText: 'Ready to prepare' }).first().locator('.recent-open').click();
    await page.locator('.moment').first().waitFor();

    const times = await page.locator('.moment h3 time').allTextContents();
    assert.ok(times.length >= 1);
    for (const t of times) assert.match(t, TIMESTAMP);
    const seconds = times.map((t) => Number(t.split(':')[0]) * 60 + Number(t.split(':')[1]));
    assert.deepEqual(seconds, [...seconds].sort((a, b) => a - b), 'moments are in time order');

    const firstFrame = page.locator('.moment').first().locator('.frame-stage img');
    await firstFrame.waitFor();
    await page.waitForFunction((img) => img.complete && img.naturalWidth > 0, await firstFrame.elementHandle());
    // Analysed on this computer by the transcript rules: the page says so, and nothing is included
    // until the person ticks it; then the hand-off brief can be made.
    const handoff = page.locator('.handoff');
    await handoff.getByText('nothing left this computer').waitFor();
    assert.match(await handoff.locator('.card-title').textContent(), /^0 of \d+ changes? included$/);
    await shot('02-review-moments');
    await page.locator('.feedback .include input').first().check();
    await handoff.getByRole('button', { name: 'Create hand-off' }).click();
    await handoff.getByText('A hand-off brief is ready.').or(handoff.getByText(/The hand-off brief lists 1 change/)).waitFor();

    // Where the meeting has its screen recording, playing a moment seeks the video to it.
    if (await page.evaluate(() => Boolean(document.querySelector('video')?.src))) {
      const first = page.locator('.moment').first();
      const shown = await first.locator('h3 time').textContent();
      const expected = Number(shown.split(':')[0]) * 60 + Number(shown.split(':')[1]);
      await first.getByRole('button', { name: /Play/ }).click();
      await page.waitForFunction((at) => Math.abs(document.querySelector('video').currentTime - at) < 1.5, expected,
        { timeout: 20_000 });
    }

    const outlinedIndex = await page.locator('.moment').evaluateAll((els) => els.findIndex((e) => e.querySelector('.anchor')));
    const outlined = page.locator('.moment').nth(outlinedIndex);
    if (outlinedIndex >= 0) {
      const box = await outlined.locator('.anchor').boundingBox();
      assert.ok(box && box.width > 4 && box.height > 4, 'the change outline is drawn over the frame');
      await outlined.getByRole('button', { name: /Focused view/ }).click();
      await page.waitForFunction((el) => el.querySelector('.frame-stage figcaption')?.textContent === 'Focused view', await outlined.elementHandle());
      assert.equal(await outlined.locator('.anchor').count(), 0, 'no outline over the crop');
      await outlined.scrollIntoViewIfNeeded();
      await shot('03-moment-focused-view');
    }

    await page.getByRole('tab', { name: /Transcript/ }).click();
    const lines = page.locator('.transcript .line');
    await lines.first().waitFor();
    for (const t of await page.locator('.transcript .line-time').allTextContents()) assert.match(t, TIMESTAMP);
    assert.ok((await page.locator('.transcript .speaker').first().textContent()).length > 0);
    await shot('04-review-transcript');

    // Arrow keys move between tabs, as in any tab list.
    await page.getByRole('tab', { name: /Transcript/ }).focus();
    await page.keyboard.press('ArrowRight');
    const focusedTab = await page.evaluate(() => document.activeElement?.getAttribute('role'));
    assert.equal(focusedTab, 'tab');
    await page.getByRole('tab', { name: 'Evidence files' }).click();
    const digests = await page.locator('.files td.digest span').evaluateAll((els) => els.map((e) => e.getAttribute('title')));
    assert.ok(digests.length >= 2);
    for (const d of digests) assert.match(d, /^[0-9a-f]{64}$/);
    await shot('05-review-files');
    assert.deepEqual(pageErrors, []);
  });

  it('analyses an exported meeting on this computer only when asked, and says nothing leaves it', async () => {
    await openApp();
    await page.locator('.recent-row', { hasText: 'Ready to analyze' }).first().locator('.recent-open').click();
    const panel = page.locator('.approval.local');
    await panel.getByText('Nothing leaves this computer').waitFor();
    assert.match(await panel.textContent(), /rule-based, no model/);
    await shot('02b-analysis-on-this-computer');
    await panel.getByRole('button', { name: 'Analyze on this computer' }).click();
    await page.locator('.handoff').getByText('nothing left this computer').waitFor({ timeout: 30_000 });
    assert.deepEqual(pageErrors, []);
  });

  it('records with a disclosure and consent, then processes to the exported review', async () => {
    await openApp();
    await page.getByRole('button', { name: 'Record a meeting' }).first().click();
    await page.getByRole('heading', { name: 'Record a meeting' }).waitFor();
    await page.getByRole('radio').first().waitFor();
    const start = page.getByRole('button', { name: 'Start recording' });
    assert.equal(await start.isEnabled(), false, 'no start before the notice and the confirmation');
    const acknowledge = page.getByRole('button', { name: 'I have read this' });
    if (await acknowledge.count()) await acknowledge.click();
    await page.getByText('You have read this notice.').waitFor();
    const informed = page.getByRole('checkbox', { name: /Everyone on this call knows/ });
    if (!(await informed.isChecked())) await informed.check();
    await shot('06-record-setup');
    await start.click();

    await page.getByRole('timer').waitFor();
    // Long enough for the screen and the call audio (a sound server may start a little late).
    await page.waitForFunction(() => Number((document.querySelector('.frames-line')?.textContent ?? '').replace(/[^\d]/g, '')) >= 90,
      null, { timeout: 30_000 });
    await shot('07-recording');
    await page.getByRole('button', { name: 'Stop recording' }).click();

    await page.getByRole('button', { name: 'Understand this meeting' }).click();
    // Transcribed, matched, exported and analysed on this computer, with the evidence reviewable
    // (a recording without speech simply has no moments).
    await page.locator('.handoff, .note, .failure').first().waitFor({ timeout: 60_000 });
    await shot('09-after-processing');
    assert.equal(await page.locator('.failure').count(), 0, await page.locator('.failure').first().textContent().catch(() => ''));
    assert.deepEqual(pageErrors, []);
  });

  it('deletes a meeting only after confirmation', async () => {
    await openApp();
    const rows = page.locator('.recent-row');
    const before = await rows.count();
    const last = rows.last();
    const title = await last.locator('.recent-title').textContent();
    // Two meetings made in the same minute share a title, so count rows with it.
    const sameTitle = () => page.locator('.recent-title', { hasText: title }).count();
    const withTitle = await sameTitle();
    await last.hover();
    await last.locator('.recent-delete').click();
    await page.getByRole('dialog').waitFor();
    await shot('10-delete-confirmation');
    await page.getByRole('dialog').getByRole('button', { name: 'Cancel' }).click();
    assert.equal(await rows.count(), before, 'cancel keeps the meeting');

    await last.locator('.recent-delete').click();
    await page.getByRole('dialog').getByRole('button', { name: 'Move to trash' }).click();
    await page.waitForFunction((n) => document.querySelectorAll('.recent-row').length === n - 1, before);
    assert.equal(await sameTitle(), withTitle - 1);
    assert.deepEqual(pageErrors, []);
  });

  it('shows where keyboard focus is', async () => {
    await openApp();
    await page.keyboard.press('Tab');
    const outline = await page.evaluate(() => {
      const el = document.activeElement;
      return el && el !== document.body ? getComputedStyle(el).outlineStyle : 'none';
    });
    assert.notEqual(outline, 'none');
  });
});
