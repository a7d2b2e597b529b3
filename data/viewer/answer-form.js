// The customer's answer for one or more pages as the viewer checks, sends
// and mails it: the limits of its fields, its check before sending, what
// the answer endpoint's reply means, the blocks a mail carries, and the
// answers the endpoint has stored as the viewer shows them. No page, no DOM.
'use strict';

var COMMENT_LIMIT = 2000;
var NAME_LIMIT = 100;
var EMAIL_LIMIT = 254;
var NOTE_LIMIT = 20;        // notes one answer carries
var NOTE_TEXT_LIMIT = 500;
var DECISIONS = { approve: 'approved', changes: 'changes requested' };
var DASH = '\u2013';

function mailAddress(address) {
  return 'mailto:' + encodeURIComponent(address).replace(/%40/g, '@');
}

// The job's folder on the web host (the page's data directory without its
// slash): the name the answer endpoint checks.
function jobFolder(dataDirectory) {
  return dataDirectory.replace(/\/$/, '');
}

// JSON in ASCII only, with no markup characters: it travels through mail
// programs and stays inert wherever it is pasted.
function asciiJSON(value) {
  return JSON.stringify(value).replace(/[\u007f-\uffff<>&']/g, function (character) {
    return '\\u' + ('000' + character.charCodeAt(0).toString(16)).slice(-4);
  });
}

// What keeps the answer from being sent, or '' when nothing does.
function answerProblem(answer) {
  if (!answer.decision) return 'Choose Approve or Request changes first.';
  if (answer.email && !/^[^\s@]+@[^\s@]+\.[^\s@]+$/.test(answer.email)) return 'Please check your e-mail address.';
  return '';
}

// The endpoint's reply as {outcome: 'stored' | 'refused' | 'unreachable',
// reason}: ours tells whether the reply carries the endpoint's own header.
// Only the endpoint's own answers count as stored or refused: anything
// else (no PHP on the host, a page that is not the endpoint) goes by mail.
function replyOutcome(status, ours, text) {
  var reason = text.split('\n')[0].trim().slice(0, 300);
  if (status === 201 && reason === 'stored') return { outcome: 'stored' };
  if (ours && (status === 400 || status === 413)) return { outcome: 'refused', reason: reason };
  return { outcome: 'unreachable', reason: ours && reason ? reason : 'HTTP ' + status };
}

// "1", "1-3, 5" (an en dash): page numbers in ascending order, runs of three or more joined.
function pagesText(pages) {
  var sorted = pages.slice().sort(function (a, b) { return a - b; });
  var parts = [];
  for (var i = 0; i < sorted.length; i++) {
    var first = sorted[i];
    while (i + 1 < sorted.length && sorted[i + 1] === sorted[i] + 1) i++;
    parts.push(first === sorted[i] ? String(first) : first + (sorted[i] === first + 1 ? ', ' : DASH) + sorted[i]);
  }
  return parts.join(', ');
}

// "page 2" or "pages 1-3".
function pagesWords(pages) {
  return (pages.length === 1 ? 'page ' : 'pages ') + pagesText(pages);
}

// The endpoint's page field for these pages of a proof of count pages:
// one number, "all", or a comma-separated list.
function pageField(pages, count) {
  if (pages.length === count && count > 1) return 'all';
  return pages.slice().sort(function (a, b) { return a - b; }).join(',');
}

// The answer for several pages as one answer per page, as the station
// reads them from a mail: each with its page's own notes.
function perPage(answer, pages) {
  return pages.slice().sort(function (a, b) { return a - b; }).map(function (page) {
    var one = {};
    Object.keys(answer).forEach(function (key) { one[key] = answer[key]; });
    one.page = page;
    one.notes = answer.notes.filter(function (note) { return note.page === undefined || note.page === page; })
      .map(function (note) { return { x: note.x, y: note.y, text: note.text }; });
    return one;
  });
}

