// The customer's answer: its check before sending, what the endpoint's
// reply means, and the block a mail carries when the web host takes none.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const form = require(path.join(__dirname, '../../../data/viewer/answer-form.js'));

const answer = {
  job: 'a1b2c3-0f0f0f0f', page: 2, decision: 'changes', comment: 'Logo too small', name: 'Ana', email: 'ana@shop.example',
  fingerprint: 'ab'.repeat(32), notes: [{ x: 10, y: 20, text: 'here' }]
};

test('an answer goes only with a decision and a likely e-mail address', () => {
  const cases = [
    [{ decision: '' }, 'Choose Approve or Request changes first.'],
    [{ decision: '', email: 'not an address' }, 'Choose Approve or Request changes first.'],
    [{ decision: 'approve', email: '' }, ''],
    [{ decision: 'approve' }, ''],
    [{ decision: 'changes', email: 'ana@shop.example' }, ''],
    [{ decision: 'changes', email: 'a.b+proof@mail.shop.co.uk' }, ''],
    [{ decision: 'approve', email: 'ana@shop' }, 'Please check your e-mail address.'],
    [{ decision: 'approve', email: 'ana shop@example.com' }, 'Please check your e-mail address.'],
    [{ decision: 'approve', email: '@shop.example' }, 'Please check your e-mail address.'],
    [{ decision: 'approve', email: 'ana@@shop.example' }, 'Please check your e-mail address.'],
    [{ decision: 'approve', email: 'ana@shop.example\n' }, 'Please check your e-mail address.'],
  ];
  for (const [fields, problem] of cases)
    assert.equal(form.answerProblem({ ...answer, ...fields }), problem, JSON.stringify(fields));
});

test('only the endpoint\'s own replies count as stored or refused', () => {
  const long = 'x'.repeat(400);
  const cases = [
    [201, true, 'stored\n', { outcome: 'stored' }],
    [201, false, 'stored', { outcome: 'stored' }],
    [400, true, 'the comment is too long\nmore', { outcome: 'refused', reason: 'the comment is too long' }],
    [413, true, '  too large  \n', { outcome: 'refused', reason: 'too large' }],
    [400, false, 'Bad Request', { outcome: 'unreachable', reason: 'HTTP 400' }],
    [200, false, '<?php echo "stored"; ?>', { outcome: 'unreachable', reason: 'HTTP 200' }],
    [201, true, 'stored later', { outcome: 'unreachable', reason: 'stored later' }],
    [500, true, 'cannot write the answers file', { outcome: 'unreachable', reason: 'cannot write the answers file' }],
    [500, true, '', { outcome: 'unreachable', reason: 'HTTP 500' }],
    [503, true, long, { outcome: 'unreachable', reason: 'x'.repeat(300) }],
  ];
  for (const [status, ours, text, outcome] of cases)
    assert.deepEqual(form.replyOutcome(status, ours, text), outcome, `${status} ${ours} ${text.slice(0, 20)}`);
});

