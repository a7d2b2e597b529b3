// Printing: the page alone, drawn whole into one picture from its tiles.
'use strict';

var hostPage = require('./host-page');
var geometry = require('./geometry');

var proof = hostPage.proof;

var MAX_PRINT_TILES = 96;   // tiles fetched to print a page
var MAX_PRINT_SIDE = 4096;  // pixels on the longer side of the printed picture

// The sharpest level whose whole page is affordable to fetch; the
// master's own pixels when inks are switched off.
exports.printLevel = function (transform) {
  var full = geometry.fullLevel(proof);
  var tiles = function (level) {
    var across = Math.ceil(proof.maxx * proof.factors[level] / geometry.TILE) + 1;
    var down = Math.ceil(proof.maxy * proof.factors[level] / geometry.TILE) + 1;
    return across * down;
  };
  if (transform) return full >= 0 && !this.noIndices && tiles(full) <= MAX_PRINT_TILES ? full : -1;
  var levels = geometry.usableLevels(proof);
  for (var i = levels.length - 1; i > 0; i--)
    if (tiles(levels[i]) <= MAX_PRINT_TILES) return levels[i];
  return 0;
};

// Draws the whole page from one level into a picture for the printer;
// resolves with false when inks switched off cannot be printed.
exports.preparePrint = function () {
  var self = this, page = this.page, transform = this.inkTransform();
  if (transform === 'pending') transform = null;
  var level = this.printLevel(transform);
  var state = page + '|' + (transform ? transform.key : '');
  if (this.printed === state) return Promise.resolve(true);
  this.printTitle.textContent = proof.jobname + ' \u2013 page ' + page + ' of ' + proof.numberofpages +
                                (this.hidden.size ? ' \u2013 without ' + Array.from(this.hidden).join(', ') : '');
  if (level < 0) {
    this.printPicture.removeAttribute('src');
    this.printTitle.textContent += ': this page is too large to print with inks switched off.';
    return Promise.resolve(false);
  }
  var database = this.database(page, level);
  return database.ready.then(function () {
    var grid = geometry.levelGrid(proof, level, database);
    var k = Math.min(proof.factors[level], MAX_PRINT_SIDE / Math.max(proof.maxx, proof.maxy));
    var canvas = document.createElement('canvas');
    canvas.width = Math.max(1, Math.round(proof.maxx * k));
    canvas.height = Math.max(1, Math.round(proof.maxy * k));
    var context = canvas.getContext('2d');
    context.fillStyle = '#ffffff';
    context.fillRect(0, 0, canvas.width, canvas.height);
    context.imageSmoothingEnabled = k * grid.source / geometry.TILE < 1;
    context.imageSmoothingQuality = 'high';
    var jobs = [];
    for (var row = 0; row < grid.rows; row++)
      for (var column = 0; column < grid.columns; column++)
        jobs.push({ database: database, column: column, row: row, transform: transform, page: page });
    var missing = 0;
    return Promise.all(jobs.map(function (job) {
      return self.loadTile(job).catch(function () {
        missing++;
        return null;
      }).then(function (bitmap) {
        if (!bitmap) return;
        var rect = geometry.tileRect(grid, job.column, job.row);
        var x0 = Math.round(rect.x * k), x1 = Math.round((rect.x + rect.size) * k);
        var y0 = Math.round(rect.y * k), y1 = Math.round((rect.y + rect.size) * k);
        context.drawImage(bitmap, x0, y0, x1 - x0, y1 - y0);
        bitmap.close();
      });
    })).then(function () {
      if (missing) self.printTitle.textContent += ' (' + missing + ' part(s) of the page could not be loaded)';
      self.printPicture.src = canvas.toDataURL('image/png');
      self.printPicture.alt = self.printTitle.textContent;
      self.printed = missing ? '' : state;
      return self.printPicture.decode().then(function () { return true; });
    });
  });
};

// Ctrl+P without the Print button: the page from the tiles in memory
// (level 0 is always there), unless a sharper picture is ready.
exports.printFromMemory = function () {
  var transform = this.inkTransform();
  var state = this.page + '|' + (transform && transform !== 'pending' ? transform.key : '');
  if (this.printed === state) return;
  this.printed = '';
  this.printTitle.textContent = proof.jobname + ' \u2013 page ' + this.page + ' of ' + proof.numberofpages;
  var database = this.databases[this.page + '/0'];
  if (transform || !database || !database.index) {
    this.printPicture.removeAttribute('src');
    this.printTitle.textContent += ': use the Print button to print this page.';
    return;
  }
  var grid = geometry.levelGrid(proof, 0, database), k = proof.factors[0] * 2;
  var canvas = document.createElement('canvas');
  canvas.width = Math.round(proof.maxx * k);
  canvas.height = Math.round(proof.maxy * k);
  var context = canvas.getContext('2d');
  context.fillStyle = '#ffffff';
  context.fillRect(0, 0, canvas.width, canvas.height);
  for (var row = 0; row < grid.rows; row++)
    for (var column = 0; column < grid.columns; column++) {
      var bitmap = this.bitmaps.get(this.page + '/0/' + column + '/' + row);
      if (!bitmap) continue;
      var rect = geometry.tileRect(grid, column, row);
      context.drawImage(bitmap, rect.x * k, rect.y * k, rect.size * k, rect.size * k);
    }
  this.printPicture.src = canvas.toDataURL('image/png');
};

exports.print = function () {
  this.preparePrint().then(function () { window.print(); });
};
