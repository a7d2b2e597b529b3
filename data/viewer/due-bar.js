// The header line that tells the customer by when to answer, from due.js.
'use strict';

var dom = require('./dom');
var dueDate = require('./due-date');

exports.buildDueBar = function () {
  this.dueBar = dom.element('div', 'tv-duebar');
  this.dueBar.id = 'tv-duebar';
  this.dueBar.hidden = true;
  return this.dueBar;
};

// due.js has been read (null when there is none): a job without a due date
// shows nothing; a day gone by is marked, in words as well as in colour.
exports.dueLoaded = function (value) {
  var due = dueDate.parseDue(value);
  if (!due) return;
  var line = dueDate.dueLine(due, new Date(), document.documentElement.lang);
  this.dueBar.textContent = line.text + (line.past ? ' (this date has passed)' : '');
  this.dueBar.classList.toggle('tv-duepast', line.past);
  this.dueBar.hidden = false;
};
