// The customer's viewer in a real browser: nginx serves web proofs laid out as
// on the web server (tavrin/<UniqueID>/, tavrin/scripts/, tavrin/images/),
// Debian's Chromium opens them through playwright-core.
// Usage: node viewer-test.cjs SOURCE_DIR BUILD_DIR NODE_MODULES SCREENSHOT_DIR
'use strict';
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { freePort, startNginx, launchChromium, checks, settled, viewerState } = require('./browser-support.cjs');

const [sourceDir, buildDir, modulesDir, screenshotDir] = process.argv.slice(2);
const { chromium } = require(path.join(modulesDir, 'playwright-core'));

const station = path.join(buildDir, 'station');
const makeWebProof = path.join(buildDir, 'tools', 'webproof', 'make-web-proof');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrin-viewer-'));
// nginx started by root serves as an unprivileged user: the files must be readable to all.
fs.chmodSync(scratch, 0o755);
const webRoot = path.join(scratch, 'www');
const accessLog = path.join(scratch, 'access.log');
const proofJob = '20240301093000123';
const hostileJob = '20240301093000456';
const hostileName = "\\';alert(1);x=\\'";
const hostileColors = ["Pantone 'Rubine' Red", '</script><script>alert(2)</script>', "x');alert(3);('"];

let nginx = null;
const { check, run } = checks();

// Pages rendered by Ghostscript, cut into a web proof by the fixture maker.
function makeProofs(port) {
  const pages = path.join(scratch, 'pages');
  fs.mkdirSync(pages);
  execFileSync('gs', ['-q', '-dSAFER', '-dBATCH', '-dNOPAUSE', '-sDEVICE=png16m', '-r400',
                      '-o', path.join(pages, 'page%d.png'), path.join(sourceDir, 'tools/testpages/viewer-job.ps')]);
  const pictures = [path.join(pages, 'page1.png'), path.join(pages, 'page2.png')];
  const tavrin = path.join(webRoot, 'tavrin');
  const common = ['--resolution', '400', '--station', station, '--reply', 'proofs@example.com',
                  '--reply-name', 'Proof desk'];
  execFileSync(makeWebProof, [...common, '--job-name', 'Spring catalogue', '--unique-id', proofJob,
                              '--color', 'CYAN', '--color', 'MAGENTA', '--color', 'YELLOW', '--color', 'BLACK',
                              '--color', "Pantone 'Rubine' Red", '--web-root', `http://127.0.0.1:${port}/`,
                              path.join(tavrin, proofJob), ...pictures]);
  // The hostile job is served from a place that ignores Range requests.
  execFileSync(makeWebProof, [...common, '--job-name', hostileName, '--unique-id', hostileJob,
                              ...hostileColors.flatMap((color) => ['--color', color]),
                              '--web-root', `http://127.0.0.1:${port}/norange/`,
                              path.join(tavrin, hostileJob), pictures[0]]);
  for (const folder of ['scripts', 'images'])
    fs.cpSync(path.join(station, folder), path.join(tavrin, folder), { recursive: true });
}

function logLines(pattern) {
  return fs.readFileSync(accessLog, 'utf8').split('\n').filter((line) => pattern.test(line));
}

// Mean difference (0..255) between the page as the canvas shows it and an
// overview picture scaled into the same place.
function differenceFromOverview(page, overviewName) {
  return page.evaluate(async (name) => {
    const viewer = TavrinViewer.instance;
    const picture = new Image();
    picture.src = viewer.dataURL(name);
    await picture.decode();
    const rect = viewer.pageRect;
    const width = rect.right - rect.left, height = rect.bottom - rect.top;
    const shown = viewer.canvas.getContext('2d').getImageData(rect.left, rect.top, width, height).data;
    const reference = document.createElement('canvas');
    reference.width = width;
    reference.height = height;
    const context = reference.getContext('2d');
    context.imageSmoothingQuality = 'high';
    context.drawImage(picture, 0, 0, width, height);
    const expected = context.getImageData(0, 0, width, height).data;
    let sum = 0;
    for (let i = 0; i < shown.length; i += 4)
      sum += Math.abs(shown[i] - expected[i]) + Math.abs(shown[i + 1] - expected[i + 1]) +
             Math.abs(shown[i + 2] - expected[i + 2]);
    return sum / (shown.length / 4 * 3);
  }, overviewName);
}

