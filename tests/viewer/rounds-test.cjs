// A later proof round in the customer's viewer, on two rounds the station
// made itself: round 1 with two pages, round 2 with page 1 the same, a
// rectangle of the BLACK plate flipped on page 2 and a spot plate added
// there, and a page 3 added; page 1 of round 1 approved from a mail. The
// title, the Changes panel and the thumbnails' marks, the change map over
// the changed area, flip and swipe against round 1's own pixels, the
// carried approval, a round 1 that is gone, and a rounds.js not to be
// trusted, in Debian's Chromium.
// Usage: node rounds-test.cjs SOURCE_DIR BUILD_DIR NODE_MODULES SCREENSHOT_DIR
'use strict';
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { freePort, startNginx, launchChromium, checks, settled, viewerState } = require('./browser-support.cjs');
const { PLATES, inksAt, prepareProgram } = require('./station-jobs.cjs');

const [sourceDir, buildDir, modulesDir, screenshotDir] = process.argv.slice(2);
const { chromium } = require(path.join(modulesDir, 'playwright-core'));
const answerForm = require(path.join(sourceDir, 'data', 'viewer', 'answer-form.js'));

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrin-rounds-'));
fs.chmodSync(scratch, 0o755);
const webRoot = path.join(scratch, 'www');
const { check, run } = checks();
let nginx = null;

const WIDTH = 1200, HEIGHT = 900, DPI = 300;
const PROCESS = PLATES.filter((plate) => !plate.name.startsWith('PANTONE'));
const SPOT = PLATES.find((plate) => plate.name.startsWith('PANTONE'));
// Round 2's corrections on page 2: BLACK flipped in FLIPPED, the spot
// plate added and inked in SPOT_AREA, inside it.
const FLIPPED = [500, 300, 579, 359];
const SPOT_AREA = [520, 320, 559, 339];
const inside = (area, x, y) => x >= area[0] && x <= area[2] && y >= area[1] && y <= area[3];

// The plates of a round's page, each with the pixels it inks.
function roundPlates(round, page) {
  const base = (plate) => (x, y) => inksAt(page, x, y, WIDTH, HEIGHT).includes(plate.name);
  const plates = PROCESS.map((plate) => ({ plate, inked: base(plate) }));
  if (round === 2 && page === 2) {
    const black = plates.find((entry) => entry.plate.name === 'BLACK');
    const before = black.inked;
    black.inked = (x, y) => before(x, y) !== inside(FLIPPED, x, y);
    plates.push({ plate: SPOT, inked: (x, y) => inside(SPOT_AREA, x, y) });
  }
  return plates;
}

function pbm(inked) {
  const stride = Math.ceil(WIDTH / 8);
  const bits = Buffer.alloc(stride * HEIGHT);
  for (let y = 0; y < HEIGHT; y++)
    for (let x = 0; x < WIDTH; x++)
      if (inked(x, y)) bits[y * stride + (x >> 3)] |= 0x80 >> (x & 7);
  return Buffer.concat([Buffer.from(`P4\n${WIDTH} ${HEIGHT}\n`), bits]);
}

