// The customer answers through the viewer, in Debian's Chromium: a two-page
// proof the station made, nginx serving it (Range requests for the tiles)
// and passing reply.php to PHP's built-in server. Approve page 1, request
// changes on page 2 with two notes placed by clicking the page, then the
// same without PHP on the host: the answer as a mail.
// Usage: node answers-test.cjs SOURCE_DIR BUILD_DIR NODE_MODULES SCREENSHOT_DIR
'use strict';
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { freePort, startNginx, startPhp, launchChromium, checks, settled, viewerState } =
  require('./browser-support.cjs');
const { makeStationJobs } = require('./station-jobs.cjs');

const [sourceDir, buildDir, modulesDir, screenshotDir] = process.argv.slice(2);
const { chromium } = require(path.join(modulesDir, 'playwright-core'));

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrin-answers-'));
fs.chmodSync(scratch, 0o755);
const webRoot = path.join(scratch, 'www');
const { check, run } = checks();
const servers = { nginx: null, php: null };
const job = { number: 41, name: 'answer-job', dpi: 300, width: 1201, height: 901, pages: 2, due: '2099-12-18' };
const HOSTILE = '<img src=x onerror="window.hacked=1">';
const KEYS = ['job', 'page', 'decision', 'comment', 'name', 'email', 'fingerprint', 'notes', 'time'];

// The fingerprint the viewer sends is proof.js's; a station that does not
// write proof.js yet gets one here in the same form.
function proofFingerprint(folder) {
  const file = path.join(folder, 'proof.js');
  if (!fs.existsSync(file)) {
    const hex = (text) => crypto.createHash('sha256').update(text).digest('hex');
    const pages = [1, 2].map((page) => ({ page, fingerprint: hex(`page ${page}`), plates: [] }));
    fs.writeFileSync(file, `var proofprint=${JSON.stringify({ job: hex('job'), pages })};\r\n`);
  }
  const match = /^var proofprint=(.*);\s*$/s.exec(fs.readFileSync(file, 'utf8'));
  return JSON.parse(match[1]).job;
}

function replies() {
  const file = path.join(webRoot, 'tavrin', job.folder, 'replies.jsonl');
  if (!fs.existsSync(file)) return [];
  return fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map((line) => JSON.parse(line));
}

// The master pixel under a point of the stage (stage coordinates), as the
// view stands now.
async function masterPixelAt(page, point) {
  const state = await page.evaluate(() => {
    const viewer = TavrinViewer.instance;
    return { centerX: viewer.centerX, centerY: viewer.centerY, scale: viewer.scale, width: viewer.viewWidth,
             height: viewer.viewHeight };
  });
  return { x: Math.floor(state.centerX + (point.x - state.width / 2) / state.scale),
           y: Math.floor(state.centerY + (point.y - state.height / 2) / state.scale) };
}

async function placeNote(page, point, text) {
  await page.getByRole('tab', { name: 'Notes' }).click();
  await page.locator('#tv-placenote').click();
  const stage = await page.locator('.tv-stage').boundingBox();
  const expected = await masterPixelAt(page, point);
  await page.mouse.click(stage.x + point.x, stage.y + point.y);
  await page.locator('#tv-notetext').fill(text);
  await page.getByRole('button', { name: 'Keep the note', exact: true }).click();
  return expected;
}

// Screen centres of the markers shown, in stage coordinates.
function markerCentres(page) {
  return page.evaluate(() => [...document.querySelectorAll('.tv-marker:not([hidden])')].map((marker) => {
    const box = marker.getBoundingClientRect(), stage = document.querySelector('.tv-stage').getBoundingClientRect();
    return { x: box.left + box.width / 2 - stage.left, y: box.top + box.height / 2 - stage.top,
             text: marker.textContent };
  }));
}

// Where a master pixel's centre stands on the stage now.
function screenPoint(page, x, y) {
  return page.evaluate(([px, py]) => {
    const viewer = TavrinViewer.instance;
    return { x: (px + 0.5 - viewer.centerX) * viewer.scale + viewer.viewWidth / 2,
             y: (py + 0.5 - viewer.centerY) * viewer.scale + viewer.viewHeight / 2 };
  }, [x, y]);
}

async function send(page) {
  await page.getByRole('tab', { name: 'Reply' }).click();
  await page.locator('#tv-send').click();
  await page.waitForFunction(() => /received|not accepted|could not/.test(
    document.querySelector('#tv-answerstatus').textContent));
  return page.locator('#tv-answerstatus').textContent();
}

