// The History panel: every answer the endpoint has stored for this proof,
// newest first, whoever sent it.
'use strict';

var dom = require('./dom');
var form = require('./answer-form');

var element = dom.element;

exports.buildHistory = function () {
  var panel = element('div', 'tv-panel');
  panel.id = 'tv-history';
  // Until the endpoint answers, which a web host without PHP never does.
  this.historyIntro = element('p', 'tv-text', 'The answers sent so far show here when this proof\'s web server ' +
                                            'keeps them.');
  this.historyList = element('ol', 'tv-historylist');
  panel.append(this.historyIntro, this.historyList);
  return panel;
};

exports.fillHistory = function () {
  var entries = form.historyEntries(this.stored || []);
  this.historyIntro.textContent = entries.length ? 'Every answer sent for this proof, newest first.' :
                                                   'No answers yet: every page is waiting for one.';
  this.historyList.textContent = '';
  entries.forEach(function (entry) {
    var item = element('li', 'tv-historyentry tv-state-' + entry.decision);
    var words = form.pagesWords(entry.pages);
    var title = element('strong', '', words.charAt(0).toUpperCase() + words.slice(1) + ': ' +
                                      form.DECISIONS[entry.decision]);
    var when = element('time', 'tv-historytime');
    when.dateTime = entry.time;
    var date = new Date(entry.time);
    when.textContent = isNaN(date.getTime()) ? entry.time : date.toLocaleString();
    item.append(title, element('span', 'tv-historyname', ' by ' + (entry.name || 'a reviewer without a name')), when);
    if (entry.notes) item.append(element('span', 'tv-historynotes', entry.notes + (entry.notes === 1 ? ' note' : ' notes')));
    if (entry.comment) item.append(element('span', 'tv-sentcomment', entry.comment));
    this.historyList.append(item);
  }, this);
};
