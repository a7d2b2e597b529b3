// The Reply panel's answer: a decision for one page, several or all of
// them with a comment, sent to the answer endpoint beside the proof, or
// offered as a mail; and the answers the endpoint has stored, every
// reviewer's, on the thumbnails and in the panel.
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

// Resolves with the job's stored answers, or null when the web host keeps
// none (no endpoint, an older one, no connection).
function getAnswers() {
  var address = proof.baseurl + proof.scriptdirectory + 'reply.php?job=' +
                encodeURIComponent(form.jobFolder(proof.datadirectory));
  return fetch(address, { cache: 'no-store' }).then(function (response) {
    if (response.status !== 200 || response.headers.get('X-Tavrin-Reply') !== '1') return null;
    return response.json().then(function (value) { return Array.isArray(value) ? form.storedAnswers(value) : null; });
  }).catch(function () { return null; });
}

exports.buildAnswer = function () {
  var self = this;
  var box = element('div', 'tv-answer');
  this.answerHeading = element('h2', 'tv-heading');
  // What the stored answers say about the page now shown.
  this.pageStateLine = element('p', 'tv-pagestate');
  this.pageStateLine.id = 'tv-pagestate';
  // The earlier round's answer that stays with an unchanged page.
  this.carriedBox = element('div', 'tv-carried');
  this.carriedBox.id = 'tv-carried';
  this.carriedText = element('strong');
  this.carriedBox.append(this.carriedText, element('span', '', 'You can still send a new answer for this page.'));
  box.append(this.answerHeading, this.pageStateLine, this.carriedBox);
  if (proof.numberofpages > 1) box.append(this.buildApproveAll());
  var choice = element('div', 'tv-choice');
  choice.setAttribute('role', 'group');
  choice.setAttribute('aria-label', 'Your decision');
  this.approveButton = button('Approve', 'Approve', function () { self.decide('approve'); });
  this.approveButton.id = 'tv-approve';
  this.changesButton = button('Request changes', 'Request changes', function () { self.decide('changes'); });
  this.changesButton.id = 'tv-changes';
  choice.append(this.approveButton, this.changesButton);
  box.append(choice);
  if (proof.numberofpages > 1) box.append(this.buildPageChoice());
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
  this.sendButton = button('Send answer', 'Send your answer', function () { self.sendAnswer(self.chosenPages()); });
  this.sendButton.id = 'tv-send';
  // Where the plain mail link goes once the endpoint is known to answer.
  this.mailLinkPlace = element('div', 'tv-maillinkplace');
  this.answerStatus = element('p', 'tv-answerstatus');
  this.answerStatus.id = 'tv-answerstatus';
  this.answerStatus.setAttribute('role', 'status');
  // What was sent, in view until the reviewer dismisses it: the form below
  // starts afresh, and this says why.
  this.confirmation = element('div', 'tv-confirmation');
  this.confirmation.id = 'tv-confirmation';
  this.confirmation.tabIndex = -1;
  this.confirmation.hidden = true;
  this.confirmation.setAttribute('role', 'group');
  this.confirmation.setAttribute('aria-labelledby', 'tv-confirmationtitle');
  this.confirmationText = element('p', 'tv-confirmationtext');
  var title = element('h3', 'tv-confirmationtitle', 'Answer received');
  title.id = 'tv-confirmationtitle';
  this.confirmation.append(title, this.confirmationText,
                           button('Dismiss', 'Dismiss the confirmation', function () { self.dismissConfirmation(); }));
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
  box.append(comment.box, name.box, email.box, this.noteCount, this.sendButton, this.mailLinkPlace,
             this.confirmation, this.answerStatus, this.mailBox, this.sentList);
  return box;
};

