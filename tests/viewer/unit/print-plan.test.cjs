// Which resolution a page prints at and from which tiles: the sharpest
// that fits the memory budget, from the plates when inks are off.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const { printPlan, printNote, PRINT_BUDGET } = require(path.join(__dirname, '../../../data/viewer/print-plan.js'));

// A job as the Web task writes its factors for a page of width x height at dpi.
function job(width, height, dpi, ydpi = dpi) {
  const r = Math.max(dpi, ydpi);
  return { factors: [576 / Math.max(width, height), 96 / r, 192 / r, 384 / r, 1], maxx: width, maxy: height,
           maxzoom: 4, mapviews: 15, xresolution: dpi, yresolution: ydpi };
}

test('the sharpest resolution within the budget; inks off read the plates', () => {
  const a4at300 = job(2480, 3508, 300), a3at300 = job(3508, 4961, 300);
  const a4at2400 = job(19843, 28063, 2400), label = job(1201, 899, 2400);
  // [what, job, inks off, source level, picture level, picture size, note]
  const cases = [
    ['300 dpi A4, inks off', a4at300, true, 4, 4, [2480, 3508], 'Printed at 300 dpi from the proof\'s plates'],
    ['300 dpi A4, every ink', a4at300, false, 4, 4, [2480, 3508], 'Printed at 300 dpi from the proof\'s plates'],
    // 17.4 million pixels are over the budget; 384 dpi would enlarge a 300 dpi job.
    ['300 dpi A3, inks off', a3at300, true, 4, 2, [2245, 3175], 'Printed at 192 dpi from the proof\'s plates'],
    ['300 dpi A3, every ink', a3at300, false, 2, 2, [2245, 3175],
     'Printed at 192 dpi, reduced from the proof\'s 300 dpi plates'],
    ['2400 dpi A4, inks off', a4at2400, true, 4, 3, [3175, 4490], 'Printed at 384 dpi from the proof\'s plates'],
    ['2400 dpi label, inks off', label, true, 4, 4, [1201, 899], 'Printed at 2400 dpi from the proof\'s plates'],
    ['600 x 300 dpi', job(1200, 600, 600, 300), true, 4, 4, [1200, 600],
     'Printed at 600 \u00D7 300 dpi from the proof\'s plates'],
  ];
  for (const [what, page, off, source, level, size, note] of cases) {
    const plan = printPlan(page, off);
    assert.deepEqual([plan.source, plan.level, plan.width, plan.height], [source, level, ...size], what);
    assert.ok(plan.width * plan.height <= PRINT_BUDGET, what);
    assert.equal(printNote(page, plan), note, what);
  }
});

test('a budget too small for any level still prints the whole page', () => {
  const page = job(2480, 3508, 300);
  const plan = printPlan(page, true, 1000);
  assert.deepEqual([plan.source, plan.level, plan.width, plan.height], [4, 0, 407, 576]);
  assert.equal(printNote(page, plan), 'Printed at 49 dpi from the proof\'s plates');
  // A side past what a canvas takes counts against the budget too: a long strip at 2400 dpi.
  assert.equal(printPlan(job(40000, 300, 2400), false).level, 3);
});
