// The plates' own arithmetic, on plate combination indices and nothing of
// the page: the densitometer's round aperture and the tints it reads, and
// the colours of one plate shown alone.
'use strict';

var MM_PER_INCH = 25.4;

// The plate pixels of a round aperture of the diameter (mm at print size)
// at the plates' resolution: offsets [dx0, dy0, dx1, dy1, ...] from a pixel
// corner, the pixels whose centres lie inside the circle (an ellipse in
// pixels where the two resolutions differ). Centred on a corner, the
// aperture has as many pixels on each side in both directions, so a
// single-pixel checkerboard reads exactly half whatever the diameter.
function apertureMask(mm, xdpi, ydpi) {
  var rx = mm / MM_PER_INCH * xdpi / 2, ry = mm / MM_PER_INCH * ydpi / 2;
  var reachX = Math.max(1, Math.ceil(rx)), reachY = Math.max(1, Math.ceil(ry));
  var offsets = [];
  for (var dy = -reachY; dy < reachY; dy++) {
    for (var dx = -reachX; dx < reachX; dx++) {
      var u = (dx + 0.5) / rx, v = (dy + 0.5) / ry;
      if (u * u + v * v <= 1) offsets.push(dx, dy);
    }
  }
  // An aperture narrower than a pixel still reads the four around its centre.
  if (!offsets.length) offsets.push(-1, -1, 0, -1, -1, 0, 0, 0);
  return { diameter: mm, reachX: reachX, reachY: reachY, offsets: new Int32Array(offsets) };
}

// The tints under the aperture centred on corner (x, y): indexAt(x, y)
// gives a pixel's plate combination index, or -1 outside the page, which
// the aperture does not count. entry: the page's inks ({inked, plates:
// [{name, bit}]}). Each plate's tint is the share of the counted pixels on
// which it is inked, in percent; the total area coverage is their sum.
// null when no pixel under the aperture is on the page.
function measure(mask, x, y, indexAt, entry) {
  var histogram = new Uint32Array(256), counted = 0, offsets = mask.offsets;
  for (var i = 0; i < offsets.length; i += 2) {
    var index = indexAt(x + offsets[i], y + offsets[i + 1]);
    if (index < 0) continue;
    histogram[index]++;
    counted++;
  }
  if (!counted) return null;
  var total = 0;
  var plates = entry.plates.map(function (plate) {
    var inked = 0;
    for (var index = 0; index < 256; index++)
      if (((index >> plate.bit) & 1) === entry.inked) inked += histogram[index];
    var tint = inked / counted * 100;
    total += tint;
    return { name: plate.name, tint: tint };
  });
  return { pixels: counted, plates: plates, total: total };
}

// A tint as the densitometer shows it: whole percent, as a print shop
// reads dot area.
function tintText(tint) {
  return Math.round(tint) + '\u00A0%';
}

// The colours (R, G, B of each of 256 indices) of one plate alone as it is
// imaged: black where its bit has the page's inked value, white elsewhere.
// bit -1: a plate the page does not have, white throughout.
function soloColors(bit, inked) {
  var colors = new Uint8Array(256 * 3);
  for (var index = 0; index < 256; index++) {
    var value = bit >= 0 && ((index >> bit) & 1) === inked ? 0 : 255;
    colors[index * 3] = colors[index * 3 + 1] = colors[index * 3 + 2] = value;
  }
  return colors;
}

module.exports = { apertureMask: apertureMask, measure: measure, tintText: tintText, soloColors: soloColors };
