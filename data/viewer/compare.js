// A later round against the earlier one on the page: the change map drawn
// over the proof with an outline round the changed area, and the compare
// mode, which shows the earlier round's tiles in place of this round's
// (flip) or left of a divider the customer drags (swipe), at the same view.
'use strict';

var hostPage = require('./host-page');
var dom = require('./dom');
var geometry = require('./geometry');
var rounds = require('./proof-round');
var TileDatabase = require('./tile-database').TileDatabase;

var proof = hostPage.proof, map = hostPage.map;
var element = dom.element, button = dom.button;

var CHANGE_COLOR = '#ff00ff';
var MAP_ALPHA = 0.6;        // the change map over the proof: the page stays readable under it
var OUTLINE_GAP = 3;        // device pixels between the changed area and its outline
var OUTLINE_MINIMUM = 16;   // device pixels: a change of one pixel shows on the whole page too

exports.buildCompareControls = function () {
  var self = this;
  var box = element('div', 'tv-comparebox');
  box.setAttribute('role', 'group');
  this.compareLabel = element('h2', 'tv-heading', 'Compare');
  this.compareLabel.id = 'tv-comparelabel';
  box.setAttribute('aria-labelledby', this.compareLabel.id);
  var choice = element('div', 'tv-choice');
  this.compareButtons = {};
  [['', 'Off', 'Show this round only'], ['flip', 'Flip', 'Flip between the two rounds at the same view'],
   ['swipe', 'Swipe', 'Show the earlier round left of a divider you drag']].forEach(function (mode) {
    var control = button(mode[1], mode[2], function () { self.setCompare(mode[0]); });
    control.setAttribute('aria-pressed', mode[0] === '' ? 'true' : 'false');
    self.compareButtons[mode[0]] = control;
    choice.append(control);
  });
  this.compareStatus = element('p', 'tv-comparestatus');
  this.compareStatus.id = 'tv-comparestatus';
  this.compareStatus.setAttribute('role', 'status');
  box.append(this.compareLabel, choice, this.compareStatus);
  return box;
};

// Over the view: the flip's button and which round shows, the swipe's
// divider and the rounds either side of it.
exports.buildCompareView = function () {
  var self = this;
  var view = element('div', 'tv-compareview');
  this.flipButton = button('', '', function () { self.flip(); });
  this.flipButton.id = 'tv-flip';
  this.flipButton.className = 'tv-button tv-flip';
  this.leftBadge = element('span', 'tv-roundbadge tv-leftbadge');
  this.rightBadge = element('span', 'tv-roundbadge tv-rightbadge');
  this.divider = element('div', 'tv-divider');
  this.divider.tabIndex = 0;
  this.divider.setAttribute('role', 'slider');
  this.divider.setAttribute('aria-valuemin', '0');
  this.divider.setAttribute('aria-valuemax', '100');
  var moveTo = function (event) {
    var bounds = self.stage.getBoundingClientRect();
    self.setSwipe((event.clientX - bounds.left) / Math.max(1, bounds.width));
  };
  // The divider's own drags and keys: the view neither pans nor zooms for them.
  this.divider.addEventListener('pointerdown', function (event) {
    event.stopPropagation();
    self.divider.setPointerCapture(event.pointerId);
    moveTo(event);
  });
  this.divider.addEventListener('pointermove', function (event) {
    if (self.divider.hasPointerCapture(event.pointerId)) moveTo(event);
  });
  this.divider.addEventListener('keydown', function (event) {
    var steps = { ArrowLeft: -0.05, ArrowRight: 0.05, ArrowDown: -0.05, ArrowUp: 0.05 };
    if (steps[event.key] !== undefined) self.setSwipe(self.swipeAt + steps[event.key]);
    else if (event.key === 'Home') self.setSwipe(0);
    else if (event.key === 'End') self.setSwipe(1);
    else return;
    event.preventDefault();
  });
  // Presses on these are not on the page: the view neither pans, zooms nor takes the pointer.
  [this.flipButton, this.divider].forEach(function (control) {
    control.addEventListener('dblclick', function (event) { event.stopPropagation(); });
  });
  this.flipButton.addEventListener('pointerdown', function (event) { event.stopPropagation(); });
  view.append(this.leftBadge, this.rightBadge, this.divider, this.flipButton);
  // Shown only while comparing.
  view.hidden = true;
  this.compareView = view;
  return view;
};

