// Printing: the page alone, drawn whole into one picture from its tiles,
// with the resolution it was printed at at its foot.
'use strict';

var hostPage = require('./host-page');
var geometry = require('./geometry');
var printPlan = require('./print-plan');

var proof = hostPage.proof;

var PRINT_LOADS = 6;        // tile requests in flight while a print is prepared
var INKS_WAIT = 100;        // ms between looks at inks still loading

// Runs work(item) for every item, at most limit at once; resolves once all are done.
function eachLimited(items, limit, work) {
  var next = 0;
  var lane = function () {
    if (next >= items.length) return Promise.resolve();
    var item = items[next++];
    return work(item).then(lane);
  };
  var lanes = [];
  for (var i = 0; i < Math.min(limit, items.length); i++) lanes.push(lane());
  return Promise.all(lanes);
}

function pictureBlob(canvas) {
  return new Promise(function (resolve) { canvas.toBlob(resolve, 'image/png'); });
}

exports.showPrintPicture = function (blob) {
  if (this.printURL) window.URL.revokeObjectURL(this.printURL);
  this.printURL = blob ? window.URL.createObjectURL(blob) : '';
  if (this.printURL) this.printPicture.src = this.printURL;
  else this.printPicture.removeAttribute('src');
};

// Draws the whole page into a picture for the printer. Inks switched off
// come from the plates' own pixels, at the sharpest resolution the
// budget allows; a proof without separations prints with every ink and
// says so. Resolves once the picture is ready.
exports.preparePrint = function () {
  var self = this, page = this.page, transform = this.inkTransform();
  if (transform === 'pending') {
    // The inks decide what is printed: wait for them.
    return new Promise(function (resolve) { setTimeout(resolve, INKS_WAIT); }).then(function () {
      return self.preparePrint();
    });
  }
  var separated = !!transform && !this.noIndices && geometry.fullLevel(proof) >= 0;
  if (!separated) transform = null;
  var state = page + '|' + (transform ? transform.key : this.hidden.size ? 'every ink' : '');
  if (this.printed === state) return Promise.resolve(true);
  var plan = printPlan.printPlan(proof, separated);
  var title = proof.jobname + ' \u2013 page ' + page + ' of ' + proof.numberofpages;
  if (separated) title += ' \u2013 without ' + this.hiddenNames().join(', ');
  else if (this.hidden.size) title += ' \u2013 every ink: separations are not available for this proof';
  var database = this.database(page, plan.source);
  return database.ready.then(function () {
    var grid = geometry.levelGrid(proof, plan.source, database);
    var k = plan.factor;
    var canvas = document.createElement('canvas');
    canvas.width = plan.width;
    canvas.height = plan.height;
    var context = canvas.getContext('2d');
    context.fillStyle = '#ffffff';
    context.fillRect(0, 0, canvas.width, canvas.height);
    context.imageSmoothingEnabled = k * grid.source / geometry.TILE < 1;
    context.imageSmoothingQuality = 'high';
    var jobs = [];
    for (var row = 0; row < grid.rows; row++)
      for (var column = 0; column < grid.columns; column++)
        jobs.push({ database: database, column: column, row: row, transform: transform, page: page });
    var missing = 0, done = 0;
    return eachLimited(jobs, PRINT_LOADS, function (job) {
      return self.loadTile(job).catch(function () {
        missing++;
        return null;
      }).then(function (bitmap) {
        self.showPrintProgress(++done, jobs.length);
        if (!bitmap) return;
        var rect = geometry.tileRect(grid, job.column, job.row);
        var x0 = Math.round(rect.x * k), x1 = Math.round((rect.x + rect.size) * k);
        var y0 = Math.round(rect.y * k), y1 = Math.round((rect.y + rect.size) * k);
        context.drawImage(bitmap, x0, y0, x1 - x0, y1 - y0);
        bitmap.close();
      });
    }).then(function () {
      // Tiles without plate combination indices came back empty: print every ink instead.
      if (separated && self.noIndices) return self.preparePrint();
      if (missing) title += ' (' + missing + ' part(s) of the page could not be loaded)';
      return pictureBlob(canvas).then(function (blob) {
        self.printTitle.textContent = title;
        self.printFoot.textContent = printPlan.printNote(proof, plan);
        self.showPrintPicture(blob);
        self.printPicture.alt = title;
        // A print with parts missing is prepared afresh next time.
        self.printed = missing ? '' : state;
        return self.printPicture.decode().then(function () { return true; });
      });
    });
  });
};

exports.showPrintProgress = function (done, total) {
  var button = this.printButton;
  button.textContent = done < total ? 'Preparing ' + Math.floor(done * 100 / total) + '\u00A0%' : 'Print';
};

// Ctrl+P without the Print button: the page from the tiles in memory
// (level 0 is always there), unless a sharper picture is ready.
exports.printFromMemory = function () {
  // The Print button has prepared the picture the browser prints now.
  if (this.printing) return;
  var transform = this.inkTransform();
  var state = this.page + '|' + (transform && transform !== 'pending' ? transform.key : '');
  if (this.printed === state) return;
  this.printed = '';
  this.printTitle.textContent = proof.jobname + ' \u2013 page ' + this.page + ' of ' + proof.numberofpages;
  this.printFoot.textContent = '';
  var database = this.databases[this.page + '/0'];
  if (transform || !database || !database.index) {
    this.showPrintPicture(null);
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
  // beforeprint waits for nobody: the picture has to be there at once.
  if (this.printURL) window.URL.revokeObjectURL(this.printURL);
  this.printURL = '';
  this.printPicture.src = canvas.toDataURL('image/png');
  this.printFoot.textContent = 'Printed at ' + printPlan.dpiText(proof, proof.factors[0]) +
                               ' from the whole-page view: the Print button prints it sharper.';
};

exports.print = function () {
  var self = this;
  if (this.preparing) return;
  this.preparing = true;
  this.printButton.setAttribute('aria-busy', 'true');
  var done = function () {
    self.preparing = false;
    self.printButton.removeAttribute('aria-busy');
    self.showPrintProgress(1, 1);
  };
  this.preparePrint().then(function () {
    done();
    self.printing = true;
    try {
      window.print();
    } finally {
      self.printing = false;
    }
  }, function (error) {
    // Nothing worth paper: the view says why.
    done();
    self.failed = 'The page could not be prepared for printing (' + error.message + ').';
    self.requestDraw();
  });
};
