// The due date of due.js as the viewer checks it, and the header's line for it.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const dueDate = require(path.join(__dirname, '../../../data/viewer/due-date.js'));

test('only a real day in YYYY-MM-DD is a due date', () => {
  assert.deepEqual(dueDate.parseDue('2026-12-18'), { year: 2026, month: 12, day: 18 });
  assert.deepEqual(dueDate.parseDue('2028-02-29'), { year: 2028, month: 2, day: 29 });
  for (const value of [null, undefined, '', 20261218, '2026-12-1', '2026-12-18T00:00', ' 2026-12-18',
                       '2026-02-30', '2027-02-29', '2026-13-01', '2026-00-10', '0099-01-01', '<b>2026-12-18</b>'])
    assert.equal(dueDate.parseDue(value), null, String(value));
});

test('the line names the weekday and day in the page language, marked once the day has gone', () => {
  const due = { year: 2026, month: 12, day: 18 };
  // Around midnight at either end of the day, on the customer's own clock.
  const cases = [
    [new Date(2026, 11, 17, 23, 59), false],
    [new Date(2026, 11, 18, 0, 0), false],
    [new Date(2026, 11, 18, 23, 59), false],
    [new Date(2026, 11, 19, 0, 0), true],
    [new Date(2027, 0, 2), true],
    [new Date(2025, 11, 30), false],
  ];
  for (const [today, past] of cases)
    assert.equal(dueDate.dueLine(due, today, 'en-GB').past, past, today.toString());

  const english = dueDate.dueLine(due, new Date(2026, 11, 1), '').text;
  assert.match(english, /^Please answer by Friday,? 18 December 2026$/);
  assert.match(dueDate.dueLine(due, new Date(2026, 11, 1), 'de').text, /^Please answer by Freitag, 18\. Dezember 2026$/);
  // A language tag the browser refuses falls back to English rather than failing.
  assert.equal(dueDate.dueLine(due, new Date(2026, 11, 1), 'not a tag!').text, english);
});
