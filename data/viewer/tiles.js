// Tiles and drawing: the tiles in view fetched from the tile databases and
// decoded, the page drawn on the canvas from them, the whole-page picture
// beside it, and the plate inspector.
'use strict';

var hostPage = require('./host-page');
var geometry = require('./geometry');
var zoom = require('./zoom');
var inkData = require('./ink-data');
var png = require('./png');
var TileDatabase = require('./tile-database').TileDatabase;

var proof = hostPage.proof, map = hostPage.map;
var TILE = geometry.TILE;

var MAX_BITMAPS = 400;      // decoded tiles kept in memory
var MAX_LOADS = 6;          // tile requests in flight
var MAX_INDEXED = 160;      // level 4 tiles kept as plate combination indices
var MAX_SEPARATED = 96;     // level 4 tiles a view with inks switched off may need

exports.database = function (page, level) {
  var key = page + '/' + level;
  var self = this;
  if (!this.databases[key]) {
    var database = new TileDatabase(this.dataURL('tile' + level + this.pageText(page) + '.tdb'));
    this.databases[key] = database;
    database.ready.then(function () { self.requestDraw(); }, function (error) {
      self.failed = 'This page could not be loaded (' + error.message + ').';
      self.requestDraw();
    });
  }
  return this.databases[key];
};

exports.request = function (key, database, column, row, transform) {
  if (this.bitmaps.has(key) || this.loading.has(key)) return;
  this.queue.push({ key: key, database: database, column: column, row: row, transform: transform,
                    page: this.page });
};

// A level 4 tile as plate combination indices and the page's colour table
// as palette; null when the tile is missing, or the tile carries no index
// chunk or the page no colour table (then separations are not
// available: never a wrong colour). Kept for the inspector and for other
// ink choices.
exports.indexedTile = function (page, column, row) {
  var key = page + '/' + column + '/' + row;
  var self = this;
  var known = this.indexed.get(key);
  if (known) {
    this.indexed.delete(key);
    this.indexed.set(key, known);
    return known;
  }
  var database = this.database(page, geometry.fullLevel(proof));
  var entry = this.pageInks(page);
  if (entry && entry.colorTable === undefined) entry.colorTable = inkData.colorTable(entry);
  var table = entry ? entry.colorTable : null;
  var promise = database.ready.then(function () { return database.tile(column, row); }).then(function (blob) {
    if (!blob) return null;
    return blob.arrayBuffer().then(png.decodePalettePng).then(function (tile) {
      var entries = tile.entries;
      if (!table || !entries || tile.width !== TILE || tile.height !== TILE ||
          entries.length * 3 !== tile.palette.length)
        throw new Error('the tile or its page carries no plate combination indices');
      var indices = tile.indices;
      for (var p = 0; p < indices.length; p++) {
        if (indices[p] >= entries.length) throw new Error('a tile pixel outside its palette');
        indices[p] = entries[indices[p]];
      }
      return { width: tile.width, height: tile.height, indices: indices, palette: table };
    }).catch(function () {
      // A tile or ink data of a job made before tiles kept their indices.
      self.noIndices = true;
      self.requestDraw();
      return null;
    });
  });
  // A tile that could not be fetched is asked for again next time.
  promise.catch(function () { if (self.indexed.get(key) === promise) self.indexed.delete(key); });
  this.indexed.set(key, promise);
  while (this.indexed.size > MAX_INDEXED) this.indexed.delete(this.indexed.keys().next().value);
  return promise;
};


// The tile with the hidden inks' bits set to "not inked": every pixel the
// colour table's entry of its changed index.
// A solo view's transform brings its own colours for every index.
function separatedBitmap(tile, transform) {
  var lookup = transform.colors || new Uint8Array(256 * 3);
  for (var index = 0; !transform.colors && index < 256; index++) {
    var shown = (index | transform.set) & ~transform.clear;
    lookup[index * 3] = tile.palette[shown * 3];
    lookup[index * 3 + 1] = tile.palette[shown * 3 + 1];
    lookup[index * 3 + 2] = tile.palette[shown * 3 + 2];
  }
  var picture = new ImageData(tile.width, tile.height);
  var out = picture.data, indices = tile.indices;
  for (var p = 0, o = 0; p < indices.length; p++, o += 4) {
    var at = indices[p] * 3;
    out[o] = lookup[at];
    out[o + 1] = lookup[at + 1];
    out[o + 2] = lookup[at + 2];
    out[o + 3] = 255;
  }
  return createImageBitmap(picture);
}

exports.loadTile = function (job) {
  if (!job.transform)
    return job.database.tile(job.column, job.row).then(function (blob) {
      return blob ? createImageBitmap(blob) : null;
    });
  return this.indexedTile(job.page, job.column, job.row).then(function (tile) {
    return tile ? separatedBitmap(tile, job.transform) : null;
  });
};

