// A later proof round as rounds.js beside the page describes it: which
// pages and plates changed since the earlier round, where, and the answers
// that stay with unchanged pages. Checked strictly, since the customer
// judges the proof by it: anything malformed is taken for a first proof.
// The texts the viewer shows for it. No page, no DOM.
'use strict';

var STATES = ['same', 'changed', 'new', 'removed'];
var PLATE_CHANGES = ['changed', 'new', 'gone'];
var CARRIED = { approve: 'Approved', changes: 'Changes requested' };

function isCount(value, least) {
  return typeof value === 'number' && value === Math.floor(value) && value >= least && value <= 0x7fffffff;
}

function isText(value) {
  return typeof value === 'string' && value.length > 0 && value.length <= 1000;
}

function numbers(value, length, least) {
  return Array.isArray(value) && value.length === length && value.every(function (n) { return isCount(n, least); });
}

// A plain object; keys it has beyond those read are left alone, so that a
// later station may add some.
function isObject(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value);
}

// The earlier round's web folder, relative to the page's base address:
// folder names and slashes, never a way up or out of it.
function isDirectory(value) {
  return typeof value === 'string' && value.length <= 500 && /^([A-Za-z0-9_~-][A-Za-z0-9._~-]*\/)+$/.test(value);
}

function validPlate(plate) {
  return isObject(plate) && isText(plate.name) &&
         PLATE_CHANGES.indexOf(plate.change) >= 0 && (plate.pixels === null || isCount(plate.pixels, 0));
}

function validCarried(carried, round) {
  return isObject(carried) && isCount(carried.round, 1) &&
         carried.round < round && Object.prototype.hasOwnProperty.call(CARRIED, carried.decision) &&
         (carried.name === undefined || typeof carried.name === 'string') &&
         (carried.time === undefined || typeof carried.time === 'string');
}

function validPage(entry, round, pages) {
  if (!isObject(entry) ||
      !isCount(entry.page, 1) || STATES.indexOf(entry.state) < 0)
    return false;
  // A page of this proof is one it shows; only a removed one lies beyond.
  if (entry.state !== 'removed' && entry.page > pages) return false;
  // An answer stays only with a page that did not change.
  if (entry.carried !== undefined && (entry.state !== 'same' || !validCarried(entry.carried, round))) return false;
  // A page may say it was compared by the plates' digests, whatever it found.
  if (entry.bydigests !== undefined && typeof entry.bydigests !== 'boolean') return false;
  if (entry.state !== 'changed')
    return ['plates', 'area', 'size', 'resolution', 'map'].every(function (key) { return entry[key] === undefined; });
  if (!Array.isArray(entry.plates) || !entry.plates.every(validPlate)) return false;
  if (entry.size !== undefined && !numbers(entry.size, 4, 1)) return false;
  if (entry.resolution !== undefined && !numbers(entry.resolution, 4, 1)) return false;
  if (entry.map !== undefined && typeof entry.map !== 'boolean') return false;
  if (entry.area !== undefined) {
    var area = entry.area;
    // Both corners inside; digests say nothing about where.
    if (!numbers(area, 4, 0) || area[2] < area[0] || area[3] < area[1] || entry.bydigests) return false;
  } else if (entry.map) {
    return false;
  }
  // A change needs something that changed.
  return entry.plates.length > 0 || entry.size !== undefined || entry.resolution !== undefined;
}