function canvasDigest(page) {
  return page.evaluate(() => {
    const canvas = TavrinViewer.instance.canvas;
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let hash = 0;
    for (let i = 0; i < data.length; i += 16) hash = (hash * 31 + data[i]) | 0;
    return hash;
  });
}

async function main() {
  const port = await freePort();
  makeProofs(port);
  nginx = await startNginx({ port, webRoot, accessLog, temp: path.join(scratch, 'nginx') });
  fs.mkdirSync(screenshotDir, { recursive: true });
  const browser = await launchChromium(chromium);
  try {
    const context = await browser.newContext({ viewport: { width: 1200, height: 820 } });
    context.setDefaultTimeout(10000);
    const page = await context.newPage();
    page.on('console', (message) => { if (message.type() === 'error') console.log('# browser: ' + message.text()); });
    const dialogs = [];
    page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
    const pageErrors = [];
    page.on('response', (response) => {
      if (response.status() >= 400) console.log(`# ${response.status()} ${response.url()}`);
    });
    page.on('pageerror', (error) => { pageErrors.push(String(error)); console.log('# page error: ' + error); });
    const base = `http://127.0.0.1:${port}/tavrin/${proofJob}/`;

    await check('level 0 shows the whole page', async () => {
      await page.goto(base + 'index.html');
      await settled(page);
      const state = await viewerState(page);
      assert.equal(state.zoom, 0);
      const own = await differenceFromOverview(page, 'overview-0001.png');
      const other = await differenceFromOverview(page, 'overview-0002.png');
      assert.ok(own < 10, `canvas differs from its overview by ${own}`);
      assert.ok(other > own * 3, `page 2's overview is as close (${other}) as page 1's (${own})`);
      assert.deepEqual(pageErrors, []);
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-level0.png') });
    });

    await check('zooming in reads level 1 tiles by Range requests', async () => {
      await page.getByRole('button', { name: 'Zoom in' }).click();
      await settled(page);
      assert.equal((await viewerState(page)).zoom, 1);
      const level1 = logLines(new RegExp(`/tavrin/${proofJob}/tile1-0001\\.tdb `));
      assert.ok(level1.length >= 3, 'header, index and tiles are asked for');
      for (const line of level1) assert.match(line, / 206 "bytes=\d+-\d+" /);
      const anyWhole = logLines(new RegExp(`/tavrin/${proofJob}/tile.*\\.tdb 200 `));
      assert.deepEqual(anyWhole, []);
    });

    await check('keyboard: real buttons and keys zoom, arrow keys pan', async () => {
      const zoomIn = page.getByRole('button', { name: 'Zoom in' });
      await zoomIn.focus();
      await page.keyboard.press('Enter');
      assert.equal((await viewerState(page)).zoom, 2);
      await page.locator('.tv-stage').focus();
      const before = await viewerState(page);
      await page.keyboard.press('ArrowRight');
      const after = await viewerState(page);
      assert.ok(after.centerX > before.centerX, "the arrow moves the view to the right");
      await page.keyboard.press('-');
      assert.equal((await viewerState(page)).zoom, 1);
    });

    await check('dragging pans the view', async () => {
      await page.getByRole('button', { name: 'Zoom in' }).click();
      await settled(page);
      const before = await viewerState(page);
      const digest = await canvasDigest(page);
      const box = await page.locator('.tv-stage').boundingBox();
      const x = box.x + box.width / 2, y = box.y + box.height / 2;
      await page.mouse.move(x, y);
      await page.mouse.down();
      await page.mouse.move(x - 120, y - 90, { steps: 5 });
      await page.mouse.up();
      await settled(page);
      const after = await viewerState(page);
      assert.ok(Math.abs((after.centerX - before.centerX) * after.scale - 120) < 1, 'moved with the mouse');
      assert.ok(Math.abs((after.centerY - before.centerY) * after.scale - 90) < 1, 'moved with the mouse');
      assert.notEqual(await canvasDigest(page), digest);
    });

    await check('deep zoom draws master pixels sharp', async () => {
      const stage = page.locator('.tv-stage');
      const box = await stage.boundingBox();
      for (let i = 0; i < 3; i++) await page.getByRole('button', { name: 'Zoom in' }).click();
      let state = await viewerState(page);
      assert.equal(state.zoom, 4);
      // A click on the whole page picture moves the view to the page's fine print.
      const navigator = await page.locator('.tv-navcanvas').boundingBox();
      const rect = await page.evaluate(() => TavrinViewer.instance.navRect);
      await page.mouse.click(navigator.x + rect.x + rect.w * 0.3, navigator.y + rect.y + rect.h * 0.762);
      state = await viewerState(page);
      const size = await page.evaluate(() => [maxx, maxy]);
      assert.ok(Math.abs(state.centerX / size[0] - 0.3) < 0.02 && Math.abs(state.centerY / size[1] - 0.762) < 0.02,
                `centre ${state.centerX}, ${state.centerY}`);
      await page.mouse.move(box.x + box.width * 0.5, box.y + box.height * 0.5);
      await page.mouse.wheel(0, -400);
      await settled(page);
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-zoom.png') });
      state = await viewerState(page);
      assert.ok(state.scale > 1.5, `scale ${state.scale}`);
      // Master pixels are squares of several screen pixels: runs of one pixel are rare.
      const runs = await page.evaluate(() => {
        const viewer = TavrinViewer.instance;
        const canvas = viewer.canvas;
        const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
        let single = 0, total = 0;
        for (let y = 0; y < canvas.height; y += 3) {
          let length = 1;
          for (let x = 1; x < canvas.width; x++) {
            const i = (y * canvas.width + x) * 4;
            const same = data[i] === data[i - 4] && data[i + 1] === data[i - 3] && data[i + 2] === data[i - 2];
            if (same) { length++; continue; }
            total++;
            if (length === 1 && x > 1) single++;
            length = 1;
          }
        }
        return { single, total };
      });
      assert.ok(runs.total > 200, `the view shows detail (${runs.total} runs)`);
      assert.ok(runs.single < runs.total * 0.02, `${runs.single} of ${runs.total} runs are one pixel long`);
      for (const line of logLines(new RegExp(`/tavrin/${proofJob}/tile4-0001\\.tdb `)))
        assert.match(line, / 206 /);
      // The zoom in the customer's words: the share of the printed size.
      const printed = await page.evaluate(() => Math.max(xresolution, yresolution) / 96);
      assert.equal(await page.locator('#zoomindicator').textContent(),
                   `${Math.round(state.scale * printed * 100)}\u00A0%`);
    });

    await check('the next page opens whole with its own tiles', async () => {
      await page.getByRole('button', { name: 'Whole page' }).click();
      await page.getByRole('button', { name: 'Next page' }).click();
      await settled(page);
      assert.equal(await page.locator('.tv-toolbar .tv-label').first().textContent(), 'Page 2 of 2');
      assert.ok(logLines(new RegExp(`/tavrin/${proofJob}/tile0-0002\\.tdb 206 `)).length >= 3);
      const own = await differenceFromOverview(page, 'overview-0002.png');
      assert.ok(own < 10, `page 2 differs from its overview by ${own}`);
      assert.equal(await page.getByRole('button', { name: 'Next page' }).isDisabled(), true);
    });

    await check('job details, reply link and help', async () => {
      const details = await page.locator('#itemframe').textContent();
      for (const text of ['Spring catalogue', '400 dpi', "Pantone 'Rubine' Red", 'BLACK'])
        assert.ok(details.includes(text), `details show ${text}`);
      await page.getByRole('tab', { name: 'Reply' }).click();
      const link = page.locator('#replylink');
      assert.ok(await link.isVisible());
      assert.equal(await link.getAttribute('href'),
                   'mailto:proofs@example.com?subject=' + encodeURIComponent('Proof: Spring catalogue'));
      assert.match(await link.textContent(), /Proof desk/);
      assert.match(await page.locator('.tv-panel:not([hidden])').textContent(), /APPROVED/);
      await page.getByRole('tab', { name: 'Help' }).click();
      assert.match(await page.locator('.tv-panel:not([hidden])').textContent(), /Looking at your proof/);
      assert.equal(await page.evaluate(() => ready()), true);
    });

    await check('a proof without ink data lists its colours and has no switches', async () => {
      await page.getByRole('tab', { name: 'Inks' }).click();
      const panel = page.locator('#tv-inks');
      assert.equal(await panel.locator('input').count(), 0);
      for (const name of ['CYAN', "Pantone 'Rubine' Red"]) assert.ok((await panel.textContent()).includes(name));
      assert.match(await panel.textContent(), /Separations are not available for this proof/);
    });

    await check('ink data beside tiles without the colour table: no colour with an ink switched off', async () => {
      // Tiles made before they kept the colour table, with the ink data of a newer job.
      const plates = ['CYAN', 'MAGENTA', 'YELLOW', 'BLACK'].map((name, k) => ({ name, bit: 3 - k, coverage: 10 }));
      fs.writeFileSync(path.join(webRoot, 'tavrin', proofJob, 'inks.js'),
                       `var pageinks=${JSON.stringify([1, 2].map((number) => ({ page: number, inked: 0, plates })))};\r\n`);
      const later = await context.newPage();
      await later.goto(`http://127.0.0.1:${port}/tavrin/${proofJob}/index.html#page=1&zoom=2&x=700&y=3560&hide=BLACK`);
      await later.waitForFunction(() => { const notice = document.querySelector('.tv-notice'); return notice && !notice.hidden; });
      assert.match(await later.locator('.tv-notice').textContent(), /Separations are not available for this proof/);
      const shown = await later.evaluate(() => {
        const viewer = TavrinViewer.instance;
        const rect = viewer.pageRect;
        const left = Math.max(0, rect.left), top = Math.max(0, rect.top);
        const data = viewer.canvas.getContext('2d').getImageData(left, top, Math.min(viewer.canvas.width, rect.right) - left,
                                                                Math.min(viewer.canvas.height, rect.bottom) - top).data;
        return new Set(Array.from({ length: data.length / 4 }, (unused, i) => data[i * 4] + data[i * 4 + 1] + data[i * 4 + 2])).size;
      });
      assert.equal(shown, 1, 'paper only');
      await later.close();
    });

    await check('hostile job and colour names stay text', async () => {
      const hostile = await context.newPage();
      hostile.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
      await hostile.goto(`http://127.0.0.1:${port}/norange/tavrin/${hostileJob}/index.html`);
      await settled(hostile);
      assert.equal(await hostile.evaluate(() => jobname), hostileName);
      assert.deepEqual(await hostile.evaluate(() => colors), hostileColors);
      const details = await hostile.locator('#itemframe').textContent();
      for (const text of [hostileName, ...hostileColors]) assert.ok(details.includes(text), `shows ${text}`);
      assert.equal(await hostile.title(), 'Tavrin Remote Proofing By Dranwick - ' + hostileName);
      assert.deepEqual(dialogs, []);
      // This server ignores Range: the viewer falls back to whole files.
      const tiles = logLines(new RegExp(`/norange/tavrin/${hostileJob}/tile0-0001\\.tdb `));
      assert.ok(tiles.length >= 1);
      for (const line of tiles) assert.match(line, / 200 /);
      assert.ok(await differenceFromOverview(hostile, 'overview-0001.png') < 10);
    });
    assert.deepEqual(pageErrors, []);
  } finally {
    await browser.close();
  }
}

run(main, () => {
  if (nginx) nginx.kill('SIGTERM');
  fs.rmSync(scratch, { recursive: true, force: true });
});
