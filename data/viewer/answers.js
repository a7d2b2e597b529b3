// The Reply panel's answer: a decision per page with a comment, sent to
// the answer endpoint beside the proof, or offered as a mail.
'use strict';

var hostPage = require('./host-page');
var dom = require('./dom');
var form = require('./answer-form');
var rounds = require('./proof-round');

var proof = hostPage.proof;
var element = dom.element, button = dom.button, textField = dom.textField;

var ANSWER_TIMEOUT = 20000; // ms before an answer that is not taken goes by mail

// The reviewer's name and address stay in the browser where it lets them.
function remembered(key) {
  try {
    return window.localStorage.getItem('tavrin.' + key) || '';
  } catch (error) {
    return '';
  }
}

function remember(key, value) {
  try {
    window.localStorage.setItem('tavrin.' + key, value);
  } catch (error) {
    // Storage switched off: the fields are filled in by hand next time.
  }
}

// Resolves with {outcome: 'stored' | 'refused' | 'unreachable', reason}
// (see replyOutcome).
function postAnswer(answer) {
  var fields = new URLSearchParams();
  Object.keys(answer).forEach(function (key) {
    fields.append(key, key === 'notes' ? JSON.stringify(answer.notes) : String(answer[key]));
  });
  var controller = typeof AbortController === 'function' ? new AbortController() : null;
  var timer = controller ? setTimeout(function () { controller.abort(); }, ANSWER_TIMEOUT) : null;
  return fetch(proof.baseurl + proof.scriptdirectory + 'reply.php', {
    method: 'POST', body: fields, cache: 'no-store', signal: controller ? controller.signal : undefined
  }).then(function (response) {
    return response.text().then(function (text) {
      return form.replyOutcome(response.status, response.headers.get('X-Tavrin-Reply') === '1', text);
    });
  }, function (error) {
    return { outcome: 'unreachable', reason: error && error.name === 'AbortError' ? 'no answer in time' : 'no connection' };
  }).then(function (result) {
    if (timer) clearTimeout(timer);
    return result;
  });
}

exports.buildAnswer = function () {
  var self = this;
  var box = element('div', 'tv-answer');
  this.answerHeading = element('h2', 'tv-heading');
  // The earlier round's answer that stays with an unchanged page.
  this.carriedBox = element('div', 'tv-carried');
  this.carriedBox.id = 'tv-carried';
  this.carriedText = element('strong');
  this.carriedBox.append(this.carriedText, element('span', '', 'You can still send a new answer for this page.'));
  var choice = element('div', 'tv-choice');
  choice.setAttribute('role', 'group');
  choice.setAttribute('aria-label', 'Your decision');
  this.approveButton = button('Approve', 'Approve this page', function () { self.decide('approve'); });
  this.approveButton.id = 'tv-approve';
  this.changesButton = button('Request changes', 'Request changes to this page', function () { self.decide('changes'); });
  this.changesButton.id = 'tv-changes';
  choice.append(this.approveButton, this.changesButton);
  var comment = textField('textarea', 'Comment (optional)', form.COMMENT_LIMIT);
  this.commentField = comment.field;
  this.commentField.id = 'tv-comment';
  this.commentField.rows = 3;
  this.commentField.addEventListener('input', function () { self.answerDraft(self.page).comment = self.commentField.value; });
  var name = textField('input', 'Your name', form.NAME_LIMIT);
  this.nameField = name.field;
  this.nameField.id = 'tv-name';
  this.nameField.autocomplete = 'name';
  this.nameField.value = remembered('name');
  var email = textField('input', 'Your e-mail', form.EMAIL_LIMIT);
  this.emailField = email.field;
  this.emailField.id = 'tv-email';
  this.emailField.type = 'email';
  this.emailField.autocomplete = 'email';
  this.emailField.value = remembered('email');
  this.noteCount = element('p', 'tv-notecount');
  this.sendButton = button('Send answer', 'Send your answer for this page', function () { self.sendAnswer(); });
  this.sendButton.id = 'tv-send';
  this.answerStatus = element('p', 'tv-answerstatus');
  this.answerStatus.id = 'tv-answerstatus';
  this.answerStatus.setAttribute('role', 'status');
  // The same answer as a mail, when the web host takes none.
  this.mailBox = element('div', 'tv-mailbox');
  this.mailBox.hidden = true;
  this.mailLink = element('a', 'tv-reply', 'Send the answer by e-mail');
  this.mailLink.id = 'tv-answermail';
  this.mailBlock = element('textarea', 'tv-input tv-block');
  this.mailBlock.readOnly = true;
  this.mailBlock.rows = 4;
  this.mailBlock.setAttribute('aria-label', 'The answer as text to paste into a mail');
  this.mailBox.append(this.mailLink, element('p', '', 'or copy this into a mail to ' + proof.replyemail + ':'),
                      this.mailBlock);
  this.sentList = element('ul', 'tv-sent');
  box.append(this.answerHeading, this.carriedBox, choice, comment.box, name.box, email.box, this.noteCount, this.sendButton,
             this.answerStatus, this.mailBox, this.sentList);
  return box;
};

