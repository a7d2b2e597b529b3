// The tools only the plates can give, in the Inks panel: the densitometer
// (each plate's tint and the total area coverage in a round aperture, read
// from the plate pixels of the full-resolution tiles at any zoom) and the
// solo view (one plate alone, black on white, as it is imaged).
'use strict';

var hostPage = require('./host-page');
var geometry = require('./geometry');
var aperture = require('./aperture');
var dom = require('./dom');

var element = dom.element;

var proof = hostPage.proof;

var APERTURES = [1, 2, 4];  // mm at print size
var MIN_RING = 8;           // CSS pixels: the aperture's ring stays visible on the whole page

exports.buildPlateTools = function () {
  var self = this;
  this.densityOn = false;
  this.densityPoint = null;  // CSS pixels in the view; null: the view's middle
  this.densityKey = '';
  this.apertureSize = 2;
  this.solo = '';            // the plate shown alone, '' for every plate

  var box = this.plateTools = element('div', 'tv-platetools');
  box.append(element('h2', 'tv-heading', 'Densitometer'));
  // A toggle button, not a check box: the panel's check boxes are the inks' own switches.
  this.densityButton = dom.button('Densitometer', 'Densitometer', function () {
    self.setDensitometer(!self.densityOn);
  });
  this.densityButton.setAttribute('aria-pressed', 'false');

  var sizeLabel = element('label', 'tv-field');
  this.apertureChoice = element('select', 'tv-input');
  APERTURES.forEach(function (mm) {
    var option = element('option', '', mm + ' mm');
    option.value = String(mm);
    option.selected = mm === self.apertureSize;
    self.apertureChoice.append(option);
  });
  this.apertureChoice.addEventListener('change', function () {
    self.apertureSize = Number(self.apertureChoice.value);
    self.requestDraw();
  });
  sizeLabel.append(element('span', '', 'Aperture (diameter at print size)'), this.apertureChoice);
  var hint = element('p', 'tv-toolhint', 'Point at the page, or tap it, to read each plate\u2019s tint and the ' +
                     'total area coverage. From the keyboard the aperture stays in the middle of the view and ' +
                     'the arrow keys move the page under it.');

  box.append(this.densityButton, sizeLabel, hint, element('h2', 'tv-heading', 'One plate alone'));
  var soloLabel = element('label', 'tv-field');
  this.soloChoice = element('select', 'tv-input');
  this.soloChoice.addEventListener('change', function () {
    self.solo = self.soloChoice.value;
    self.viewChanged();
  });
  soloLabel.append(element('span', '', 'Show one plate alone, black on white, as it is imaged'), this.soloChoice);
  box.append(soloLabel);

  // On the page: the aperture's ring and the figures read in it.
  this.apertureRing = element('div', 'tv-aperture');
  this.apertureRing.setAttribute('aria-hidden', 'true');
  this.apertureRing.hidden = true;
  this.densityBox = element('div', 'tv-density');
  this.densityBox.setAttribute('role', 'status');
  this.densityBox.setAttribute('aria-label', 'Densitometer reading');
  this.densityBox.hidden = true;
  this.stage.append(this.apertureRing, this.densityBox);
  this.fillPlateTools();
  return box;
};

// Once the inks are known: the plates to choose from, and whether the
// plates can be read at all.
exports.fillPlateTools = function () {
  // Without the pages' inks there are no plates to read.
  var ready = this.inksState === 'ready';
  this.plateTools.hidden = !ready;
  this.soloChoice.textContent = '';
  var none = element('option', '', 'Off: every plate');
  none.value = '';
  this.soloChoice.append(none);
  if (!ready) {
    this.solo = '';
    this.setDensitometer(false);
    return;
  }
  var self = this;
  this.inkNames().forEach(function (name) {
    var option = element('option', '', name);
    option.value = name;
    self.soloChoice.append(option);
  });
  if (this.inkNames().indexOf(this.solo) < 0) this.solo = '';
  this.soloChoice.value = this.solo;
};

exports.setDensitometer = function (on) {
  this.densityOn = on;
  this.densityButton.setAttribute('aria-pressed', on ? 'true' : 'false');
  this.densityKey = '';
  if (on) this.inspector.hidden = true;
  this.requestDraw();
};

// A pointer over the page (or a tap) moves the aperture there.
exports.pointDensitometer = function (point) {
  this.densityPoint = { x: point.x, y: point.y };
  this.placeDensitometer();
};

