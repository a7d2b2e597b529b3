// The customer's viewer for anyone: axe-core over the page with each of its
// panels open (a later round, so that Changes is there too) on a desktop
// and a phone-sized window, and the main controls from the keyboard alone,
// with a visible focus and page and zoom changes said in a live region, on
// two rounds the station made itself and the answer endpoint under PHP.
// Usage: node a11y-test.cjs SOURCE_DIR BUILD_DIR NODE_MODULES SCREENSHOT_DIR
'use strict';
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { freePort, startNginx, startPhp, launchChromium, checks, settled } = require('./browser-support.cjs');
const { PLATES, inksAt, prepareProgram } = require('./station-jobs.cjs');

const [sourceDir, buildDir, modulesDir, screenshotDir] = process.argv.slice(2);
const { chromium } = require(path.join(modulesDir, 'playwright-core'));
const axeScript = path.join(modulesDir, 'axe-core', 'axe.min.js');

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrin-a11y-'));
fs.chmodSync(scratch, 0o755);
const webRoot = path.join(scratch, 'www');
const { check, run } = checks();
const servers = { nginx: null, php: null };

const WIDTH = 1200, HEIGHT = 900, DPI = 300, PAGES = 2;
// Round 2 flips BLACK in this rectangle of page 2.
const FLIPPED = [500, 300, 579, 359];

function pbm(inked) {
  const stride = Math.ceil(WIDTH / 8);
  const bits = Buffer.alloc(stride * HEIGHT);
  for (let y = 0; y < HEIGHT; y++)
    for (let x = 0; x < WIDTH; x++)
      if (inked(x, y)) bits[y * stride + (x >> 3)] |= 0x80 >> (x & 7);
  return Buffer.concat([Buffer.from(`P4\n${WIDTH} ${HEIGHT}\n`), bits]);
}

// Round 1 and round 2 of a two-page job, laid out on the web root as the upload lays them out.
function makeRounds(webAddress) {
  const { station, program, pageBuffers } = prepareProgram({ buildDir, scratch, webAddress });
  const cli = (...args) => execFileSync(path.join(program, 'tavrin-cli'), args,
                                        { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'] });
  const pgbwrite = path.join(buildDir, 'tools', 'pgbwrite', 'pgbwrite');
  const rounds = [{ number: 71, round: 1 }, { number: 72, round: 2 }];
  for (const job of rounds)
    for (let page = 1; page <= PAGES; page++)
      for (const plate of PLATES) {
        const flipped = job.round === 2 && page === 2 && plate.name === 'BLACK';
        const inside = (x, y) => x >= FLIPPED[0] && x <= FLIPPED[2] && y >= FLIPPED[1] && y <= FLIPPED[3];
        const file = path.join(scratch, 'plate.pbm');
        fs.writeFileSync(file, pbm((x, y) => inksAt(page, x, y, WIDTH, HEIGHT).includes(plate.name) !==
                                             (flipped && inside(x, y))));
        execFileSync(pgbwrite, ['--resolution', String(DPI), '--job-number', String(job.number), '--page-number',
                                String(page), '--job-name', `${job.number}.brochure.ps`, '--color-name', plate.name,
                                '--color-values', plate.values, file,
                                path.join(pageBuffers, `${job.number}-${page}-${plate.file}.pgb`)]);
      }
  cli('tree');
  const output = path.join(program, 'output');
  const made = () => new Set((fs.existsSync(output) ? fs.readdirSync(output) : [])
    .filter((name) => /^\d{17}$/.test(name)));
  for (const job of rounds) {
    if (job.round === 2) cli('queue', 'add', String(job.number), '--round-of', String(rounds[0].number));
    const before = made();
    cli('task', 'master', String(job.number), 'then', 'task', 'preview', String(job.number), 'then', 'task', 'web',
        String(job.number));
    [job.uid] = [...made()].filter((uid) => !before.has(uid));
    job.folder = /var datadirectory='([^']*)\/';/.exec(fs.readFileSync(path.join(output, job.uid, 'index.html'),
                                                                         'latin1'))[1];
    fs.cpSync(path.join(output, job.uid), path.join(webRoot, 'tavrin', job.folder), { recursive: true });
  }
  for (const folder of ['scripts', 'images'])
    fs.cpSync(path.join(station, folder), path.join(webRoot, 'tavrin', folder), { recursive: true });
  return rounds[1];
}

