// Change map databases for a page of a proof on disk, written here from a
// function that says which master pixels changed: tile databases with the
// grid of the page's own tile databases, a written tile a 1-bit palette PNG
// (index 0 transparent, 1 opaque #FF00FF), a tile with no change never
// written. A tile pixel is set when any master pixel it covers changed.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const zlib = require('node:zlib');

const TILE = 288;

function roundHalfEven(value) {
  const floor = Math.floor(value), rest = value - floor;
  if (rest !== 0.5) return Math.round(value);
  return floor % 2 === 0 ? floor : floor + 1;
}

function chunk(type, data) {
  const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
  const length = Buffer.alloc(4);
  length.writeUInt32BE(data.length);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(zlib.crc32(body));
  return Buffer.concat([length, body, crc]);
}

// bits: TILE * TILE bytes, 1 where the tile pixel shows a change.
function changeTilePng(bits) {
  const stride = TILE / 8;
  const raw = Buffer.alloc((stride + 1) * TILE);
  for (let y = 0; y < TILE; y++)
    for (let x = 0; x < TILE; x++)
      if (bits[y * TILE + x]) raw[y * (stride + 1) + 1 + (x >> 3)] |= 0x80 >> (x & 7);
  const header = Buffer.alloc(13);
  header.writeUInt32BE(TILE, 0);
  header.writeUInt32BE(TILE, 4);
  header.set([1, 3, 0, 0, 0], 8);
  return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', header),
                        chunk('PLTE', Buffer.from([0, 0, 0, 255, 0, 255])), chunk('tRNS', Buffer.from([0])),
                        chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
}

function tileDatabase(columns, rows, tiles) {
  const header = Buffer.alloc(20 + columns * rows * 8);
  header.write('vorn', 0, 'latin1');
  header.writeUInt32LE(1, 4);
  header.writeUInt32LE(columns, 8);
  header.writeUInt32LE(rows, 12);
  header.writeUInt32LE(1, 16);
  const parts = [header];
  let offset = 0;
  for (const [index, png] of tiles) {
    header.writeUInt32LE(png.length, 20 + index * 8);
    header.writeUInt32LE(offset, 24 + index * 8);
    parts.push(png);
    offset += png.length;
  }
  return Buffer.concat(parts);
}

// Writes change{level}-{NNNN}.tdb beside the page's tile databases in the
// proof's folder; changed(x, y) for every master pixel of the width x
// height page, area [left, top, right, bottom] holding every change.
function writeChangeMaps(folder, page, width, height, changed, area) {
  const factors = JSON.parse(/var factors=(\[[^\]]*\]);/.exec(fs.readFileSync(path.join(folder, 'index.html'),
                                                                                'latin1'))[1]);
  const number = `-${String(page).padStart(4, '0')}`;
  factors.forEach((factor, level) => {
    const tiles = fs.readFileSync(path.join(folder, `tile${level}${number}.tdb`));
    const columns = tiles.readUInt32LE(8), rows = tiles.readUInt32LE(12);
    const source = roundHalfEven(TILE / factor);
    const overhang = rows * source - height;
    const written = [];
    for (let row = 0; row < rows; row++)
      for (let column = 0; column < columns; column++) {
        const left = column * source, top = (rows - 1 - row) * source - overhang;
        if (left > area[2] || left + source <= area[0] || top > area[3] || top + source <= area[1]) continue;
        const bits = new Uint8Array(TILE * TILE);
        let any = false;
        for (let j = 0; j < TILE; j++) {
          const y0 = top + Math.floor(j * source / TILE), y1 = Math.max(y0, top + Math.ceil((j + 1) * source / TILE) - 1);
          for (let i = 0; i < TILE; i++) {
            const x0 = left + Math.floor(i * source / TILE), x1 = Math.max(x0, left + Math.ceil((i + 1) * source / TILE) - 1);
            for (let y = Math.max(y0, area[1]); !bits[j * TILE + i] && y <= Math.min(y1, area[3]); y++)
              for (let x = Math.max(x0, area[0]); x <= Math.min(x1, area[2]); x++)
                if (changed(x, y)) { bits[j * TILE + i] = 1; any = true; break; }
          }
        }
        if (any) written.push([row * columns + column, changeTilePng(bits)]);
      }
    fs.writeFileSync(path.join(folder, `change${level}${number}.tdb`), tileDatabase(columns, rows, written));
  });
}

module.exports = { writeChangeMaps, changeTilePng, tileDatabase };
