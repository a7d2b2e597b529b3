// The tile pyramid's geometry: the levels a job offers and draws from, and
// where the tiles of a level stand on the master, at the page's borders too.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const geometry = require(path.join(__dirname, '../../../data/viewer/geometry.js'));
const { TILE } = geometry;

// A 600 dpi job as the Web task writes its factors: level 0 the whole page
// in a small picture, then eighth, quarter, half and full size.
const job600 = { factors: [0.0417, 0.125, 0.25, 0.5, 1], maxx: 4000, maxy: 5000, maxzoom: 4, mapviews: 15 };

test('levels offered, drawn from, and the one with the master\'s own pixels', () => {
  const cases = [
    ['every level', job600, 4, [0, 1, 2, 3, 4]],
    ['mapviews leaves level 2 out', { ...job600, mapviews: 15 & ~2 }, 4, [0, 1, 3, 4]],
    ['no mapviews: every level', { ...job600, mapviews: undefined }, 4, [0, 1, 2, 3, 4]],
    ['maxzoom stops short of the full level', { ...job600, maxzoom: 3 }, -1, [0, 1, 2, 3]],
    ['mapviews leaves the full level out', { ...job600, mapviews: 7 }, -1, [0, 1, 2, 3]],
    // Below 384 dpi a level enlarges the master: it never stands in for the master's pixels.
    ['a level above full size', { ...job600, factors: [0.08, 0.5, 1, 2, 4] }, 2, [0, 1, 2]],
    // Without a full level every offered level is drawn from, smallest first.
    ['no full level, levels out of order', { ...job600, factors: [0.1, 2, 0.5, 0.25, 0.75] }, -1, [0, 3, 2, 4, 1]],
    ['only level 0', { ...job600, factors: [0.05] }, -1, [0]],
  ];
  for (const [label, job, full, usable] of cases) {
    assert.equal(geometry.fullLevel(job), full, label);
    assert.deepEqual(geometry.usableLevels(job), usable, label);
  }
  assert.equal(geometry.offered(job600, 0), true, 'level 0 always');
  assert.equal(geometry.offered({ ...job600, mapviews: 0 }, 0), true, 'level 0 always');
  assert.equal(geometry.offered(job600, 5), false, 'a level the job has no factor for');
});

test('tile sides round half to even', () => {
  for (const [value, rounded] of [[0.5, 0], [1.5, 2], [2.5, 2], [2.4999, 2], [2.5001, 3], [-0.5, 0], [7, 7]])
    assert.equal(geometry.roundHalfEven(value), rounded, String(value));
  // 288 master pixels at full size; a quarter-size tile covers four times as many.
  assert.equal(geometry.levelGrid(job600, 4, { columns: 14, rows: 18 }).source, 288);
  assert.equal(geometry.levelGrid(job600, 2, { columns: 4, rows: 5 }).source, 1152);
  // A level whose tile covers 449.5 or 452.5 master pixels: the even neighbour.
  assert.equal(geometry.levelGrid({ ...job600, factors: [576 / 899] }, 0, { columns: 9, rows: 12 }).source, 450);
  assert.equal(geometry.levelGrid({ ...job600, factors: [576 / 905] }, 0, { columns: 9, rows: 12 }).source, 452);
});

test('the grid stands on the page\'s bottom-left corner', () => {
  // 1000 rows of 288: four tile rows, the top one reaching 152 pixels above the page.
  const job = { ...job600, maxx: 600, maxy: 1000 };
  const grid = geometry.levelGrid(job, 4, { columns: 3, rows: 4 });
  assert.equal(grid.overhangY, 4 * TILE - 1000);
  const top = geometry.tileRect(grid, 0, 3), bottom = geometry.tileRect(grid, 2, 0);
  assert.deepEqual(top, { x: 0, y: -152, size: TILE });
  assert.equal(bottom.y + bottom.size, 1000, 'the bottom row ends on the page\'s last row');
  assert.equal(bottom.x, 2 * TILE);
  // Every tile of a row touches the next: no gap and no overlap.
  for (let row = 0; row < 3; row++)
    assert.equal(geometry.tileRect(grid, 0, row).y, geometry.tileRect(grid, 0, row + 1).y + TILE);
  // A page that fills its tiles exactly has no overhang.
  assert.equal(geometry.levelGrid({ ...job, maxy: 576 }, 4, { columns: 3, rows: 2 }).overhangY, 0);
});

test('the tile and offset of a master pixel, at the tiles\' borders and the page\'s corners', () => {
  for (const maxy of [1000, 576, 1, 289]) {
    const maxx = 700;
    const rows = Math.ceil(maxy / TILE), columns = Math.ceil(maxx / TILE);
    const grid = geometry.levelGrid({ ...job600, maxx, maxy }, 4, { columns, rows });
    const xs = [0, 1, TILE - 1, TILE, TILE + 1, maxx - 1], ys = [0, 1, TILE - 1, TILE, maxy - 1];
    for (const x of xs) {
      for (const y of ys.filter((value) => value < maxy)) {
        const at = geometry.fullTileAt(grid, x, y);
        const label = `pixel ${x}, ${y} of a page ${maxy} high`;
        assert.ok(at.column >= 0 && at.column < columns && at.row >= 0 && at.row < rows, label);
        // The pixel lies in the tile, at the offset's place.
        const rect = geometry.tileRect(grid, at.column, at.row);
        assert.equal(rect.x + at.offset % TILE, x, label);
        assert.equal(rect.y + Math.floor(at.offset / TILE), y, label);
      }
    }
    // The page's first pixel is in the top row, below the overhang.
    assert.deepEqual(geometry.fullTileAt(grid, 0, 0),
                     { column: 0, row: rows - 1, offset: (rows * TILE - maxy) * TILE });
  }
});

test('zoom figures', () => {
  for (const [scale, text] of [[1, '100\u00A0%'], [8, '800\u00A0%'], [0.1, '10\u00A0%'], [0.0567, '5.7\u00A0%'],
                               [0.09999, '10\u00A0%'], [0.125, '13\u00A0%']])
    assert.equal(geometry.percent(scale), text, String(scale));
});
