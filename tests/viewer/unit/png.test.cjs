// The palette PNG decoder on PNGs made here with node's zlib: every bit
// depth and filter, the tvIX chunk, and damaged or unsuitable files.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const zlib = require('node:zlib');
const path = require('node:path');

const { decodePalettePng } = require(path.join(__dirname, '../../../data/viewer/png.js'));

const CRC_TABLE = Array.from({ length: 256 }, (unused, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) c = CRC_TABLE[(c ^ byte) & 255] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const body = Buffer.concat([Buffer.from(type, 'latin1'), Buffer.from(data)]);
  const length = Buffer.alloc(4);
  length.writeUInt32BE(data.length);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(body));
  return Buffer.concat([length, body, crc]);
}

function paeth(a, b, c) {
  const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// The scanlines of the indices at the depth, each row filtered with
// filters[y % filters.length], as the PNG encoder writes them.
function scanlines(indices, width, height, depth, filters) {
  const stride = Math.ceil(width * depth / 8);
  const lines = [];
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const line = Buffer.alloc(stride);
    for (let x = 0; x < width; x++)
      line[Math.floor(x * depth / 8)] |= indices[y * width + x] << (8 - depth - (x * depth) % 8);
    const filter = filters[y % filters.length];
    const out = Buffer.alloc(stride + 1);
    out[0] = filter;
    for (let i = 0; i < stride; i++) {
      const left = i > 0 ? line[i - 1] : 0, up = previous[i], upLeft = i > 0 ? previous[i - 1] : 0;
      const predicted = [0, left, up, (left + up) >> 1, paeth(left, up, upLeft)][filter];
      out[i + 1] = (line[i] - predicted) & 255;
    }
    lines.push(out);
    previous = line;
  }
  return Buffer.concat(lines);
}

// A palette PNG as an ArrayBuffer. Options change what a damaged or
// unsuitable file needs; idat splits the compressed data into that many chunks.
function makePng({ width, height, depth = 8, indices, palette, entries = null, filters = [0], colorType = 3,
                   interlace = 0, idat = 1, tvixAfterData = false, data = null, skip = [] }) {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([depth, colorType, 0, 0, interlace], 8);
  const compressed = zlib.deflateSync(data || scanlines(indices, width, height, depth, filters));
  const parts = [];
  const size = Math.ceil(compressed.length / idat);
  for (let at = 0; at < compressed.length; at += size) parts.push(chunk('IDAT', compressed.subarray(at, at + size)));
  const chunks = [['IHDR', chunk('IHDR', header)], ['PLTE', chunk('PLTE', palette)]];
  if (entries && !tvixAfterData) chunks.push(['tvIX', chunk('tvIX', entries)]);
  for (const part of parts) chunks.push(['IDAT', part]);
  if (entries && tvixAfterData) chunks.push(['tvIX', chunk('tvIX', entries)]);
  chunks.push(['IEND', chunk('IEND', [])]);
  const file = Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]),
                              ...chunks.filter(([type]) => !skip.includes(type)).map(([, bytes]) => bytes)]);
  return file.buffer.slice(file.byteOffset, file.byteOffset + file.length);
}

// Indices that use every palette entry of the depth, in a pattern that
// differs from row to row, so that every filter has work to do.
function pattern(width, height, depth) {
  const colours = 1 << depth;
  return Array.from({ length: width * height }, (unused, i) => (i * 7 + Math.floor(i / width) * 3) % colours);
}

test('decodes every bit depth and filter, rows that end inside a byte included', async () => {
  for (const depth of [1, 2, 4, 8]) {
    for (const filters of [[0], [1], [2], [3], [4], [0, 1, 2, 3, 4]]) {
      const width = 13, height = 6, colours = 1 << depth;
      const indices = pattern(width, height, depth);
      const palette = Buffer.from(Array.from({ length: colours * 3 }, (unused, i) => i % 256));
      const entries = Buffer.from(Array.from({ length: colours }, (unused, i) => colours - 1 - i));
      const tile = await decodePalettePng(makePng({ width, height, depth, indices, palette, entries, filters }));
      const label = `depth ${depth}, filters ${filters}`;
      assert.equal(tile.width, width, label);
      assert.equal(tile.height, height, label);
      assert.deepEqual(Array.from(tile.indices), indices, label);
      assert.deepEqual(Buffer.from(tile.palette), palette, label);
      assert.deepEqual(Buffer.from(tile.entries), entries, label);
    }
  }
});

test('joins image data split over several chunks and takes tvIX only before the data', async () => {
  const width = 40, height = 30;
  const indices = pattern(width, height, 8).map((value) => value % 5);
  const palette = Buffer.from(Array.from({ length: 15 }, (unused, i) => i * 10));
  const entries = Buffer.from([0, 3, 5, 6, 7]);
  const split = await decodePalettePng(makePng({ width, height, indices, palette, entries, idat: 4,
                                                 filters: [4, 1] }));
  assert.deepEqual(Array.from(split.indices), indices);
  assert.deepEqual(Buffer.from(split.entries), entries);
  const late = await decodePalettePng(makePng({ width, height, indices, palette, entries, tvixAfterData: true }));
  assert.equal(late.entries, null, 'a tvIX chunk after the image data is not the one the station writes');
  const none = await decodePalettePng(makePng({ width, height, indices, palette }));
  assert.equal(none.entries, null);
});

test('rejects files that are not whole palette PNGs', async () => {
  const width = 4, height = 4, palette = Buffer.from([0, 0, 0, 255, 255, 255]);
  const indices = pattern(width, height, 1);
  const good = { width, height, depth: 1, indices, palette };
  const cut = (buffer, length) => buffer.slice(0, length);
  const cases = [
    ['a JPEG', new Uint8Array([0xff, 0xd8, 0xff, 0xe0, 0, 16, 74, 70, 73, 70, 0, 1]).buffer, /not a PNG file/],
    ['no bytes at all', new ArrayBuffer(0), /not a PNG file/],
    ['true colour', makePng({ ...good, colorType: 2, depth: 8, data: Buffer.alloc(height * (width * 3 + 1)) }),
     /not a palette PNG/],
    ['interlaced', makePng({ ...good, interlace: 1 }), /not a palette PNG/],
    ['16 bits per index', makePng({ ...good, depth: 16, data: Buffer.alloc(height * (width * 2 + 1)) }),
     /not a palette PNG/],
    ['no palette', makePng({ ...good, skip: ['PLTE'] }), /not a palette PNG/],
    ['no image data', makePng({ ...good, skip: ['IDAT'] }), /not a palette PNG/],
    ['no header', makePng({ ...good, skip: ['IHDR'] }), /not a palette PNG/],
    ['a chunk cut short', cut(makePng(good), 8 + 25 + 10), /PNG chunk PLTE cut short/],
    ['rows missing', makePng({ ...good, data: scanlines(indices, width, height - 1, 1, [0]) }),
     /PNG image data cut short/],
    ['an unknown filter', makePng({ ...good, data: Buffer.from([5, 0, 0, 0, 0, 0, 0, 0]) }),
     /unknown PNG filter 5/],
  ];
  for (const [label, buffer, error] of cases)
    await assert.rejects(decodePalettePng(buffer), error, label);
  // Damaged compressed data: the inflater's own error, still a rejection.
  const damaged = new Uint8Array(makePng(good));
  const idat = Buffer.from(damaged).indexOf('IDAT');
  damaged.fill(0xff, idat + 4, idat + 8);
  await assert.rejects(decodePalettePng(damaged.buffer), 'damaged image data');
});
