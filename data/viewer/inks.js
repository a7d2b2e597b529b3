// The Inks panel: the job's plates, switched off and on, their swatches
// and coverage, and which bits of a tile's indices the inks switched off
// change.
'use strict';

var hostPage = require('./host-page');
var geometry = require('./geometry');
var element = require('./dom').element;
var plateTools = require('./plate-tools');

var proof = hostPage.proof;

exports.buildInks = function () {
  var panel = element('div', 'tv-panel');
  panel.id = 'tv-inks';
  this.inkList = element('ul', 'tv-inks');
  this.inkStatus = element('p', 'tv-inkstatus', 'Loading the inks\u2026');
  panel.append(this.inkList, this.inkStatus, this.buildPlateTools());
  return panel;
};

// Every plate of the job in the order the pages list them.
exports.inkNames = function () {
  var names = [];
  (this.inks || []).forEach(function (entry) {
    entry.plates.forEach(function (plate) { if (names.indexOf(plate.name) < 0) names.push(plate.name); });
  });
  return names;
};

exports.pageInks = function (page) {
  if (!this.inks) return null;
  for (var i = 0; i < this.inks.length; i++)
    if (this.inks[i].page === page) return this.inks[i];
  return null;
};

exports.inksLoaded = function (pages) {
  this.inks = pages;
  this.inksState = pages ? 'ready' : 'missing';
  // Names from the address as the panel lists them (case aside).
  var names = this.inkNames(), hidden = new Set();
  this.hidden.forEach(function (name) {
    if (names.indexOf(name) >= 0) { hidden.add(name); return; }
    var match = names.filter(function (known) { return known.toLowerCase() === name.toLowerCase(); })[0];
    if (match) hidden.add(match);
  });
  this.hidden = pages ? hidden : new Set();
  this.fillInks();
  this.fillPlateTools();
  this.fillCoverage();
  this.requestSwatches();
  this.viewChanged();
};

exports.fillInks = function () {
  var self = this;
  this.inkList.textContent = '';
  this.inkSwitches = new Map();
  this.swatchesPainted = 0;
  if (this.inksState !== 'ready') {
    proof.colors.forEach(function (name) { self.inkList.append(element('li', 'tv-ink', name)); });
    this.inkStatus.textContent = 'Separations are not available for this proof.';
    return;
  }
  this.inkNames().forEach(function (name) {
    var item = element('li', 'tv-ink');
    var label = element('label', 'tv-ink');
    var box = element('input');
    box.type = 'checkbox';
    box.setAttribute('role', 'switch');
    box.checked = !self.hidden.has(name);
    box.addEventListener('change', function () { self.setInk(name, box.checked); });
    var swatch = element('span', 'tv-swatch');
    swatch.setAttribute('aria-hidden', 'true');
    label.append(box, swatch, document.createTextNode(name));
    item.append(label);
    self.inkList.append(item);
    self.inkSwitches.set(name, { box: box, swatch: swatch });
  });
  this.showInkStatus();
};

exports.setInk = function (name, on) {
  if (on) this.hidden.delete(name); else this.hidden.add(name);
  this.viewChanged();
};

exports.syncSwitches = function () {
  var self = this;
  if (!this.inkSwitches) return;
  this.inkSwitches.forEach(function (parts, name) { parts.box.checked = !self.hidden.has(name); });
};

// Each ink's swatch is the colour of that plate alone, from the colour table.
exports.paintSwatches = function (palette) {
  var entry = this.pageInks(this.page);
  if (!entry || !this.inkSwitches || this.swatchesPainted === this.page) return;
  this.swatchesPainted = this.page;
  var paper = 0;
  entry.plates.forEach(function (plate) { if (entry.inked === 0) paper |= 1 << plate.bit; });
  this.inkSwitches.forEach(function (parts, name) {
    var plate = entry.plates.filter(function (candidate) { return candidate.name === name; })[0];
    if (!plate) return;
    var index = entry.inked === 0 ? paper & ~(1 << plate.bit) : paper | (1 << plate.bit);
    parts.swatch.style.background = 'rgb(' + palette[index * 3] + ',' + palette[index * 3 + 1] + ',' +
                                    palette[index * 3 + 2] + ')';
  });
};

// The first level 4 tile gives the swatches from the page's colour table
// (and tells early whether the tiles carry indices at all).
exports.requestSwatches = function () {
  var self = this;
  if (this.inksState !== 'ready' || geometry.fullLevel(proof) < 0 || this.swatchesPainted === this.page) return;
  this.indexedTile(this.page, 0, 0).then(function (tile) {
    if (tile) self.paintSwatches(tile.palette);
  }, function () {});
};

// The inks switched off, in the panel's order (names from an address the
// inks have not confirmed yet as written).
exports.hiddenNames = function () {
  var names = this.inkNames(), hidden = this.hidden;
  var known = names.filter(function (name) { return hidden.has(name); });
  return known.concat(Array.from(hidden).filter(function (name) { return names.indexOf(name) < 0; }));
};

// While any ink is off the toolbar and the whole-page picture (which shows
// every ink) say which.
exports.showInksOff = function () {
  var names = this.hiddenNames();
  var text = names.length ? 'Inks off: ' + names.join(', ') : '';
  this.inksOffBadge.hidden = this.navigatorBadge.hidden = !text;
  if (this.inksOffBadge.textContent === text) return;
  this.inksOffBadge.textContent = this.navigatorBadge.textContent = text;
  this.inksOffBadge.title = text + ': show the inks';
  this.inksOffBadge.setAttribute('aria-label', text + '. Show the inks');
};

exports.showInkStatus = function () {
  if (this.inksState !== 'ready') return;
  var text = 'Switch an ink off to see the page without it.';
  if (this.noIndices) text = 'Separations are not available for this proof.';
  else if (this.notice) text = this.notice;
  else if (this.solo) text = 'Showing ' + this.solo + ' alone, black where its plate is inked.';
  else if (this.hidden.size) text = 'Showing the page without ' + this.hiddenNames().join(', ') + '.';
  this.inkStatus.textContent = text;
};

exports.fillCoverage = function () {
  var box = this.coverageList;
  box.textContent = '';
  if (!this.inks) {
    box.textContent = '\u2014';
    return;
  }
  this.inks.forEach(function (entry) {
    var list = element('ul', 'tv-coverage');
    entry.plates.forEach(function (plate) {
      var figure = typeof plate.coverage === 'number' ? plate.coverage.toFixed(2) + ' %' : 'not known';
      list.append(element('li', '', plate.name + ' ' + figure));
    });
    if (proof.numberofpages > 1 || this.inks.length > 1) box.append(element('div', '', 'Page ' + entry.page));
    box.append(list);
  }, this);
};

// How the hidden inks change an index on this page: bits to set and bits
// to clear ("not inked" is the opposite of the page's inked value); null
// when nothing changes, 'pending' while the inks are not known yet.
exports.inkTransform = function () {
  if (!this.hidden.size || this.inksState === 'missing') return null;
  if (this.inksState !== 'ready') return 'pending';
  var entry = this.pageInks(this.page);
  if (!entry) return null;
  var set = 0, clear = 0, hidden = this.hidden;
  entry.plates.forEach(function (plate) {
    if (!hidden.has(plate.name)) return;
    if (entry.inked === 0) set |= 1 << plate.bit; else clear |= 1 << plate.bit;
  });
  if (!set && !clear) return null;
  return { set: set, clear: clear, key: set + '.' + clear };
};

// The densitometer and the solo view live in this panel: their methods come with it.
Object.keys(plateTools).forEach(function (name) { exports[name] = plateTools[name]; });
