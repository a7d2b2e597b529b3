// The page's entry points, global functions outside the viewer's modules:
// the page's own functions call them.
/* exported initialize, invalidate */
/* global initialized: writable */

// Builds the viewer inside the element with the given id; the point (in
// level 0 pixels) is where the view is centred, 0, 0 for the page's middle.
// The address's fragment, when there is one, gives the view instead.
function initialize(containerId, x, y) {
  var container = document.getElementById(containerId);
  if (!container || TavrinViewer.instance) return;
  var start = function () {
    var viewer = TavrinViewer.instance = new TavrinViewer.Viewer(container);
    if (location.hash.length > 1) viewer.applyFragment(location.hash);
    else if (x || y) invalidate(x, y, null);
    viewer.started = true;
    TavrinViewer.loadInks(viewer.dataURL('inks.js')).then(function (pages) { viewer.inksLoaded(pages); });
    TavrinViewer.loadRound(viewer.dataURL('rounds.js')).then(function (round) {
      viewer.roundLoaded(round);
    });
    TavrinViewer.loadDue(viewer.dataURL('due.js')).then(function (due) { viewer.dueLoaded(due); });
    viewer.fingerprintReady = TavrinViewer.loadFingerprint(viewer.dataURL('proof.js')).then(function (print) {
      viewer.fingerprintLoaded(print);
    });
    viewer.loadStoredAnswers();
    initialized = true;
  };
  TavrinViewer.addStyles(start);
}

// Redraws the view at the level; null coordinates keep the current position.
function invalidate(x, y, level) {
  if (TavrinViewer.instance) TavrinViewer.instance.invalidate(x, y, level);
}
