// Small DOM helpers.
'use strict';

function element(tag, className, text) {
  var node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function button(label, title, action) {
  var node = element('button', 'tv-button', label);
  node.type = 'button';
  node.title = title;
  node.setAttribute('aria-label', title);
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
