// A later round's rounds.js as the viewer checks it (anything malformed is
// a first proof), the texts it shows for it, and the view and outline of a
// changed area.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const rounds = require(path.join(__dirname, '../../../data/viewer/proof-round.js'));
const geometry = require(path.join(__dirname, '../../../data/viewer/geometry.js'));

// The Web task's example of a later round: every kind of page.
const example = () => ({
  round: 2,
  jobname: 'proof-job.ps',
  earlier: { round: 1, directory: '20261210092641123-3f9c0a/' },
  pages: [
    { page: 1, state: 'same', carried: { round: 1, decision: 'approve', name: 'Zoe Lang', time: '2026-12-10T09:31:00Z' } },
    { page: 2, state: 'changed', plates: [{ name: 'BLACK', change: 'changed', pixels: 70 },
                                          { name: 'CYAN', change: 'changed', pixels: 1 }],
      area: [20, 30, 29, 36], map: true },
    { page: 3, state: 'new' },
    { page: 4, state: 'removed' },
    { page: 5, state: 'changed', size: [600, 400, 620, 400], plates: [] },
    { page: 6, state: 'changed', plates: [{ name: 'SPOT ORANGE', change: 'new', pixels: 1200 },
                                          { name: 'BLACK', change: 'gone', pixels: 800 }],
      area: [0, 0, 99, 99], map: true },
    { page: 7, state: 'changed', plates: [{ name: 'BLACK', change: 'changed', pixels: null }], bydigests: true },
    { page: 8, state: 'same', carried: { round: 1, decision: 'changes' } },
    { page: 9, state: 'changed', resolution: [300, 300, 600, 300], plates: [] },
  ],
});

test('a later round is taken as written; a first proof is round 1 with nothing more', () => {
  const round = rounds.validRound(example(), 9);
  assert.deepEqual(round, { ...example(), known: true });
  // The earlier job gone from the station: no earlier round to show.
  const { earlier, ...orphan } = example();
  assert.equal(rounds.validRound(orphan, 9).earlier, null);
  assert.equal(rounds.earlierRound(rounds.validRound(orphan, 9)), 1);
  assert.equal(earlier.round, rounds.earlierRound(round));
  // No compare: the pages are not known.
  assert.deepEqual(rounds.validRound({ ...example(), pages: null }, 9).pages, []);
  assert.equal(rounds.validRound({ ...example(), pages: null }, 9).known, false);
  // A page found the same by the plates' digests says so.
  const digests = example();
  digests.pages[0].bydigests = true;
  assert.ok(rounds.validRound(digests, 9));
  assert.deepEqual(rounds.validRound({ round: 1 }, 3), { round: 1 });
  // A later station may add keys: they are left alone.
  assert.ok(rounds.validRound({ ...example(), note: 'x' }, 9));
  assert.equal(rounds.pageEntry(round, 6).plates[0].name, 'SPOT ORANGE');
  assert.equal(rounds.pageEntry(round, 10), null);
  assert.equal(rounds.pageEntry(null, 1), null);
});

test('anything malformed is a first proof', () => {
  const with_ = (change) => { const value = example(); change(value); return value; };
  const page = (number, change) => with_((value) => change(value.pages[number - 1]));
  const cases = [
    ['no object', null],
    ['an array', [example()]],
    ['round 0', { round: 0 }],
    ['a round that is no whole number', with_((v) => { v.round = 2.5; })],
    ['a round as text', with_((v) => { v.round = '2'; })],
    ['no job name', with_((v) => { delete v.jobname; })],
    ['an empty job name', with_((v) => { v.jobname = ''; })],
    ['an earlier round that is no object', with_((v) => { v.earlier = 1; })],
    ['an earlier round that is not earlier', with_((v) => { v.earlier.round = 2; })],
    ['a folder up from the base', with_((v) => { v.earlier.directory = '../secret/'; })],
    ['a folder from the root', with_((v) => { v.earlier.directory = '/etc/'; })],
    ['an address elsewhere', with_((v) => { v.earlier.directory = 'http://example.com/'; })],
    ['a folder without its slash', with_((v) => { v.earlier.directory = '2026'; })],
    ['a folder with a dot segment', with_((v) => { v.earlier.directory = 'a/../b/'; })],
    ['no pages', with_((v) => { delete v.pages; })],
    ['pages as an object', with_((v) => { v.pages = { 1: v.pages[0] }; })],
    ['pages out of order', with_((v) => { v.pages.reverse(); })],
    ['a page twice', with_((v) => { v.pages[1].page = 1; })],
    ['page 0', page(1, (p) => { p.page = 0; })],
    ['an unknown state', page(3, (p) => { p.state = 'moved'; })],
    ['a page beyond the proof that is not removed', page(3, (p) => { p.page = 10; })],
    // An answer never stays with a page whose plates changed.
    ['an answer carried to a changed page', page(2, (p) => { p.carried = { round: 1, decision: 'approve' }; })],
    ['an answer carried to a new page', page(3, (p) => { p.carried = { round: 1, decision: 'approve' }; })],
    ['a carried answer of this round', page(1, (p) => { p.carried.round = 2; })],
    ['a carried answer that is no decision', page(1, (p) => { p.carried.decision = 'maybe'; })],
    ['a carried answer with a name that is no text', page(1, (p) => { p.carried.name = 7; })],
    ['plates on a page that is the same', page(1, (p) => { p.plates = []; })],
    ['an area on a new page', page(3, (p) => { p.area = [0, 0, 1, 1]; })],
    ['a changed page without plates', page(2, (p) => { delete p.plates; })],
    ['a changed page where nothing changed', page(5, (p) => { delete p.size; })],
    ['a plate without a name', page(2, (p) => { p.plates[0].name = ''; })],
    ['a plate change unknown', page(2, (p) => { p.plates[0].change = 'moved'; })],
    ['negative pixels', page(2, (p) => { p.plates[0].pixels = -1; })],
    ['pixels as text', page(2, (p) => { p.plates[0].pixels = '70'; })],
    ['pixels left out', page(2, (p) => { delete p.plates[0].pixels; })],
    ['an area the wrong way round', page(2, (p) => { p.area = [29, 30, 20, 36]; })],
    ['an area of three numbers', page(2, (p) => { p.area = [20, 30, 29]; })],
    ['an area off the page', page(2, (p) => { p.area = [-1, 30, 29, 36]; })],
    ['an area where digests were compared', page(7, (p) => { p.area = [0, 0, 1, 1]; })],
    ['a change map without an area', page(2, (p) => { delete p.area; })],
    ['a size of three numbers', page(5, (p) => { p.size = [600, 400, 620]; })],
    ['a resolution of 0', page(9, (p) => { p.resolution = [0, 300, 600, 300]; })],
    ['bydigests as text', page(7, (p) => { p.bydigests = 'true'; })],
  ];
  for (const [label, value] of cases) assert.equal(rounds.validRound(value, 9), null, label);
});