// "Approve all pages": one answer for the whole proof after one confirmation.
exports.buildApproveAll = function () {
  var self = this;
  var box = element('div', 'tv-approveall');
  this.approveAllButton = button('Approve all pages', 'Approve all ' + proof.numberofpages + ' pages',
                                 function () { self.askApproveAll(true); });
  this.approveAllButton.id = 'tv-approveall';
  this.approveAllAsk = element('div', 'tv-approveallask');
  this.approveAllAsk.id = 'tv-approveallask';
  this.approveAllAsk.setAttribute('role', 'group');
  this.approveAllAsk.setAttribute('aria-labelledby', 'tv-approveallquestion');
  this.approveAllAsk.hidden = true;
  var question = element('p', '', 'Approve all ' + proof.numberofpages + ' pages of this proof in one answer?');
  question.id = 'tv-approveallquestion';
  this.approveAllYes = button('Yes, approve all ' + proof.numberofpages + ' pages',
                              'Yes, approve all ' + proof.numberofpages + ' pages', function () {
                                self.askApproveAll(false);
                                self.sendAnswer(self.allPages(), 'approve');
                              });
  this.approveAllYes.id = 'tv-approveallyes';
  var cancel = button('Cancel', 'Do not approve all pages', function () {
    self.askApproveAll(false);
    self.approveAllButton.focus();
  });
  this.approveAllAsk.append(question, this.approveAllYes, cancel);
  box.append(this.approveAllButton, this.approveAllAsk);
  return box;
};

exports.askApproveAll = function (asking) {
  this.approveAllAsk.hidden = !asking;
  this.approveAllButton.hidden = asking;
  if (asking) this.approveAllYes.focus();
};

exports.allPages = function () {
  var pages = [];
  for (var page = 1; page <= proof.numberofpages; page++) pages.push(page);
  return pages;
};

// The pages the answer is for: the page shown, and any others chosen.
exports.buildPageChoice = function () {
  var self = this;
  var box = element('div', 'tv-pagechoice');
  box.setAttribute('role', 'group');
  box.setAttribute('aria-labelledby', 'tv-pagechoicelabel');
  var label = element('p', 'tv-pagechoicelabel', 'This answer is for pages:');
  label.id = 'tv-pagechoicelabel';
  box.append(label);
  this.pageToggles = this.allPages().map(function (page) {
    var toggle = button(String(page), 'Page ' + page, function () { self.togglePage(page); });
    toggle.className = 'tv-button tv-pagetoggle';
    box.append(toggle);
    return toggle;
  });
  return box;
};

exports.chosenPages = function () {
  if (!this.extraPages || !this.extraPages.size) return [this.page];
  return Array.from(this.extraPages).sort(function (a, b) { return a - b; });
};

// Chosen pages stay chosen while the reviewer pages through them; the page
// shown alone follows the page.
exports.togglePage = function (page) {
  var chosen = new Set(this.chosenPages());
  if (chosen.has(page)) chosen.delete(page);
  else chosen.add(page);
  this.extraPages = chosen.size > 1 || (chosen.size === 1 && !chosen.has(this.page)) ? chosen : null;
  this.showAnswer();
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
  var pages = this.chosenPages();
  this.answerHeading.textContent = 'Your answer for ' + form.pagesWords(pages);
  var states = form.pageStates(this.stored || []);
  this.pageStateLine.textContent = this.stored ? 'Page ' + this.page + ': ' + form.stateText(states[this.page]) + '.' : '';
  this.pageStateLine.className = 'tv-pagestate' + (states[this.page] ? ' tv-state-' + states[this.page].decision : '');
  var carried = this.carriedFor(this.page);
  this.carriedText.textContent = carried ? rounds.carriedText(carried) : '';
  this.carriedBox.hidden = !carried;
  this.carriedBox.classList.toggle('tv-carried-changes', !!carried && carried.decision === 'changes');
  this.approveButton.setAttribute('aria-pressed', draft.decision === 'approve' ? 'true' : 'false');
  this.changesButton.setAttribute('aria-pressed', draft.decision === 'changes' ? 'true' : 'false');
  var target = pages.length === 1 ? 'this page' : 'these pages';
  if (pages.length === 1 && pages[0] !== this.page) target = 'page ' + pages[0];
  this.approveButton.setAttribute('aria-label', 'Approve ' + target);
  this.approveButton.title = 'Approve ' + target;
  this.changesButton.setAttribute('aria-label', 'Request changes to ' + target);
  this.changesButton.title = 'Request changes to ' + target;
  (this.pageToggles || []).forEach(function (toggle, index) {
    toggle.setAttribute('aria-pressed', pages.indexOf(index + 1) >= 0 ? 'true' : 'false');
  });
  this.commentField.value = draft.comment;
  this.sendButton.textContent = 'Send answer for ' + form.pagesWords(pages);
  this.sendButton.setAttribute('aria-label', this.sendButton.textContent);
  var count = 0;
  pages.forEach(function (page) { count += this.pageNotes(page, false).length; }, this);
  var where = pages.length === 1 ? 'this page' : 'these pages';
  this.noteCount.textContent = count === 0 ? 'No notes on ' + where + ' (see Notes to place some).' :
                               count + (count === 1 ? ' note' : ' notes') + ' on ' + where + ' go with the answer.';
};

