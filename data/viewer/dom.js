// Small DOM helpers.
'use strict';

function element(tag, className, text) {
  var node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

// What a screen reader says for a button: its title, which must begin with
// or hold the words on the button, so that someone who says what they see
// (voice control) finds it; a button of symbols only is named by its title.
function buttonName(label, title) {
  var words = label.replace(/[^\w\s]/g, ' ').replace(/\s+/g, ' ').trim().toLowerCase();
  if (!words || title.toLowerCase().indexOf(words) >= 0) return title;
  return label + ', ' + title.charAt(0).toLowerCase() + title.slice(1);
}

function button(label, title, action) {
  var node = element('button', 'tv-button', label);
  node.type = 'button';
  node.title = title;
  node.setAttribute('aria-label', buttonName(label, title));
  node.addEventListener('click', action);
  return node;
}

function textField(tag, label, limit) {
  var box = element('label', 'tv-field');
  var field = element(tag, 'tv-input');
  field.maxLength = limit;
  box.append(element('span', '', label), field);
  return { box: box, field: field };
}

module.exports = { element: element, button: button, textField: textField };