async function open(page, address) {
  await page.goto(address);
  await page.waitForFunction(() => TavrinViewer.instance && TavrinViewer.instance.inksState !== 'loading' &&
                                   TavrinViewer.instance.round);
  await settled(page);
}

// Nodes left out of the axe run, each with the reason.
const EXCLUDED = [
  // The shop's logo is written by the page's own designed lines, which stay as they are.
  { selector: ['#logo > img'], why: 'the logo in the designed lines of index.html has no alt text' },
];


// axe-core over the page as it stands; resolves with its violations.
async function axe(page) {
  if (!(await page.evaluate(() => typeof window.axe === 'object'))) await page.addScriptTag({ path: axeScript });
  return page.evaluate(async (exclude) => {
    const result = await window.axe.run({ include: [['body']], exclude }, { resultTypes: ['violations'] });
    return result.violations.map((violation) => ({
      id: violation.id, impact: violation.impact, help: violation.help,
      nodes: violation.nodes.map((node) => `${node.target.join(' ')}: ` +
                                            node.failureSummary.split('\n').slice(1).join(' ')),
    }));
  }, EXCLUDED.map((entry) => entry.selector));
}

// The panels as a customer opens them, each in its busiest state: what
// prepare leaves (a panel may come twice, in two states).
const PANELS = [
  { tab: 'Inks', prepare: async (page) => {
    const toggle = page.getByRole('button', { name: 'Densitometer' });
    if ((await toggle.getAttribute('aria-pressed')) !== 'true') await toggle.click();
    assert.equal(await toggle.getAttribute('aria-pressed'), 'true');
  } },
  { tab: 'Details' },
  // A kept note in the list and on the page, and the editor open for the next one.
  { tab: 'Notes', prepare: async (page) => {
    const stage = await page.locator('.tv-stage').boundingBox();
    for (const [x, y, text] of [[0.4, 0.4, 'Move the logo'], [0.6, 0.6, null]]) {
      await page.locator('#tv-placenote').click();
      await page.mouse.click(stage.x + stage.width * x, stage.y + stage.height * y);
      if (!text) break;
      await page.locator('#tv-notetext').fill(text);
      await page.getByRole('button', { name: 'Keep the note', exact: true }).click();
    }
    assert.ok(await page.locator('#tv-notetext').isVisible());
  } },
  { tab: 'Reply', prepare: async (page) => {
    await page.getByRole('button', { name: 'Approve all pages' }).click();
    assert.ok(await page.locator('#tv-approveallask').isVisible());
  } },
  // The answer sent: its confirmation stays, the page and its thumbnail say the decision.
  { tab: 'Reply', prepare: async (page) => {
    await page.getByRole('button', { name: 'Do not approve all pages' }).click();
    await page.locator('#tv-name').fill('Ann Reviewer');
    await page.locator('#tv-email').fill('ann@example.com');
    await page.locator('#tv-changes').click();
    await page.locator('#tv-comment').fill('Darker blue, please.');
    await page.locator('#tv-send').click();
    await page.waitForFunction(() => /received/.test(document.querySelector('#tv-answerstatus').textContent));
    assert.ok(await page.locator('.tv-confirmation').isVisible());
  } },
  // Swiping against the earlier round: the divider and both rounds' badges on the page.
  { tab: 'Changes',
    prepare: (page) => page.getByRole('button', { name: 'Show the earlier round left of a divider you drag' }).click() },
  { tab: 'History',
    prepare: (page) => page.waitForFunction(() => /Ann Reviewer/.test(document.querySelector('#tv-history').textContent)) },
  { tab: 'Help' },
];