exports.setSwipe = function (share) {
  this.swipeAt = Math.min(1, Math.max(0, share));
  this.showCompare();
  this.requestDraw();
};

exports.flip = function () {
  this.showEarlier = !this.showEarlier;
  this.showCompare();
  this.requestDraw();
};

// The earlier round's tiles ('earlier') or this round's change map
// ('change') of a page at a level.
exports.roundDatabase = function (kind, page, level) {
  var key = kind + page + '/' + level;
  var self = this;
  if (!this.roundDatabases[key]) {
    var name = (kind === 'earlier' ? 'tile' : 'change') + level + this.pageText(page) + '.tdb';
    var database = new TileDatabase(kind === 'earlier' ? proof.baseurl + this.round.earlier.directory + name :
                                    this.dataURL(name));
    this.roundDatabases[key] = database;
    database.ready.then(function () { self.requestDraw(); }, function () {
      database.failed = true;
      if (kind === 'earlier' && self.compare) self.earlierOffline();
      self.requestDraw();
    });
  }
  return this.roundDatabases[key];
};

// Comparing needs the earlier round's tiles: the mode starts once its
// first tile database of the page has opened, and not at all when the
// earlier round is gone from the web host.
exports.setCompare = function (mode) {
  var self = this;
  var entry = rounds.pageEntry(this.round, this.page);
  this.compareWanted = mode;
  if (!mode || !this.round) {
    this.compare = '';
    this.compareStatus.textContent = '';
    this.showCompare();
    this.requestDraw();
    return;
  }
  if (!rounds.comparable(entry)) {
    this.compareWanted = '';
    this.compareStatus.textContent = this.notComparable(entry);
    return;
  }
  // A round the station no longer keeps is no longer on the web host either.
  if (!this.round.earlier) {
    this.earlierOffline();
    return;
  }
  // A round that was not there before may be there now.
  Object.keys(this.roundDatabases).forEach(function (key) {
    if (self.roundDatabases[key].failed) delete self.roundDatabases[key];
  });
  var page = this.page, database = this.roundDatabase('earlier', page, 0);
  this.compareStatus.textContent = 'Opening round ' + rounds.earlierRound(this.round) + '\u2026';
  database.ready.then(function () {
    if (self.compareWanted !== mode) return;
    // Another page was opened meanwhile: compare that one.
    if (self.page !== page) {
      self.setCompare(mode);
      return;
    }
    self.compare = mode;
    self.showEarlier = mode === 'flip';
    var earlier = 'round ' + rounds.earlierRound(self.round), later = 'round ' + self.round.round;
    self.compareStatus.textContent = mode === 'flip' ? 'Flip shows ' + earlier + ' and ' + later + ' in turn at the same view.' :
                                     'Drag the divider: ' + earlier + ' on its left, ' + later + ' on its right.';
    self.showCompare();
    self.requestDraw();
  }, function () {
    if (self.compareWanted === mode) self.earlierOffline();
  });
};

exports.earlierOffline = function () {
  this.compare = '';
  this.compareWanted = '';
  this.compareStatus.textContent = 'Round ' + rounds.earlierRound(this.round) + ' is no longer online.';
  this.showCompare();
  this.requestDraw();
};

exports.notComparable = function (entry) {
  if (!entry || entry.state === 'new')
    return 'Page ' + this.page + ' is new in round ' + this.round.round + ': there is no earlier page to compare.';
  return 'Page ' + this.page + ' changed its size or resolution: compare the rounds by their pages as a whole.';
};