test('the mail carries the answer as an inert ASCII block that reads back whole', () => {
  const hostile = {
    ...answer, name: 'Jos\u00e9 \u00d8stergaard \ud83d\ude00',
    comment: '</textarea><script>alert(\'x\')</script> & more\r\nline',
    notes: [{ x: 1, y: 2, text: '\u201cquoted\u201d <b>' }]
  };
  const mail = form.answerMail(hostile, 'Spring "catalogue" & co', 'proofs@shop.example',
                               new Date(Date.UTC(2026, 11, 11, 7, 5, 9, 123)));
  const lines = mail.block.split('\r\n');
  assert.equal(lines.length, 3);
  assert.equal(lines[0], '-----BEGIN TAVRIN ANSWER-----');
  assert.equal(lines[2], '-----END TAVRIN ANSWER-----');
  assert.match(lines[1], /^[\x20-\x7e]+$/, 'printable ASCII only');
  assert.doesNotMatch(lines[1], /[<>&']/, 'no markup characters');
  assert.deepEqual(JSON.parse(lines[1]), { ...hostile, time: '2026-12-11T07:05:09Z' });

  const url = new URL(mail.href);
  assert.equal(url.protocol, 'mailto:');
  assert.equal(url.pathname, 'proofs@shop.example');
  assert.equal(url.searchParams.get('subject'), 'Spring "catalogue" & co answer');
  assert.equal(url.searchParams.get('body'),
               'My answer for page 2 of the proof "Spring "catalogue" & co": changes requested. ' +
               'Please keep the lines below as they are.\r\n\r\n' + mail.block + '\r\n');
});

test('ASCII JSON escapes what a mail program or a page could change, and nothing else', () => {
  assert.equal(form.asciiJSON({ a: 'plain text 123' }), '{"a":"plain text 123"}');
  assert.equal(form.asciiJSON('\u007f\u00e9<>&\'\u2028'), '"\\u007f\\u00e9\\u003c\\u003e\\u0026\\u0027\\u2028"');
  for (const value of ['\ud83d\ude00', 'line\nbreak "quoted" \\ back', { nested: ['\u00fc', 1, null, true] }])
    assert.deepEqual(JSON.parse(form.asciiJSON(value)), value);
});

test('the job folder and the reply address', () => {
  assert.equal(form.jobFolder('a1b2c3-0f0f0f0f/'), 'a1b2c3-0f0f0f0f');
  assert.equal(form.jobFolder('a1b2c3'), 'a1b2c3');
  assert.equal(form.mailAddress('proofs+jobs@shop.example'), 'mailto:proofs%2Bjobs@shop.example');
  assert.equal(form.mailAddress('a b?c@shop.example'), 'mailto:a%20b%3Fc@shop.example');
});

test('pages in words and as the endpoint\'s page field', () => {
  const cases = [
    // pages, of a proof of, in words, page field
    [[2], 1, 'page 2', '2'],
    [[1], 1, 'page 1', '1'],
    [[3, 1], 4, 'pages 1, 3', '1,3'],
    [[2, 1], 2, 'pages 1, 2', 'all'],
    [[5, 1, 2, 3, 9, 8], 12, 'pages 1\u20133, 5, 8, 9', '1,2,3,5,8,9'],
    [[4, 3, 2, 1], 4, 'pages 1\u20134', 'all'],
  ];
  for (const [pages, count, words, field] of cases) {
    assert.equal(form.pagesWords(pages), words, String(pages));
    assert.equal(form.pageField(pages, count), field, String(pages));
  }
});

test('an answer for several pages mails as one block per page, each with its own notes', () => {
  const several = { ...answer, page: '1,3', notes: [{ page: 3, x: 5, y: 6, text: 'three' },
                                                     { page: 1, x: 7, y: 8, text: 'one' }] };
  const pages = form.perPage(several, [3, 1]);
  assert.deepEqual(pages.map((one) => [one.page, one.notes]),
                   [[1, [{ x: 7, y: 8, text: 'one' }]], [3, [{ x: 5, y: 6, text: 'three' }]]]);
  assert.deepEqual(Object.keys(pages[0]), Object.keys(answer), 'the keys of a one-page answer, in order');
  const mail = form.answerMail(pages, 'Brochure', 'proofs@shop.example', new Date(Date.UTC(2026, 11, 11, 7, 5, 9)));
  const blocks = [...mail.block.matchAll(/-----BEGIN TAVRIN ANSWER-----\r\n(.*)\r\n-----END TAVRIN ANSWER-----/g)]
    .map((match) => JSON.parse(match[1]));
  assert.deepEqual(blocks, pages.map((one) => ({ ...one, time: '2026-12-11T07:05:09Z' })));
  assert.match(new URL(mail.href).searchParams.get('body'), /^My answer for pages 1, 3 of the proof "Brochure": changes/);
});

// Lines as the endpoint gives them by GET, oldest first.
const stored = [
  { job: 'j', page: 1, decision: 'changes', comment: 'bigger', name: 'Ann', fingerprint: 'f', time: '2026-12-11T07:00:00Z',
    notes: [{ x: 1, y: 2, text: 'logo' }] },
  { job: 'j', page: 1, decision: 'approve', comment: '', name: 'Bob', fingerprint: 'f', time: '2026-12-11T08:00:00Z',
    notes: [] },
  { job: 'j', page: 2, decision: 'approve', comment: '', name: 'Bob', fingerprint: 'f', time: '2026-12-11T08:00:00Z',
    notes: [{ x: 3, y: 4, text: 'fine' }] },
  { job: 'j', page: 3, decision: 'approve', comment: '', name: 'Bob', fingerprint: 'f', time: '2026-12-11T08:00:00Z',
    notes: [] },
  { job: 'j', page: 3, decision: 'changes', comment: '', name: '', fingerprint: 'f', time: '2026-12-11T08:00:00Z',
    notes: [] },
];

test('stored answers: anything that is not one is left out', () => {
  const bad = [null, 5, 'line', { ...stored[0], page: '1' }, { ...stored[0], page: 0 }, { ...stored[0], decision: 'ok' },
               { ...stored[0], name: null }, { ...stored[0], notes: [{ x: 1, y: 2 }] }, { ...stored[0], time: 7 }];
  assert.deepEqual(form.storedAnswers([...bad, ...stored]), stored);
  assert.deepEqual(form.storedAnswers({ length: 1, 0: stored[0] }), []);
});

test('each page\'s state is its newest answer, whoever sent it', () => {
  const states = form.pageStates(stored);
  assert.deepEqual(Object.keys(states), ['1', '2', '3']);
  assert.equal(form.stateText(states[1]), 'approved by Bob');
  assert.equal(form.stateText(states[3]), 'changes requested by a reviewer without a name');
  assert.equal(form.stateText(states[4]), 'waiting for an answer');
});

test('the history joins the lines of one send, newest first', () => {
  assert.deepEqual(form.historyEntries(stored).map((entry) => [entry.pages, entry.name, entry.decision, entry.notes]), [
    [[3], '', 'changes', 0],
    [[1, 2, 3], 'Bob', 'approve', 1],
    [[1], 'Ann', 'changes', 1],
  ]);
  // Two sends of the same page at the same second stay two.
  const twice = [stored[1], { ...stored[1] }];
  assert.equal(form.historyEntries(twice).length, 2);
});

test('a page\'s stored notes carry their author', () => {
  assert.deepEqual(form.storedNotes(stored, 1), [{ page: 1, x: 1, y: 2, text: 'logo', name: 'Ann', time: stored[0].time }]);
  assert.deepEqual(form.storedNotes(stored, 2).map((note) => note.name), ['Bob']);
  assert.deepEqual(form.storedNotes(stored, 4), []);
});
