// The viewer: one object per page it is built in. This module builds its
// controls; the modules it lists below add the rest of its methods, each
// for one concern.
'use strict';

var hostPage = require('./host-page');
var dom = require('./dom');
var answerForm = require('./answer-form');

var proof = hostPage.proof;
var element = dom.element, button = dom.button;

function Viewer(container) {
  this.container = container;
  this.page = 1;
  this.scale = 1;
  this.centerX = proof.maxx / 2;
  this.centerY = proof.maxy / 2;
  this.fitted = true;
  this.databases = {};
  this.bitmaps = new Map();
  this.loading = new Set();
  this.queue = [];
  this.inFlight = 0;
  this.pointers = new Map();
  this.failed = '';
  this.notice = '';
  this.inks = null;          // the pages of inks.js once loaded
  this.inksState = 'loading';
  this.hidden = new Set();   // names of the inks switched off
  this.indexed = new Map();  // level 4 tiles as indices: key -> promise
  this.noIndices = false;    // the tiles carry no plate combination indices
  this.fingerprint = null;   // the job's fingerprint once proof.js is read ('' when it has none)
  this.notes = [];           // {page, x, y, zoom, text, sent}: master pixels and the zoom they were placed at
  this.draftNote = null;     // a note placed on the page whose text is being written
  this.placing = false;      // the next tap on the page places a note
  this.answers = {};         // page -> {decision, comment} not sent yet
  this.round = null;         // a later round's changes once rounds.js is read
  this.overlayWanted = true; // the changes drawn over a changed page
  this.compare = '';         // '', 'flip' or 'swipe' while comparing with the earlier round
  this.showEarlier = false;  // the flip shows the earlier round
  this.swipeAt = 0.5;        // the swipe's divider, as a share of the view's width
  this.roundDatabases = {};  // the earlier round's tiles and the change maps: key -> database
  this.build();
  this.bindInput();
  this.resize();
  this.openPage(1);
}

Viewer.prototype.dataURL = function (name) {
  return proof.baseurl + proof.datadirectory + name;
};

Viewer.prototype.pageText = function (page) {
  var text = String(page);
  while (text.length < 4) text = '0' + text;
  return '-' + text;
};

