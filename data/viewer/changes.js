// A later proof round: its title above the view, the Changes panel (what
// changed on each page since the earlier round), the marks on the
// thumbnails, and the answers that stay with unchanged pages.
'use strict';

var hostPage = require('./host-page');
var dom = require('./dom');
var geometry = require('./geometry');
var rounds = require('./proof-round');

var proof = hostPage.proof;
var element = dom.element, button = dom.button;

exports.buildRoundBar = function () {
  var self = this;
  this.roundBar = element('div', 'tv-roundbar');
  this.roundBar.hidden = true;
  this.roundTitle = element('strong', 'tv-roundtitle');
  this.roundTitle.id = 'tv-roundtitle';
  this.roundSummary = element('span', 'tv-roundsummary');
  var show = button('See the changes', 'See what changed since the earlier round', function () {
    self.selectTab(self.tabButtons.indexOf(self.changesTab));
    self.changesTab.focus();
  });
  this.roundBar.append(this.roundTitle, this.roundSummary, show);
  return this.roundBar;
};

exports.buildChanges = function () {
  var self = this;
  var panel = element('div', 'tv-panel');
  panel.id = 'tv-changespanel';
  var overlay = element('label', 'tv-ink tv-overlayswitch');
  this.overlaySwitch = element('input');
  this.overlaySwitch.type = 'checkbox';
  this.overlaySwitch.id = 'tv-overlay';
  this.overlaySwitch.setAttribute('role', 'switch');
  this.overlaySwitch.checked = this.overlayWanted;
  this.overlaySwitch.addEventListener('change', function () {
    self.overlayWanted = self.overlaySwitch.checked;
    self.requestDraw();
  });
  var swatch = element('span', 'tv-swatch tv-changeswatch');
  swatch.setAttribute('aria-hidden', 'true');
  overlay.append(this.overlaySwitch, swatch, document.createTextNode('Show the changes on the page'));
  panel.append(overlay, this.buildCompareControls());
  this.changeNote = element('p', 'tv-text');
  this.changeNote.hidden = true;
  panel.append(this.changeNote);
  this.changeList = element('ol', 'tv-changelist');
  this.changeList.setAttribute('aria-label', 'Pages');
  panel.append(this.changeList);
  return panel;
};

// rounds.js has been read (null when there is none): a later round shows
// what changed; a first proof, or a file that is not to be trusted, shows
// nothing of it.
exports.roundLoaded = function (value) {
  var round = value === null ? null : rounds.validRound(value, proof.numberofpages);
  this.round = round && round.round > 1 ? round : null;
  if (!this.round) return;
  this.roundTitle.textContent = rounds.roundTitle(this.round);
  var counts = { changed: 0, 'new': 0, removed: 0 };
  this.round.pages.forEach(function (entry) { if (counts[entry.state] !== undefined) counts[entry.state]++; });
  var parts = [];
  if (counts.changed) parts.push(counts.changed + (counts.changed === 1 ? ' page' : ' pages') + ' changed');
  if (counts['new']) parts.push(counts['new'] + ' new');
  if (counts.removed) parts.push(counts.removed + ' removed');
  var since = ' since round ' + rounds.earlierRound(this.round);
  this.roundSummary.textContent = !this.round.known ? 'what changed' + since + ' is not known' :
                                  (parts.length ? parts.join(', ') : 'nothing changed') + since;
  this.changeNote.hidden = this.round.known;
  this.changeNote.textContent = 'The station could not compare this round with round ' +
                                rounds.earlierRound(this.round) + ': please check every page.';
  this.roundBar.hidden = false;
  this.changesTab.hidden = false;
  this.compareLabel.textContent = 'Compare with round ' + rounds.earlierRound(this.round);
  this.fillChanges();
  this.markThumbnails();
  this.markAnswered();
  // A link that hides inks keeps their switches in front.
  if (!this.hidden.size) this.selectTab(this.tabButtons.indexOf(this.changesTab));
  this.showAnswer();
  this.resize();
  this.showPageRound();
};

exports.fillChanges = function () {
  var self = this, round = this.round;
  this.changeList.textContent = '';
  round.pages.forEach(function (entry) {
    var item = element('li', 'tv-change tv-change-' + entry.state);
    var label = 'Page ' + entry.page + ': ' + rounds.stateText(entry, round);
    if (entry.state === 'removed') {
      item.append(element('span', 'tv-changepage', label));
    } else {
      var go = button(label, entry.area ? 'Show the changes on page ' + entry.page : 'Show page ' + entry.page,
                      function () { self.goToChange(entry.page); });
      go.className = 'tv-button tv-changepage';
      // Named as it reads; the tool tip says what it does.
      go.setAttribute('aria-label', label);
      item.append(go);
    }
    var lines = rounds.changeLines(entry);
    if (entry.carried) lines.push(rounds.carriedText(entry.carried));
    if (lines.length) {
      var list = element('ul', 'tv-changelines');
      lines.forEach(function (line) { list.append(element('li', '', line)); });
      item.append(list);
    }
    self.changeList.append(item);
  });
};

// Changed and new pages marked on the thumbnails, in words for a screen reader.
exports.markThumbnails = function () {
  var self = this, round = this.round;
  Array.prototype.forEach.call(this.thumbnails.children, function (item, index) {
    var entry = rounds.pageEntry(round, index + 1);
    var state = entry && (entry.state === 'changed' || entry.state === 'new') ? entry.state : '';
    item.classList.toggle('tv-thumb-changed', state === 'changed');
    item.classList.toggle('tv-thumb-new', state === 'new');
    item.querySelector('.tv-thumbmark').textContent = state;
    item.dataset.roundWords = state ? rounds.stateText(entry, round) : '';
    self.nameThumbnail(item, index + 1);
  });
};

// The earlier round's answer that stays with the page, or null.
exports.carriedFor = function (page) {
  var entry = rounds.pageEntry(this.round, page);
  return entry && entry.carried ? entry.carried : null;
};

// A page of the Changes panel: shown, and its changed area brought into view.
exports.goToChange = function (page) {
  var entry = rounds.pageEntry(this.round, page);
  if (page !== this.page) this.showPage(page);
  if (!entry || !entry.area) return;
  var view = geometry.areaView(entry.area, this.viewWidth, this.viewHeight, this.fitScale());
  this.setScale(view.scale);
  this.centerX = view.centerX;
  this.centerY = view.centerY;
  this.clampCenter();
  this.viewChanged();
};

// What the round says about the page now shown: its row in the panel,
// whether it can be compared with the earlier round.
exports.showPageRound = function () {
  if (!this.round) return;
  var page = this.page;
  Array.prototype.forEach.call(this.changeList.children, function (item, index) {
    item.classList.toggle('tv-change-current', this.round.pages[index].page === page);
  }, this);
  this.showCompare();
  this.requestDraw();
};
