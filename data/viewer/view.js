// The view: its scale and centre on the master, the level drawn for it,
// the zoom steps, the address's fragment that holds it, and the page shown.
'use strict';

var hostPage = require('./host-page');
var geometry = require('./geometry');
var fragments = require('./fragment');
var zoom = require('./zoom');

var proof = hostPage.proof, map = hostPage.map;

var MAX_SCALE = 8;          // screen pixels per master pixel at the deepest zoom
var FRAGMENT_DELAY = 250;   // ms between updates of the address while the view moves

exports.fitScale = function () {
  return Math.min(this.viewWidth / proof.maxx, this.viewHeight / proof.maxy) * 0.96;
};

exports.resize = function () {
  var top = this.root.getBoundingClientRect().top + window.scrollY;
  this.root.style.height = Math.max(320, window.innerHeight - top) + 'px';
  this.viewWidth = Math.max(1, this.stage.clientWidth);
  this.viewHeight = Math.max(1, this.stage.clientHeight);
  var ratio = window.devicePixelRatio || 1;
  this.canvas.width = Math.round(this.viewWidth * ratio);
  this.canvas.height = Math.round(this.viewHeight * ratio);
  this.canvas.style.width = this.viewWidth + 'px';
  this.canvas.style.height = this.viewHeight + 'px';
  if (this.fitted) this.scale = this.fitScale();
  this.clampCenter();
  this.viewChanged();
};

exports.clampCenter = function () {
  var halfWidth = this.viewWidth / 2 / this.scale, halfHeight = this.viewHeight / 2 / this.scale;
  this.centerX = proof.maxx <= 2 * halfWidth ? proof.maxx / 2 :
                 Math.min(Math.max(this.centerX, halfWidth), proof.maxx - halfWidth);
  this.centerY = proof.maxy <= 2 * halfHeight ? proof.maxy / 2 :
                 Math.min(Math.max(this.centerY, halfHeight), proof.maxy - halfHeight);
};

exports.panBy = function (dx, dy) {
  this.centerX -= dx / this.scale;
  this.centerY -= dy / this.scale;
  this.clampCenter();
  this.viewChanged();
};

// The level to draw at a scale: from 100 % inward the master's own pixels;
// below it the coarsest level that still has a tile pixel for (almost)
// every screen pixel.
exports.levelForScale = function (scale) {
  var levels = geometry.usableLevels(proof);
  var full = geometry.fullLevel(proof);
  if (full >= 0 && scale >= 0.999) return full;
  var needed = scale * (window.devicePixelRatio || 1) / 1.25;
  for (var i = 0; i < levels.length; i++)
    if (proof.factors[levels[i]] >= needed) return levels[i];
  return levels[levels.length - 1];
};

// The level drawn for the view: the whole page from level 0, unless a
// small page shows whole at 100 % or more.
exports.viewLevel = function () {
  return this.fitted && this.scale < 0.999 ? 0 : this.levelForScale(this.scale);
};

exports.setScale = function (scale) {
  var fit = this.fitScale();
  this.scale = Math.min(Math.max(scale, zoom.minimumScale(fit, zoom.resolution(proof))), Math.max(MAX_SCALE, fit));
  // Actual size may be smaller than the whole page: that view is not fitted.
  this.fitted = Math.abs(this.scale - fit) <= fit * 0.0001;
  map.zoom = this.viewLevel();
};

exports.zoomAt = function (scale, x, y) {
  var masterX = this.centerX + (x - this.viewWidth / 2) / this.scale;
  var masterY = this.centerY + (y - this.viewHeight / 2) / this.scale;
  this.setScale(scale);
  this.centerX = masterX - (x - this.viewWidth / 2) / this.scale;
  this.centerY = masterY - (y - this.viewHeight / 2) / this.scale;
  this.clampCenter();
  this.viewChanged();
};

// Shows a level at its own size (one tile pixel per screen pixel); level
// 0 is the whole page. The point, in level 0 pixels, becomes the centre.
exports.invalidate = function (x, y, level) {
  if (typeof level === 'number' && level >= 0 && level < proof.factors.length) {
    if (level === 0) {
      this.fitted = true;
      this.scale = this.fitScale();
      map.zoom = 0;
    } else {
      this.setScale(this.naturalScale(level));
    }
  }
  if (typeof x === 'number' && typeof y === 'number' && proof.factors[0] > 0) {
    this.centerX = x / proof.factors[0];
    this.centerY = y / proof.factors[0];
  }
  this.clampCenter();
  this.viewChanged();
};

exports.naturalScale = function (level) {
  return level === 0 ? this.fitScale() : proof.factors[level] / (window.devicePixelRatio || 1);
};