Viewer.prototype.build = function () {
  var self = this;
  var root = element('div', 'tv-root');
  // The viewer is what the page is for: one landmark a screen reader can jump to.
  root.setAttribute('role', 'main');
  root.setAttribute('aria-label', 'Proof viewer');
  var toolbar = element('div', 'tv-toolbar');
  toolbar.setAttribute('role', 'toolbar');
  toolbar.setAttribute('aria-label', 'Proof view');

  this.previousButton = button('\u25C0 Page', 'Previous page', function () { self.showPage(self.page - 1); });
  this.pageLabel = element('span', 'tv-label');
  this.pageLabel.setAttribute('aria-live', 'polite');
  this.nextButton = button('Page \u25B6', 'Next page', function () { self.showPage(self.page + 1); });
  var zoomOut = button('\u2212', 'Zoom out', function () { self.zoomStep(-1); });
  var zoomIn = button('+', 'Zoom in', function () { self.zoomStep(1); });
  var fit = button('Whole page', 'Show the whole page', function () { self.fit(); });
  this.indicator = element('span', 'tv-label tv-zoom');
  this.indicator.id = 'zoomindicator';
  this.indicator.setAttribute('aria-live', 'polite');
  this.indicator.setZoomIndicator = function () { self.showZoom(); };
  this.actualButton = button('Actual size', 'Show the page at its printed size', function () { self.actualSize(); });
  this.plateButton = button('Plate pixels 1:1', 'Show one screen pixel per plate pixel', function () {
    self.platePixels();
  });
  this.printButton = button('Print', 'Print the page', function () { self.print(); });
  // Stays in view while any ink is off; a click opens the switches (and a key press moves there).
  this.inksOffBadge = button('', 'Inks off', function () {
    self.selectTab(self.tabButtons.indexOf(self.inksTab));
    self.inksTab.focus();
  });
  this.inksOffBadge.classList.add('tv-inksoff');
  this.inksOffBadge.hidden = true;
  toolbar.append(this.previousButton, this.pageLabel, this.nextButton, element('span', 'tv-gap'),
                 zoomOut, this.indicator, zoomIn, fit, this.actualButton, this.plateButton, element('span', 'tv-gap'),
                 this.inksOffBadge, this.printButton);

  var body = element('div', 'tv-body');
  this.stage = element('div', 'tv-stage');
  this.stage.tabIndex = 0;
  // It takes the arrow keys and + and - itself, and holds controls of its own
  // while comparing rounds (a picture may hold none).
  this.stage.setAttribute('role', 'application');
  this.stage.setAttribute('aria-label', 'Proof of ' + proof.jobname + '. Arrow keys pan, plus and minus zoom.');
  this.canvas = element('canvas', 'tv-canvas');
  this.message = element('div', 'tv-message');
  this.noticeBox = element('div', 'tv-notice');
  this.noticeBox.setAttribute('role', 'status');
  this.inspector = element('div', 'tv-inspector');
  this.inspector.setAttribute('aria-live', 'polite');
  this.inspector.hidden = true;
  this.markers = element('div', 'tv-markers');
  this.markers.setAttribute('aria-hidden', 'true');
  this.stage.append(this.canvas, this.markers, this.buildCompareView(), this.noticeBox, this.message, this.inspector);

  var side = element('div', 'tv-side');
  side.append(this.buildNavigator(), this.buildTabs());
  body.append(this.stage, side);

  // The page's ready() looks for these two.
  var frame = element('iframe', 'tv-hidden');
  frame.name = 'dataframe';
  frame.title = 'data';
  frame.setAttribute('aria-hidden', 'true');
  // Out of the Tab order too: a keyboard's focus would vanish into it.
  frame.tabIndex = -1;
  frame.addEventListener('load', function () { hostPage.dataFrameLoaded(); });
  frame.src = 'about:blank';

  root.append(this.buildDueBar(), this.buildRoundBar(), toolbar, body, frame);
  this.container.appendChild(root);
  this.root = root;

  // What printing shows: the page alone, outside the page's table.
  this.printBox = element('div', 'tv-print');
  this.printTitle = element('p');
  this.printPicture = element('img');
  this.printFoot = element('p', 'tv-printfoot');
  this.printBox.append(this.printTitle, this.printPicture, this.printFoot);
  document.body.appendChild(this.printBox);
};

Viewer.prototype.buildNavigator = function () {
  var self = this;
  var box = element('div', 'tv-navigator');
  box.append(element('h2', 'tv-heading', 'Whole page'));
  this.navigator = element('canvas', 'tv-navcanvas');
  this.navigator.width = 180;
  this.navigator.height = 180;
  this.navigator.setAttribute('aria-label', 'Whole page: click to move the view there');
  this.navigator.setAttribute('role', 'img');
  var move = function (event) {
    if (!self.overview || !self.navRect) return;
    var bounds = self.navigator.getBoundingClientRect();
    var x = (event.clientX - bounds.left) * self.navigator.width / bounds.width;
    var y = (event.clientY - bounds.top) * self.navigator.height / bounds.height;
    self.centerX = (x - self.navRect.x) / self.navRect.w * proof.maxx;
    self.centerY = (y - self.navRect.y) / self.navRect.h * proof.maxy;
    self.fitted = false;
    self.clampCenter();
    self.viewChanged();
  };
  this.navigator.addEventListener('pointerdown', function (event) {
    self.navigator.setPointerCapture(event.pointerId);
    move(event);
  });
  this.navigator.addEventListener('pointermove', function (event) {
    if (event.buttons) move(event);
  });
  // The picture is the overview with every ink: it says which are off in the view.
  var picture = element('div', 'tv-navpicture');
  this.navigatorBadge = element('span', 'tv-navbadge');
  this.navigatorBadge.hidden = true;
  picture.append(this.navigator, this.navigatorBadge);
  box.append(picture);
  this.thumbnails = element('div', 'tv-thumbnails');
  for (var page = 1; proof.numberofpages > 1 && page <= proof.numberofpages; page++) this.thumbnail(page);
  box.append(this.thumbnails);
  return box;
};

