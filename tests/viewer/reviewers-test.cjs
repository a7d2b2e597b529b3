// Several reviewers answer one proof, in Debian's Chromium: a three-page
// proof the station made, nginx serving it and passing reply.php to PHP's
// built-in server. Ann requests changes on two pages in one answer with a
// note; Bob, in another browser profile, sees her answers and her note,
// then approves all pages at once; Ann sees Bob's answers on reloading.
// Usage: node reviewers-test.cjs SOURCE_DIR BUILD_DIR NODE_MODULES SCREENSHOT_DIR
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { freePort, startNginx, startPhp, launchChromium, checks, settled } = require('./browser-support.cjs');
const { makeStationJobs } = require('./station-jobs.cjs');

const [sourceDir, buildDir, modulesDir, screenshotDir] = process.argv.slice(2);
const { chromium } = require(path.join(modulesDir, 'playwright-core'));

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrin-reviewers-'));
fs.chmodSync(scratch, 0o755);
const webRoot = path.join(scratch, 'www');
const { check, run } = checks();
const servers = { nginx: null, php: null };
const job = { number: 43, name: 'reviewers-job', dpi: 300, width: 1201, height: 901, pages: 3 };

function replies() {
  const file = path.join(webRoot, 'tavrin', job.folder, 'replies.jsonl');
  if (!fs.existsSync(file)) return [];
  return fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map((line) => JSON.parse(line));
}

// A browser profile of its own: nothing remembered from another.
async function reviewer(browser, address, viewport, name, email) {
  const context = await browser.newContext({ viewport });
  context.setDefaultTimeout(15000);
  const page = await context.newPage();
  page.errors = [];
  page.on('pageerror', (error) => { page.errors.push(String(error)); });
  page.on('dialog', (dialog) => { page.errors.push('dialog ' + dialog.message()); dialog.dismiss(); });
  await page.goto(address);
  await settled(page);
  await page.waitForFunction(() => TavrinViewer.instance.stored !== undefined);
  await page.getByRole('tab', { name: 'Reply' }).click();
  await page.locator('#tv-name').fill(name);
  await page.locator('#tv-email').fill(email);
  return { context, page };
}

// Each thumbnail's description as a screen reader gives it.
function thumbnailStates(page) {
  return page.evaluate(() => [...document.querySelectorAll('.tv-thumb')].map((thumb) =>
    document.getElementById(thumb.getAttribute('aria-describedby')).textContent));
}

async function received(page) {
  await page.waitForFunction(() => /received|not accepted|could not/.test(
    document.querySelector('#tv-answerstatus').textContent));
  return page.locator('#tv-answerstatus').textContent();
}

