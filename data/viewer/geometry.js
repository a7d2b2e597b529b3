// Geometry of the tile pyramid: which levels a job offers and draws from,
// and where each tile of a level stands on the master. job is the page's
// data as the page module reads it (factors, maxy, maxzoom, mapviews).
'use strict';

var TILE = 288;  // tile side in pixels, at every level

function roundHalfEven(value) {
  var floor = Math.floor(value), rest = value - floor;
  if (rest > 0.5) return floor + 1;
  if (rest < 0.5) return floor;
  return floor % 2 === 0 ? floor : floor + 1;
}

// Master pixels covered by one tile of a level: the grid stands on the
// page's bottom-left corner, so the top row reaches above the page.
function levelGrid(job, level, database) {
  var source = roundHalfEven((1 / job.factors[level]) * TILE);
  return {
    source: source,
    columns: database.columns,
    rows: database.rows,
    overhangY: database.rows * source - job.maxy
  };
}

function tileRect(grid, column, row) {
  return {
    x: column * grid.source,
    y: (grid.rows - 1 - row) * grid.source - grid.overhangY,
    size: grid.source
  };
}

// The tile of a level with one tile pixel per master pixel that holds
// master pixel x, y, and the offset of that pixel in the tile's pixels.
function fullTileAt(grid, x, y) {
  var column = Math.floor(x / grid.source), row = grid.rows - 1 - Math.floor((y + grid.overhangY) / grid.source);
  var rect = tileRect(grid, column, row);
  return { column: column, row: row, offset: (y - rect.y) * grid.source + (x - rect.x) };
}

// The level with one tile pixel per master pixel, or -1.
function fullLevel(job) {
  for (var level = job.factors.length - 1; level > 0; level--)
    if (job.factors[level] === 1 && offered(job, level)) return level;
  return -1;
}

function offered(job, level) {
  return level === 0 || (level < job.factors.length && level <= job.maxzoom &&
                         (typeof job.mapviews !== 'number' || ((1 << (level - 1)) & job.mapviews) !== 0));
}

// Levels the viewer draws from: a level that enlarges the master (a job
// below 384 dpi has one) never stands in for the master's own pixels.
function usableLevels(job) {
  var full = fullLevel(job);
  var levels = [];
  for (var level = 0; level < job.factors.length; level++)
    if (offered(job, level) && (full < 0 || job.factors[level] <= 1)) levels.push(level);
  return levels.sort(function (a, b) { return job.factors[a] - job.factors[b]; });
}

// The view that shows a changed area (master pixels [left, top, right,
// bottom], both corners inside) in a view of width x height screen pixels:
// centred on it with room around it, never closer than 100 % (the
// master's own pixels, where every changed pixel shows) nor farther than
// the whole page.
function areaView(area, width, height, fitScale) {
  var areaWidth = area[2] - area[0] + 1, areaHeight = area[3] - area[1] + 1;
  var scale = Math.min(width / (areaWidth * 1.5 + 16), height / (areaHeight * 1.5 + 16));
  return {
    scale: Math.max(fitScale, Math.min(1, scale)),
    centerX: area[0] + areaWidth / 2,
    centerY: area[1] + areaHeight / 2
  };
}

// The outline drawn around a changed area on the canvas, in device
// pixels: just outside the area's pixels (it hides none of them), and at
// least minimum wide and high, so that a change of a few pixels shows on
// the whole page too. place: {k, x, y} (device pixels per master pixel and
// the page's origin).
function areaOutline(place, area, gap, minimum) {
  var left = place.x + area[0] * place.k - gap, right = place.x + (area[2] + 1) * place.k + gap;
  var top = place.y + area[1] * place.k - gap, bottom = place.y + (area[3] + 1) * place.k + gap;
  var grow = function (low, high) {
    var missing = minimum - (high - low);
    return missing > 0 ? [low - missing / 2, high + missing / 2] : [low, high];
  };
  var across = grow(left, right), down = grow(top, bottom);
  return { x: Math.floor(across[0]), y: Math.floor(down[0]), width: Math.ceil(across[1]) - Math.floor(across[0]),
           height: Math.ceil(down[1]) - Math.floor(down[0]) };
}

function percent(scale) {
  var value = scale * 100;
  return (value >= 10 ? Math.round(value) : Math.round(value * 10) / 10) + '\u00A0%';
}

module.exports = {
  TILE: TILE,
  roundHalfEven: roundHalfEven,
  levelGrid: levelGrid,
  tileRect: tileRect,
  fullTileAt: fullTileAt,
  fullLevel: fullLevel,
  offered: offered,
  usableLevels: usableLevels,
  areaView: areaView,
  areaOutline: areaOutline,
  percent: percent
};
