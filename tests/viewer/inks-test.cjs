// The viewer on proofs the station made from page buffers of single-pixel
// checkerboards at 300 and 2400 dpi: plate pixels exact from 100 % inward,
// inks switched off, the plate inspector, ink coverage, deep links, a
// phone's screen and printing, in Debian's Chromium.
// Usage: node inks-test.cjs SOURCE_DIR BUILD_DIR NODE_MODULES SCREENSHOT_DIR
'use strict';
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { freePort, startNginx, launchChromium, checks, settled, viewerState } = require('./browser-support.cjs');
const { PLATES, inksAt, indexOf, makeStationJobs } = require('./station-jobs.cjs');

const [sourceDir, buildDir, modulesDir, screenshotDir] = process.argv.slice(2);
const { chromium } = require(path.join(modulesDir, 'playwright-core'));

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrin-inks-'));
fs.chmodSync(scratch, 0o755);
const webRoot = path.join(scratch, 'www');
const { check, run } = checks();
let nginx = null;

// Odd sizes, so that the coverage figures are not round.
const jobs = [
  { number: 31, name: 'checker-300', dpi: 300, width: 2401, height: 1801, pages: 2 },
  { number: 32, name: 'checker-2400', dpi: 2400, width: 1201, height: 899, pages: 1 },
  // Page 1 of the test job with its spot inks, for the user guide's pictures.
  { number: 33, name: 'proof-job', dpi: 300, rendered: 'tools/testpages/proof-job.ps', pages: 1 },
];

// The distinct colours of the page's pixels on the canvas, as "r,g,b".
function shownColors(page) {
  return page.evaluate(() => {
    const viewer = TavrinViewer.instance;
    const canvas = viewer.canvas;
    const rect = viewer.pageRect;
    const left = Math.max(0, rect.left), top = Math.max(0, rect.top);
    const right = Math.min(canvas.width, rect.right), bottom = Math.min(canvas.height, rect.bottom);
    const data = canvas.getContext('2d').getImageData(left, top, right - left, bottom - top).data;
    const colors = new Set();
    for (let i = 0; i < data.length; i += 4) colors.add(`${data[i]},${data[i + 1]},${data[i + 2]}`);
    return [...colors].sort();
  });
}

// The colours a view must show: table entries of the indices of the inks
// at each master pixel in it, with the hidden plates' bits set (not inked).
async function expectedColors(page, job, pageNumber, hidden) {
  const box = await page.evaluate(() => {
    const viewer = TavrinViewer.instance;
    const ratio = window.devicePixelRatio || 1;
    const place = viewer.placement();
    const rect = viewer.pageRect;
    const left = Math.max(0, rect.left), top = Math.max(0, rect.top);
    const right = Math.min(viewer.canvas.width, rect.right), bottom = Math.min(viewer.canvas.height, rect.bottom);
    return { x0: (left - place.x) / place.k, y0: (top - place.y) / place.k, x1: (right - place.x) / place.k,
             y1: (bottom - place.y) / place.k, ratio };
  });
  const mask = PLATES.filter((plate) => hidden.includes(plate.name)).reduce((m, plate) => m | (1 << plate.bit), 0);
  const colors = new Set();
  for (let y = Math.floor(box.y0); y < Math.ceil(box.y1); y++)
    for (let x = Math.floor(box.x0); x < Math.ceil(box.x1); x++)
      colors.add(job.table[indexOf(inksAt(pageNumber, x, y, job.width, job.height)) | mask].join(','));
  return [...colors].sort();
}

async function open(page, job, fragment) {
  await page.goto(`http://127.0.0.1:${job.port}/tavrin/${job.folder}/index.html${fragment}`);
  await page.waitForFunction(() => TavrinViewer.instance && TavrinViewer.instance.inksState !== 'loading');
  await settled(page);
}

