// The Notes panel: notes pinned to master pixels of a page, which go with
// that page's answer, and their markers over the view; beside them the
// notes every reviewer has sent, with the author's name.
'use strict';

var hostPage = require('./host-page');
var dom = require('./dom');
var form = require('./answer-form');

var proof = hostPage.proof;
var element = dom.element, button = dom.button, textField = dom.textField;

exports.buildNotes = function () {
  var self = this;
  var panel = element('div', 'tv-panel');
  panel.id = 'tv-notes';
  panel.append(element('p', 'tv-text', 'Place a note on the page to show exactly what you mean. ' +
                                      'The notes of a page go with your answer for that page.'));
  this.placeButton = button('Place a note', 'Place a note on the page', function () { self.startPlacing(); });
  this.placeButton.id = 'tv-placenote';
  this.noteHint = element('p', 'tv-notehint');
  this.noteHint.setAttribute('role', 'status');
  this.noteEditor = element('div', 'tv-noteeditor');
  this.noteEditor.hidden = true;
  var text = textField('textarea', 'Note', form.NOTE_TEXT_LIMIT);
  this.noteField = text.field;
  this.noteField.id = 'tv-notetext';
  this.noteField.rows = 3;
  this.noteEditor.append(text.box, button('Keep the note', 'Keep the note', function () { self.keepNote(); }),
                         button('Cancel', 'Do not keep the note', function () { self.cancelNote(); }));
  this.noteList = element('ol', 'tv-notelist');
  panel.append(this.placeButton, this.noteHint, this.noteEditor, this.noteList);
  return panel;
};

exports.pageNotes = function (page, sent) {
  return this.notes.filter(function (note) { return note.page === page && (sent === undefined || note.sent === sent); });
};

exports.startPlacing = function () {
  this.cancelNote();
  if (this.pageNotes(this.page, false).length >= form.NOTE_LIMIT) {
    this.noteHint.textContent = 'An answer carries at most ' + form.NOTE_LIMIT +
                                ' notes: send this page\'s answer first.';
    return;
  }
  this.placing = true;
  this.stage.classList.add('tv-placing');
  this.noteHint.textContent = 'Click or tap the page where the note belongs.';
};

// A tap while placing: the master pixel under it gets the note.
exports.placeNote = function (point) {
  var x = Math.floor(this.centerX + (point.x - this.viewWidth / 2) / this.scale);
  var y = Math.floor(this.centerY + (point.y - this.viewHeight / 2) / this.scale);
  if (x < 0 || y < 0 || x >= proof.maxx || y >= proof.maxy) {
    this.noteHint.textContent = 'That is outside the page: click or tap on the page itself.';
    return;
  }
  this.placing = false;
  this.stage.classList.remove('tv-placing');
  this.draftNote = { page: this.page, x: x, y: y, zoom: Number(this.scale.toFixed(4)), text: '', sent: false };
  this.noteHint.textContent = 'Note at ' + x + ', ' + y + ' on page ' + this.page + ': write what should change.';
  this.noteEditor.hidden = false;
  this.noteField.value = '';
  this.selectTab(this.tabButtons.indexOf(this.notesTab));
  this.noteField.focus();
  this.requestDraw();
};

exports.keepNote = function () {
  var text = this.noteField.value.trim();
  if (!this.draftNote) return;
  if (!text) {
    this.noteHint.textContent = 'Write the note first, or cancel it.';
    return;
  }
  this.draftNote.text = text;
  this.notes.push(this.draftNote);
  this.draftNote = null;
  this.noteEditor.hidden = true;
  this.noteHint.textContent = '';
  this.fillNotes();
  this.showAnswer();
  this.requestDraw();
};

exports.cancelNote = function () {
  this.placing = false;
  this.stage.classList.remove('tv-placing');
  this.draftNote = null;
  this.noteEditor.hidden = true;
  this.noteHint.textContent = '';
  this.requestDraw();
};

exports.removeNote = function (note) {
  this.notes.splice(this.notes.indexOf(note), 1);
  this.fillNotes();
  this.showAnswer();
  this.requestDraw();
};

exports.noteFragment = function (note) {
  return '#page=' + note.page + '&zoom=' + note.zoom + '&x=' + note.x + '&y=' + note.y;
};

// The Notes panel: each note opens the view it was placed in.
exports.fillNotes = function () {
  var self = this;
  this.noteList.textContent = '';
  for (var page = 1; page <= proof.numberofpages; page++) {
    this.pageNotes(page).forEach(function (note, index) {
      var item = element('li', 'tv-note');
      var fragment = self.noteFragment(note);
      var link = element('a', 'tv-notelink', 'Page ' + note.page + ', note ' + (index + 1));
      link.href = fragment;
      link.addEventListener('click', function (event) {
        // The address may already hold this view: no hashchange then.
        if (location.hash !== fragment) return;
        event.preventDefault();
        self.applyFragment(fragment);
      });
      item.append(link, element('span', 'tv-notetext', note.text));
      if (note.sent) item.append(element('span', 'tv-notesent', 'sent'));
      else item.append(button('Remove', 'Remove this note', function () { self.removeNote(note); }));
      self.noteList.append(item);
    });
    self.otherNotes(page).forEach(function (note, index) {
      var item = element('li', 'tv-note tv-storednote');
      var fragment = '#page=' + note.page + '&zoom=1&x=' + note.x + '&y=' + note.y;
      var link = element('a', 'tv-notelink', 'Page ' + note.page + ', note ' + (index + 1) + ' by ' + note.name);
      link.href = fragment;
      item.append(link, element('span', 'tv-notetext', note.text));
      self.noteList.append(item);
    });
  }
};

// The stored notes of a page but those sent from here, which this page
// keeps with the view they were placed in.
exports.otherNotes = function (page) {
  var own = this.pageNotes(page, true);
  return form.storedNotes(this.stored || [], page).filter(function (stored) {
    return !own.some(function (note) { return note.x === stored.x && note.y === stored.y && note.text === stored.text; });
  });
};

// Markers over the canvas at each note of the page, at every zoom.
exports.placeMarkers = function (place) {
  var ratio = window.devicePixelRatio || 1;
  var notes = this.pageNotes(this.page);
  if (this.draftNote && this.draftNote.page === this.page) notes = notes.concat([this.draftNote]);
  var own = notes.length;
  notes = notes.concat(this.otherNotes(this.page));
  var shown = this.markers.children;
  while (shown.length > notes.length) this.markers.removeChild(this.markers.lastChild);
  while (shown.length < notes.length) this.markers.append(element('div', 'tv-marker'));
  for (var i = 0; i < notes.length; i++) {
    var note = notes[i], marker = shown[i];
    var left = (place.x + (note.x + 0.5) * place.k) / ratio, top = (place.y + (note.y + 0.5) * place.k) / ratio;
    marker.textContent = note === this.draftNote ? '+' : String(i < own ? i + 1 : i - own + 1);
    marker.title = note.text;
    marker.className = 'tv-marker' + (note === this.draftNote ? ' tv-draft' : '') + (note.sent ? ' tv-sentnote' : '');
    if (i >= own) {
      // A sent note: its author's name beside it.
      marker.className = 'tv-marker tv-storedmarker';
      marker.title = note.name + ': ' + note.text;
      marker.append(element('span', 'tv-markername', note.name));
    }
    marker.style.left = left + 'px';
    marker.style.top = top + 'px';
    marker.hidden = left < -20 || top < -20 || left > this.viewWidth + 20 || top > this.viewHeight + 20;
  }
};
