// The address's fragment that holds the view: written, read back, and read
// from addresses typed, cut short or made to harm.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const { formatFragment, parseFragment } = require(path.join(__dirname, '../../../data/viewer/fragment.js'));

test('a view written into the fragment reads back as the same view', () => {
  const cases = [
    [{ page: 2, fitted: true, scale: 0.31, centerX: 10, centerY: 20, hidden: [] }, '#page=2'],
    [{ page: 1, fitted: false, scale: 1, centerX: 1000, centerY: 800, hidden: [] }, '#page=1&zoom=1&x=1000&y=800'],
    // The zoom to four places, the centre to whole master pixels.
    [{ page: 3, fitted: false, scale: 0.123456, centerX: 10.5, centerY: 7.49, hidden: [] },
     '#page=3&zoom=0.1235&x=11&y=7'],
    [{ page: 1, fitted: true, scale: 1, centerX: 0, centerY: 0, hidden: ['PANTONE 151 C', 'MAGENTA'] },
     '#page=1&hide=PANTONE%20151%20C,MAGENTA'],
    // Names with the fragment's own separators still come back whole.
    [{ page: 1, fitted: false, scale: 2, centerX: 5, centerY: 6, hidden: ['A,B', 'x&y=z', '50% #2', 'Gr\u00fcn'] },
     '#page=1&zoom=2&x=5&y=6&hide=A%2CB,x%26y%3Dz,50%25%20%232,Gr%C3%BCn'],
  ];
  for (const [view, fragment] of cases) {
    assert.equal(formatFragment(view), fragment);
    const read = parseFragment(fragment, 5);
    assert.equal(read.page, view.page, fragment);
    assert.deepEqual(read.hide, view.hidden.length ? view.hidden : null, fragment);
    if (view.fitted) {
      assert.deepEqual([read.zoom, read.x, read.y], [null, null, null], fragment);
    } else {
      assert.equal(read.zoom, Number(view.scale.toFixed(4)), fragment);
      assert.deepEqual([read.x, read.y], [Math.round(view.centerX), Math.round(view.centerY)], fragment);
    }
  }
});

test('a missing, bad or hostile part is left out and the rest still counts', () => {
  const nothing = { page: null, zoom: null, x: null, y: null, hide: null };
  const cases = [
    ['', {}],
    [undefined, {}],
    ['#', {}],
    ['page=2', { page: 2 }],
    ['#page=0', {}],
    ['#page=6', {}],
    ['#page=-1', {}],
    ['#page=abc&zoom=2', { zoom: 2 }],
    ['#page=2.9', { page: 2 }],
    ['#page=2&page=3', { page: 3 }],
    ['#page', {}],
    ['#=4&page=4', { page: 4 }],
    ['#zoom=0&x=1&y=2', { x: 1, y: 2 }],
    ['#zoom=-2', {}],
    ['#zoom=Infinity&x=Infinity&y=-Infinity', {}],
    ['#zoom=1e999&x=1e999', {}],
    ['#zoom=NaN&x=NaN', {}],
    ['#zoom=0x10', {}],
    ['#zoom=1.5abc&x=-20&y=3e2', { zoom: 1.5, x: -20, y: 300 }],
    ['#hide=', { hide: [] }],
    ['#hide=,,', { hide: [] }],
    // A name that does not decode is kept as written; markup is only a name.
    ['#hide=%E0%A4%A,CYAN', { hide: ['%E0%A4%A', 'CYAN'] }],
    ['#hide=%3Cimg%20src%3Dx%20onerror%3Dalert(1)%3E', { hide: ['<img src=x onerror=alert(1)>'] }],
    ['#__proto__=x&constructor=y&page=2', { page: 2 }],
    ['#page=1&hide=BLACK#page=2', { page: 1, hide: ['BLACK#page=2'] }],
  ];
  for (const [hash, expected] of cases)
    assert.deepEqual(parseFragment(hash, 5), { ...nothing, ...expected }, String(hash));
  assert.equal(Object.getPrototypeOf(parseFragment('#__proto__=x', 5)), Object.prototype);
});