// After each drawing: the ring where the aperture stands on the page, and
// a new reading when the page, the place or the aperture changed.
exports.placeDensitometer = function () {
  var ring = this.apertureRing, box = this.densityBox;
  if (!this.densityOn) {
    ring.hidden = box.hidden = true;
    this.densityKey = '';
    return;
  }
  var point = this.densityPoint || { x: this.viewWidth / 2, y: this.viewHeight / 2 };
  // The aperture stands on the plate pixel corner nearest the point.
  var x = Math.round(this.centerX + (point.x - this.viewWidth / 2) / this.scale);
  var y = Math.round(this.centerY + (point.y - this.viewHeight / 2) / this.scale);
  box.hidden = false;
  if (x < 0 || y < 0 || x > proof.maxx || y > proof.maxy) {
    ring.hidden = true;
    this.densityKey = 'outside';
    this.densityReading = null;
    box.textContent = 'Point at the page to measure.';
    return;
  }
  var mm = this.apertureSize;
  ring.hidden = false;
  ring.style.left = (this.viewWidth / 2 + (x - this.centerX) * this.scale) + 'px';
  ring.style.top = (this.viewHeight / 2 + (y - this.centerY) * this.scale) + 'px';
  ring.style.width = Math.max(MIN_RING, mm / 25.4 * proof.xresolution * this.scale) + 'px';
  ring.style.height = Math.max(MIN_RING, mm / 25.4 * proof.yresolution * this.scale) + 'px';
  var key = this.page + '/' + x + '/' + y + '/' + mm;
  if (key === this.densityKey) return;
  this.densityKey = key;
  this.measureDensity(this.page, x, y, mm, key);
};

// Reads the tints at corner (x, y) from the full-resolution tiles under
// the aperture, fetching those not kept yet.
exports.measureDensity = function (page, x, y, mm, key) {
  var self = this;
  var entry = this.pageInks(page), full = geometry.fullLevel(proof);
  var unavailable = 'The plates cannot be measured on this proof.';
  if (!entry || full < 0 || this.noIndices) {
    this.showDensity(key, null, unavailable);
    return;
  }
  // The last figures stay, dimmed, while the plate pixels for the new ones load.
  this.densityBox.classList.add('tv-measuring');
  if (!this.densityReading) this.densityBox.textContent = 'Loading the plate pixels\u2026';
  var mask = aperture.apertureMask(mm, proof.xresolution, proof.yresolution);
  var database = this.database(page, full);
  database.ready.then(function () {
    var grid = geometry.levelGrid(proof, full, database);
    var x0 = Math.max(0, x - mask.reachX), x1 = Math.min(proof.maxx - 1, x + mask.reachX - 1);
    var y0 = Math.max(0, y - mask.reachY), y1 = Math.min(proof.maxy - 1, y + mask.reachY - 1);
    // Rows count from the page's foot: the top left pixel's row is the highest.
    var topLeft = geometry.fullTileAt(grid, x0, y0), bottomRight = geometry.fullTileAt(grid, x1, y1);
    var wanted = [];
    for (var column = topLeft.column; column <= bottomRight.column; column++)
      for (var row = bottomRight.row; row <= topLeft.row; row++) wanted.push({ column: column, row: row });
    return Promise.all(wanted.map(function (at) { return self.indexedTile(page, at.column, at.row); }))
      .then(function (tiles) {
        var byPlace = new Map();
        for (var i = 0; i < wanted.length; i++) {
          if (!tiles[i]) return null;
          byPlace.set(wanted[i].column + '/' + wanted[i].row, tiles[i]);
        }
        return aperture.measure(mask, x, y, function (px, py) {
          if (px < 0 || py < 0 || px >= proof.maxx || py >= proof.maxy) return -1;
          var at = geometry.fullTileAt(grid, px, py);
          return byPlace.get(at.column + '/' + at.row).indices[at.offset];
        }, entry);
      });
  }).then(function (reading) {
    self.showDensity(key, reading, reading ? '' : unavailable, mm, x, y);
  }, function () {
    self.showDensity(key, null, 'The plate pixels here could not be loaded: point again to retry.');
    if (self.densityKey === key) self.densityKey = '';
  });
};

exports.showDensity = function (key, reading, failure, mm, x, y) {
  if (this.densityKey !== key) return;
  var box = this.densityBox;
  box.classList.remove('tv-measuring');
  box.textContent = '';
  this.densityReading = reading ? { x: x, y: y, mm: mm, pixels: reading.pixels, plates: reading.plates,
                                    total: reading.total } : null;
  if (!reading) {
    box.textContent = failure;
    return;
  }
  box.append(element('p', 'tv-densityhead', mm + ' mm aperture'));
  var list = element('ul', 'tv-densitylist');
  reading.plates.forEach(function (plate) {
    var item = element('li', '');
    item.append(element('span', '', plate.name), element('span', 'tv-tint', aperture.tintText(plate.tint)));
    list.append(item);
  });
  var total = element('p', 'tv-densitytotal');
  total.append(element('span', '', 'Total area coverage'), element('span', 'tv-tint', aperture.tintText(reading.total)));
  box.append(list, total);
};

// The solo view's colours for the page's indices, in place of the inks
// switched off: null without a plate chosen, 'pending' while the inks are
// not known yet.
exports.soloTransform = function () {
  if (!this.solo) return null;
  if (this.inksState !== 'ready') return 'pending';
  var entry = this.pageInks(this.page);
  if (!entry) return { solo: this.solo, missing: true, key: 'solo' };
  var name = this.solo;
  var plate = entry.plates.filter(function (candidate) { return candidate.name === name; })[0];
  var bit = plate ? plate.bit : -1;
  return { solo: name, colors: aperture.soloColors(bit, entry.inked), key: 'solo' + bit + '.' + entry.inked };
};