Viewer.prototype.thumbnail = function (page) {
  var self = this;
  var item = button('', 'Page ' + page, function () { self.showPage(page); });
  item.className = 'tv-thumb';
  var picture = element('img');
  picture.alt = '';
  picture.src = this.dataURL('overview' + this.pageText(page) + '.png');
  // The spaces keep the number and the marks apart as words, as the name says them.
  var words = element('span', 'tv-thumbwords');
  words.id = 'tv-thumbwords-' + page;
  words.hidden = true;
  item.append(picture, element('span', '', String(page)), ' ', element('span', 'tv-thumbmark'), ' ',
              element('span', 'tv-thumbstate'), words);
  item.setAttribute('aria-describedby', words.id);
  this.thumbnails.append(item);
};

// A page picture is named by what it shows, in that order ("Page 2 changed
// \u2713 Ann"), so that someone who says what they see (voice control) finds
// it; what its marks mean (the round's change, the answer) describes it.
Viewer.prototype.nameThumbnail = function (item, page) {
  var shown = Array.prototype.map.call(item.querySelectorAll('.tv-thumbmark, .tv-thumbstate'),
                                       function (mark) { return mark.textContent; });
  var name = ['Page ' + page].concat(shown).filter(Boolean).join(' ');
  var meaning = [item.dataset.roundWords, item.dataset.answerWords].filter(Boolean).join('; ');
  item.setAttribute('aria-label', name);
  item.title = meaning ? name + ': ' + meaning : name;
  item.querySelector('.tv-thumbwords').textContent = meaning;
};

Viewer.prototype.buildTabs = function () {
  var tabs = element('div', 'tv-tabs');
  var list = element('div', 'tv-tablist');
  list.setAttribute('role', 'tablist');
  var panels = [];
  var names = ['Inks', 'Details', 'Reply', 'Notes', 'Changes', 'History', 'Help'];
  var contents = [this.buildInks(), this.buildDetails(), this.buildReply(), this.buildNotes(), this.buildChanges(),
                  this.buildHistory(), this.buildHelp()];
  var tabButtons = names.map(function (name, index) {
    var tab = button(name, name, function () { select(index); });
    tab.setAttribute('role', 'tab');
    tab.id = 'tv-tab-' + name.toLowerCase();
    var panel = contents[index];
    panel.setAttribute('role', 'tabpanel');
    panel.setAttribute('aria-labelledby', tab.id);
    panels.push(panel);
    list.append(tab);
    return tab;
  });
  function select(index) {
    tabButtons.forEach(function (tab, i) {
      tab.setAttribute('aria-selected', i === index ? 'true' : 'false');
      tab.tabIndex = i === index ? 0 : -1;
      panels[i].hidden = i !== index;
    });
  }
  list.addEventListener('keydown', function (event) {
    var current = tabButtons.indexOf(document.activeElement);
    if (current < 0 || (event.key !== 'ArrowRight' && event.key !== 'ArrowLeft')) return;
    var next = current;
    // A tab this proof has no use for is hidden and skipped.
    do next = (next + (event.key === 'ArrowRight' ? 1 : tabButtons.length - 1)) % tabButtons.length;
    while (tabButtons[next].hidden && next !== current);
    select(next);
    tabButtons[next].focus();
    event.preventDefault();
  });
  tabs.append(list);
  panels.forEach(function (panel) { tabs.append(panel); });
  select(1);
  this.selectTab = select;
  this.tabButtons = tabButtons;
  // Only a later round has changes to show.
  this.changesTab = tabButtons[names.indexOf('Changes')];
  this.inksTab = tabButtons[names.indexOf('Inks')];
  this.notesTab = tabButtons[names.indexOf('Notes')];
  this.changesTab.hidden = true;
  return tabs;
};