exports.pump = function () {
  var self = this;
  while (this.inFlight < MAX_LOADS && this.queue.length) {
    var job = this.queue.shift();
    if (this.bitmaps.has(job.key) || this.loading.has(job.key)) continue;
    this.loading.add(job.key);
    this.inFlight++;
    (function (job) {
      self.loadTile(job).then(function (bitmap) {
        self.bitmaps.set(job.key, bitmap);
      }, function () {
        self.bitmaps.set(job.key, null);
      }).then(function () {
        self.loading.delete(job.key);
        self.inFlight--;
        self.trimBitmaps();
        self.requestDraw();
        self.pump();
      });
    })(job);
  }
};

exports.trimBitmaps = function () {
  if (this.bitmaps.size <= MAX_BITMAPS) return;
  var keep = this.visibleKeys || new Set();
  for (var key of this.bitmaps.keys()) {
    if (this.bitmaps.size <= MAX_BITMAPS * 0.8) break;
    if (keep.has(key) || /^\d+\/0\//.test(key)) continue;
    var bitmap = this.bitmaps.get(key);
    if (bitmap) bitmap.close();
    this.bitmaps.delete(key);
  }
};

exports.requestDraw = function () {
  if (this.drawPending) return;
  this.drawPending = true;
  var self = this;
  requestAnimationFrame(function () {
    self.drawPending = false;
    self.draw();
  });
};

// Screen placement: device pixels per master pixel and the page's origin.
exports.placement = function () {
  var ratio = window.devicePixelRatio || 1;
  var k = this.scale * ratio;
  return {
    k: k,
    x: this.canvas.width / 2 - this.centerX * k,
    y: this.canvas.height / 2 - this.centerY * k
  };
};

// Level 4 tiles a view at the scale needs, at most (the view anywhere).
exports.fullTilesAt = function (scale) {
  var ratio = window.devicePixelRatio || 1;
  var across = Math.min(Math.ceil(proof.maxx / TILE) + 1, Math.ceil(this.canvas.width / (scale * ratio) / TILE) + 1);
  var down = Math.min(Math.ceil(proof.maxy / TILE) + 1, Math.ceil(this.canvas.height / (scale * ratio) / TILE) + 1);
  return across * down;
};

// The smallest zoom at which the view with inks switched off is drawn.
exports.separationScale = function () {
  var scale = 1;
  while (scale > 0.01 && this.fullTilesAt(scale / 1.1) <= MAX_SEPARATED) scale /= 1.1;
  return scale;
};

exports.draw = function () {
  var context = this.canvas.getContext('2d');
  var place = this.placement();
  context.setTransform(1, 0, 0, 1, 0, 0);
  context.fillStyle = '#4b5361';
  context.fillRect(0, 0, this.canvas.width, this.canvas.height);
  var left = Math.round(place.x), top = Math.round(place.y);
  var right = Math.round(place.x + proof.maxx * place.k), bottom = Math.round(place.y + proof.maxy * place.k);
  context.save();
  context.shadowColor = 'rgba(0,0,0,0.45)';
  context.shadowBlur = 12;
  context.fillStyle = '#ffffff';
  context.fillRect(left, top, right - left, bottom - top);
  context.restore();
  this.pageRect = { left: left, top: top, right: right, bottom: bottom };

  context.save();
  context.beginPath();
  context.rect(left, top, right - left, bottom - top);
  context.clip();
  context.imageSmoothingQuality = 'high';
  this.queue = [];
  this.visibleKeys = new Set();
  this.notice = '';
  // One plate alone comes before the inks switched off.
  var transform = this.soloTransform() || this.inkTransform(), full = geometry.fullLevel(proof);
  map.zoom = this.viewLevel();
  if (this.compare === 'flip' && this.showEarlier) {
    // The earlier round in this round's place, as it was: every ink on.
    this.drawEarlier(context, place);
  } else if (!transform) {
    this.drawLevel(context, place, 0, null);
    if (map.zoom !== 0) this.drawLevel(context, place, map.zoom, null);
  } else if (transform === 'pending') {
    // The inks are not known yet: paper rather than inks switched off.
  } else if (transform.solo && (this.noIndices || full < 0 || transform.missing)) {
    this.notice = 'A plate alone is not available for this proof.';
  } else if (this.noIndices || full < 0) {
    this.notice = 'Separations are not available for this proof: switch every ink on to see the page.';
  } else if (this.scale >= 0.999 || this.fullTilesAt(this.scale) <= MAX_SEPARATED) {
    // Only the master's own pixels say which inks are where; no coarser
    // level stands in for them, not even while they load.
    map.zoom = full;
    this.drawLevel(context, place, full, transform);
  } else if (transform.solo) {
    this.notice = transform.solo + ' alone shows from ' + geometry.percent(this.separationScale()) +
                  ' inward: zoom in.';
  } else {
    var from = zoom.printedShare(this.separationScale(), zoom.resolution(proof));
    this.notice = 'With inks switched off the page shows from ' + geometry.percent(from) +
                  ' inward: zoom in, or switch every ink on.';
  }
  if (this.compare === 'swipe') this.drawEarlier(context, place, Math.round(this.swipeAt * this.canvas.width));
  this.drawChangeMap(context, place);
  context.restore();
  this.drawOutline(context, place);
  this.message.textContent = this.failed;
  this.message.hidden = !this.failed;
  this.noticeBox.textContent = this.notice;
  this.noticeBox.hidden = !this.notice;
  this.showInkStatus();
  this.drawNavigator();
  this.placeMarkers(place);
  this.placeDensitometer();
  this.pump();
};

exports.drawLevel = function (context, place, level, transform) {
  // The master's own pixels from 100 % inward are sharp squares; tiles
  // drawn smaller than their pixels are smoothed.
  this.drawTiles(context, place, level, this.database(this.page, level), '', transform,
                 !(proof.factors[level] === 1 && place.k >= 1));
};

// The tiles of a level's database in view, fetched when missing; prefix
// keeps the keys of another round's or the change map's tiles apart.
exports.drawTiles = function (context, place, level, database, prefix, transform, smooth) {
  if (!database.index) {
    // The view is not drawn until another round's database has opened or failed.
    if (prefix && !database.failed) this.visibleKeys.add(prefix + this.page + '/' + level + '/opening');
    return;
  }
  var grid = geometry.levelGrid(proof, level, database);
  var size = grid.source * place.k;
  context.imageSmoothingEnabled = smooth;
  var firstColumn = Math.max(0, Math.floor(-place.x / size));
  var lastColumn = Math.min(grid.columns - 1, Math.floor((this.canvas.width - place.x) / size));
  var suffix = transform ? '#' + transform.key : '';
  for (var row = 0; row < grid.rows; row++) {
    var rect = geometry.tileRect(grid, 0, row);
    var top = place.y + rect.y * place.k;
    if (top > this.canvas.height || top + size < 0) continue;
    for (var column = firstColumn; column <= lastColumn; column++) {
      var key = prefix + this.page + '/' + level + '/' + column + '/' + row + suffix;
      this.visibleKeys.add(key);
      var bitmap = this.bitmaps.get(key);
      if (bitmap === undefined) {
        this.request(key, database, column, row, transform);
        continue;
      }
      if (!bitmap) continue;
      rect = geometry.tileRect(grid, column, row);
      // Edges rounded from master positions: neighbours share them exactly, so no seams.
      var x0 = Math.round(place.x + rect.x * place.k), x1 = Math.round(place.x + (rect.x + rect.size) * place.k);
      var y0 = Math.round(place.y + rect.y * place.k), y1 = Math.round(place.y + (rect.y + rect.size) * place.k);
      context.drawImage(bitmap, x0, y0, x1 - x0, y1 - y0);
    }
  }
};

exports.drawNavigator = function () {
  var context = this.navigator.getContext('2d');
  var width = this.navigator.width, height = this.navigator.height;
  context.clearRect(0, 0, width, height);
  if (!this.overview) return;
  var fit = Math.min((width - 8) / proof.maxx, (height - 8) / proof.maxy);
  var w = proof.maxx * fit, h = proof.maxy * fit, x = (width - w) / 2, y = (height - h) / 2;
  this.navRect = { x: x, y: y, w: w, h: h };
  context.imageSmoothingEnabled = true;
  context.drawImage(this.overview, x, y, w, h);
  this.markNavigator(context, { x: x, y: y, fit: fit });
  context.strokeStyle = '#c00040';
  context.lineWidth = 2;
  var viewW = this.viewWidth / this.scale * fit, viewH = this.viewHeight / this.scale * fit;
  var viewX = x + this.centerX * fit - viewW / 2, viewY = y + this.centerY * fit - viewH / 2;
  context.strokeRect(Math.max(x, viewX), Math.max(y, viewY),
                     Math.min(x + w, viewX + viewW) - Math.max(x, viewX),
                     Math.min(y + h, viewY + viewH) - Math.max(y, viewY));
};

// From 100 % inward: the inks inked at the master pixel under the point.
exports.inspect = function (point) {
  var self = this;
  var entry = this.pageInks(this.page), full = geometry.fullLevel(proof);
  if (this.scale < 0.999 || !entry || full < 0) {
    this.inspector.hidden = true;
    return;
  }
  var x = Math.floor(this.centerX + (point.x - this.viewWidth / 2) / this.scale);
  var y = Math.floor(this.centerY + (point.y - this.viewHeight / 2) / this.scale);
  if (x < 0 || y < 0 || x >= proof.maxx || y >= proof.maxy) {
    this.inspector.hidden = true;
    return;
  }
  var database = this.database(this.page, full);
  var page = this.page;
  this.inspected = page + '/' + x + '/' + y;
  database.ready.then(function () {
    var at = geometry.fullTileAt(geometry.levelGrid(proof, full, database), x, y);
    return self.indexedTile(page, at.column, at.row).then(function (tile) {
      if (self.inspected !== page + '/' + x + '/' + y) return;
      if (!tile) {
        self.inspector.textContent = 'The inks of a pixel are not available for this proof.';
      } else {
        var index = tile.indices[at.offset];
        var inked = entry.plates.filter(function (plate) {
          return ((index >> plate.bit) & 1) === entry.inked;
        }).map(function (plate) { return plate.name; });
        self.inspector.textContent = 'Pixel ' + x + ', ' + y + ': ' + (inked.length ? inked.join(' + ') : 'no ink');
      }
      self.inspector.hidden = false;
    });
  });
};