exports.fingerprintLoaded = function (print) {
  this.fingerprint = print;
  var box = this.fingerprintBox;
  box.textContent = '';
  if (!print) {
    box.textContent = 'not recorded for this proof';
    return;
  }
  var shown = button(print.slice(0, 12) + '\u2026', 'Show the whole fingerprint', function () {
    shown.textContent = print;
    shown.title = 'The proof\'s fingerprint';
  });
  shown.className = 'tv-button tv-fingerprint';
  shown.title = print;
  box.append(shown);
};

exports.answerDraft = function (page) {
  if (!this.answers[page]) this.answers[page] = { decision: '', comment: '' };
  return this.answers[page];
};

exports.decide = function (decision) {
  this.answerDraft(this.page).decision = decision;
  this.showAnswer();
};

// The answer form for the page now shown.
exports.showAnswer = function () {
  if (!this.answerHeading) return;
  var draft = this.answerDraft(this.page);
  this.answerHeading.textContent = 'Your answer for page ' + this.page;
  var carried = this.carriedFor(this.page);
  this.carriedText.textContent = carried ? rounds.carriedText(carried) : '';
  this.carriedBox.hidden = !carried;
  this.carriedBox.classList.toggle('tv-carried-changes', !!carried && carried.decision === 'changes');
  this.approveButton.setAttribute('aria-pressed', draft.decision === 'approve' ? 'true' : 'false');
  this.changesButton.setAttribute('aria-pressed', draft.decision === 'changes' ? 'true' : 'false');
  this.commentField.value = draft.comment;
  this.sendButton.textContent = 'Send answer for page ' + this.page;
  var count = this.pageNotes(this.page, false).length;
  this.noteCount.textContent = count === 0 ? 'No notes on this page (see Notes to place some).' :
                               count + (count === 1 ? ' note' : ' notes') + ' on this page go with the answer.';
};

// The answer for the page as the endpoint and the mail block carry it.
exports.answerFor = function (page) {
  var draft = this.answerDraft(page);
  return {
    job: form.jobFolder(proof.datadirectory),
    page: page,
    decision: draft.decision,
    comment: draft.comment,
    name: this.nameField.value.trim(),
    email: this.emailField.value.trim(),
    fingerprint: this.fingerprint || '',
    notes: this.pageNotes(page, false).map(function (note) { return { x: note.x, y: note.y, text: note.text }; })
  };
};

exports.setAnswerStatus = function (text, kind) {
  this.answerStatus.textContent = text;
  this.answerStatus.className = 'tv-answerstatus' + (kind ? ' tv-' + kind : '');
};

exports.sendAnswer = function () {
  var self = this;
  // Every answer carries the fingerprint: wait for proof.js if it is still on its way.
  Promise.resolve(this.fingerprintReady).then(function () { self.sendAnswerNow(self.page); });
};

exports.sendAnswerNow = function (page) {
  var self = this;
  var answer = this.answerFor(page);
  this.mailBox.hidden = true;
  var problem = form.answerProblem(answer);
  if (problem) {
    this.setAnswerStatus(problem, 'error');
    return;
  }
  remember('name', answer.name);
  remember('email', answer.email);
  this.sendButton.disabled = true;
  this.setAnswerStatus('Sending your answer for page ' + page + '\u2026', '');
  postAnswer(answer).then(function (result) {
    self.sendButton.disabled = false;
    if (result.outcome === 'stored') {
      self.answerSent(answer);
      self.setAnswerStatus('Your answer for page ' + page + ' (' + form.DECISIONS[answer.decision] +
                           ') was received. Thank you.', 'ok');
    } else if (result.outcome === 'refused') {
      self.setAnswerStatus('The answer was not accepted: ' + result.reason + '.', 'error');
    } else {
      self.offerMail(answer);
      self.setAnswerStatus('The proof\'s web server could not take the answer (' + result.reason +
                           '). Please send it by e-mail instead.', 'error');
    }
  });
};

// A stored answer: its notes are sent, the page's draft starts afresh.
exports.answerSent = function (answer) {
  this.pageNotes(answer.page, false).forEach(function (note) { note.sent = true; });
  this.answers[answer.page] = { decision: '', comment: '' };
  var item = element('li', '', 'Page ' + answer.page + ': ' + form.DECISIONS[answer.decision] +
                     (answer.notes.length ? ', ' + answer.notes.length + ' note(s)' : '') + ' \u2013 ' +
                     new Date().toLocaleTimeString());
  if (answer.comment) item.append(element('span', 'tv-sentcomment', answer.comment));
  this.sentList.append(item);
  this.showAnswer();
  this.fillNotes();
};

// The answer as a mail, when the web host takes none.
exports.offerMail = function (answer) {
  var mail = form.answerMail(answer, proof.jobname, proof.replyemail, new Date());
  this.mailLink.href = mail.href;
  this.mailBlock.value = mail.block;
  this.mailBox.hidden = false;
};
