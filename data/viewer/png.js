// Palette PNG decoding: the plate combination indices of a level 4 tile.
'use strict';

function inflate(bytes) {
  var stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
  return new Response(stream).arrayBuffer();
}

function paeth(a, b, c) {
  var p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// A level 4 tile is a palette PNG of the colours it uses; its private
// tvIX chunk gives each palette entry's plate combination index (one byte
// per entry). Resolves with {width, height, indices, palette, entries},
// indices being palette entries and entries the chunk's bytes or null;
// rejects anything else (true colour, interlaced, damaged), since only
// indices show separations.
function decodePalettePng(buffer) {
  var bytes = new Uint8Array(buffer);
  var view = new DataView(buffer);
  var signature = [137, 80, 78, 71, 13, 10, 26, 10];
  for (var s = 0; s < 8; s++)
    if (bytes[s] !== signature[s]) return Promise.reject(new Error('not a PNG file'));
  var header = null, palette = null, entries = null, parts = [], size = 0;
  for (var at = 8; at + 8 <= bytes.length;) {
    var length = view.getUint32(at);
    var type = String.fromCharCode(bytes[at + 4], bytes[at + 5], bytes[at + 6], bytes[at + 7]);
    var data = bytes.subarray(at + 8, at + 8 + length);
    if (data.length !== length) return Promise.reject(new Error('PNG chunk ' + type + ' cut short'));
    if (type === 'IHDR') {
      header = { width: view.getUint32(at + 8), height: view.getUint32(at + 12), depth: bytes[at + 16],
                 colorType: bytes[at + 17], interlace: bytes[at + 20] };
    } else if (type === 'PLTE') {
      palette = data;
    } else if (type === 'tvIX' && palette && !parts.length) {
      entries = data;
    } else if (type === 'IDAT') {
      parts.push(data);
      size += length;
    } else if (type === 'IEND') {
      break;
    }
    at += 12 + length;
  }
  if (!header || header.colorType !== 3 || header.interlace !== 0 || [1, 2, 4, 8].indexOf(header.depth) < 0 ||
      !palette || !parts.length)
    return Promise.reject(new Error('not a palette PNG'));
  var compressed = new Uint8Array(size);
  for (var i = 0, offset = 0; i < parts.length; offset += parts[i].length, i++) compressed.set(parts[i], offset);
  return inflate(compressed).then(function (inflated) {
    var raw = new Uint8Array(inflated);
    var width = header.width, height = header.height, depth = header.depth;
    var stride = Math.ceil(width * depth / 8);
    if (raw.length < height * (stride + 1)) throw new Error('PNG image data cut short');
    var previous = new Uint8Array(stride), line = new Uint8Array(stride);
    var indices = new Uint8Array(width * height);
    var perByte = 8 / depth, mask = (1 << depth) - 1;
    for (var y = 0; y < height; y++) {
      var base = y * (stride + 1), filter = raw[base];
      for (var x = 0; x < stride; x++) {
        var value = raw[base + 1 + x];
        var left = x > 0 ? line[x - 1] : 0, up = previous[x], upLeft = x > 0 ? previous[x - 1] : 0;
        switch (filter) {
        case 0: break;
        case 1: value += left; break;
        case 2: value += up; break;
        case 3: value += (left + up) >> 1; break;
        case 4: value += paeth(left, up, upLeft); break;
        default: throw new Error('unknown PNG filter ' + filter);
        }
        line[x] = value & 255;
      }
      var row = indices.subarray(y * width, (y + 1) * width);
      if (depth === 8) {
        row.set(line.subarray(0, width));
      } else {
        for (var p = 0; p < width; p++)
          row[p] = (line[Math.floor(p / perByte)] >> (8 - depth * (p % perByte + 1))) & mask;
      }
      var swap = previous; previous = line; line = swap;
    }
    return { width: width, height: height, indices: indices, palette: palette, entries: entries };
  });
}

module.exports = { decodePalettePng: decodePalettePng };
