// The customer answers the proof from the e-mail's link, in Debian's
// headless Chromium: approves page 1, then requests changes on page 2 with a
// comment and two notes placed by clicking the page. Each answer must be
// received by the web host's answer endpoint.
// Usage: node answer-proof.cjs NODE_MODULES LINK SCREENSHOT
'use strict';
const assert = require('node:assert/strict');

const { asCustomer, tilesDrawn } = require('./customer-browser.cjs');

const [modulesDir, link, screenshot] = process.argv.slice(2);

// Sends the answer for the page shown and waits for the endpoint's verdict
// on this very answer (the status still tells of the page answered before).
async function send(page, number) {
  await page.getByRole('tab', { name: 'Reply' }).click();
  await page.locator('#tv-send').click();
  await page.waitForFunction((n) => {
    const text = document.querySelector('#tv-answerstatus').textContent;
    return text.startsWith(`Your answer for page ${n} `) || /not accepted|could not|first|check/.test(text);
  }, number);
  const status = await page.locator('#tv-answerstatus').textContent();
  assert.match(status, new RegExp(`^Your answer for page ${number} .* was received`), status);
}

async function placeNote(page, share, text) {
  await page.getByRole('tab', { name: 'Notes' }).click();
  await page.locator('#tv-placenote').click();
  const stage = await page.locator('.tv-stage').boundingBox();
  await page.mouse.click(stage.x + stage.width * share.x, stage.y + stage.height * share.y);
  await page.locator('#tv-notetext').fill(text);
  await page.getByRole('button', { name: 'Keep the note', exact: true }).click();
}

asCustomer(modulesDir, link, async (page) => {
  // Every answer carries the proof's fingerprint: wait until it is read.
  await page.waitForFunction(() => TavrinViewer.instance.fingerprint !== null);

  await page.getByRole('tab', { name: 'Reply' }).click();
  await page.locator('#tv-name').fill('Demo Customer');
  await page.locator('#tv-email').fill('customer@demo-customer.example');
  await page.locator('#tv-approve').click();
  await send(page, 1);

  await page.getByRole('button', { name: 'Next page' }).click();
  await page.waitForFunction(() => TavrinViewer.instance.page === 2);
  await page.waitForFunction(tilesDrawn);
  await placeNote(page, { x: 0.35, y: 0.3 }, 'The headline one point larger, please.');
  await placeNote(page, { x: 0.6, y: 0.65 }, 'This swatch looks too light.');
  await page.getByRole('tab', { name: 'Reply' }).click();
  await page.locator('#tv-changes').click();
  await page.locator('#tv-comment').fill('Two changes on this page, see the notes.');
  await send(page, 2);
  await page.screenshot({ path: screenshot });
  console.log('# the customer approved page 1 and asked for changes on page 2');
});
