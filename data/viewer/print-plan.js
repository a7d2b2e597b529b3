// How a page is printed: the resolution of the printed picture and the
// tiles it is drawn from. The picture is the sharpest of the pyramid's
// resolutions that fits the memory budget; with inks switched off it is
// drawn from the plates' own pixels (the level 4 tiles, the only ones
// that say which inks are where), reduced where the budget asks for it.
// job: the page's data (factors, maxx, maxy, maxzoom, mapviews,
// xresolution, yresolution).
'use strict';

var geometry = require('./geometry');

// Pixels of the printed picture: 64 MB as RGBA, and no larger than the
// canvas a phone's browser still draws.
var PRINT_BUDGET = 1 << 24;
var MAX_SIDE = 16384;  // pixels on either side of the picture

function pictureSize(job, factor) {
  return { width: Math.max(1, Math.round(job.maxx * factor)), height: Math.max(1, Math.round(job.maxy * factor)) };
}

// {source: the level whose tiles are drawn, level: the level whose
// resolution the picture has, factor: picture pixels per master pixel,
// width, height}. separated: inks are switched off and the tiles carry
// the plates. budget: picture pixels (PRINT_BUDGET when left out).
function printPlan(job, separated, budget) {
  var limit = budget || PRINT_BUDGET;
  var full = geometry.fullLevel(job);
  var levels = geometry.usableLevels(job).slice().reverse();
  var level = levels[levels.length - 1];
  for (var i = 0; i < levels.length; i++) {
    var size = pictureSize(job, job.factors[levels[i]]);
    if (size.width * size.height <= limit && Math.max(size.width, size.height) <= MAX_SIDE) {
      level = levels[i];
      break;
    }
  }
  var chosen = pictureSize(job, job.factors[level]);
  return { source: separated && full >= 0 ? full : level, level: level, factor: job.factors[level],
           width: chosen.width, height: chosen.height };
}

function dpiText(job, factor) {
  var x = Math.round(job.xresolution * factor), y = Math.round(job.yresolution * factor);
  return (x === y ? x : x + ' \u00D7 ' + y) + ' dpi';
}

// The line at the printed page's foot.
function printNote(job, plan) {
  var full = geometry.fullLevel(job);
  var from = plan.source === full ? ' from the proof\'s plates' :
             ', reduced from the proof\'s ' + dpiText(job, 1) + ' plates';
  return 'Printed at ' + dpiText(job, plan.factor) + from;
}

module.exports = { PRINT_BUDGET: PRINT_BUDGET, printPlan: printPlan, dpiText: dpiText, printNote: printNote };
