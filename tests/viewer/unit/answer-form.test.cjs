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
