// The customer's browser for the end-to-end scripts: Debian's headless
// Chromium opening the proof's link, page 1 drawn from its tiles, and no
// script error or failed request while the script works on the page.
'use strict';
const assert = require('node:assert/strict');
const path = require('node:path');

const { launchChromium, tilesDrawn } = require('../viewer/browser-support.cjs');

// Runs work(page) on the proof at link, then checks that nothing went wrong
// on the page; prints the error and sets the exit status when anything failed.
async function asCustomer(modulesDir, link, work) {
  const { chromium } = require(path.resolve(modulesDir, 'playwright-core'));
  const browser = await launchChromium(chromium);
  try {
    const page = await browser.newPage({ viewport: { width: 1200, height: 820 } });
    page.setDefaultTimeout(20000);
    const errors = [];
    page.on('pageerror', (error) => errors.push(String(error)));
    page.on('response', (response) => { if (response.status() >= 400) errors.push(`${response.status()} ${response.url()}`); });
    await page.goto(link);
    await page.waitForFunction(tilesDrawn);
    await work(page);
    assert.deepEqual(errors, []);
  } catch (error) {
    console.log(error.stack);
    process.exitCode = 1;
  } finally {
    await browser.close();
  }
}

module.exports = { asCustomer, tilesDrawn };