// The mail that carries the answer when the endpoint takes none: a
// sentence, then one block per page that the station reads from a pasted
// mail, stamped with the time. answers is one page's answer or a list of
// them with the same decision. Gives {href, block}: the mailto: address
// and the blocks.
function answerMail(answers, jobName, replyAddress, now) {
  var list = Array.isArray(answers) ? answers : [answers];
  var time = now.toISOString().replace(/\.\d+Z$/, 'Z');
  var block = list.map(function (answer) {
    var stamped = {};
    Object.keys(answer).forEach(function (key) { stamped[key] = answer[key]; });
    stamped.time = time;
    return '-----BEGIN TAVRIN ANSWER-----\r\n' + asciiJSON(stamped) + '\r\n-----END TAVRIN ANSWER-----';
  }).join('\r\n\r\n');
  var pages = list.map(function (answer) { return answer.page; });
  var body = 'My answer for ' + pagesWords(pages) + ' of the proof "' + jobName + '": ' +
             DECISIONS[list[0].decision] + '. Please keep the lines below as they are.\r\n\r\n' + block + '\r\n';
  return {
    href: mailAddress(replyAddress) + '?subject=' + encodeURIComponent(jobName + ' answer') +
          '&body=' + encodeURIComponent(body),
    block: block
  };
}

function isNote(note) {
  return note !== null && typeof note === 'object' && typeof note.x === 'number' && typeof note.y === 'number' &&
         typeof note.text === 'string';
}

// The answers the endpoint gives by GET (oldest first), as far as they are
// answers: anything else in the list is left out.
function storedAnswers(value) {
  if (!Array.isArray(value)) return [];
  return value.filter(function (entry) {
    return entry !== null && typeof entry === 'object' && typeof entry.page === 'number' && entry.page >= 1 &&
           Object.prototype.hasOwnProperty.call(DECISIONS, entry.decision) && typeof entry.name === 'string' &&
           typeof entry.comment === 'string' && typeof entry.time === 'string' &&
           Array.isArray(entry.notes) && entry.notes.every(isNote);
  });
}

function reviewer(name) {
  return name || 'a reviewer without a name';
}

// Each answered page's state: page -> {decision, name, time} of its newest
// answer, whoever sent it.
function pageStates(stored) {
  var states = {};
  stored.forEach(function (entry) {
    states[entry.page] = { decision: entry.decision, name: entry.name, time: entry.time };
  });
  return states;
}

// A page's state in words: "approved by Ann", "waiting for an answer".
function stateText(state) {
  return state ? DECISIONS[state.decision] + ' by ' + reviewer(state.name) : 'waiting for an answer';
}

// The answers as the History lists them, newest first: the lines one send
// stored for several pages (same time, reviewer, decision, comment and
// fingerprint, one after the other) as one entry {pages, decision, name,
// comment, time, notes}.
function historyEntries(stored) {
  var entries = [];
  stored.forEach(function (entry) {
    var last = entries[entries.length - 1];
    if (last && last.time === entry.time && last.name === entry.name && last.decision === entry.decision &&
        last.comment === entry.comment && last.fingerprint === entry.fingerprint &&
        last.pages.indexOf(entry.page) < 0) {
      last.pages.push(entry.page);
      last.notes += entry.notes.length;
      return;
    }
    entries.push({ pages: [entry.page], decision: entry.decision, name: entry.name, comment: entry.comment,
                   time: entry.time, fingerprint: entry.fingerprint, notes: entry.notes.length });
  });
  return entries.reverse();
}

// The notes the stored answers placed on a page, each with its author:
// [{page, x, y, text, name, time}].
function storedNotes(stored, page) {
  var notes = [];
  stored.forEach(function (entry) {
    if (entry.page !== page) return;
    entry.notes.forEach(function (note) {
      notes.push({ page: page, x: note.x, y: note.y, text: note.text, name: reviewer(entry.name), time: entry.time });
    });
  });
  return notes;
}

module.exports = {
  COMMENT_LIMIT: COMMENT_LIMIT,
  NAME_LIMIT: NAME_LIMIT,
  EMAIL_LIMIT: EMAIL_LIMIT,
  NOTE_LIMIT: NOTE_LIMIT,
  NOTE_TEXT_LIMIT: NOTE_TEXT_LIMIT,
  DECISIONS: DECISIONS,
  pagesText: pagesText,
  pagesWords: pagesWords,
  pageField: pageField,
  perPage: perPage,
  storedAnswers: storedAnswers,
  pageStates: pageStates,
  stateText: stateText,
  historyEntries: historyEntries,
  storedNotes: storedNotes,
  mailAddress: mailAddress,
  jobFolder: jobFolder,
  asciiJSON: asciiJSON,
  answerProblem: answerProblem,
  replyOutcome: replyOutcome,
  answerMail: answerMail
};
