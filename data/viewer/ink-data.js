// The job's data scripts beside the page: the pages' inks (inks.js) and the
// proof's fingerprint (proof.js).
'use strict';
/* global pageinks, proofprint, proofround, proofdue */

// Runs a data script beside the page; resolves with whether it loaded.
function loadScript(url) {
  return new Promise(function (resolve) {
    var script = document.createElement('script');
    script.src = url;
    script.onload = function () { resolve(true); };
    script.onerror = function () { resolve(false); };
    document.getElementsByTagName('head')[0].appendChild(script);
  });
}

// The plates of each page, from inks.js beside the page (written by the Web
// task): var pageinks=[{page, inked, plates:[{name, bit, coverage}]}].
// Jobs made before have no such file.
function loadInks(url) {
  return loadScript(url).then(function () {
    var pages = typeof pageinks !== 'undefined' && Array.isArray(pageinks) ? pageinks : null;
    return pages && validInks(pages) ? pages : null;
  });
}

// The job's fingerprint from proof.js beside the page (written by the Web
// task): var proofprint={job, pages}. Empty for a job made before
// fingerprints, which has no such file.
function loadFingerprint(url) {
  return loadScript(url).then(function () {
    var print = typeof proofprint !== 'undefined' ? proofprint : null;
    return print && typeof print.job === 'string' && /^([0-9a-f]{64})?$/.test(print.job) ? print.job : '';
  });
}

// The proof round from rounds.js beside the page (written by the Web task):
// var proofround={round, ...}, as it stands (see proof-round.js); null for
// a proof made before rounds, which has no such file.
function loadRound(url) {
  return loadScript(url).then(function () {
    return typeof proofround !== 'undefined' ? proofround : null;
  });
}

// The day by which the customer is asked to answer, from due.js beside the
// page (written by the Web task): var proofdue="YYYY-MM-DD" or null, as it
// stands (see due-date.js); null for a proof made before, which has no file.
function loadDue(url) {
  return loadScript(url).then(function () {
    return typeof proofdue !== 'undefined' ? proofdue : null;
  });
}

// A page's colour table (var pageinks' "table": R, G, B of index 0..255 in
// hex) as 768 bytes; null when the page has none or it is malformed.
function colorTable(entry) {
  if (!entry || typeof entry.table !== 'string' || !/^[0-9a-f]{1536}$/.test(entry.table)) return null;
  var table = new Uint8Array(768);
  for (var i = 0; i < 768; i++) table[i] = parseInt(entry.table.substr(i * 2, 2), 16);
  return table;
}

function validInks(pages) {
  return pages.every(function (entry) {
    return entry && typeof entry.page === 'number' && (entry.inked === 0 || entry.inked === 1) &&
           Array.isArray(entry.plates) && entry.plates.every(function (plate) {
             return plate && typeof plate.name === 'string' && plate.bit >= 0 && plate.bit <= 7 &&
                    plate.bit === Math.floor(plate.bit);
           });
  });
}

module.exports = { loadInks: loadInks, loadFingerprint: loadFingerprint, loadRound: loadRound, loadDue: loadDue,
                   colorTable: colorTable, validInks: validInks };