Viewer.prototype.buildDetails = function () {
  var panel = element('div', 'tv-panel');
  panel.id = 'itemframe';
  var list = element('dl', 'tv-details');
  var add = function (term, value) {
    list.append(element('dt', '', term));
    var description = element('dd', '');
    if (typeof value === 'string') description.textContent = value;
    else description.append(value);
    list.append(description);
  };
  add('Job', proof.jobname);
  add('Pages', String(proof.numberofpages));
  add('Resolution', proof.xresolution === proof.yresolution ? proof.xresolution + ' dpi' :
                    proof.xresolution + ' \u00D7 ' + proof.yresolution + ' dpi');
  add('Page size', (proof.maxx / proof.xresolution * 25.4).toFixed(0) + ' \u00D7 ' +
                   (proof.maxy / proof.yresolution * 25.4).toFixed(0) + ' mm');
  add('Created', proof.creationdate);
  var inks = element('ul', 'tv-colors');
  proof.colors.forEach(function (name) { inks.append(element('li', '', name)); });
  if (!proof.colors.length) inks.append(element('li', '', '\u2014'));
  add('Colours', inks);
  this.coverageList = element('div', 'tv-coverages', '\u2014');
  add('Ink coverage', this.coverageList);
  this.fingerprintBox = element('div', 'tv-fingerprintbox', 'Loading\u2026');
  add('Fingerprint', this.fingerprintBox);
  panel.append(list);
  return panel;
};

Viewer.prototype.buildReply = function () {
  var panel = element('div', 'tv-panel');
  var text = element('div', 'tv-text');
  // The approval and help texts are the shop's own HTML.
  text.innerHTML = proof.approvaltext || 'Please check every page, then approve it or request changes below.';
  var link = element('a', 'tv-reply', 'Reply to ' + (proof.replyemailname || proof.replyemail));
  link.id = 'replylink';
  link.href = answerForm.mailAddress(proof.replyemail) + '?subject=' + encodeURIComponent('Proof: ' + proof.jobname);
  panel.append(text, this.buildAnswer(), link);
  return panel;
};

Viewer.prototype.buildHelp = function () {
  var panel = element('div', 'tv-panel');
  var text = element('div', 'tv-text');
  if (proof.helptext) text.innerHTML = proof.helptext;
  var keys = element('ul', 'tv-keys');
  [['Drag, arrow keys', 'move around the page'], ['Wheel, + and \u2212, double click, pinch', 'zoom in and out'],
   ['0 or Whole page', 'show the whole page'],
   ['Actual size', 'the page at its printed size; the zoom is a share of it (100\u00A0% is actual size)'],
   ['Plate pixels 1:1', 'one screen pixel per plate pixel, the finest detail of the plates'],
   ['Page Up, Page Down', 'previous and next page'],
   ['Whole page picture', 'click to jump to a place'],
   ['Inks', 'switch plates off and on; from Plate pixels 1:1 inward point at a pixel to see its inks'],
   ['Reply, Notes', 'approve a page or request changes; place notes on the page, then send'],
   ['History', 'every answer sent for this proof, by every reviewer'],
   ['Changes', 'in a later round: what changed since the earlier round, shown on the page or compared with it']
  ].forEach(function (pair) {
    var item = element('li');
    item.append(element('strong', '', pair[0]), document.createTextNode(': ' + pair[1]));
    keys.append(item);
  });
  panel.append(text, keys);
  return panel;
};

[require('./inks'), require('./input'), require('./view'), require('./tiles'), require('./answers'),
 require('./notes'), require('./print'), require('./changes'), require('./compare'),
 require('./history'), require('./due-bar')].forEach(function (methods) {
  Object.keys(methods).forEach(function (name) {
    // A method two modules give would leave one of them unused without a word.
    if (Viewer.prototype[name]) throw new Error('Viewer.' + name + ' comes from two modules');
    Viewer.prototype[name] = methods[name];
  });
});

module.exports = { Viewer: Viewer };