// The answer for the pages as the endpoint takes it; decision, when given,
// is the one "Approve all pages" sends.
exports.answerFor = function (pages, decision) {
  var draft = this.answerDraft(this.page);
  var several = pages.length > 1;
  var notes = [];
  pages.forEach(function (page) {
    this.pageNotes(page, false).forEach(function (note) {
      notes.push(several ? { page: page, x: note.x, y: note.y, text: note.text } : { x: note.x, y: note.y, text: note.text });
    });
  }, this);
  return {
    job: form.jobFolder(proof.datadirectory),
    page: several ? form.pageField(pages, proof.numberofpages) : pages[0],
    decision: decision || draft.decision,
    comment: draft.comment,
    name: this.nameField.value.trim(),
    email: this.emailField.value.trim(),
    fingerprint: this.fingerprint || '',
    notes: notes
  };
};

exports.setAnswerStatus = function (text, kind) {
  this.answerStatus.textContent = text;
  this.answerStatus.className = 'tv-answerstatus' + (kind ? ' tv-' + kind : '');
};

exports.sendAnswer = function (pages, decision) {
  var self = this;
  // Every answer carries the fingerprint: wait for proof.js if it is still on its way.
  Promise.resolve(this.fingerprintReady).then(function () { self.sendAnswerNow(pages, decision); });
};

exports.sendAnswerNow = function (pages, decision) {
  var self = this;
  var answer = this.answerFor(pages, decision);
  var words = form.pagesWords(pages);
  this.mailBox.hidden = true;
  var problem = form.answerProblem(answer);
  if (problem) {
    this.setAnswerStatus(problem, 'error');
    return;
  }
  remember('name', answer.name);
  remember('email', answer.email);
  this.sendButton.disabled = true;
  this.setAnswerStatus('Sending your answer for ' + words + '\u2026', '');
  postAnswer(answer).then(function (result) {
    self.sendButton.disabled = false;
    if (result.outcome === 'stored') {
      self.answerSent(answer, pages);
      self.setAnswerStatus('Your answer for ' + words + ' (' + form.DECISIONS[answer.decision] +
                           ') was received. Thank you.', 'ok');
      self.loadStoredAnswers();
    } else if (result.outcome === 'refused') {
      self.setAnswerStatus('The answer was not accepted: ' + result.reason + '.', 'error');
    } else {
      self.offerMail(form.perPage(answer, pages));
      self.setAnswerStatus('The proof\'s web server could not take the answer (' + result.reason +
                           '). Please send it by e-mail instead.', 'error');
    }
  });
};