// The answer block of a mailto: link's body, parsed.
function mailedAnswer(href) {
  const url = new URL(href);
  const body = url.searchParams.get('body');
  const block = /-----BEGIN TAVRIN ANSWER-----\r?\n([\s\S]*?)\r?\n-----END TAVRIN ANSWER-----/.exec(body);
  assert.ok(block, body);
  assert.match(block[1], /^[\x20-\x7e]+$/, 'the block is plain ASCII on one line');
  return { to: url.pathname, subject: url.searchParams.get('subject'), body, answer: JSON.parse(block[1]) };
}

async function main() {
  const port = await freePort();
  const phpPort = await freePort();
  makeStationJobs({ sourceDir, buildDir, scratch: path.join(scratch, 'station'), webRoot,
                    webAddress: `http://127.0.0.1:${port}/`, jobs: [job] });
  const fingerprint = proofFingerprint(path.join(webRoot, 'tavrin', job.folder));
  servers.php = await startPhp({ port: phpPort, webRoot, log: path.join(scratch, 'php.log') });
  const nginxOptions = { port, webRoot, accessLog: path.join(scratch, 'access.log'), temp: path.join(scratch, 'nginx') };
  servers.nginx = await startNginx({ ...nginxOptions, phpPort });
  fs.mkdirSync(screenshotDir, { recursive: true });
  const address = `http://127.0.0.1:${port}/tavrin/${job.folder}/index.html`;
  const browser = await launchChromium(chromium);
  try {
    const context = await browser.newContext({ viewport: { width: 1200, height: 820 } });
    context.setDefaultTimeout(15000);
    const page = await context.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => { pageErrors.push(String(error)); console.log('# page error: ' + error); });
    page.on('dialog', (dialog) => { pageErrors.push('dialog ' + dialog.message()); dialog.dismiss(); });
    await page.goto(address);
    await settled(page);
    await page.waitForFunction(() => TavrinViewer.instance.fingerprint !== null);
    const notes = [];

    await check('Details show the first 12 digits of the job fingerprint, the whole one on demand', async () => {
      const shown = page.locator('.tv-fingerprint');
      assert.equal(await shown.textContent(), fingerprint.slice(0, 12) + '\u2026');
      assert.equal(await shown.getAttribute('title'), fingerprint);
      await shown.click();
      assert.equal(await shown.textContent(), fingerprint);
    });

    await check('approving page 1 stores one line with the decision, the reviewer and the fingerprint', async () => {
      await page.getByRole('tab', { name: 'Reply' }).click();
      assert.match(await page.locator('.tv-panel:not([hidden])').textContent(), /Your answer for page 1/);
      assert.ok(await page.locator('#replylink').isVisible(), 'the plain reply mail stays');
      await page.locator('#tv-name').fill('Ann Reviewer');
      await page.locator('#tv-email').fill('ann@example.com');
      await page.locator('#tv-approve').click();
      assert.match(await send(page), /page 1 \(approved\) was received/);
      const lines = replies();
      assert.equal(lines.length, 1);
      assert.deepEqual(Object.keys(lines[0]), KEYS);
      assert.deepEqual({ ...lines[0], time: '' }, { job: job.folder, page: 1, decision: 'approve', comment: '',
                                                    name: 'Ann Reviewer', email: 'ann@example.com', fingerprint,
                                                    notes: [], time: '' });
    });

    await check('two notes placed by clicking page 2 show as markers at every zoom and in the Notes panel', async () => {
      await page.getByRole('button', { name: 'Next page' }).click();
      await settled(page);
      // Zoomed in around the middle, so that a note's view is not the whole page.
      await page.goto(`${address}#page=2&zoom=2&x=600&y=450`);
      await settled(page);
      const stage = await page.locator('.tv-stage').boundingBox();
      notes.push({ ...(await placeNote(page, { x: stage.width / 2 - 120, y: stage.height / 2 - 80 }, 'Darker red here')),
                   text: 'Darker red here' });
      notes.push({ ...(await placeNote(page, { x: stage.width / 2 + 90, y: stage.height / 2 + 60 }, HOSTILE)),
                   text: HOSTILE });
      notes.forEach((note) => { note.zoom = 2; });
      for (const zoom of ['Zoom in', 'Zoom out', 'Zoom out']) {
        await page.getByRole('button', { name: zoom }).click();
        await settled(page);
        const shown = await markerCentres(page);
        assert.deepEqual(shown.map((marker) => marker.text), ['1', '2'], zoom);
        for (let i = 0; i < 2; i++) {
          const expected = await screenPoint(page, notes[i].x, notes[i].y);
          assert.ok(Math.abs(shown[i].x - expected.x) < 1.5 && Math.abs(shown[i].y - expected.y) < 1.5,
                    `${zoom}: marker ${JSON.stringify(shown[i])} at ${JSON.stringify(expected)}`);
        }
      }
      await page.getByRole('tab', { name: 'Notes' }).click();
      const list = page.locator('.tv-notelist');
      assert.equal(await list.locator('li').count(), 2);
      assert.ok((await list.textContent()).includes(HOSTILE), 'the note text shows as text');
      assert.equal(await page.locator('.tv-notelist img, .tv-markers img').count(), 0);
      await page.locator('.tv-side').screenshot({ path: path.join(screenshotDir, 'viewer-notes.png') });
    });

    await check('requesting changes on page 2 sends the comment and both notes in master pixels', async () => {
      await page.getByRole('tab', { name: 'Reply' }).click();
      assert.match(await page.locator('.tv-notecount').textContent(), /2 notes on this page/);
      await page.locator('#tv-changes').click();
      await page.locator('#tv-comment').fill('The headline one point larger, please.');
      await page.locator('#tv-email').scrollIntoViewIfNeeded();
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-answer.png') });
      await page.locator('#tv-comment').fill(`${HOSTILE}\nand the headline one point larger`);
      assert.match(await send(page), /page 2 \(changes requested\) was received/);
      const line = replies()[1];
      assert.equal(line.page, 2);
      assert.equal(line.decision, 'changes');
      assert.equal(line.comment, `${HOSTILE}\nand the headline one point larger`);
      assert.equal(line.fingerprint, fingerprint);
      assert.deepEqual(line.notes, notes.map(({ x, y, text }) => ({ x, y, text })));
      const sent = page.locator('.tv-sent li').last();
      assert.match(await sent.textContent(), /^Page 2: changes requested, 2 note\(s\)/);
      assert.equal(await sent.locator('.tv-sentcomment').textContent(), line.comment, 'the comment shows as text');
      assert.equal(await page.locator('.tv-sent img').count(), 0);
      assert.ok(notes.every((note) => note.x > 0 && note.x < job.width && note.y > 0 && note.y < job.height));
      assert.equal(await page.evaluate(() => window.hacked), undefined);
    });

    await check('a note\'s link opens the view it was placed in', async () => {
      await page.getByRole('button', { name: 'Previous page' }).click();
      await settled(page);
      await page.getByRole('tab', { name: 'Notes' }).click();
      await page.getByRole('link', { name: 'Page 2, note 2' }).click();
      await page.waitForFunction(() => TavrinViewer.instance.page === 2);
      const state = await viewerState(page);
      assert.equal(state.scale, notes[1].zoom);
      assert.ok(Math.abs(state.centerX - notes[1].x) < 1 && Math.abs(state.centerY - notes[1].y) < 1,
                JSON.stringify(state));
    });

    await check('Escape takes back "Place a note": the next click places nothing', async () => {
      await page.locator('#tv-placenote').click();
      await page.keyboard.press('Escape');
      const stage = await page.locator('.tv-stage').boundingBox();
      await page.mouse.click(stage.x + stage.width / 2, stage.y + stage.height / 2);
      assert.equal(await page.locator('.tv-noteeditor').isVisible(), false);
      assert.equal(await page.locator('.tv-marker.tv-draft').count(), 0);
    });

    await check('the name and e-mail are remembered after a reload', async () => {
      await page.reload();
      await settled(page);
      assert.equal(await page.locator('#tv-name').inputValue(), 'Ann Reviewer');
      assert.equal(await page.locator('#tv-email').inputValue(), 'ann@example.com');
    });

    await check('a refused answer shows the endpoint\'s reason as text', async () => {
      const before = replies().length;
      await page.getByRole('tab', { name: 'Reply' }).click();
      await page.locator('#tv-approve').click();
      await page.evaluate(() => { document.querySelector('#tv-comment').maxLength = 5000; });
      await page.locator('#tv-comment').fill('x'.repeat(2001));
      assert.match(await send(page), /not accepted: comment must be at most 2000 characters/);
      assert.equal(replies().length, before);
      assert.equal(await page.locator('.tv-mailbox').isVisible(), false);
    });

    await check('on a 390 px touch screen the answer panel fits, with touch targets of 44 px', async () => {
      const phone = await browser.newContext({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 2,
                                                isMobile: true, hasTouch: true });
      const mobile = await phone.newPage();
      await mobile.goto(address);
      await settled(mobile);
      for (const tab of ['Reply', 'Notes']) {
        await mobile.getByRole('tab', { name: tab }).tap();
        const layout = await mobile.evaluate(() => ({
          scrollWidth: document.documentElement.scrollWidth,
          small: [...document.querySelectorAll('.tv-root button, .tv-root input, .tv-root textarea, .tv-notelink')]
            .filter((node) => node.offsetParent !== null && node.getClientRects().length)
            .map((node) => { const r = node.getBoundingClientRect(); return [node.id || node.textContent, r.width, r.height]; })
            .filter(([, w, h]) => w < 44 || h < 44),
        }));
        assert.equal(layout.scrollWidth, 390, tab);
        assert.deepEqual(layout.small, [], `${tab}: touch targets of 44 px`);
      }
      await mobile.getByRole('tab', { name: 'Reply' }).tap();
      await mobile.locator('#tv-send').scrollIntoViewIfNeeded();
      await mobile.screenshot({ path: path.join(screenshotDir, 'viewer-answer-phone.png') });
      await phone.close();
    });

    // Without PHP behind it, the endpoint's address gives 502 from the
    // proxy, then 405 from nginx serving reply.php as a file.
    const withoutPhp = [
      ['PHP stopped', async () => { servers.php.stop(); servers.php = null; }],
      ['a web server without PHP', async () => {
        servers.nginx.kill('SIGTERM');
        await new Promise((resolve) => servers.nginx.once('exit', resolve));
        servers.nginx = await startNginx(nginxOptions);
      }],
    ];
    for (const [name, stop] of withoutPhp) {
      await check(`${name}: the answer is offered as a mail whose block parses back to the answer`, async () => {
        await stop();
        const before = replies().length;
        await page.goto('about:blank');
        await page.goto(address);
        await settled(page);
        await page.getByRole('tab', { name: 'Reply' }).click();
        await page.locator('#tv-changes').click();
        await page.locator('#tv-comment').fill(`caf\u00e9 \u{1F600} ${HOSTILE}`);
        assert.match(await send(page), /could not take the answer/);
        const mail = mailedAnswer(await page.locator('#tv-answermail').getAttribute('href'));
        assert.equal(mail.to, 'proofs@example.com');
        assert.equal(mail.subject, `${job.name}.ps answer`);
        assert.deepEqual(Object.keys(mail.answer), KEYS);
        assert.deepEqual({ ...mail.answer, time: '' }, { job: job.folder, page: 1, decision: 'changes',
                                                         comment: `caf\u00e9 \u{1F600} ${HOSTILE}`,
                                                         name: 'Ann Reviewer', email: 'ann@example.com', fingerprint,
                                                         notes: [], time: '' });
        assert.ok(Math.abs(Date.parse(mail.answer.time) - Date.now()) < 60000, mail.answer.time);
        assert.match(mail.answer.time, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/);
        assert.ok((await page.locator('.tv-block').inputValue()).includes('-----BEGIN TAVRIN ANSWER-----'));
        assert.equal(replies().length, before);
      });
    }
    await check('the header asks for an answer by the due date, marks a day gone by and shows none without one',
                async () => {
      const bar = page.locator('#tv-duebar');
      const dueFile = path.join(webRoot, 'tavrin', job.folder, 'due.js');
      // A route bypasses the browser's cache: each reload reads the file as rewritten here.
      await page.route('**/due.js', (route) => route.continue());
      assert.equal(fs.readFileSync(dueFile, 'latin1'), 'var proofdue="2099-12-18";\r\n');
      await page.goto(address);
      await settled(page);
      await bar.waitFor();
      assert.match(await bar.textContent(), /^Please answer by Friday,? 18 December 2099$/);
      assert.equal(await bar.evaluate((element) => element.classList.contains('tv-duepast')), false);
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-due.png') });

      fs.writeFileSync(dueFile, 'var proofdue="2020-03-02";\r\n');
      await page.reload();
      await settled(page);
      await page.waitForFunction(() => /2020/.test(document.querySelector('#tv-duebar').textContent));
      assert.match(await bar.textContent(), /^Please answer by Monday,? 2 March 2020 \(this date has passed\)$/);
      assert.equal(await bar.evaluate((element) => element.classList.contains('tv-duepast')), true);

      for (const script of ['var proofdue=null;\r\n', 'var proofdue="2099-02-30";\r\n']) {
        fs.writeFileSync(dueFile, script);
        await Promise.all([page.waitForResponse((response) => response.url().endsWith('/due.js')), page.reload()]);
        await settled(page);
        assert.equal(await bar.isVisible(), false, script);
      }
    });
    assert.deepEqual(pageErrors, []);
  } finally {
    await browser.close();
  }
}

run(main, () => {
  if (servers.nginx) servers.nginx.kill('SIGTERM');
  if (servers.php) servers.php.stop();
  fs.rmSync(scratch, { recursive: true, force: true });
});
