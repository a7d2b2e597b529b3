// What the page's functions reach as TavrinViewer: the viewer, and the
// parts the page's start-up uses.
'use strict';

var hostPage = require('./host-page');
var ink = require('./ink-data');

// The page generator's lines have no viewport settings: without these a
// phone lays the page out 980 pixels wide and shrinks every control.
(function setViewport() {
  var head = document.getElementsByTagName('head')[0];
  if (!head || document.querySelector('meta[name="viewport"]')) return;
  var meta = document.createElement('meta');
  meta.name = 'viewport';
  meta.content = 'width=device-width, initial-scale=1';
  head.appendChild(meta);
})();

// Adds the shared stylesheet of the web host and then the viewer's own
// rules (viewer.css, which travel with the script: the shared stylesheet is
// only uploaded where it is missing, so it may be older than the script);
// calls loaded once the shared one has loaded or failed to.
function addStyles(loaded) {
  var head = document.getElementsByTagName('head')[0];
  var style = document.createElement('link');
  style.rel = 'stylesheet';
  style.href = hostPage.proof.baseurl + hostPage.proof.scriptdirectory + 'tavrin.css';
  style.onload = loaded;
  style.onerror = loaded;
  head.appendChild(style);
  // After the shared stylesheet, so that these rules win over older ones.
  var own = document.createElement('style');
  own.textContent = require('./style');
  head.appendChild(own);
}

module.exports = {
  Viewer: require('./viewer').Viewer,
  TileDatabase: require('./tile-database').TileDatabase,
  decodePalettePng: require('./png').decodePalettePng,
  loadInks: ink.loadInks,
  loadFingerprint: ink.loadFingerprint,
  loadRound: ink.loadRound,
  loadDue: ink.loadDue,
  style: require('./style'),
  addStyles: addStyles,
  instance: null
};