async function main() {
  const port = await freePort();
  const phpPort = await freePort();
  makeStationJobs({ sourceDir, buildDir, scratch: path.join(scratch, 'station'), webRoot,
                    webAddress: `http://127.0.0.1:${port}/`, jobs: [job] });
  servers.php = await startPhp({ port: phpPort, webRoot, log: path.join(scratch, 'php.log') });
  servers.nginx = await startNginx({ port, webRoot, accessLog: path.join(scratch, 'access.log'),
                                     temp: path.join(scratch, 'nginx'), phpPort });
  fs.mkdirSync(screenshotDir, { recursive: true });
  const address = `http://127.0.0.1:${port}/tavrin/${job.folder}/index.html`;
  const browser = await launchChromium(chromium);
  try {
    // A laptop's screen, where the confirmation used to fall below the fold.
    const ann = await reviewer(browser, address, { width: 1366, height: 768 }, 'Ann Reviewer', 'ann@example.com');
    let note = null;

    await check('before any answer every page waits and the History says so', async () => {
      assert.deepEqual(await thumbnailStates(ann.page), Array(3).fill('waiting for an answer'));
      await ann.page.getByRole('tab', { name: 'History' }).click();
      assert.match(await ann.page.locator('#tv-history').textContent(), /No answers yet/);
    });

    await check('changes requested on pages 2 and 3 in one answer: two lines, the note with its page', async () => {
      const { page } = ann;
      await page.getByRole('button', { name: 'Page 3', exact: true }).first().click();
      await settled(page);
      await page.getByRole('tab', { name: 'Notes' }).click();
      await page.locator('#tv-placenote').click();
      const stage = await page.locator('.tv-stage').boundingBox();
      await page.mouse.click(stage.x + stage.width / 2, stage.y + stage.height / 2);
      await page.locator('#tv-notetext').fill('Logo one point larger');
      await page.getByRole('button', { name: 'Keep the note', exact: true }).click();
      note = await page.evaluate(() => TavrinViewer.instance.notes[0]);
      await page.getByRole('tab', { name: 'Reply' }).click();
      await page.locator('.tv-pagetoggle', { hasText: '2' }).click();
      assert.equal(await page.locator('#tv-send').textContent(), 'Send answer for pages 2, 3');
      await page.locator('#tv-changes').click();
      await page.locator('#tv-comment').fill('Please use the new logo.');
      await page.locator('#tv-send').click();
      assert.match(await received(page), /pages 2, 3 \(changes requested\) was received/);
      const lines = replies();
      assert.deepEqual(lines.map((line) => [line.page, line.decision, line.name, line.notes.length]),
                       [[2, 'changes', 'Ann Reviewer', 0], [3, 'changes', 'Ann Reviewer', 1]]);
      assert.equal(lines[0].time, lines[1].time);
      assert.deepEqual(lines[1].notes, [{ x: note.x, y: note.y, text: 'Logo one point larger' }]);
    });

    await check('the confirmation stays in view with what was sent, until dismissed', async () => {
      const { page } = ann;
      const confirmation = page.locator('#tv-confirmation');
      // After the stored answers came back and filled the panel above it.
      await page.waitForFunction(() => TavrinViewer.instance.stored.length === 2);
      await page.waitForTimeout(100);
      assert.ok(await confirmation.isVisible());
      const box = await confirmation.boundingBox();
      assert.ok(box.y >= 0 && box.y + box.height <= 768, `in the 768 px window: ${JSON.stringify(box)}`);
      assert.match(await confirmation.textContent(), /for pages 2, 3: changes requested, 1 note\(s\), as Ann Reviewer/);
      assert.equal(await page.evaluate(() => document.activeElement.id), 'tv-confirmation');
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-reviewers-sent.png') });
      await page.getByRole('button', { name: 'Previous page' }).click();
      await page.waitForTimeout(300);
      assert.ok(await confirmation.isVisible(), 'another page keeps it');
      await page.getByRole('button', { name: 'Dismiss the confirmation' }).click();
      assert.equal(await confirmation.isVisible(), false);
      assert.equal(await page.evaluate(() => document.activeElement.id), 'tv-send');
    });

    await check('the endpoint answers, so the mail is a plain link below the Send button', async () => {
      const { page } = ann;
      const link = page.locator('#replylink');
      assert.equal(await link.getAttribute('class'), 'tv-maillink');
      const [send, mail] = [await page.locator('#tv-send').boundingBox(), await link.boundingBox()];
      assert.ok(mail.y >= send.y + send.height, `${JSON.stringify(mail)} below ${JSON.stringify(send)}`);
      const looks = await page.evaluate(() => {
        const style = (selector) => getComputedStyle(document.querySelector(selector));
        return { background: style('#replylink').backgroundColor, underline: style('#replylink').textDecorationLine };
      });
      assert.deepEqual({ background: looks.background, underline: looks.underline },
                       { background: 'rgba(0, 0, 0, 0)', underline: 'underline' }, 'a plain link, not a button');
      assert.match(await link.getAttribute('href'), /^mailto:proofs@example\.com\?/);
    });

    const bob = await reviewer(browser, address, { width: 1200, height: 820 }, 'Bob Second', 'bob@example.com');

    await check('another profile sees the answers on the thumbnails, in the History and the note with its author', async () => {
      const { page } = bob;
      assert.deepEqual(await thumbnailStates(page), ['waiting for an answer', 'changes requested by Ann Reviewer',
                                                     'changes requested by Ann Reviewer']);
      assert.deepEqual(await page.locator('.tv-thumbstate').allTextContents(),
                       ['', '\u270E Ann Reviewer', '\u270E Ann Reviewer']);
      await page.getByRole('tab', { name: 'History' }).click();
      const entries = page.locator('.tv-historyentry');
      assert.equal(await entries.count(), 1);
      assert.match(await entries.first().textContent(), /^Pages 2, 3: changes requested by Ann Reviewer.*1 note/);
      assert.match(await entries.first().textContent(), /Please use the new logo\./);
      await page.locator('.tv-thumb').nth(2).click();
      await settled(page);
      const marker = page.locator('.tv-marker.tv-storedmarker');
      assert.equal(await marker.count(), 1);
      assert.equal(await marker.locator('.tv-markername').textContent(), 'Ann Reviewer');
      const at = await page.evaluate(([x, y]) => {
        const viewer = TavrinViewer.instance, marker = document.querySelector('.tv-storedmarker');
        const box = marker.getBoundingClientRect(), stage = document.querySelector('.tv-stage').getBoundingClientRect();
        return { dx: box.left + box.width / 2 - stage.left - ((x + 0.5 - viewer.centerX) * viewer.scale + viewer.viewWidth / 2),
                 dy: box.top + box.height / 2 - stage.top - ((y + 0.5 - viewer.centerY) * viewer.scale + viewer.viewHeight / 2) };
      }, [note.x, note.y]);
      assert.ok(Math.abs(at.dx) < 1.5 && Math.abs(at.dy) < 1.5, JSON.stringify(at));
      await page.getByRole('tab', { name: 'Notes' }).click();
      assert.ok(await page.getByRole('link', { name: 'Page 3, note 1 by Ann Reviewer' }).isVisible());
      assert.doesNotMatch(await page.locator('.tv-root').textContent(), /ann@example\.com/);
      await page.getByRole('tab', { name: 'Reply' }).click();
      assert.equal(await page.locator('#tv-pagestate').textContent(), 'Page 3: changes requested by Ann Reviewer.');
    });

    await check('"Approve all pages" asks once, then stores one line per page in one answer', async () => {
      const { page } = bob;
      const before = replies().length;
      await page.locator('#tv-approveall').click();
      assert.match(await page.locator('#tv-approveallask').textContent(), /Approve all 3 pages of this proof/);
      assert.equal(replies().length, before, 'nothing sent before the confirmation');
      assert.equal(await page.evaluate(() => document.activeElement.id), 'tv-approveallyes');
      await page.keyboard.press('Enter');
      assert.match(await received(page), /pages 1\u20133 \(approved\) was received/);
      const added = replies().slice(before);
      assert.deepEqual(added.map((line) => [line.page, line.decision, line.name]),
                       [[1, 'approve', 'Bob Second'], [2, 'approve', 'Bob Second'], [3, 'approve', 'Bob Second']]);
      assert.ok(added.every((line) => line.time === added[0].time));
      await page.waitForFunction(() => TavrinViewer.instance.stored.length === 5);
      assert.deepEqual(await thumbnailStates(page), Array(3).fill('approved by Bob Second'));
      await page.getByRole('tab', { name: 'History' }).click();
      assert.match(await page.locator('.tv-historyentry').first().textContent(), /^Pages 1\u20133: approved by Bob Second/);
      await page.locator('.tv-side').screenshot({ path: path.join(screenshotDir, 'viewer-history.png') });
    });

    await check('the first profile sees the second one\'s answers after reloading', async () => {
      const { page } = ann;
      await page.reload();
      await settled(page);
      await page.waitForFunction(() => TavrinViewer.instance.stored && TavrinViewer.instance.stored.length === 5);
      assert.deepEqual(await thumbnailStates(page), Array(3).fill('approved by Bob Second'));
      assert.equal(await page.locator('.tv-historyentry').count(), 2);
    });

    await check('on a phone the History and the approve-all question fit', async () => {
      const phone = await browser.newContext({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 2,
                                                isMobile: true, hasTouch: true });
      const mobile = await phone.newPage();
      await mobile.goto(address);
      await settled(mobile);
      await mobile.waitForFunction(() => TavrinViewer.instance.stored && TavrinViewer.instance.stored.length === 5);
      await mobile.getByRole('tab', { name: 'Reply' }).tap();
      await mobile.locator('#tv-approveall').tap();
      assert.equal(await mobile.evaluate(() => document.documentElement.scrollWidth), 390);
      await mobile.locator('#tv-approveallask').scrollIntoViewIfNeeded();
      await mobile.screenshot({ path: path.join(screenshotDir, 'viewer-approveall-phone.png') });
      await mobile.getByRole('tab', { name: 'History' }).tap();
      assert.equal(await mobile.evaluate(() => document.documentElement.scrollWidth), 390);
      await mobile.locator('#tv-history').scrollIntoViewIfNeeded();
      await mobile.screenshot({ path: path.join(screenshotDir, 'viewer-history-phone.png') });
      await phone.close();
    });

    assert.deepEqual([...ann.page.errors, ...bob.page.errors], []);
  } finally {
    await browser.close();
  }
}

run(main, () => {
  if (servers.nginx) servers.nginx.kill('SIGTERM');
  if (servers.php) servers.php.stop();
  fs.rmSync(scratch, { recursive: true, force: true });
});