async function main() {
  const port = await freePort();
  makeStationJobs({ sourceDir, buildDir, scratch: path.join(scratch, 'station'), webRoot,
                    webAddress: `http://127.0.0.1:${port}/`, jobs });
  for (const job of jobs) job.port = port;
  nginx = await startNginx({ port, webRoot, accessLog: path.join(scratch, 'access.log'),
                             temp: path.join(scratch, 'nginx') });
  fs.mkdirSync(screenshotDir, { recursive: true });
  const browser = await launchChromium(chromium);
  const [low, high, proof] = jobs;
  try {
    const context = await browser.newContext({ viewport: { width: 1200, height: 820 } });
    context.setDefaultTimeout(15000);
    const page = await context.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => { pageErrors.push(String(error)); console.log('# page error: ' + error); });
    // Another tab of the same browser, whose errors count too.
    const newPage = async (owner = context) => {
      const tab = await owner.newPage();
      tab.on('pageerror', (error) => { pageErrors.push(String(error)); console.log('# page error: ' + error); });
      return tab;
    };

    await check('"+" stops at actual size and plate pixels 1:1 and never draws the enlarged level of a 300 dpi job',
                async () => {
      await open(page, low, '');
      const factors = await page.evaluate(() => factors);
      assert.ok(factors[3] > 1 && factors[4] === 1, `factors ${factors}`);
      // The whole page of this window is a little larger than actual size: "-" goes there.
      await page.getByRole('button', { name: 'Zoom out' }).click();
      const seen = [{ ...await viewerState(page), label: await page.locator('#zoomindicator').textContent() }];
      for (let i = 0; i < 6; i++) {
        await page.getByRole('button', { name: 'Zoom in' }).click();
        seen.push({ ...await viewerState(page), label: await page.locator('#zoomindicator').textContent() });
      }
      assert.ok(seen.every((state) => state.zoom !== 3), JSON.stringify(seen));
      // 96 / 300: the page at its printed size; then one screen pixel per plate pixel from level 4.
      assert.ok(seen.some((state) => Math.abs(state.scale - 0.32) < 1e-9 && state.label === 'Actual size'),
                JSON.stringify(seen));
      assert.ok(seen.some((state) => Math.abs(state.scale - 1) < 1e-9 && state.zoom === 4 &&
                                     state.label === 'Plate pixels 1:1'), JSON.stringify(seen));
      // Any other zoom is a share of the printed size, never a level.
      for (const state of seen.filter((one) => !/^(Actual size|Plate pixels 1:1)$/.test(one.label)))
        assert.equal(state.label, `${Math.round(state.scale * 300 / 96 * 100)}\u00A0%`, JSON.stringify(state));
    });

    await check('the named stops of a 2400 dpi label: actual size smaller than the whole page, and back', async () => {
      await open(page, high, '');
      assert.match(await page.locator('#zoomindicator').textContent(), /^\d+\u00A0%$/);
      await page.getByRole('button', { name: 'Show the page at its printed size' }).click();
      await settled(page);
      let state = await viewerState(page);
      assert.equal(await page.locator('#zoomindicator').textContent(), 'Actual size');
      // 1201 plate pixels at 2400 dpi are half an inch: 48 CSS pixels on the screen.
      const shown = await page.evaluate(() => (TavrinViewer.instance.pageRect.right - TavrinViewer.instance.pageRect.left) /
                                              (window.devicePixelRatio || 1));
      assert.ok(Math.abs(shown - 1201 / 2400 * 96) <= 1, `${shown} px wide`);
      assert.equal(state.fitted, false);
      // The address keeps it; a copy opens at actual size again.
      await page.waitForFunction(() => /zoom=0\.04&/.test(location.hash));
      const copy = await newPage();
      await open(copy, high, await page.evaluate(() => location.hash));
      assert.equal(await copy.locator('#zoomindicator').textContent(), 'Actual size');
      await copy.getByRole('button', { name: 'Zoom in' }).click();
      state = await viewerState(copy);
      assert.equal(state.fitted, true, 'the next step in is the whole page');
      await copy.getByRole('button', { name: 'Zoom out' }).click();
      assert.equal(await copy.locator('#zoomindicator').textContent(), 'Actual size');
      await copy.getByRole('button', { name: 'Show one screen pixel per plate pixel' }).click();
      state = await viewerState(copy);
      assert.deepEqual([state.scale, state.zoom], [1, 4]);
      assert.equal(await copy.locator('#zoomindicator').textContent(), 'Plate pixels 1:1');
      await copy.close();
    });

    for (const job of [low, high]) {
      await check(`${job.dpi} dpi at zoom 4 shows only the colour table's entries of the pattern`, async () => {
        await open(page, job, `#page=1&zoom=4&x=${Math.round(job.width / 4)}&y=${Math.round(job.height / 4)}`);
        const shown = await shownColors(page);
        assert.deepEqual(shown, await expectedColors(page, job, 1, []));
        assert.equal(shown.length, 2, 'one checkerboard fills the view');
      });

      await check(`${job.dpi} dpi with hide=CYAN shows exactly the entries with cyan not inked`, async () => {
        for (const [x, y] of [[job.width / 4, job.height / 4], [job.width * 3 / 4, job.height / 4]]) {
          await open(page, job, `#page=1&zoom=4&x=${Math.round(x)}&y=${Math.round(y)}&hide=CYAN`);
          const shown = await shownColors(page);
          const expected = await expectedColors(page, job, 1, ['CYAN']);
          assert.deepEqual(shown, expected);
          const all = await expectedColors(page, job, 1, []);
          assert.notDeepEqual(expected, all, `cyan is in this view: ${shown} / ${expected} / ${all}`);
        }
        await page.getByRole('tab', { name: 'Inks' }).click();
        assert.equal(await page.locator('#tv-inks input[type=checkbox]').count(), PLATES.length);
        assert.equal(await page.getByRole('switch', { name: 'CYAN' }).isChecked(), false);
        assert.equal(await page.getByRole('switch', { name: 'BLACK' }).isChecked(), true);
      });
    }

    await check('switching an ink off and on redraws from the plate pixels and keeps the address', async () => {
      await open(page, low, `#page=1&zoom=1&x=${Math.round(low.width / 2)}&y=${Math.round(low.height / 2)}`);
      await page.getByRole('tab', { name: 'Inks' }).click();
      const all = await shownColors(page);
      assert.deepEqual(all, await expectedColors(page, low, 1, []));
      await page.getByRole('switch', { name: 'PANTONE 151 C' }).click();
      await page.getByRole('switch', { name: 'MAGENTA' }).click();
      await settled(page);
      assert.deepEqual(await shownColors(page), await expectedColors(page, low, 1, ['PANTONE 151 C', 'MAGENTA']));
      await page.waitForFunction(() => location.hash.includes('hide='));
      assert.match(await page.evaluate(() => location.hash), /&hide=PANTONE%20151%20C,MAGENTA$/);
      await page.getByRole('switch', { name: 'MAGENTA' }).click();
      await page.getByRole('switch', { name: 'PANTONE 151 C' }).click();
      await settled(page);
      assert.deepEqual(await shownColors(page), all);
    });

    await check('a hidden ink is named in the toolbar and on the whole-page picture; its link opens on Inks', async () => {
      const fresh = await newPage();
      await open(fresh, low, '#page=1&hide=black');
      assert.equal(await fresh.getByRole('tab', { name: 'Inks' }).getAttribute('aria-selected'), 'true');
      const badge = fresh.locator('.tv-toolbar .tv-inksoff'), mark = fresh.locator('.tv-navbadge');
      // The names as the panel lists them.
      assert.equal(await badge.textContent(), 'Inks off: BLACK');
      assert.equal(await mark.textContent(), 'Inks off: BLACK');
      assert.ok(await badge.isVisible() && await mark.isVisible());
      const [picture, onIt] = [await fresh.locator('.tv-navcanvas').boundingBox(), await mark.boundingBox()];
      assert.ok(onIt.x >= picture.x && onIt.x + onIt.width <= picture.x + picture.width &&
                onIt.y >= picture.y && onIt.y + onIt.height <= picture.y + picture.height,
                `${JSON.stringify(onIt)} on ${JSON.stringify(picture)}`);
      // Every ink off is named, in the panel's order, and stays named as the view and the page change.
      await fresh.getByRole('switch', { name: 'CYAN' }).click();
      await fresh.getByRole('button', { name: 'Next page' }).click();
      await fresh.getByRole('button', { name: 'Zoom in' }).click();
      await settled(fresh);
      assert.equal(await badge.textContent(), 'Inks off: CYAN, BLACK');
      assert.equal(await mark.textContent(), 'Inks off: CYAN, BLACK');
      await fresh.mouse.move(10, 10);
      await fresh.screenshot({ path: path.join(screenshotDir, 'viewer-inks-badge.png') });
      // From another tab the badge brings the switches back.
      await fresh.getByRole('tab', { name: 'Details' }).click();
      await badge.focus();
      await fresh.keyboard.press('Enter');
      assert.equal(await fresh.getByRole('tab', { name: 'Inks' }).getAttribute('aria-selected'), 'true');
      assert.equal(await fresh.evaluate(() => document.activeElement.id), 'tv-tab-inks');
      await fresh.getByRole('switch', { name: 'CYAN' }).click();
      await fresh.getByRole('switch', { name: 'BLACK' }).click();
      assert.equal(await badge.isVisible() || await mark.isVisible(), false, 'no badge with every ink on');
      // A link that hides nothing opens on Details.
      const plain = await newPage();
      await open(plain, low, '#page=1&zoom=1&x=100&y=100');
      assert.equal(await plain.getByRole('tab', { name: 'Details' }).getAttribute('aria-selected'), 'true');
      assert.equal(await plain.locator('.tv-inksoff').isVisible(), false);
      await Promise.all([fresh.close(), plain.close()]);
    });

    await check('a rendered page at 100 % shows table entries only, without the inks switched off', async () => {
      await open(page, proof, '#page=1&zoom=1&x=760&y=1760');
      await page.getByRole('tab', { name: 'Inks' }).click();
      await page.mouse.move(10, 10);
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-inks-on.png') });
      const table = new Set(proof.table.map((rgb) => rgb.join(',')));
      const on = await shownColors(page);
      assert.ok(on.length > 8 && on.every((color) => table.has(color)), `${on.length} colours`);
      await page.getByRole('switch', { name: 'PANTONE 185 C' }).click();
      await page.getByRole('switch', { name: 'BLACK' }).click();
      await settled(page);
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-inks-off.png') });
      // Spot 0 is bit 4, black bit 0: only entries with both not inked.
      const allowed = new Set(proof.table.filter((rgb, index) => (index & 0x11) === 0x11).map((rgb) => rgb.join(',')));
      const off = await shownColors(page);
      assert.ok(off.length > 4 && off.every((color) => allowed.has(color)), off.join(' '));
      assert.ok(on.some((color) => !allowed.has(color)), 'the view had the spot ink or black');
    });

    await check('inks switched off at a coarse zoom come from level 4 tiles or say from which zoom', async () => {
      await open(page, high, '#page=1&zoom=0.3&x=600&y=450&hide=CYAN');
      const keys = await page.evaluate(() => [...TavrinViewer.instance.visibleKeys]);
      assert.ok(keys.length > 0 && keys.every((key) => /^1\/4\/\d+\/\d+#/.test(key)), keys.join(' '));
      // A view too large to separate tile by tile shows paper and the notice.
      const small = await browser.newPage({ viewport: { width: 1200, height: 820 } });
      await small.goto(`http://127.0.0.1:${port}/tavrin/${high.folder}/index.html#page=1&hide=CYAN`);
      await small.waitForFunction(() => TavrinViewer.instance && TavrinViewer.instance.inksState === 'ready');
      await small.evaluate(() => { TavrinViewer.instance.fullTilesAt = () => 1000; TavrinViewer.instance.requestDraw(); });
      await small.waitForFunction(() => { const notice = document.querySelector('.tv-notice'); return notice && !notice.hidden; });
      assert.match(await small.locator('.tv-notice').textContent(), /shows from \d+(\.\d)?\u00A0% inward/);
      assert.deepEqual(await shownColors(small), ['255,255,255']);
      await small.close();
    });

    await check('the plate inspector names the inks at the pointer and at a tap', async () => {
      await open(page, low, `#page=1&zoom=4&x=${Math.round(low.width * 3 / 4)}&y=${Math.round(low.height / 4)}`);
      const stage = await page.locator('.tv-stage').boundingBox();
      const state = await viewerState(page);
      for (const [dx, dy] of [[0, 0], [4, 0], [-300, 200]]) {
        const sx = stage.width / 2 + dx + 2, sy = stage.height / 2 + dy + 2;
        const x = Math.floor(state.centerX + (sx - stage.width / 2) / state.scale);
        const y = Math.floor(state.centerY + (sy - stage.height / 2) / state.scale);
        await page.mouse.move(stage.x + sx, stage.y + sy);
        const expected = inksAt(1, x, y, low.width, low.height);
        const text = `Pixel ${x}, ${y}: ${expected.length ? expected.join(' + ') : 'no ink'}`;
        await page.waitForFunction((want) => document.querySelector('.tv-inspector').textContent === want, text);
      }
    });

    await check('Details show the ink coverage of each page as the data file gives it', async () => {
      await open(page, low, '');
      await page.getByRole('tab', { name: 'Details' }).click();
      const details = await page.locator('#itemframe').textContent();
      for (const entry of low.inks)
        for (const plate of entry.plates)
          assert.ok(details.includes(`${plate.name} ${plate.coverage.toFixed(2)} %`), `page ${entry.page} ${plate.name}`);
      // The figures are the shares of inked pixels counted from the page buffers.
      assert.deepEqual(low.inks.map((entry) => entry.plates.map(({ name, coverage }) => ({ name, coverage }))),
                       low.counted);
      assert.ok(low.inks[0].plates.some((plate) => !Number.isInteger(plate.coverage)));
      for (const entry of low.inks) {
        assert.equal(entry.inked, 0);
        assert.deepEqual(entry.plates.map((plate) => [plate.name, plate.bit]), PLATES.map((plate) => [plate.name, plate.bit]));
      }
    });

    await check('a deep link restores page, zoom and centre; the address follows the view', async () => {
      // A fresh page: nothing has the focus.
      const page = await context.newPage();
      await open(page, low, '#page=2&zoom=2&x=400&y=300');
      let state = await viewerState(page);
      assert.deepEqual([state.page, state.scale, state.centerX, state.centerY], [2, 2, 400, 300]);
      assert.equal(await page.locator('.tv-toolbar .tv-label').first().textContent(), 'Page 2 of 2');
      // Keys work without a click on the page first.
      await page.keyboard.press('ArrowRight');
      state = await viewerState(page);
      assert.ok(state.centerX > 400);
      await page.waitForFunction((x) => location.hash === `#page=2&zoom=2&x=${x}&y=300`, Math.round(state.centerX));
      const historyLength = await page.evaluate(() => history.length);
      const address = page.url();
      const copy = await context.newPage();
      await open(copy, low, address.slice(address.indexOf('#')));
      // The same view, to the master pixel the address names.
      const [restored, original] = [await viewerState(copy), await viewerState(page)];
      assert.deepEqual([restored.page, restored.scale, restored.zoom], [original.page, original.scale, original.zoom]);
      assert.ok(Math.abs(restored.centerX - original.centerX) <= 0.5 && restored.centerY === original.centerY,
                `${JSON.stringify(restored)} ${JSON.stringify(original)}`);
      await copy.close();
      // A changed fragment moves the view; the moves did not fill the history.
      await page.evaluate(() => { location.hash = '#page=1&zoom=1&x=1000&y=800'; });
      await page.waitForFunction(() => TavrinViewer.instance.page === 1 && TavrinViewer.instance.scale === 1);
      state = await viewerState(page);
      assert.deepEqual([state.centerX, state.centerY], [1000, 800]);
      assert.ok(await page.evaluate(() => history.length) <= historyLength + 1);
      // Another page without a fragment opens whole.
      await page.getByRole('button', { name: 'Next page' }).click();
      await settled(page);
      state = await viewerState(page);
      assert.equal(state.page, 2);
      assert.equal(state.fitted, true);
      await page.waitForFunction(() => location.hash === '#page=2');
      assert.ok((await shownColors(page)).length > 3, 'page 2 shows its inks, not blank paper');
      await page.close();
    });

    await check('a 390 x 844 touch screen lays the viewer out without horizontal scrolling', async () => {
      const phone = await browser.newContext({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 2,
                                                isMobile: true, hasTouch: true });
      const mobile = await phone.newPage();
      await open(mobile, low, '#page=1&zoom=1&x=150&y=110');
      const layout = await mobile.evaluate(() => ({
        scrollWidth: document.documentElement.scrollWidth,
        viewport: document.querySelector('meta[name=viewport]').content,
        small: [...document.querySelectorAll('.tv-root button, .tv-root [role=switch]')]
          .filter((node) => node.offsetParent !== null && node.getClientRects().length)
          .map((node) => { const r = node.getBoundingClientRect(); return [node.textContent || node.title, r.width, r.height]; })
          .filter(([, w, h]) => w < 44 || h < 44),
        stage: document.querySelector('.tv-stage').getBoundingClientRect().height,
      }));
      assert.equal(layout.scrollWidth, 390);
      assert.match(layout.viewport, /width=device-width/);
      assert.deepEqual(layout.small.filter(([name]) => name !== ''), [], 'touch targets of 44 px');
      assert.ok(layout.stage > 250, `the page gets room (${layout.stage} px)`);
      await mobile.screenshot({ path: path.join(screenshotDir, 'viewer-phone.png') });
      const stage = await mobile.locator('.tv-stage').boundingBox();
      await mobile.tap('.tv-stage', { position: { x: stage.width / 2 + 1, y: stage.height / 2 + 1 } });
      await mobile.waitForFunction(() => /^Pixel \d+, \d+: /.test(document.querySelector('.tv-inspector').textContent));
      await phone.close();
    });

    await check('a phone has the named stops and the badge of a hidden ink', async () => {
      const phone = await browser.newContext({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 2,
                                                isMobile: true, hasTouch: true });
      const mobile = await newPage(phone);
      await open(mobile, low, '#page=1&hide=BLACK');
      assert.equal(await mobile.getByRole('tab', { name: 'Inks' }).getAttribute('aria-selected'), 'true');
      await mobile.getByRole('button', { name: 'Show the page at its printed size' }).tap();
      await settled(mobile);
      assert.equal(await mobile.locator('#zoomindicator').textContent(), 'Actual size');
      assert.ok(await mobile.locator('.tv-toolbar .tv-inksoff').isVisible());
      assert.equal(await mobile.evaluate(() => document.documentElement.scrollWidth), 390);
      await mobile.screenshot({ path: path.join(screenshotDir, 'viewer-words-phone.png') });
      await phone.close();
    });

    await check('printing shows the page alone, fitted, from sharper tiles than the screen', async () => {
      await open(page, low, '#page=1&zoom=0.5&x=1200&y=900');
      await page.evaluate(() => { window.print = () => { window.printCalls = (window.printCalls || 0) + 1; }; });
      await page.getByRole('button', { name: 'Print the page' }).click();
      await page.waitForFunction(() => window.printCalls === 1);
      await page.emulateMedia({ media: 'print' });
      assert.equal(await page.locator('.tv-toolbar').isVisible(), false);
      assert.equal(await page.locator('#logo').isVisible(), false);
      const picture = await page.evaluate(() => {
        const image = document.querySelector('.tv-print img');
        const r = image.getBoundingClientRect();
        return { width: image.naturalWidth, height: image.naturalHeight, shown: [r.width, r.height], right: r.right };
      });
      // Level 4 of a 2401 x 1801 page is affordable: every plate pixel printed.
      assert.deepEqual([picture.width, picture.height], [low.width, low.height]);
      assert.ok(picture.shown[0] > 0 && picture.right <= 1200);
      const shot = await page.screenshot({ path: path.join(screenshotDir, 'viewer-print.png') });
      const grey = await page.evaluate(async (data) => {
        const image = new Image();
        image.src = 'data:image/png;base64,' + data;
        await image.decode();
        const canvas = document.createElement('canvas');
        canvas.width = image.width;
        canvas.height = image.height;
        const context = canvas.getContext('2d');
        context.drawImage(image, 0, 0);
        const pixels = context.getImageData(0, 0, image.width, image.height).data;
        let count = 0;
        for (let i = 0; i < pixels.length; i += 4) if (pixels[i] === 0x4b && pixels[i + 1] === 0x53 && pixels[i + 2] === 0x61) count++;
        return count;
      }, shot.toString('base64'));
      assert.equal(grey, 0, 'no grey surround');
      // Without emulation page.pdf prints with the print rules (screen emulation would print the viewer).
      await page.emulateMedia({ media: null });
      const pdf = await page.pdf({ format: 'A4' });
      assert.equal((pdf.toString('latin1').match(/\/Type\s*\/Page\b/g) || []).length, 1, 'one page of paper');
    });
    // A 300 dpi A4 page (140 plate tiles) and a 2400 dpi label, with an ink off.
    for (const [job, ink, dpi] of [[proof, 'BLACK', 300], [high, 'CYAN', 2400]]) {
      await check(`Print with ${ink} off at ${dpi} dpi: every plate pixel without it, the resolution at the foot`,
                  async () => {
        const sheet = await newPage();
        // At 100 %: the whole page with an ink off is only paper and a notice.
        await open(sheet, job, `#page=1&zoom=1&x=760&y=600&hide=${encodeURIComponent(ink)}`);
        // A browser's print runs beforeprint while it prints.
        await sheet.evaluate(() => {
          window.print = () => {
            window.dispatchEvent(new Event('beforeprint'));
            window.printCalls = (window.printCalls || 0) + 1;
          };
        });
        await sheet.getByRole('button', { name: 'Print the page' }).click();
        await sheet.waitForFunction(() => window.printCalls === 1, null, { timeout: 60000 });
        const printed = await sheet.evaluate(() => {
          const image = document.querySelector('.tv-print img');
          const canvas = document.createElement('canvas');
          canvas.width = image.naturalWidth;
          canvas.height = image.naturalHeight;
          const context = canvas.getContext('2d');
          context.drawImage(image, 0, 0);
          const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
          const colors = new Set();
          for (let i = 0; i < data.length; i += 4) colors.add(`${data[i]},${data[i + 1]},${data[i + 2]}`);
          return { size: [canvas.width, canvas.height], master: [maxx, maxy], colors: [...colors],
                   title: document.querySelector('.tv-print p').textContent,
                   foot: document.querySelector('.tv-print .tv-printfoot').textContent };
        });
        assert.deepEqual(printed.size, printed.master, 'one picture pixel per plate pixel');
        const bit = job.inks[0].plates.find((plate) => plate.name === ink).bit;
        const allowed = new Set(job.table.filter((rgb, index) => index & (1 << bit)).map((rgb) => rgb.join(',')));
        assert.ok(printed.colors.length > 1 && printed.colors.every((color) => allowed.has(color)),
                  `${ink} not inked: ${printed.colors.join(' ')}`);
        assert.equal(printed.foot, `Printed at ${dpi} dpi from the proof's plates`);
        assert.match(printed.title, new RegExp(` \u2013 without ${ink}$`));
        if (dpi === 300) {
          await sheet.emulateMedia({ media: 'print' });
          await sheet.screenshot({ path: path.join(screenshotDir, 'viewer-print-inks-off.png') });
          // Back to no emulation: page.pdf prints with the print rules then.
          await sheet.emulateMedia({ media: null });
        }
        const pdf = await sheet.pdf({ format: 'A4' });
        assert.equal((pdf.toString('latin1').match(/\/Type\s*\/Page\b/g) || []).length, 1, 'one page of paper');
        const file = path.join(scratch, `print-${dpi}.pdf`);
        fs.writeFileSync(file, pdf);
        const text = execFileSync('gs', ['-q', '-dNOPAUSE', '-dBATCH', '-sDEVICE=txtwrite', '-sOutputFile=-', file],
                                  { encoding: 'utf8' }).normalize('NFKC').replace(/\s+/g, ' ');
        assert.ok(text.includes(`Printed at ${dpi} dpi from the proof's plates`), text);
        assert.ok(!text.includes('Print button'), text);
        await sheet.close();
      });
    }

    assert.deepEqual(pageErrors, []);
  } finally {
    await browser.close();
  }
}

run(main, () => {
  if (nginx) nginx.kill('SIGTERM');
  fs.rmSync(scratch, { recursive: true, force: true });
});
