// The plates' own tools on proofs the station made from page buffers of
// single-pixel checkerboards at 300 and 2400 dpi: the densitometer's
// figures at the whole page and from 100 % inward, across tiles and from
// the keyboard, and one plate shown alone, in Debian's Chromium.
// Usage: node plates-test.cjs SOURCE_DIR BUILD_DIR NODE_MODULES SCREENSHOT_DIR
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { freePort, startNginx, launchChromium, checks, settled } = require('./browser-support.cjs');
const { inksAt, indexOf, makeStationJobs } = require('./station-jobs.cjs');

const [sourceDir, buildDir, modulesDir, screenshotDir] = process.argv.slice(2);
const { chromium } = require(path.join(modulesDir, 'playwright-core'));
const { apertureMask, measure } = require(path.join(sourceDir, 'data/viewer/aperture.js'));

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrin-plates-'));
fs.chmodSync(scratch, 0o755);
const webRoot = path.join(scratch, 'www');
const { check, run } = checks();
let nginx = null;

const jobs = [
  { number: 41, name: 'plates-300', dpi: 300, width: 2401, height: 1801, pages: 1 },
  { number: 42, name: 'plates-2400', dpi: 2400, width: 1201, height: 899, pages: 1 },
  // A real page, for the user guide's pictures.
  { number: 43, name: 'proof-job', dpi: 300, rendered: 'tools/testpages/proof-job.ps', pages: 1 },
];

async function open(page, job, fragment) {
  await page.goto(`http://127.0.0.1:${job.port}/tavrin/${job.folder}/index.html${fragment}`);
  await page.waitForFunction(() => TavrinViewer.instance && TavrinViewer.instance.inksState !== 'loading');
  await settled(page);
}

// The figures the densitometer shows, by plate name, and the total.
function shownReading(page) {
  return page.evaluate(() => {
    const viewer = TavrinViewer.instance;
    const box = document.querySelector('.tv-density');
    const figures = {};
    for (const item of box.querySelectorAll('li')) figures[item.children[0].textContent] = item.children[1].textContent;
    const total = box.querySelector('.tv-densitytotal');
    return { x: viewer.densityReading && viewer.densityReading.x, y: viewer.densityReading && viewer.densityReading.y,
             figures, total: total ? total.children[1].textContent : null, text: box.textContent };
  });
}

// The densitometer on (a page opened at another fragment keeps the viewer as it was).
async function switchOn(page) {
  const toggle = page.getByRole('button', { name: 'Densitometer' });
  if ((await toggle.getAttribute('aria-pressed')) !== 'true') await toggle.click();
  assert.equal(await toggle.getAttribute('aria-pressed'), 'true');
}

// Moves the mouse over master pixel corner (x, y) and waits for its reading.
async function pointAt(page, x, y) {
  const point = await page.evaluate(([x, y]) => {
    const viewer = TavrinViewer.instance;
    const bounds = viewer.stage.getBoundingClientRect();
    return { x: bounds.left + viewer.viewWidth / 2 + (x - viewer.centerX) * viewer.scale,
             y: bounds.top + viewer.viewHeight / 2 + (y - viewer.centerY) * viewer.scale };
  }, [x, y]);
  await page.mouse.move(point.x, point.y);
  await waitForReading(page);
  return shownReading(page);
}

async function waitForReading(page) {
  await page.waitForFunction(() => {
    const viewer = TavrinViewer.instance;
    const reading = viewer.densityReading;
    return reading && !viewer.densityBox.classList.contains('tv-measuring') &&
           viewer.densityKey === `${viewer.page}/${reading.x}/${reading.y}/${reading.mm}`;
  });
}

