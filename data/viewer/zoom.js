// The zoom in a customer's words: a share of the page's printed size (a
// CSS pixel is 1/96 inch, so 100 % is the page at its printed size on the
// screen), and two named stops: "Actual size" and "Plate pixels 1:1" (one
// screen pixel per plate pixel). Scales are screen (CSS) pixels per master
// pixel; dpi is the master's resolution.
'use strict';

var geometry = require('./geometry');

var ACTUAL_SIZE = 'Actual size';
var PLATE_PIXELS = 'Plate pixels 1:1';
var CSS_DPI = 96;
var SAME = 1.001;  // scales this close are one stop: rounding of wheel, pinch and address

function near(a, b) {
  return a <= b * SAME && b <= a * SAME;
}

// The master's resolution as the zoom counts it: the finer of the two.
function resolution(proof) {
  return Math.max(proof.xresolution, proof.yresolution) || CSS_DPI;
}

function actualScale(dpi) {
  return CSS_DPI / dpi;
}

function printedShare(scale, dpi) {
  return scale * dpi / CSS_DPI;
}

// The label between the zoom buttons; at 96 dpi both stops are one and
// the page's size is what a customer asks about.
function zoomLabel(scale, dpi) {
  if (near(scale, actualScale(dpi))) return ACTUAL_SIZE;
  if (near(scale, 1)) return PLATE_PIXELS;
  return geometry.percent(printedShare(scale, dpi));
}

function zoomTitle(scale, dpi) {
  return 'Zoom ' + geometry.percent(printedShare(scale, dpi)) + ' of the printed size (100\u00A0% is ' +
         'actual size); ' + PLATE_PIXELS + ' is ' + geometry.percent(printedShare(1, dpi));
}

// The steps of "+" and "-": the whole page, the levels' own sizes
// (levelScales), the two named stops and the doubles of one plate pixel
// per screen pixel up to maxScale. Nothing between the whole page and a
// step just above it, but actual size even when it is smaller than the
// whole page (a small page at a high resolution).
function zoomSteps(fit, dpi, levelScales, maxScale) {
  var actual = actualScale(dpi);
  var steps = levelScales.slice();
  for (var scale = 1; scale <= maxScale; scale *= 2) steps.push(scale);
  steps = steps.filter(function (value) { return value > fit * 1.01 && value <= maxScale; });
  steps.push(fit);
  if (actual <= maxScale && !near(actual, fit)) steps.push(actual);
  steps.sort(function (a, b) { return a - b; });
  // One of each cluster; a named stop wins over a level's size beside it.
  return steps.reduce(function (kept, value) {
    var last = kept[kept.length - 1];
    if (last === undefined || !near(last, value)) kept.push(value);
    else if (near(value, actual) || near(value, 1)) kept[kept.length - 1] = near(value, actual) ? actual : 1;
    return kept;
  }, []);
}

// The smallest scale the view goes to: the whole page, or actual size when
// that is smaller.
function minimumScale(fit, dpi) {
  return Math.min(fit, actualScale(dpi));
}

module.exports = {
  ACTUAL_SIZE: ACTUAL_SIZE,
  PLATE_PIXELS: PLATE_PIXELS,
  near: near,
  resolution: resolution,
  actualScale: actualScale,
  printedShare: printedShare,
  zoomLabel: zoomLabel,
  zoomTitle: zoomTitle,
  zoomSteps: zoomSteps,
  minimumScale: minimumScale
};