test('the texts of a round, its pages and its carried answers', () => {
  const round = rounds.validRound(example(), 9);
  assert.equal(rounds.roundTitle(round), 'Round 2 of proof-job.ps');
  const lines = (page) => rounds.changeLines(rounds.pageEntry(round, page));
  const cases = [
    [1, 'unchanged', []],
    [2, 'changed since round 1', ['BLACK: 70 pixels changed', 'CYAN: 1 pixel changed', 'Area 20, 30 to 29, 36']],
    [3, 'new in round 2', []],
    [4, 'removed since round 1', []],
    [5, 'changed since round 1', ['Page size changed from 600 \u00D7 400 to 620 \u00D7 400 pixels']],
    [6, 'changed since round 1', ['SPOT ORANGE: new plate, 1200 pixels', 'BLACK: plate removed, 800 pixels',
                                  'Area 0, 0 to 99, 99']],
    [7, 'changed since round 1',
     ['BLACK: changed', 'Area unknown: the earlier round\'s pages are no longer at the station']],
    [9, 'changed since round 1', ['Resolution changed from 300 dpi to 600 \u00D7 300 dpi']],
  ];
  for (const [page, state, expected] of cases) {
    assert.equal(rounds.stateText(rounds.pageEntry(round, page), round), state, `page ${page}`);
    assert.deepEqual(lines(page), expected, `page ${page}`);
  }
  assert.equal(rounds.carriedText(rounds.pageEntry(round, 1).carried), 'Approved in round 1, unchanged');
  assert.equal(rounds.carriedText(rounds.pageEntry(round, 8).carried), 'Changes requested in round 1, unchanged');
  assert.equal(rounds.plateText({ name: 'CYAN', change: 'gone', pixels: null }), 'CYAN: plate removed');
  // Only pages of the earlier round's size and resolution show it in their place.
  assert.deepEqual([1, 2, 3, 5, 6, 7, 9].map((page) => rounds.comparable(rounds.pageEntry(round, page))),
                   [true, true, false, false, true, true, false]);
  assert.equal(rounds.comparable(null), false);
});

test('a changed area is brought into view at 100 % at most, whole when it is large', () => {
  const fit = 0.2;
  const cases = [
    // A few pixels: 100 %, the master's own pixels, centred on them.
    ['small', [20, 30, 29, 36], { scale: 1, centerX: 25, centerY: 33.5 }],
    // Larger than the view: as large as fits with room round it.
    ['large', [0, 0, 1999, 999], { scale: 800 / (2000 * 1.5 + 16), centerX: 1000, centerY: 500 }],
    // Larger than the page shown whole: never smaller than the whole page.
    ['huge', [0, 0, 99999, 99999], { scale: fit, centerX: 50000, centerY: 50000 }],
  ];
  for (const [label, area, expected] of cases)
    assert.deepEqual(geometry.areaView(area, 800, 600, fit), expected, label);
});

test('the outline stands outside the changed pixels, and is never smaller than the minimum', () => {
  // 100 %, the page's origin at 10.5, 20: the area's pixels 20..29 start at device pixel 30.5;
  // its 7 rows grow to the minimum about their middle.
  const at100 = geometry.areaOutline({ k: 1, x: 10.5, y: 20 }, [20, 30, 29, 36], 3, 16);
  assert.deepEqual(at100, { x: 27, y: 45, width: 17, height: 17 });
  assert.ok(at100.x + 3 <= 30.5 && at100.x + at100.width - 3 >= 40.5, 'a gap either side');
  // The whole page at a tenth: one changed pixel still gets a box of 16.
  const small = geometry.areaOutline({ k: 0.1, x: 0, y: 0 }, [500, 500, 500, 500], 3, 16);
  assert.ok(small.width >= 16 && small.width <= 17 && small.height >= 16 && small.height <= 17, JSON.stringify(small));
  assert.ok(Math.abs(small.x + small.width / 2 - 50.05) <= 1 && Math.abs(small.y + small.height / 2 - 50.05) <= 1,
            'centred on the pixel');
});