function cli(program, ...args) {
  return execFileSync(path.join(program, 'tavrin-cli'), args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'] });
}

// The two rounds made by the station, linked, with round 1's page 1
// approved from a mail; both laid out on the web root as the upload lays
// them out.
function makeRounds(webAddress) {
  const { program, pageBuffers } = prepareProgram({ buildDir, scratch, webAddress });
  const pgbwrite = path.join(buildDir, 'tools', 'pgbwrite', 'pgbwrite');
  const rounds = [{ number: 61, round: 1, pages: 2 }, { number: 62, round: 2, pages: 3 }];
  for (const job of rounds)
    for (let page = 1; page <= job.pages; page++)
      for (const { plate, inked } of roundPlates(job.round, page)) {
        const file = path.join(scratch, 'plate.pbm');
        fs.writeFileSync(file, pbm(inked));
        execFileSync(pgbwrite, ['--resolution', String(DPI), '--job-number', String(job.number), '--page-number',
                                String(page), '--job-name', `${job.number}.proof-job.ps`, '--color-name', plate.name,
                                '--color-values', plate.values, file,
                                path.join(pageBuffers, `${job.number}-${page}-${plate.file}.pgb`)]);
      }
  cli(program, 'tree');
  const [first, second] = rounds;
  const output = path.join(program, 'output');
  const made = () => new Set(fs.readdirSync(output).filter((name) => /^\d{17}$/.test(name)));
  const folderOf = (uid) => /var datadirectory='([^']*)\/';/.exec(fs.readFileSync(path.join(output, uid, 'index.html'),
                                                                                 'latin1'))[1];
  cli(program, 'task', 'master', '61', 'then', 'task', 'preview', '61', 'then', 'task', 'web', '61');
  [first.uid] = [...made()];
  first.folder = folderOf(first.uid);
  // The customer approves page 1 of round 1 by mail.
  const print = /"job":"([0-9a-f]{64})"/.exec(fs.readFileSync(path.join(output, first.uid, 'proof.js'), 'latin1'))[1];
  const mail = answerForm.answerMail({ job: first.folder, page: 1, decision: 'approve', comment: '', name: 'Zoe Lang',
                                       email: 'zoe@example.com', fingerprint: print, notes: [] },
                                     'proof-job.ps', 'proofs@example.com', new Date('2026-12-10T09:31:00Z'));
  fs.writeFileSync(path.join(scratch, 'answer.eml'), `Subject: proof-job.ps answer\r\n\r\n${mail.block}\r\n`);
  cli(program, 'replies', 'mail', path.join(scratch, 'answer.eml'));
  cli(program, 'queue', 'add', '62', '--round-of', '61');
  const before = made();
  cli(program, 'task', 'master', '62', 'then', 'task', 'preview', '62', 'then', 'task', 'web', '62');
  [second.uid] = [...made()].filter((uid) => !before.has(uid));
  second.folder = folderOf(second.uid);
  // Exit status 1: the rounds differ.
  const compare = spawnSync(path.join(program, 'tavrin-cli'), ['compare', '61', '62'], { encoding: 'utf8' });
  if (compare.status !== 1) throw new Error(`tavrin-cli compare: exit ${compare.status}\n${compare.stderr}`);
  second.compare = compare.stdout;
  return { program, output, first, second };
}

// The colour at the centre of each master pixel of area [left, top,
// right, bottom] as the canvas shows it, row by row.
function masterPixels(page, area) {
  return page.evaluate((area) => {
    const viewer = TavrinViewer.instance;
    const place = viewer.placement();
    const data = viewer.canvas.getContext('2d').getImageData(0, 0, viewer.canvas.width, viewer.canvas.height);
    const colors = [];
    for (let y = area[1]; y <= area[3]; y++)
      for (let x = area[0]; x <= area[2]; x++) {
        const at = (Math.floor(place.y + (y + 0.5) * place.k) * data.width + Math.floor(place.x + (x + 0.5) * place.k)) * 4;
        colors.push([data.data[at], data.data[at + 1], data.data[at + 2]]);
      }
    return colors;
  }, area);
}

// Whether the area's master pixels are all on the canvas.
function inView(page, area) {
  return page.evaluate((area) => {
    const viewer = TavrinViewer.instance, place = viewer.placement();
    return place.x + area[0] * place.k >= 0 && place.y + area[1] * place.k >= 0 &&
           place.x + (area[2] + 1) * place.k <= viewer.canvas.width &&
           place.y + (area[3] + 1) * place.k <= viewer.canvas.height;
  }, area);
}

// Area grown by margin master pixels on each side.
const around = (area, margin) => [area[0] - margin, area[1] - margin, area[2] + margin, area[3] + margin];
// Master pixels of the outer area that lie outside the inner one.
function ring(outer, inner, colors) {
  const kept = [];
  let i = 0;
  for (let y = outer[1]; y <= outer[3]; y++)
    for (let x = outer[0]; x <= outer[2]; x++, i++) if (!inside(inner, x, y)) kept.push(colors[i]);
  return kept;
}

// The pixels of the area and of a margin round it, but for the band the
// outline is drawn in while comparing: what must be one round's own.
async function comparedPixels(page) {
  const colors = await masterPixels(page, around(FLIPPED, 12));
  const box = around(FLIPPED, 12), band = around(FLIPPED, 7);
  let i = 0;
  const kept = [];
  for (let y = box[1]; y <= box[3]; y++)
    for (let x = box[0]; x <= box[2]; x++, i++)
      kept.push(inside(band, x, y) && !inside(FLIPPED, x, y) ? null : colors[i]);
  return kept;
}