// A stored answer: its notes are sent, the pages' drafts start afresh, and
// the confirmation says what went until it is dismissed.
exports.answerSent = function (answer, pages) {
  pages.forEach(function (page) {
    this.pageNotes(page, false).forEach(function (note) { note.sent = true; });
    this.answers[page] = { decision: '', comment: '' };
  }, this);
  this.extraPages = null;
  var words = form.pagesWords(pages);
  var notes = answer.notes.length ? ', ' + answer.notes.length + ' note(s)' : '';
  var item = element('li', '', words.charAt(0).toUpperCase() + words.slice(1) + ': ' +
                     form.DECISIONS[answer.decision] + notes + ' \u2013 ' + new Date().toLocaleTimeString());
  if (answer.comment) item.append(element('span', 'tv-sentcomment', answer.comment));
  this.sentList.append(item);
  this.confirmationText.textContent = 'You sent for ' + words + ': ' + form.DECISIONS[answer.decision] + notes +
                                      (answer.name ? ', as ' + answer.name : '') + '. Thank you.';
  if (answer.comment) this.confirmationText.append(element('span', 'tv-sentcomment', answer.comment));
  this.confirmation.classList.toggle('tv-confirmation-changes', answer.decision === 'changes');
  this.confirmation.hidden = false;
  this.showAnswer();
  this.fillNotes();
  this.confirmation.focus({ preventScroll: true });
  this.confirmationInView();
  // The stored answers that follow change the panel above it once more.
  this.confirmationFresh = true;
};

exports.confirmationInView = function () {
  this.confirmation.scrollIntoView({ block: 'nearest' });
};

exports.dismissConfirmation = function () {
  this.confirmation.hidden = true;
  this.sendButton.focus();
};

// The answer as a mail, when the web host takes none: one block per page.
exports.offerMail = function (answers) {
  var mail = form.answerMail(answers, proof.jobname, proof.replyemail, new Date());
  this.mailLink.href = mail.href;
  this.mailBlock.value = mail.block;
  this.mailBox.hidden = false;
};

// Every reviewer's answers from the endpoint, on opening and after each
// send; the newest request wins.
exports.loadStoredAnswers = function () {
  var self = this;
  var request = this.storedRequest = (this.storedRequest || 0) + 1;
  return getAnswers().then(function (stored) {
    if (request !== self.storedRequest || !stored) return;
    self.stored = stored;
    self.endpointAnswers();
    self.markAnswered();
    self.fillHistory();
    self.fillNotes();
    self.showAnswer();
    self.requestDraw();
    if (self.confirmationFresh && !self.confirmation.hidden) self.confirmationInView();
    self.confirmationFresh = false;
  });
};

// The endpoint answers: the mail is only a way around it, a plain link
// below the Send button.
exports.endpointAnswers = function () {
  var link = document.getElementById('replylink');
  if (!link || link.parentNode === this.mailLinkPlace) return;
  link.className = 'tv-maillink';
  link.textContent = 'Or write to ' + (proof.replyemailname || proof.replyemail) + ' by e-mail';
  this.mailLinkPlace.append(link);
};

// Each thumbnail says whether its page is approved, has changes requested
// or waits, and who answered: an earlier round's answer when this round
// has none yet.
exports.markAnswered = function () {
  var states = form.pageStates(this.stored || []);
  var self = this;
  Array.prototype.forEach.call(this.thumbnails.children, function (item, index) {
    var page = index + 1;
    var state = states[page] || null;
    var carried = state ? null : self.carriedFor(page);
    var decision = state ? state.decision : carried ? carried.decision : '';
    var mark = item.querySelector('.tv-thumbstate');
    mark.textContent = decision ? (decision === 'approve' ? '\u2713 ' : '\u270E ') +
                                  (state ? state.name || '?' : 'round ' + carried.round) : '';
    mark.className = 'tv-thumbstate' + (decision ? ' tv-state-' + decision : '');
    // Where the host keeps no answers, only an earlier round's say anything.
    item.dataset.answerWords = carried ? rounds.carriedText(carried) : self.stored ? form.stateText(state) : '';
    self.nameThumbnail(item, page);
  });
};