// The compare controls and the view's badges as the mode and page are.
exports.showCompare = function () {
  var mode = this.compare, round = this.round;
  var self = this;
  Object.keys(this.compareButtons || {}).forEach(function (key) {
    self.compareButtons[key].setAttribute('aria-pressed', key === mode ? 'true' : 'false');
  });
  if (!round) {
    this.compareView.hidden = true;
    return;
  }
  // Another page that cannot be compared ends the mode.
  if (mode && !rounds.comparable(rounds.pageEntry(round, this.page))) {
    this.compare = '';
    this.compareWanted = '';
    this.compareStatus.textContent = this.notComparable(rounds.pageEntry(round, this.page));
    this.showCompare();
    return;
  }
  this.overlaySwitch.checked = this.overlayWanted;
  this.compareView.hidden = !mode;
  var earlier = 'Round ' + rounds.earlierRound(round), later = 'Round ' + round.round;
  this.flipButton.hidden = mode !== 'flip';
  this.divider.hidden = mode !== 'swipe';
  this.rightBadge.hidden = mode !== 'swipe';
  if (mode === 'flip') {
    this.leftBadge.textContent = this.showEarlier ? earlier : later;
    this.leftBadge.classList.toggle('tv-earlierbadge', this.showEarlier);
    this.flipButton.textContent = 'Show ' + (this.showEarlier ? later : earlier).toLowerCase();
    this.flipButton.title = this.flipButton.textContent;
    this.flipButton.setAttribute('aria-label', this.flipButton.textContent);
  } else if (mode === 'swipe') {
    this.leftBadge.textContent = earlier;
    this.leftBadge.classList.add('tv-earlierbadge');
    this.rightBadge.textContent = later;
    var percent = Math.round(this.swipeAt * 100);
    this.divider.style.left = this.swipeAt * 100 + '%';
    this.divider.setAttribute('aria-valuenow', String(percent));
    this.divider.setAttribute('aria-valuetext', earlier + ' on the left ' + percent + ' %');
    this.divider.setAttribute('aria-label', 'Divider: ' + earlier.toLowerCase() + ' on its left, ' +
                              later.toLowerCase() + ' on its right');
  }
};

// The earlier round's page at the view's level, where this round's would
// be; only left of right (device pixels) when given.
exports.drawEarlier = function (context, place, right) {
  var rect = this.pageRect;
  context.save();
  if (right !== undefined) {
    context.beginPath();
    context.rect(0, 0, right, this.canvas.height);
    context.clip();
  }
  context.fillStyle = '#ffffff';
  context.fillRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  var levels = map.zoom === 0 ? [0] : [0, map.zoom];
  for (var i = 0; i < levels.length; i++)
    this.drawTiles(context, place, levels[i], this.roundDatabase('earlier', this.page, levels[i]), 'e',
                   null, !(proof.factors[levels[i]] === 1 && place.k >= 1));
  context.restore();
};

// The change map of the page at the view's level: every tile pixel that
// covers a changed master pixel, crisp at any zoom. While comparing only
// the outline shows, so that the pixels themselves can be compared.
exports.drawChangeMap = function (context, place) {
  var entry = rounds.pageEntry(this.round, this.page);
  if (!entry || !entry.area || !entry.map || !this.overlayWanted || this.compare) return;
  context.save();
  context.globalAlpha = MAP_ALPHA;
  this.drawTiles(context, place, map.zoom, this.roundDatabase('change', this.page, map.zoom), 'c', null, false);
  context.restore();
};

// The changed area on the whole page picture, where the view can be moved to it.
exports.markNavigator = function (context, picture) {
  var entry = rounds.pageEntry(this.round, this.page);
  if (!entry || !entry.area || !this.overlayWanted) return;
  var box = geometry.areaOutline({ k: picture.fit, x: picture.x, y: picture.y }, entry.area, 1, 6);
  context.strokeStyle = CHANGE_COLOR;
  context.lineWidth = 2;
  context.strokeRect(box.x, box.y, box.width, box.height);
};

exports.drawOutline = function (context, place) {
  var entry = rounds.pageEntry(this.round, this.page);
  if (!entry || !entry.area || !this.overlayWanted) return;
  var ratio = window.devicePixelRatio || 1;
  var box = geometry.areaOutline(place, entry.area, OUTLINE_GAP * ratio, OUTLINE_MINIMUM * ratio);
  context.save();
  context.strokeStyle = CHANGE_COLOR;
  context.lineWidth = 2 * ratio;
  // The line stands outside the box: the changed pixels stay clear.
  context.strokeRect(box.x - ratio, box.y - ratio, box.width + 2 * ratio, box.height + 2 * ratio);
  context.restore();
};