async function open(page, job, fragment) {
  await page.goto(`http://127.0.0.1:${job.port}/tavrin/${job.folder}/index.html${fragment}`);
  await page.waitForFunction(() => TavrinViewer.instance && TavrinViewer.instance.inksState !== 'loading');
  await settled(page);
}

async function main() {
  const port = await freePort();
  const { output, first, second } = makeRounds(`http://127.0.0.1:${port}/`);
  console.log(`# tavrin-cli compare 61 62:\n${second.compare.trim().replace(/^/gm, '#   ')}`);
  for (const job of [first, second]) {
    job.port = port;
    fs.cpSync(path.join(output, job.uid), path.join(webRoot, 'tavrin', job.folder), { recursive: true });
  }
  for (const folder of ['scripts', 'images'])
    fs.cpSync(path.join(buildDir, 'station', folder), path.join(webRoot, 'tavrin', folder), { recursive: true });
  nginx = await startNginx({ port, webRoot, accessLog: path.join(scratch, 'access.log'), temp: path.join(scratch, 'nginx') });
  fs.mkdirSync(screenshotDir, { recursive: true });
  const browser = await launchChromium(chromium);
  try {
    const context = await browser.newContext({ viewport: { width: 1200, height: 820 } });
    context.setDefaultTimeout(15000);
    const page = await context.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => { pageErrors.push(String(error)); console.log('# page error: ' + error); });

    await check('the compare at the station: page 1 same, page 2 changed in the flipped rectangle, page 3 new', async () => {
      const lines = second.compare.trim().split('\n');
      assert.equal(lines[0], 'page 1 same');
      assert.match(lines[1], /^page 2 changed: BLACK 4800 px/);
      assert.match(lines[1], /; area 500,300 to 579,359$/);
      assert.equal(lines[2], 'page 3 new');
      // What the Web task told each round's viewer.
      const script = (job) => fs.readFileSync(path.join(output, job.uid, 'rounds.js'), 'latin1');
      assert.equal(script(first), 'var proofround={"round":1};\r\n');
      assert.match(script(second), /^var proofround=\{"round":2,"jobname":"proof-job\.ps","earlier":/);
      for (let level = 0; level <= 4; level++)
        assert.ok(fs.existsSync(path.join(output, second.uid, `change${level}-0002.tdb`)), `level ${level}`);
    });

    await check('round 2 says so at once, with the Changes panel open and the changed pages marked', async () => {
      await open(page, second, '');
      await page.waitForFunction(() => TavrinViewer.instance.round);
      assert.equal(await page.locator('#tv-roundtitle').textContent(), 'Round 2 of proof-job.ps');
      assert.ok(await page.locator('#tv-roundtitle').isVisible());
      assert.match(await page.locator('.tv-roundbar').textContent(), /1 page changed, 1 new since round 1/);
      assert.equal(await page.getByRole('tab', { name: 'Changes' }).getAttribute('aria-selected'), 'true');
      const rows = await page.locator('.tv-change').evaluateAll((items) => items.map((item) => ({
        page: item.querySelector('.tv-changepage').textContent,
        lines: [...item.querySelectorAll('.tv-changelines li')].map((line) => line.textContent),
      })));
      assert.deepEqual(rows, [
        { page: 'Page 1: unchanged', lines: ['Approved in round 1, unchanged'] },
        { page: 'Page 2: changed since round 1',
          lines: ['BLACK: 4800 pixels changed', 'PANTONE 151 C: new plate', 'Area 500, 300 to 579, 359'] },
        { page: 'Page 3: new in round 2', lines: [] },
      ]);
      const thumbs = await page.locator('.tv-thumb').evaluateAll((items) => items.map((item) => [
        item.getAttribute('aria-label'), item.querySelector('.tv-thumbmark').textContent,
        getComputedStyle(item.querySelector('.tv-thumbmark')).display !== 'none']));
      // Named by what they show, described by what it means.
      assert.deepEqual(thumbs, [['Page 1 \u2713 round 1', '', false], ['Page 2 changed', 'changed', true],
                                ['Page 3 new', 'new', true]]);
      assert.deepEqual(await page.locator('.tv-thumb').evaluateAll((items) => items.map((item) =>
        document.getElementById(item.getAttribute('aria-describedby')).textContent)),
      ['Approved in round 1, unchanged', 'changed since round 1', 'new in round 2']);
      await page.mouse.move(5, 5);
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-changes.png') });
    });

    await check('a link into round 2 that hides an ink opens on Inks, with the round still said', async () => {
      const linked = await context.newPage();
      linked.on('pageerror', (error) => { pageErrors.push(String(error)); console.log('# page error: ' + error); });
      await open(linked, second, '#page=2&zoom=1&x=540&y=330&hide=BLACK');
      await linked.waitForFunction(() => TavrinViewer.instance.round);
      assert.ok(await linked.locator('.tv-roundbar').isVisible());
      assert.equal(await linked.getByRole('tab', { name: 'Inks' }).getAttribute('aria-selected'), 'true');
      assert.equal(await linked.locator('.tv-toolbar .tv-inksoff').textContent(), 'Inks off: BLACK');
      await linked.close();
    });

    const area = FLIPPED;
    let plain = null;
    await check('a click on page 2 brings its changed area into view with the change map over it', async () => {
      await page.getByRole('button', { name: 'Page 2: changed since round 1' }).click();
      await settled(page);
      const state = await viewerState(page);
      assert.deepEqual([state.page, state.scale], [2, 1]);
      assert.ok(await inView(page, around(area, 12)), JSON.stringify(state));
      assert.equal(await page.locator('#tv-overlay').isChecked(), true, 'on by default for a changed page');
      const shown = await masterPixels(page, around(area, 12));
      await page.locator('#tv-overlay').click();
      await settled(page);
      plain = await comparedPixels(page);
      // Inside the area every pixel changed: each one tinted with the change colour.
      const inner = await masterPixels(page, area);
      await page.locator('#tv-overlay').click();
      await settled(page);
      const tinted = await masterPixels(page, area);
      tinted.forEach((rgb, i) => {
        const expected = inner[i].map((value, c) => Math.round(value * 0.4 + [255, 0, 255][c] * 0.6));
        assert.ok(rgb.every((value, c) => Math.abs(value - expected[c]) <= 2), `pixel ${i}: ${rgb} / ${expected}`);
      });
      // Outside it the page is as it is, but for the outline round the area.
      const outer = ring(around(area, 12), around(area, 8), shown);
      assert.deepEqual(outer, ring(around(area, 12), around(area, 8), plain));
      const outline = ring(around(area, 5), area, shown);
      assert.ok(outline.some(([r, g, b]) => r === 255 && g === 0 && b === 255), 'an outline in the change colour');
      // The whole page picture marks the area too.
      const marked = await page.evaluate(() => {
        const canvas = TavrinViewer.instance.navigator;
        const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
        let count = 0;
        for (let i = 0; i < data.length; i += 4) if (data[i] === 255 && data[i + 1] === 0 && data[i + 2] === 255) count++;
        return count;
      });
      assert.ok(marked > 20, `${marked} pixels of the change colour on the whole page picture`);
    });

    await check('on the whole page the change map tints the changed area and nothing far from it', async () => {
      const whole = await context.newPage();
      await open(whole, second, '#page=2');
      await whole.waitForFunction(() => TavrinViewer.instance.round);
      await settled(whole);
      assert.equal(await whole.evaluate(() => map.zoom), 0);
      const middle = [530, 320, 549, 339], far = [100, 700, 119, 719];
      const on = [await masterPixels(whole, middle), await masterPixels(whole, far)];
      await whole.getByRole('tab', { name: 'Changes' }).click();
      await whole.locator('#tv-overlay').click();
      await settled(whole);
      const off = [await masterPixels(whole, middle), await masterPixels(whole, far)];
      on[0].forEach((rgb, i) => assert.notDeepEqual(rgb, off[0][i], `pixel ${i} of the middle`));
      assert.deepEqual(on[1], off[1]);
      await whole.close();
    });

    let earlier = null, view = null;
    await check('flip shows round 1\'s own pixels at the changed area, and round 2\'s again when flipped back', async () => {
      view = await viewerState(page);
      const firstPage = await context.newPage();
      await open(firstPage, first, `#page=2&zoom=1&x=${view.centerX}&y=${view.centerY}`);
      assert.ok(await inView(firstPage, around(area, 12)));
      assert.equal(await firstPage.locator('.tv-roundbar').isVisible(), false, 'round 1 is a first proof');
      earlier = await comparedPixels(firstPage);
      await firstPage.close();
      assert.notDeepEqual(earlier, plain, 'the rounds differ at the area');
      await page.getByRole('button', { name: 'Flip between the two rounds at the same view' }).click();
      await page.waitForFunction(() => TavrinViewer.instance.compare === 'flip');
      await settled(page);
      assert.equal(await page.locator('.tv-leftbadge').textContent(), 'Round 1');
      assert.deepEqual(await comparedPixels(page), earlier);
      assert.deepEqual(await viewerState(page), view, 'the same view');
      await page.getByRole('button', { name: 'Show round 2' }).click();
      await settled(page);
      assert.equal(await page.locator('.tv-leftbadge').textContent(), 'Round 2');
      // While comparing only the outline shows: the pixels are this round's own.
      assert.deepEqual(await comparedPixels(page), plain);
      await page.getByRole('button', { name: 'Show round 1' }).focus();
      await page.keyboard.press('Enter');
      await settled(page);
      assert.deepEqual(await comparedPixels(page), earlier, 'the flip by keyboard');
      // A quick double press flips twice and leaves the view alone.
      await page.getByRole('button', { name: 'Show round 2' }).dblclick();
      await settled(page);
      assert.deepEqual(await viewerState(page), view);
      assert.equal(await page.locator('.tv-leftbadge').textContent(), 'Round 1');
    });

    await check('swipe shows round 1 left of the divider and round 2 right of it; keys move the divider', async () => {
      await page.getByRole('button', { name: 'Show the earlier round left of a divider you drag' }).click();
      await page.waitForFunction(() => TavrinViewer.instance.compare === 'swipe');
      const stage = await page.locator('.tv-stage').boundingBox();
      const divider = page.getByRole('slider');
      const handle = await divider.boundingBox();
      // Dragged to the middle of the area, from the middle of the view.
      const target = await page.evaluate((x) => {
        const viewer = TavrinViewer.instance, place = viewer.placement();
        return (place.x + x * place.k) / (window.devicePixelRatio || 1);
      }, (area[0] + area[2] + 1) / 2);
      assert.ok(Math.abs(handle.x + handle.width / 2 - stage.x - stage.width / 2) < 2, 'the divider starts in the middle');
      await page.mouse.move(handle.x + handle.width / 2, stage.y + 100);
      await page.mouse.down();
      await page.mouse.move(stage.x + target + 60, stage.y + 100, { steps: 4 });
      await page.mouse.move(stage.x + target, stage.y + 100, { steps: 4 });
      await page.mouse.up();
      await settled(page);
      const at = Number(await divider.getAttribute('aria-valuenow'));
      assert.equal(at, Math.round(target / stage.width * 100));
      const split = await page.evaluate(() => {
        const viewer = TavrinViewer.instance, place = viewer.placement();
        return (Math.round(viewer.swipeAt * viewer.canvas.width) - place.x) / place.k;
      });
      const shown = await comparedPixels(page);
      const box = around(area, 12);
      let i = 0, left = 0, right = 0;
      for (let y = box[1]; y <= box[3]; y++)
        for (let x = box[0]; x <= box[2]; x++, i++) {
          if (x + 1 <= split) { assert.deepEqual(shown[i], earlier[i], `${x}, ${y}`); left++; }
          if (x >= split) { assert.deepEqual(shown[i], plain[i], `${x}, ${y}`); right++; }
        }
      assert.ok(left > 100 && right > 100, `${left} / ${right}`);
      await divider.focus();
      await page.keyboard.press('ArrowLeft');
      assert.equal(await divider.getAttribute('aria-valuenow'), String(at - 5));
      assert.deepEqual(await viewerState(page), view, 'the key moved the divider, not the view');
      // For the picture: 400 %, the divider across the middle of the area.
      await page.evaluate((area) => {
        const viewer = TavrinViewer.instance;
        viewer.setScale(4);
        viewer.centerX = (area[0] + area[2] + 1) / 2;
        viewer.centerY = (area[1] + area[3] + 1) / 2;
        viewer.clampCenter();
        viewer.viewChanged();
        viewer.setSwipe(0.5);
      }, area);
      await settled(page);
      await page.mouse.move(5, 5);
      await page.screenshot({ path: path.join(screenshotDir, 'viewer-compare.png') });
      await page.getByRole('button', { name: 'Show this round only' }).click();
      assert.equal(await page.evaluate(() => TavrinViewer.instance.compare), '');
    });

    await check('page 1 keeps round 1\'s approval; a new answer can still be sent', async () => {
      await page.getByRole('button', { name: 'Page 1: unchanged' }).click();
      await page.getByRole('tab', { name: 'Reply' }).click();
      assert.match(await page.locator('#tv-carried').textContent(), /^Approved in round 1, unchanged/);
      assert.ok(await page.locator('#tv-carried').isVisible());
      assert.ok(await page.locator('#tv-approve').isEnabled());
      assert.ok(await page.locator('#tv-send').isEnabled());
      // Its page picture says so too, in words and with a mark.
      assert.deepEqual(await page.evaluate(() => {
        const thumb = document.querySelector('.tv-thumb');
        return [document.getElementById(thumb.getAttribute('aria-describedby')).textContent,
                thumb.querySelector('.tv-thumbstate').textContent];
      }), ['Approved in round 1, unchanged', '\u2713 round 1']);
      await page.getByRole('button', { name: 'Next page' }).click();
      assert.equal(await page.locator('#tv-carried').isVisible(), false, 'page 2 changed: nothing carried');
    });

    await check('on a 390 x 844 touch screen the round, its changes and the swipe fit and can be touched', async () => {
      const phone = await browser.newContext({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 2,
                                                isMobile: true, hasTouch: true });
      const mobile = await phone.newPage();
      await open(mobile, second, '');
      await mobile.waitForFunction(() => TavrinViewer.instance.round);
      assert.ok(await mobile.locator('#tv-roundtitle').isVisible());
      await mobile.getByRole('button', { name: 'Page 2: changed since round 1' }).tap();
      await mobile.getByRole('button', { name: 'Show the earlier round left of a divider you drag' }).tap();
      await mobile.waitForFunction(() => TavrinViewer.instance.compare === 'swipe');
      const layout = await mobile.evaluate(() => ({
        scrollWidth: document.documentElement.scrollWidth,
        small: [...document.querySelectorAll('.tv-changelist button, .tv-comparebox button, .tv-divider, #tv-overlay')]
          .map((node) => { const r = node.getBoundingClientRect(); return [node.textContent || node.id, r.width, r.height]; })
          .filter(([, w, h]) => (w < 44 || h < 44) && w > 0),
      }));
      assert.equal(layout.scrollWidth, 390);
      assert.deepEqual(layout.small.filter(([name]) => name !== 'tv-overlay'), [], 'touch targets of 44 px');
      await mobile.screenshot({ path: path.join(screenshotDir, 'viewer-rounds-phone.png') });
      await phone.close();
    });

    await check('a rounds.js that is not to be trusted shows a first proof', async () => {
      const other = await context.newPage();
      const errors = [];
      other.on('pageerror', (error) => errors.push(String(error)));
      // An approval on a changed page would be one the customer never gave.
      await other.route('**/rounds.js', (route) => route.fulfill({
        contentType: 'application/javascript',
        body: `var proofround=${JSON.stringify({ round: 2, jobname: 'proof-job.ps',
                                               earlier: { round: 1, directory: `${first.folder}/` },
                                               pages: [{ page: 2, state: 'changed', plates: [],
                                                         carried: { round: 1, decision: 'approve' } }] })};`,
      }));
      await open(other, second, '');
      await other.waitForTimeout(300);
      assert.equal(await other.locator('.tv-roundbar').isVisible(), false);
      assert.equal(await other.getByRole('tab', { name: 'Changes' }).isVisible(), false);
      assert.deepEqual(errors, []);
      await other.close();
    });

    await check('with round 1 gone from the web host, compare says so and stays off', async () => {
      fs.renameSync(path.join(webRoot, 'tavrin', first.folder), path.join(scratch, 'gone'));
      const other = await context.newPage();
      await open(other, second, '#page=2&zoom=1&x=540&y=330');
      await other.waitForFunction(() => TavrinViewer.instance.round);
      await other.getByRole('button', { name: 'Flip between the two rounds at the same view' }).click();
      await other.waitForFunction(() => /no longer/.test(document.querySelector('#tv-comparestatus').textContent));
      assert.equal(await other.locator('#tv-comparestatus').textContent(), 'Round 1 is no longer online.');
      assert.equal(await other.evaluate(() => TavrinViewer.instance.compare), '');
      assert.equal(await other.getByRole('button', { name: 'Show this round only' }).getAttribute('aria-pressed'), 'true');
      await settled(other);
      await other.close();
      fs.renameSync(path.join(scratch, 'gone'), path.join(webRoot, 'tavrin', first.folder));
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