// The figures the pattern gives at corner (x, y) of the job's page in an
// aperture of mm, counted here from the pattern itself.
function expectedReading(job, x, y, mm) {
  const entry = job.inks.find((candidate) => candidate.page === 1);
  const indexAt = (px, py) => (px < 0 || py < 0 || px >= job.width || py >= job.height ? -1 :
                                 indexOf(inksAt(1, px, py, job.width, job.height)));
  const reading = measure(apertureMask(mm, job.dpi, job.dpi), x, y, indexAt, entry);
  const figures = {};
  for (const plate of reading.plates) figures[plate.name] = `${Math.round(plate.tint)}\u00A0%`;
  return { figures, total: `${Math.round(reading.total)}\u00A0%` };
}

// Zooms in until the view needs no notice, and waits for its tiles.
async function zoomUntilDrawn(page) {
  // The notice as the next drawing leaves it.
  const notice = () => page.evaluate(() => new Promise((resolve) => {
    requestAnimationFrame(() => requestAnimationFrame(() => resolve(TavrinViewer.instance.notice)));
  }));
  for (let i = 0; i < 8 && (await notice()); i++) await page.getByRole('button', { name: 'Zoom in' }).click();
  await settled(page);
}

const percent = (values) => Object.fromEntries(Object.entries(values).map(([name, value]) => [name, `${value}\u00A0%`]));

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

    await check('the densitometer reads the checkerboards in a 2 mm aperture at the whole page and at 100 %',
                async () => {
      // Each quarter of the page: its inks' tints, and the total area coverage as their sum.
      const quarters = [
        [1 / 4, 1 / 4, { CYAN: 50, MAGENTA: 50, YELLOW: 50, BLACK: 0, 'PANTONE 151 C': 0 }, 150],
        [3 / 4, 1 / 4, { CYAN: 50, MAGENTA: 0, YELLOW: 0, BLACK: 50, 'PANTONE 151 C': 50 }, 150],
        [1 / 4, 3 / 4, { CYAN: 0, MAGENTA: 100, YELLOW: 0, BLACK: 0, 'PANTONE 151 C': 0 }, 100],
        [3 / 4, 3 / 4, { CYAN: 0, MAGENTA: 0, YELLOW: 0, BLACK: 0, 'PANTONE 151 C': 0 }, 0],
      ];
      for (const fragment of ['', `#page=1&zoom=1&x=${Math.round(low.width / 2)}&y=${Math.round(low.height / 2)}`]) {
        await open(page, low, fragment);
        await page.getByRole('tab', { name: 'Inks' }).click();
        await switchOn(page);
        assert.equal(await page.getByLabel('Aperture (diameter at print size)').inputValue(), '2');
        for (const [across, down, tints, total] of quarters) {
          // From 100 % inward the quarters' middles are outside the view: the points nearest them inside it.
          const x = fragment ? Math.round(low.width / 2 + (across - 0.5) * 600) : Math.round(low.width * across);
          const y = fragment ? Math.round(low.height / 2 + (down - 0.5) * 600) : Math.round(low.height * down);
          const shown = await pointAt(page, x, y);
          const label = `${fragment || 'whole page'} at ${shown.x}, ${shown.y}`;
          assert.ok(Math.abs(shown.x - x) <= 4 && Math.abs(shown.y - y) <= 4, label);
          assert.deepEqual(shown.figures, percent(tints), label);
          assert.equal(shown.total, `${total}\u00A0%`, label);
        }
      }
      await page.screenshot({ path: path.join(screenshotDir, 'plates-densitometer-checker.png') });
    });

    await check('every aperture reads what the plate pixels under it give, where inks and tiles meet', async () => {
      // At 2400 dpi 4 mm is 378 plate pixels: the aperture spans tiles and the pattern's quarters.
      for (const job of [low, high]) {
        await open(page, job, '');
        await page.getByRole('tab', { name: 'Inks' }).click();
        await switchOn(page);
        for (const mm of ['1', '2', '4']) {
          await page.getByLabel('Aperture (diameter at print size)').selectOption(mm);
          for (const [x, y] of [[job.width / 2, job.height / 2], [576, 323], [8, 8]]) {
            const shown = await pointAt(page, Math.round(x), Math.round(y));
            const label = `${job.dpi} dpi, ${mm} mm at ${shown.x}, ${shown.y}`;
            const expected = expectedReading(job, shown.x, shown.y, Number(mm));
            assert.deepEqual(shown.figures, expected.figures, label);
            assert.equal(shown.total, expected.total, label);
          }
        }
      }
    });

    await check('from the keyboard the aperture stands in the middle of the view and the page moves under it',
                async () => {
      await open(page, low, `#page=1&zoom=1&x=${Math.round(low.width / 2)}&y=${Math.round(low.height / 2)}`);
      await page.getByRole('tab', { name: 'Inks' }).click();
      const densitometer = page.getByRole('button', { name: 'Densitometer' });
      await densitometer.focus();
      await page.keyboard.press('Space');
      assert.equal(await densitometer.getAttribute('aria-pressed'), 'true');
      await waitForReading(page);
      const first = await shownReading(page);
      const middle = await page.evaluate(() => [Math.round(TavrinViewer.instance.centerX),
                                                Math.round(TavrinViewer.instance.centerY)]);
      assert.deepEqual([first.x, first.y], middle);
      await page.locator('.tv-stage').focus();
      await page.keyboard.press('ArrowRight');
      await page.keyboard.press('ArrowDown');
      await page.waitForFunction((before) => {
        const reading = TavrinViewer.instance.densityReading;
        return reading && reading.x > before[0] && reading.y > before[1];
      }, [first.x, first.y]);
      await waitForReading(page);
      const moved = await shownReading(page);
      // Paper bottom right, one ink bottom left: the reading follows the page.
      assert.deepEqual(moved, { ...moved, ...expectedReading(low, moved.x, moved.y, 2) });
      // Switched off, the reading leaves the page.
      await densitometer.focus();
      await page.keyboard.press('Space');
      await page.waitForFunction(() => document.querySelector('.tv-density').hidden);
    });

    await check('one plate alone: black where it is inked, white elsewhere, and grey tints on the whole page',
                async () => {
      for (const name of ['CYAN', 'MAGENTA']) {
        await open(page, low, `#page=1&zoom=1&x=${Math.round(low.width / 2)}&y=${Math.round(low.height / 2)}`);
        await page.getByRole('tab', { name: 'Inks' }).click();
        await page.getByLabel('Show one plate alone, black on white, as it is imaged').selectOption(name);
        await settled(page);
        // Each canvas pixel of the page: b(lack), w(hite) or o(ther); 100 % is one pixel per plate pixel.
        const shown = await page.evaluate(() => {
          const viewer = TavrinViewer.instance;
          const place = viewer.placement();
          const rect = viewer.pageRect;
          const left = Math.max(0, rect.left), top = Math.max(0, rect.top);
          const right = Math.min(viewer.canvas.width, rect.right), bottom = Math.min(viewer.canvas.height, rect.bottom);
          const data = viewer.canvas.getContext('2d').getImageData(left, top, right - left, bottom - top).data;
          let kinds = '';
          for (let i = 0; i < data.length; i += 4) {
            const [r, g, b] = [data[i], data[i + 1], data[i + 2]];
            kinds += r === 0 && g === 0 && b === 0 ? 'b' : r === 255 && g === 255 && b === 255 ? 'w' : 'o';
          }
          return { kinds, left, top, width: right - left, k: place.k, originX: Math.round(place.x),
                   originY: Math.round(place.y), status: document.querySelector('.tv-inkstatus').textContent };
        });
        assert.equal(shown.k, 1);
        assert.match(shown.status, new RegExp(`^Showing ${name} alone`));
        let wrong = 0, black = 0;
        for (let i = 0; i < shown.kinds.length; i++) {
          const x = shown.left + (i % shown.width) - shown.originX, y = shown.top + Math.floor(i / shown.width) - shown.originY;
          const expected = inksAt(1, x, y, low.width, low.height).includes(name) ? 'b' : 'w';
          if (shown.kinds[i] !== expected) wrong++;
          if (expected === 'b') black++;
        }
        assert.equal(wrong, 0, `${name}: pixels neither as the plate gives them`);
        assert.ok(black > 1000 && black < shown.kinds.length - 1000, `${name}: both ink and paper in view`);
      }
      // The whole page: the plate's tint as grey (the checkerboard about half), nothing coloured.
      await page.getByRole('button', { name: 'Show the whole page' }).click();
      await settled(page);
      const whole = await page.evaluate(() => {
        const viewer = TavrinViewer.instance;
        const rect = viewer.pageRect;
        const context = viewer.canvas.getContext('2d');
        const mean = (across, down) => {
          const w = rect.right - rect.left, h = rect.bottom - rect.top;
          const data = context.getImageData(rect.left + Math.round(w * across) - 10, rect.top + Math.round(h * down) - 10,
                                            20, 20).data;
          let sum = 0;
          for (let i = 0; i < data.length; i += 4) sum += data[i];
          return sum / (data.length / 4);
        };
        const data = context.getImageData(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top).data;
        let coloured = 0;
        for (let i = 0; i < data.length; i += 4) if (data[i] !== data[i + 1] || data[i] !== data[i + 2]) coloured++;
        return { coloured, checker: mean(0.25, 0.25), solid: mean(0.25, 0.75), paper: mean(0.75, 0.75),
                 notice: viewer.notice };
      });
      assert.equal(whole.notice, '');
      assert.equal(whole.coloured, 0);
      assert.ok(whole.checker > 90 && whole.checker < 165, `checkerboard grey ${whole.checker}`);
      assert.equal(whole.solid, 0);
      assert.equal(whole.paper, 255);
      await page.getByLabel('Show one plate alone, black on white, as it is imaged').selectOption('');
      await settled(page);
      assert.ok((await page.evaluate(() => TavrinViewer.instance.notice)) === '');
    });

    await check('the guide\'s pictures: the densitometer and a plate alone on a real page, desktop and phone',
                async () => {
      await open(page, proof, '');
      await page.getByRole('tab', { name: 'Inks' }).click();
      await switchOn(page);
      const stage = await page.locator('.tv-stage').boundingBox();
      await page.mouse.move(stage.x + stage.width * 0.45, stage.y + stage.height * 0.4);
      await waitForReading(page);
      await page.screenshot({ path: path.join(screenshotDir, 'plates-densitometer.png') });
      await page.getByLabel('Show one plate alone, black on white, as it is imaged').selectOption({ index: 1 });
      // An A4 page at 300 dpi is too many plate pixels for the whole page: the plate shows from nearer in.
      await page.waitForFunction(() => /^\S.* alone shows from \d+\u00A0% inward: zoom in\.$/.test(TavrinViewer.instance.notice));
      await zoomUntilDrawn(page);
      await page.screenshot({ path: path.join(screenshotDir, 'plates-solo.png') });

      const phone = await browser.newContext({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 2,
                                                isMobile: true, hasTouch: true });
      const mobile = await phone.newPage();
      await open(mobile, proof, '');
      await mobile.getByRole('tab', { name: 'Inks' }).click();
      await switchOn(mobile);
      const small = await mobile.locator('.tv-stage').boundingBox();
      await mobile.tap('.tv-stage', { position: { x: small.width * 0.45, y: small.height * 0.4 } });
      await waitForReading(mobile);
      assert.equal(await mobile.evaluate(() => document.documentElement.scrollWidth), 390);
      await mobile.screenshot({ path: path.join(screenshotDir, 'plates-densitometer-phone.png') });
      await mobile.getByLabel('Show one plate alone, black on white, as it is imaged').selectOption({ index: 1 });
      await zoomUntilDrawn(mobile);
      await mobile.screenshot({ path: path.join(screenshotDir, 'plates-solo-phone.png') });
      await phone.close();
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