// The zoom steps: each usable level at its own size, actual size, 100 %
// (one screen pixel per plate pixel) and its doubles, so "+" always stops
// at both named stops.
exports.zoomSteps = function () {
  var self = this;
  var levelScales = geometry.usableLevels(proof).filter(function (level) { return level > 0; }).map(function (level) {
    return self.naturalScale(level);
  });
  return zoom.zoomSteps(this.fitScale(), zoom.resolution(proof), levelScales, MAX_SCALE);
};

exports.zoomStep = function (direction) {
  var steps = this.zoomSteps(), current = this.scale, next = null;
  for (var i = 0; i < steps.length; i++) {
    if (direction > 0 && steps[i] > current * 1.001) { next = steps[i]; break; }
    if (direction < 0 && steps[i] < current / 1.001) next = steps[i];
  }
  if (next === null) return;
  this.zoomAt(next, this.viewWidth / 2, this.viewHeight / 2);
};

exports.fit = function () {
  hostPage.zoomMap(0);
};

// The named stops, about the middle of the view.
exports.actualSize = function () {
  this.zoomAt(zoom.actualScale(zoom.resolution(proof)), this.viewWidth / 2, this.viewHeight / 2);
};

exports.platePixels = function () {
  this.zoomAt(1, this.viewWidth / 2, this.viewHeight / 2);
};

exports.showZoom = function () {
  var dpi = zoom.resolution(proof);
  this.indicator.textContent = zoom.zoomLabel(this.scale, dpi);
  this.indicator.title = zoom.zoomTitle(this.scale, dpi);
};

// Everything that follows a change of the view: the indicator, the
// drawing, the address.
exports.viewChanged = function () {
  this.showZoom();
  this.showInksOff();
  this.requestDraw();
  this.scheduleFragment();
};

// The view as the address's fragment.
exports.fragment = function () {
  return fragments.formatFragment({ page: this.page, fitted: this.fitted, scale: this.scale, centerX: this.centerX,
                                    centerY: this.centerY, hidden: Array.from(this.hidden) });
};

exports.scheduleFragment = function () {
  var self = this;
  if (this.fragmentTimer || !this.started) return;
  this.fragmentTimer = setTimeout(function () {
    self.fragmentTimer = null;
    var fragment = self.fragment();
    // Replaced, not pushed: moving the view does not fill the history.
    if (location.hash !== fragment) history.replaceState(history.state, '', fragment);
  }, FRAGMENT_DELAY);
};

exports.applyFragment = function (hash) {
  var asked = fragments.parseFragment(hash, proof.numberofpages);
  var page = asked.page || this.page;
  if (page !== this.page) this.openPage(page);
  if (asked.hide) {
    this.hidden = new Set(asked.hide);
    // A link that hides inks is about them: their switches in front.
    if (asked.hide.length) this.selectTab(this.tabButtons.indexOf(this.inksTab));
    if (this.inksState !== 'loading') this.inksLoaded(this.inks);
  } else if (this.hidden.size) {
    this.hidden = new Set();
  }
  this.syncSwitches();
  if (asked.zoom) {
    this.setScale(asked.zoom);
    this.centerX = asked.x !== null ? asked.x : proof.maxx / 2;
    this.centerY = asked.y !== null ? asked.y : proof.maxy / 2;
  } else {
    this.fitted = true;
    this.scale = this.fitScale();
    map.zoom = 0;
    this.centerX = proof.maxx / 2;
    this.centerY = proof.maxy / 2;
  }
  this.clampCenter();
  this.viewChanged();
};

// Another page opens whole.
exports.showPage = function (page) {
  if (page < 1 || page > proof.numberofpages || page === this.page) return;
  this.openPage(page);
  this.fitted = true;
  this.scale = this.fitScale();
  map.zoom = 0;
  this.centerX = proof.maxx / 2;
  this.centerY = proof.maxy / 2;
  this.viewChanged();
};

exports.openPage = function (page) {
  var self = this;
  this.page = page;
  hostPage.setPageNumber(page);
  this.failed = '';
  this.queue = [];
  this.swatchesPainted = 0;
  this.pageLabel.textContent = 'Page ' + page + ' of ' + proof.numberofpages;
  this.previousButton.disabled = page <= 1;
  this.nextButton.disabled = page >= proof.numberofpages;
  Array.prototype.forEach.call(this.thumbnails.children, function (item, index) {
    item.setAttribute('aria-current', index + 1 === page ? 'page' : 'false');
  });
  this.overview = null;
  var picture = new Image();
  picture.onload = function () {
    if (self.page === page) { self.overview = picture; self.drawNavigator(); }
  };
  picture.src = this.dataURL('overview' + this.pageText(page) + '.png');
  this.inspector.hidden = true;
  // What the answer panel said was about the page before.
  this.setAnswerStatus('', '');
  this.mailBox.hidden = true;
  this.showAnswer();
  this.requestSwatches();
  this.showZoom();
  // Level 0 is small and always drawn under the others while they load.
  this.database(page, 0);
  this.showPageRound();
  this.requestDraw();
};