// What the focused element is and whether its focus can be seen: an outline, or a ring drawn as a shadow.
const focused = (page) => page.evaluate(() => {
  const active = document.activeElement;
  if (!active || active === document.body) return null;
  const style = getComputedStyle(active);
  const visible = (style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) > 0) || style.boxShadow !== 'none';
  return { name: active.getAttribute('aria-label') || active.textContent.trim().slice(0, 40) || active.tagName,
           role: active.getAttribute('role') || active.tagName.toLowerCase(),
           classes: active.className, visible, inToolbar: !!active.closest('[role="toolbar"]') };
});

// The texts of the page's live regions.
const liveTexts = (page) => page.evaluate(() => [...document.querySelectorAll('[aria-live], [role="status"]')]
  .filter((region) => region.getAttribute('aria-live') !== 'off').map((region) => region.textContent));

async function main() {
  const port = await freePort();
  const phpPort = await freePort();
  const job = makeRounds(`http://127.0.0.1:${port}/`);
  servers.php = await startPhp({ port: phpPort, webRoot, log: path.join(scratch, 'php.log') });
  servers.nginx = await startNginx({ port, webRoot, accessLog: path.join(scratch, 'access.log'),
                                     temp: path.join(scratch, 'nginx'), phpPort });
  fs.mkdirSync(screenshotDir, { recursive: true });
  const address = `http://127.0.0.1:${port}/tavrin/${job.folder}/index.html`;
  const browser = await launchChromium(chromium);
  try {
    const counts = {};
    for (const [window, viewport] of [['desktop', { width: 1366, height: 768 }],
                                      ['phone', { width: 390, height: 844 }]]) {
      await check(`axe-core finds nothing serious or critical with each panel open on a ${window}`, async () => {
        const context = await browser.newContext({ viewport, hasTouch: window === 'phone',
                                                   isMobile: window === 'phone' });
        context.setDefaultTimeout(15000);
        const page = await context.newPage();
        const pageErrors = [];
        page.on('pageerror', (error) => { pageErrors.push(String(error)); console.log('# page error: ' + error); });
        try {
          await open(page, address);
          const serious = [];
          for (const panel of PANELS) {
            const tab = page.getByRole('tab', { name: panel.tab, exact: true });
            await tab.click();
            assert.equal(await tab.getAttribute('aria-selected'), 'true', panel.tab);
            if (panel.prepare) await panel.prepare(page);
            const violations = await axe(page);
            for (const violation of violations) {
              const key = violation.impact || 'unknown';
              counts[window] = counts[window] || {};
              counts[window][key] = (counts[window][key] || 0) + violation.nodes.length;
              console.log(`# ${window}, ${panel.tab}: ${violation.impact} ${violation.id} (${violation.help})`);
              for (const node of violation.nodes) console.log(`#   ${node}`);
              if (violation.impact === 'serious' || violation.impact === 'critical')
                serious.push(`${panel.tab}: ${violation.id} on ${violation.nodes.join('; ')}`);
            }
            if (panel.tab === 'Inks' || panel.tab === 'Reply')
              await page.screenshot({ path: path.join(screenshotDir,
                                                      `a11y-${window}-${panel.tab.toLowerCase()}.png`) });
          }
          assert.deepEqual(serious, []);
          assert.deepEqual(pageErrors, []);
        } finally {
          await context.close();
        }
      });
    }
    for (const window of ['desktop', 'phone'])
      console.log(`# axe-core violations (nodes) by impact on the ${window}: ${JSON.stringify(counts[window] || {})}`);
    for (const entry of EXCLUDED) console.log(`# left out of the axe run: ${entry.selector} (${entry.why})`);

    const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
    context.setDefaultTimeout(15000);
    const page = await context.newPage();

    await check('Tab reaches the toolbar, the tabs and the thumbnails, each with a focus that shows', async () => {
      await open(page, address);
      const stops = [];
      for (let i = 0; i < 60; i++) {
        await page.keyboard.press('Tab');
        const stop = await focused(page);
        if (!stop) continue;
        if (stops.some((seen) => seen.name === stop.name && seen.classes === stop.classes)) break;
        stops.push(stop);
        if (stop.name === 'Zoom in')
          await page.screenshot({ path: path.join(screenshotDir, 'a11y-keyboard-focus.png') });
      }
      const names = stops.map((stop) => stop.name);
      // (Previous page is off on page 1.)
      for (const name of ['Next page', 'Zoom out', 'Zoom in', 'Show the whole page', 'Print the page',
                          'Page 1', 'Page 2'])
        assert.ok(names.some((said) => said.toLowerCase().includes(name.toLowerCase())),
                  `${name} in ${JSON.stringify(names)}`);
      assert.ok(stops.some((stop) => stop.role === 'tab'), JSON.stringify(names));
      assert.ok(stops.some((stop) => stop.inToolbar));
      assert.deepEqual(stops.filter((stop) => !stop.visible).map((stop) => stop.name), []);
      // Only the selected tab is a stop; the arrow keys move along the tab list.
      assert.equal(stops.filter((stop) => stop.role === 'tab').length, 1);
    });

    await check('the tab list, the arrow keys and + and - work from the keyboard alone', async () => {
      await open(page, address);
      await page.getByRole('tab', { name: 'Details' }).focus();
      await page.keyboard.press('ArrowRight');
      const reply = page.getByRole('tab', { name: 'Reply' });
      assert.equal(await reply.getAttribute('aria-selected'), 'true');
      assert.ok(await reply.evaluate((tab) => tab === document.activeElement));

      await page.locator('.tv-stage').focus();
      const state = () => page.evaluate(() => ({ x: TavrinViewer.instance.centerX, y: TavrinViewer.instance.centerY,
                                                 scale: TavrinViewer.instance.scale }));
      const whole = await state();
      await page.keyboard.press('+');
      await page.keyboard.press('+');
      assert.ok((await state()).scale > whole.scale);
      for (const [key, axis, sign] of [['ArrowRight', 'x', 1], ['ArrowDown', 'y', 1], ['ArrowLeft', 'x', -1],
                                       ['ArrowUp', 'y', -1]]) {
        const from = await state();
        await page.keyboard.press(key);
        const to = await state();
        assert.ok(Math.sign(to[axis] - from[axis]) === sign, `${key}: ${from[axis]} to ${to[axis]}`);
      }
      const from = await state();
      await page.keyboard.press('-');
      assert.ok((await state()).scale < from.scale);
    });

    await check('page and zoom changes reach a live region', async () => {
      await open(page, address);
      await page.locator('.tv-stage').focus();
      await page.keyboard.press('PageDown');
      await page.waitForFunction(() => TavrinViewer.instance.page === 2);
      const said = await liveTexts(page);
      assert.ok(said.some((text) => /Page 2 of 2/.test(text)), JSON.stringify(said));
      const zoomBefore = await page.locator('#zoomindicator').textContent();
      await page.keyboard.press('+');
      await page.waitForFunction((before) => document.querySelector('#zoomindicator').textContent !== before,
                                 zoomBefore);
      const zoomAfter = await page.locator('#zoomindicator').textContent();
      assert.ok((await liveTexts(page)).some((text) => text.includes(zoomAfter)), zoomAfter);
      // A named stop is said by its name.
      await page.getByRole('button', { name: 'Show the page at its printed size' }).press('Enter');
      await page.waitForFunction(() => /Actual size/.test(document.querySelector('#zoomindicator').textContent));
      assert.ok((await liveTexts(page)).some((text) => /Actual size/.test(text)));
    });
    await context.close();
  } finally {
    await browser.close();
  }
}

run(main, () => {
  if (servers.nginx) servers.nginx.kill();
  if (servers.php) servers.php.stop();
  fs.rmSync(scratch, { recursive: true, force: true });
});