// The round of proofround (rounds.js) for a proof of pages pages:
// {round, jobname, earlier: {round, directory} or null, pages, known} for
// a later round, {round: 1} for a first proof, and null when it is
// anything else (missing or malformed: the viewer then shows a first
// proof). A later round whose earlier job the station no longer keeps has
// no earlier round to show; one the station could not compare has pages
// null (known false).
function validRound(value, pages) {
  if (!isObject(value) || !isCount(value.round, 1)) return null;
  if (value.round === 1) return { round: 1 };
  var earlier = value.earlier;
  if (!isText(value.jobname) || (value.pages !== null && !Array.isArray(value.pages))) return null;
  if (earlier !== undefined && (!isObject(earlier) || !isCount(earlier.round, 1) || earlier.round >= value.round ||
                                !isDirectory(earlier.directory)))
    return null;
  var list = value.pages || [];
  for (var i = 0; i < list.length; i++) {
    var entry = list[i];
    if (!validPage(entry, value.round, pages)) return null;
    // In page order, each page once.
    if (i > 0 && entry.page <= list[i - 1].page) return null;
  }
  return { round: value.round, jobname: value.jobname,
           earlier: earlier ? { round: earlier.round, directory: earlier.directory } : null, pages: list,
           known: value.pages !== null };
}

// The number of the round this one follows.
function earlierRound(round) {
  return round.earlier ? round.earlier.round : round.round - 1;
}

// The entry of a page, or null.
function pageEntry(round, page) {
  if (!round || !round.pages) return null;
  for (var i = 0; i < round.pages.length; i++)
    if (round.pages[i].page === page) return round.pages[i];
  return null;
}

function roundTitle(round) {
  return 'Round ' + round.round + ' of ' + round.jobname;
}

// "Approved in round 1, unchanged".
function carriedText(carried) {
  return CARRIED[carried.decision] + ' in round ' + carried.round + ', unchanged';
}

function pixelsText(count) {
  return count + (count === 1 ? ' pixel' : ' pixels');
}

function plateText(plate) {
  var counted = plate.pixels === null ? '' : ', ' + pixelsText(plate.pixels);
  if (plate.change === 'new') return plate.name + ': new plate' + counted;
  if (plate.change === 'gone') return plate.name + ': plate removed' + counted;
  return plate.name + ': ' + (plate.pixels === null ? 'changed' : pixelsText(plate.pixels) + ' changed');
}

function pair(a, b, unit) {
  return (a === b ? String(a) : a + ' \u00D7 ' + b) + unit;
}

// What changed on a page, one line each: size and resolution in words,
// then the plates; where, when known.
function changeLines(entry) {
  var lines = [];
  if (entry.state !== 'changed') return lines;
  if (entry.size)
    lines.push('Page size changed from ' + entry.size[0] + ' \u00D7 ' + entry.size[1] + ' to ' + entry.size[2] +
               ' \u00D7 ' + entry.size[3] + ' pixels');
  if (entry.resolution)
    lines.push('Resolution changed from ' + pair(entry.resolution[0], entry.resolution[1], ' dpi') + ' to ' +
               pair(entry.resolution[2], entry.resolution[3], ' dpi'));
  entry.plates.forEach(function (plate) { lines.push(plateText(plate)); });
  if (entry.area)
    lines.push('Area ' + entry.area[0] + ', ' + entry.area[1] + ' to ' + entry.area[2] + ', ' + entry.area[3]);
  else if (entry.bydigests)
    lines.push('Area unknown: the earlier round\'s pages are no longer at the station');
  return lines;
}

// A page's state in a word or two, as the Changes panel and the
// thumbnails name it.
function stateText(entry, round) {
  if (entry.state === 'same') return 'unchanged';
  if (entry.state === 'new') return 'new in round ' + round.round;
  if (entry.state === 'removed') return 'removed since round ' + earlierRound(round);
  return 'changed since round ' + earlierRound(round);
}

// Whether the earlier round's page can be shown in place of this one: it
// exists and has the same size and resolution.
function comparable(entry) {
  return !!entry && (entry.state === 'same' || (entry.state === 'changed' && !entry.size && !entry.resolution));
}

module.exports = {
  validRound: validRound,
  pageEntry: pageEntry,
  earlierRound: earlierRound,
  roundTitle: roundTitle,
  carriedText: carriedText,
  plateText: plateText,
  changeLines: changeLines,
  stateText: stateText,
  comparable: comparable
};
