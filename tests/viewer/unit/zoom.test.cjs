// The zoom in a customer's words: a share of the printed size and the two
// named stops, at the resolutions shops proof at; and the steps of + and -.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const zoom = require(path.join(__dirname, '../../../data/viewer/zoom.js'));

const ACTUAL = 'Actual size', PLATE = 'Plate pixels 1:1';

test('the label names a stop or gives the share of the printed size, never a level', () => {
  // [dpi, screen pixels per master pixel, label]
  const cases = [
    [300, 0.32, ACTUAL], [300, 1, PLATE], [300, 0.64, '200\u00A0%'], [300, 2, '625\u00A0%'], [300, 0.3, '94\u00A0%'],
    // Within a rounding of the wheel or the address: still the stop; beyond it a figure.
    [300, 0.3202, ACTUAL], [300, 0.9995, PLATE], [300, 0.99, '309\u00A0%'],
    [2400, 96 / 2400, ACTUAL], [2400, 1, PLATE], [2400, 0.5, '1250\u00A0%'], [2400, 0.02, '50\u00A0%'],
    [2400, 0.001, '2.5\u00A0%'],
    // 72 dpi as the address rounds it (four places); at 96 dpi both stops are one.
    [72, 1.3333, ACTUAL], [72, 1, PLATE], [96, 1, ACTUAL], [96, 2, '200\u00A0%'],
  ];
  for (const [dpi, scale, label] of cases) assert.equal(zoom.zoomLabel(scale, dpi), label, `${dpi} dpi at ${scale}`);
  assert.match(zoom.zoomTitle(0.64, 300), /^Zoom 200\u00A0% of the printed size .*Plate pixels 1:1 is 313\u00A0%$/);
});

test('the finer of two resolutions counts; a job without one is taken at 96 dpi', () => {
  assert.equal(zoom.resolution({ xresolution: 600, yresolution: 300 }), 600);
  assert.equal(zoom.resolution({ xresolution: 0, yresolution: 0 }), 96);
});

test('+ and - stop at both named stops, each once, and at the whole page', () => {
  // [what, fit, dpi, the levels' own sizes, steps]
  const cases = [
    // 300 dpi A4 in a desktop window: level 1 is the page at its printed size.
    ['300 dpi', 0.25, 300, [0.32, 0.64, 1], [0.25, 0.32, 0.64, 1, 2, 4, 8]],
    // A level's size a hair off actual size gives way to it.
    ['300 dpi, rounded level', 0.25, 300, [0.3201, 0.64, 1], [0.25, 0.32, 0.64, 1, 2, 4, 8]],
    // Twice as many device pixels: the levels' sizes halve, the named stops stay.
    ['300 dpi, ratio 2', 0.25, 300, [0.16, 0.32, 0.5], [0.25, 0.32, 0.5, 1, 2, 4, 8]],
    // A small page at 2400 dpi: actual size is smaller than the whole page and still a step.
    ['2400 dpi label', 0.7, 2400, [0.04, 0.08, 0.16, 1], [0.04, 0.7, 1, 2, 4, 8]],
    // The whole page at about actual size: one step for both.
    ['fit at actual size', 0.32, 300, [0.32, 0.64, 1], [0.32, 0.64, 1, 2, 4, 8]],
  ];
  for (const [what, fit, dpi, levels, steps] of cases) {
    assert.deepEqual(zoom.zoomSteps(fit, dpi, levels, 8), steps, what);
    const labels = steps.map((scale) => zoom.zoomLabel(scale, dpi));
    assert.equal(labels.filter((label) => label === ACTUAL).length, 1, `${what}: ${labels}`);
    assert.equal(labels.filter((label) => label === PLATE).length, 1, `${what}: ${labels}`);
  }
  assert.equal(zoom.minimumScale(0.7, 2400), 0.04);
  assert.equal(zoom.minimumScale(0.25, 300), 0.25);
});
