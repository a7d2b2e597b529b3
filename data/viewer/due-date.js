// The day by which the customer is asked to answer (due.js beside the page)
// and the line the viewer's header shows for it. No page, no DOM.
'use strict';

// {year, month, day} of a "YYYY-MM-DD" text that names a real day; null for
// anything else (no date set, or a file not to be trusted).
function parseDue(value) {
  if (typeof value !== 'string') return null;
  var match = /^(\d{4})-(\d{2})-(\d{2})$/.exec(value);
  if (!match) return null;
  var year = Number(match[1]), month = Number(match[2]), day = Number(match[3]);
  var date = new Date(Date.UTC(year, month - 1, day));
  // 2026-02-30 rolls over to March, and years below 100 to the 1900s: neither is the day named.
  if (date.getUTCFullYear() !== year || date.getUTCMonth() !== month - 1 || date.getUTCDate() !== day) return null;
  return { year: year, month: month, day: day };
}

// Whether the day has gone by on the customer's own calendar (today, a Date).
function isPast(due, today) {
  var now = [today.getFullYear(), today.getMonth() + 1, today.getDate()];
  var then = [due.year, due.month, due.day];
  for (var i = 0; i < 3; i++)
    if (then[i] !== now[i]) return then[i] < now[i];
  return false;
}

var LONG_DATE = { weekday: 'long', day: 'numeric', month: 'long', year: 'numeric', timeZone: 'UTC' };

// The header's line, {text: "Please answer by Friday, 18 December 2026",
// past}, the date in the page's language (a tag the browser does not take
// falls back to British English).
function dueLine(due, today, language) {
  var date = new Date(Date.UTC(due.year, due.month - 1, due.day));
  var text;
  try {
    text = date.toLocaleDateString(language || 'en-GB', LONG_DATE);
  } catch (error) {
    text = date.toLocaleDateString('en-GB', LONG_DATE);
  }
  return { text: 'Please answer by ' + text, past: isPast(due, today) };
}

module.exports = {
  parseDue: parseDue,
  isPast: isPast,
  dueLine: dueLine
};
