// Opens a job's proof as the customer does, from the link of the e-mail, in
// Debian's headless Chromium: the viewer draws page 1 from its tiles, zooms
// in and turns to page 2 without a script error.
// Usage: node open-proof.cjs NODE_MODULES LINK JOB_NAME SCREENSHOT
'use strict';
const assert = require('node:assert/strict');

const { asCustomer, tilesDrawn } = require('./customer-browser.cjs');

const [modulesDir, link, jobName, screenshot] = process.argv.slice(2);

// Share of the page's pixels that are not paper white.
const inked = () => {
  const viewer = TavrinViewer.instance;
  const rect = viewer.pageRect;
  const data = viewer.canvas.getContext('2d')
    .getImageData(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top).data;
  let count = 0;
  for (let i = 0; i < data.length; i += 4) if (data[i] + data[i + 1] + data[i + 2] < 720) count++;
  return count / (data.length / 4);
};

asCustomer(modulesDir, link, async (page) => {
  assert.equal(await page.evaluate(() => jobname), jobName);
  const ink = await page.evaluate(inked);
  assert.ok(ink > 0.05, `page 1 shows the job's inks (${ink})`);
  await page.screenshot({ path: screenshot });

  await page.getByRole('button', { name: 'Zoom in' }).click();
  await page.waitForFunction(tilesDrawn);
  assert.equal(await page.evaluate(() => map.zoom), 1);

  await page.getByRole('button', { name: 'Whole page' }).click();
  await page.getByRole('button', { name: 'Next page' }).click();
  await page.waitForFunction(tilesDrawn);
  assert.match(await page.locator('.tv-toolbar .tv-label').first().textContent(), /^Page 2 of \d+$/);
  console.log('# the proof opened, zoomed and turned its page');
});
