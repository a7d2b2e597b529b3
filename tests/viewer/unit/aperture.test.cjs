// The densitometer's aperture and tints, and the colours of a plate shown
// alone, on small index arrays laid out as the station's plates are: a
// plate's bit is 0 where it is inked (inked: 0), or 1 on a page that says so.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const { apertureMask, measure, tintText, soloColors } = require(path.join(__dirname, '../../../data/viewer/aperture.js'));

const PLATES = [
  { name: 'CYAN', bit: 3 }, { name: 'MAGENTA', bit: 2 }, { name: 'YELLOW', bit: 1 }, { name: 'BLACK', bit: 0 },
];
const BIT = Object.fromEntries(PLATES.map((plate) => [plate.name, plate.bit]));

// The index of a set of inks on a page with the inked value.
function indexOf(inks, inked) {
  const set = inks.reduce((bits, name) => bits | (1 << BIT[name]), 0);
  return inked === 1 ? set : 255 & ~set;
}

// A page of width x height whose pixel (x, y) carries the inks inksAt(x, y).
function page(width, height, inked, inksAt) {
  const indices = new Uint8Array(width * height);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++) indices[y * width + x] = indexOf(inksAt(x, y), inked);
  return (x, y) => (x < 0 || y < 0 || x >= width || y >= height ? -1 : indices[y * width + x]);
}

const tints = (reading) => Object.fromEntries(reading.plates.map((plate) => [plate.name, plate.tint]));

test('the aperture: its diameter in plate pixels, round, and as many pixels on each side of its centre', () => {
  const cases = [
    // mm, x dpi, y dpi
    [1, 300, 300], [2, 300, 300], [4, 300, 300], [2, 2400, 2400], [2, 300, 600], [1, 72, 72],
  ];
  for (const [mm, xdpi, ydpi] of cases) {
    const label = `${mm} mm at ${xdpi} x ${ydpi} dpi`;
    const mask = apertureMask(mm, xdpi, ydpi);
    const rx = mm / 25.4 * xdpi / 2, ry = mm / 25.4 * ydpi / 2;
    const pixels = new Set();
    for (let i = 0; i < mask.offsets.length; i += 2) pixels.add(`${mask.offsets[i]},${mask.offsets[i + 1]}`);
    assert.equal(pixels.size, mask.offsets.length / 2, `${label}: no pixel twice`);
    // The circle's area, within its rim of partly covered pixels.
    const area = Math.PI * rx * ry;
    assert.ok(Math.abs(pixels.size - area) <= 2 * Math.PI * Math.max(rx, ry), `${label}: ${pixels.size} of ${area}`);
    // The widest row and column span the diameter (to a pixel).
    const across = [...pixels].filter((p) => p.endsWith(',0')).length;
    const down = [...pixels].filter((p) => p.startsWith('0,')).length;
    assert.ok(Math.abs(across - 2 * rx) <= 1, `${label}: ${across} across`);
    assert.ok(Math.abs(down - 2 * ry) <= 1, `${label}: ${down} down`);
    // Mirrored about the corner it stands on, in both directions.
    for (const p of pixels) {
      const [dx, dy] = p.split(',').map(Number);
      assert.ok(pixels.has(`${-1 - dx},${dy}`) && pixels.has(`${dx},${-1 - dy}`), `${label}: ${p} mirrored`);
    }
  }
  // Narrower than a pixel: the four pixels around its centre.
  assert.equal(apertureMask(1, 20, 20).offsets.length, 8);
});

test('tints on a single-pixel checkerboard read half, and the total area coverage is their sum', () => {
  // Cyan and magenta on even pixels, yellow on odd ones: 50 + 50 + 50.
  for (const inked of [0, 1]) {
    const indexAt = page(120, 100, inked, (x, y) => ((x + y) % 2 === 0 ? ['CYAN', 'MAGENTA'] : ['YELLOW']));
    for (const [mm, dpi, x, y] of [[2, 300, 60, 50], [1, 300, 31, 40], [4, 300, 60, 50], [1, 600, 60, 51]]) {
      const label = `inked ${inked}, ${mm} mm at ${dpi} dpi at ${x}, ${y}`;
      const reading = measure(apertureMask(mm, dpi, dpi), x, y, indexAt, { inked, plates: PLATES });
      assert.deepEqual(tints(reading), { CYAN: 50, MAGENTA: 50, YELLOW: 50, BLACK: 0 }, label);
      assert.equal(reading.total, 150, label);
      assert.equal(tintText(reading.plates[0].tint), '50\u00A0%');
    }
  }
});

test('tints where the aperture meets an edge of ink or of the page', () => {
  const mask = apertureMask(2, 300, 300);
  const count = mask.offsets.length / 2;
  // Black on the left half of the aperture, black and cyan above its centre: a corner of solid ink.
  const indexAt = page(200, 200, 0, (x, y) => [...(x < 100 ? ['BLACK'] : []), ...(x < 100 && y < 100 ? ['CYAN'] : [])]);
  const reading = measure(mask, 100, 100, indexAt, { inked: 0, plates: PLATES });
  assert.deepEqual(tints(reading), { CYAN: 25, MAGENTA: 0, YELLOW: 0, BLACK: 50 });
  assert.equal(reading.total, 75);
  assert.equal(reading.pixels, count);
  // At the page's corner only the quarter on the page counts: solid magenta reads solid.
  const solid = page(50, 50, 0, () => ['MAGENTA']);
  const corner = measure(mask, 0, 0, solid, { inked: 0, plates: PLATES });
  assert.equal(tints(corner).MAGENTA, 100);
  assert.equal(corner.pixels, count / 4);
  // Entirely off the page: no reading at all.
  assert.equal(measure(mask, -40, -40, solid, { inked: 0, plates: PLATES }), null);
  // An aperture narrower than a pixel reads the four around its centre: cyan on three.
  const uneven = measure(apertureMask(1, 20, 20), 1, 1, page(2, 2, 1, (x, y) => (x + y ? ['CYAN'] : [])),
                         { inked: 1, plates: PLATES.slice(0, 1) });
  assert.equal(uneven.plates[0].tint, 75);
});

test('a plate alone: black where its bit has the page\'s inked value, white elsewhere', () => {
  for (const inked of [0, 1]) {
    const colors = soloColors(BIT.CYAN, inked);
    for (const inks of [['CYAN'], ['CYAN', 'BLACK'], ['MAGENTA'], []]) {
      const index = indexOf(inks, inked);
      const expected = inks.includes('CYAN') ? 0 : 255;
      assert.deepEqual([...colors.subarray(index * 3, index * 3 + 3)], [expected, expected, expected],
                       `inked ${inked}, ${inks.join('+') || 'paper'}`);
    }
  }
  // A plate the page does not have is white throughout.
  assert.ok(soloColors(-1, 0).every((value) => value === 255));
});
