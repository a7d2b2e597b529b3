// The customer's answer for one page as the viewer checks, sends and mails
// it: the limits of its fields, its check before sending, what the answer
// endpoint's reply means, and the block a mail carries. No page, no DOM.
'use strict';

var COMMENT_LIMIT = 2000;
var NAME_LIMIT = 100;
var EMAIL_LIMIT = 254;
var NOTE_LIMIT = 20;        // notes one answer carries
var NOTE_TEXT_LIMIT = 500;
var DECISIONS = { approve: 'approved', changes: 'changes requested' };

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

// The mail that carries the answer when the endpoint takes none: a
// sentence, then the block the station reads from a pasted mail, stamped
// with the time. Gives {href, block}: the mailto: address and the block.
function answerMail(answer, jobName, replyAddress, now) {
  var stamped = {};
  Object.keys(answer).forEach(function (key) { stamped[key] = answer[key]; });
  stamped.time = now.toISOString().replace(/\.\d+Z$/, 'Z');
  var block = '-----BEGIN TAVRIN ANSWER-----\r\n' + asciiJSON(stamped) + '\r\n-----END TAVRIN ANSWER-----';
  var body = 'My answer for page ' + answer.page + ' of the proof "' + jobName + '": ' +
             DECISIONS[answer.decision] + '. Please keep the lines below as they are.\r\n\r\n' + block + '\r\n';
  return {
    href: mailAddress(replyAddress) + '?subject=' + encodeURIComponent(jobName + ' answer') +
          '&body=' + encodeURIComponent(body),
    block: block
  };
}

module.exports = {
  COMMENT_LIMIT: COMMENT_LIMIT,
  NAME_LIMIT: NAME_LIMIT,
  EMAIL_LIMIT: EMAIL_LIMIT,
  NOTE_LIMIT: NOTE_LIMIT,
  NOTE_TEXT_LIMIT: NOTE_TEXT_LIMIT,
  DECISIONS: DECISIONS,
  mailAddress: mailAddress,
  jobFolder: jobFolder,
  asciiJSON: asciiJSON,
  answerProblem: answerProblem,
  replyOutcome: replyOutcome,
  answerMail: answerMail
};
