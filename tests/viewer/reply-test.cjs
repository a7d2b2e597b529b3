// The answer endpoint scripts/reply.php under PHP's built-in server, on a
// web folder laid out as on the web host: good answers stored as one JSON
// line each, hostile ones refused with nothing written, the limits, and
// answers sent together; several pages in one answer, and the stored
// answers read back without the reviewers' addresses.
// Usage: node reply-test.cjs SOURCE_DIR BUILD_DIR
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { freePort, startPhp, checks } = require('./browser-support.cjs');

const [, buildDir] = process.argv.slice(2);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrin-reply-'));
const webRoot = path.join(scratch, 'www');
const tavrin = path.join(webRoot, 'tavrin');
const { check, run } = checks();
let php = null;
let endpoint = '';

const JOB = '20261210210405123-0123456789abcdef0123456789abcdef';
const OLD_JOB = '20261210210405124';
const KEYS = ['job', 'page', 'decision', 'comment', 'name', 'email', 'fingerprint', 'notes', 'time'];
const FINGERPRINT = 'a'.repeat(64);

// A job folder as the upload leaves it: the viewer page and level 0 of each page.
function jobFolder(name, pages, withIndex = true) {
  const folder = path.join(tavrin, name);
  fs.mkdirSync(folder, { recursive: true });
  if (withIndex) fs.writeFileSync(path.join(folder, 'index.html'), '<html></html>\r\n');
  for (let page = 1; page <= pages; page++)
    fs.writeFileSync(path.join(folder, `tile0-${String(page).padStart(4, '0')}.tdb`), 'vorn');
  return folder;
}

function layOut() {
  fs.mkdirSync(path.join(tavrin, 'scripts'), { recursive: true });
  fs.copyFileSync(path.join(buildDir, 'station', 'scripts', 'reply.php'), path.join(tavrin, 'scripts', 'reply.php'));
  // The empty pages the upload puts where a listing would show.
  fs.writeFileSync(path.join(tavrin, 'index.html'), '');
  fs.writeFileSync(path.join(tavrin, 'scripts', 'index.html'), '');
  jobFolder(JOB, 2);
  jobFolder(OLD_JOB, 1);
  jobFolder('20261210210405125-0123456789abcdef0123456789abcdef', 1, false);
}

const good = () => ({ job: JOB, page: '2', decision: 'changes', comment: 'Darker red, please.', name: 'Ann Reviewer',
                      email: 'ann@example.com', fingerprint: FINGERPRINT,
                      notes: JSON.stringify([{ x: 120, y: 340, text: 'this red' }]) });

// Posts a form (fields) or a raw body; resolves with {status, text}.
async function post(fields, { body, type = 'application/x-www-form-urlencoded', method = 'POST' } = {}) {
  const response = await fetch(endpoint, {
    method,
    headers: method === 'POST' ? { 'Content-Type': type } : {},
    body: method === 'POST' ? (body !== undefined ? body : new URLSearchParams(fields).toString()) : undefined,
  });
  return { status: response.status, text: await response.text(), marked: response.headers.get('x-tavrin-reply') };
}

function repliesOf(job) {
  const file = path.join(tavrin, job, 'replies.jsonl');
  return fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '';
}

function lines(job) {
  return repliesOf(job).split('\n').filter(Boolean).map((line) => JSON.parse(line));
}

// Every file below the scratch folder, for "nothing written anywhere else".
function allFiles(folder = scratch) {
  return fs.readdirSync(folder, { withFileTypes: true }).flatMap((entry) => {
    const full = path.join(folder, entry.name);
    return entry.isDirectory() ? allFiles(full) : [full];
  }).sort();
}

const nul = String.fromCharCode(0);
const bell = String.fromCharCode(7);
const note = (x, y, text) => ({ x, y, text });
const notes = (list) => ({ notes: typeof list === 'string' ? list : JSON.stringify(list) });

// Refused answers: what changes from the good one, and the reason's words.
const REFUSED = [
  ['a job name climbing out', { job: `../${JOB}` }, /job/],
  ['an absolute job path', { job: '/etc/passwd' }, /job/],
  ['a job name with a path after it', { job: `${JOB}/../${OLD_JOB}` }, /job/],
  ['the scripts folder as job', { job: 'scripts' }, /job/],
  ['a job name with a NUL', { job: `${JOB}${nul}` }, /job/],
  ['an upper-case secret', { job: JOB.toUpperCase() }, /job/],
  ['a job folder that does not exist', { job: '20261210210405126-0123456789abcdef0123456789abcdef' }, /no such job/],
  ['a job folder without its page', { job: '20261210210405125-0123456789abcdef0123456789abcdef' }, /no such job/],
  ['page 0', { page: '0' }, /page/],
  ['page N+1', { page: '3' }, /page out of range/],
  ['page 1e3', { page: '1e3' }, /page/],
  ['page 01', { page: '01' }, /page/],
  ['page -1', { page: '-1' }, /page/],
  ['page with a blank', { page: ' 1' }, /page/],
  ['a list with one page out of range', { page: '1,3' }, /page out of range/],
  ['a list with a page twice', { page: '2,1,2' }, /listed twice/],
  ['a list with an empty item', { page: '1,,2' }, /page/],
  ['a list with a trailing comma', { page: '1,' }, /page/],
  ['a list with a blank', { page: '1, 2' }, /page/],
  ['"ALL"', { page: 'ALL' }, /page/],
  ['all and a page', { page: 'all,1' }, /page/],
  ['notes without their page on a list', { page: '1,2' }, /page, x, y and text/],
  ['a note on a page not in the list', { page: '1,2', ...notes([{ page: 3, x: 1, y: 1, text: 'a' }]) },
   /not for/],
  ['a note with a page on one page', { page: '1', ...notes([{ page: 1, x: 1, y: 1, text: 'a' }]) }, /x, y and text/],
  ['21 notes on one page of a list', { page: '1,2', ...notes(Array.from({ length: 21 },
                                                                       (unused, i) => ({ page: 2, x: i, y: i, text: 'n' }))) },
   /too many notes/],
  ['no page', { page: '' }, /page/],
  ['decision "approved"', { decision: 'approved' }, /decision/],
  ['decision "APPROVE"', { decision: 'APPROVE' }, /decision/],
  ['no decision', { decision: '' }, /decision/],
  ['a comment of 2001 characters', { comment: 'x'.repeat(2001) }, /comment/],
  ['a bell in the comment', { comment: `ring${bell}` }, /comment/],
  ['a line feed in the name', { name: 'Ann\nBcc: x@example.com' }, /name/],
  ['a name of 101 characters', { name: 'n'.repeat(101) }, /name/],
  ['an address without @', { email: 'ann.example.com' }, /email/],
  ['an address without a domain', { email: 'ann@localhost' }, /email/],
  ['an address of 255 characters', { email: `${'a'.repeat(243)}@example.com` }, /email/],
  ['an upper-case fingerprint', { fingerprint: 'A'.repeat(64) }, /fingerprint/],
  ['a short fingerprint', { fingerprint: 'a'.repeat(63) }, /fingerprint/],
  ['notes that are not JSON', notes('[{"x":1,'), /notes/],
  ['notes as an object', notes({ x: 1, y: 2, text: 'a' }), /notes/],
  ['a note that is a number', notes([1]), /note/],
  ['21 notes', notes(Array.from({ length: 21 }, (unused, i) => note(i, i, 'n'))), /too many notes/],
  ['a note with another key', notes([{ x: 1, y: 2, text: 'a', html: '<b>' }]), /x, y and text/],
  ['a note without text', notes([{ x: 1, y: 2 }]), /x, y and text/],
  ['a note at x 1.5', notes([note(1.5, 2, 'a')]), /coordinates/],
  ['a note at y -1', notes([note(1, -1, 'a')]), /coordinates/],
  ['a note at x "1"', notes([note('1', 2, 'a')]), /coordinates/],
  ['an empty note text', notes([note(1, 2, '')]), /note text/],
  ['a note text of 501 characters', notes([note(1, 2, 'y'.repeat(501))]), /note text/],
  ['a note text that is a number', notes([note(1, 2, 5)]), /note text/],
  ['a note text with a NUL', notes([note(1, 2, `a${nul}b`)]), /note text/],
];

// Refused bodies that a form encoder would not make.
const REFUSED_RAW = [
  ['a job name with %2F', `job=..%2F..%2F${JOB}&page=1&decision=approve`, {}, 400, /job/],
  ['a page given twice as a list', `job=${JOB}&page[]=1&decision=approve`, {}, 400, /page/],
  ['a comment not in UTF-8', `job=${JOB}&page=1&decision=approve&comment=caf%E9`, {}, 400, /comment/],
  ['a JSON body', JSON.stringify(good()), { type: 'application/json' }, 400, /x-www-form-urlencoded/],
  ['a comment of 1 MB', new URLSearchParams({ ...good(), comment: 'z'.repeat(1 << 20) }).toString(), {}, 413, /large/],
  ['a GET without a job', '', { method: 'GET' }, 400, /job/],
  ['a PUT', '', { method: 'PUT' }, 405, /POST/],
];

async function main() {
  layOut();
  const port = await freePort();
  php = await startPhp({ port, webRoot, log: path.join(scratch, 'php.log') });
  endpoint = `http://127.0.0.1:${port}/tavrin/scripts/reply.php`;

  await check('a good answer is 201 and one JSON line with the keys in order', async () => {
    const before = Date.now();
    const sent = good();
    const result = await post(sent);
    assert.deepEqual([result.status, result.text, result.marked], [201, 'stored', '1']);
    const text = repliesOf(JOB);
    assert.match(text, /^[^\n]+\n$/);
    const line = JSON.parse(text);
    assert.deepEqual(Object.keys(line), KEYS);
    assert.deepEqual(line.notes, [{ x: 120, y: 340, text: 'this red' }]);
    assert.equal(line.page, 2);
    for (const key of ['job', 'decision', 'comment', 'name', 'email', 'fingerprint']) assert.equal(line[key], sent[key]);
    assert.match(line.time, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/);
    const stored = Date.parse(line.time);
    assert.ok(stored >= Math.floor(before / 1000) * 1000 && stored <= Date.now(), line.time);
  });

  await check('an older job, empty optional fields and no notes are stored', async () => {
    const result = await post({ job: OLD_JOB, page: '1', decision: 'approve' });
    assert.equal(result.status, 201);
    const [line] = lines(OLD_JOB);
    assert.deepEqual(line, { job: OLD_JOB, page: 1, decision: 'approve', comment: '', name: '', email: '',
                             fingerprint: '', notes: [], time: line.time });
  });

  await check('script, quotes and characters beyond ASCII are stored as inert JSON text', async () => {
    const hostile = '<img src=x onerror=alert(1)> </script> "q" \'a\' & caf\u00e9 \u{1F600}\r\nnext line\ttab';
    const sent = { ...good(), page: '1', comment: hostile, name: '<b>Ann</b> & "Co"',
                   notes: JSON.stringify([note(0, 0, hostile), note(5, 7, '\u00fc'.repeat(500))]) };
    const before = repliesOf(JOB);
    assert.equal((await post(sent)).status, 201);
    const added = repliesOf(JOB).slice(before.length);
    // Nothing that a page or a shell would read as markup or a quote.
    assert.match(added, /^[\x20-\x7e]+\n$/);
    assert.doesNotMatch(added, /[<>&']/);
    const line = JSON.parse(added);
    const stored = hostile.replace('\r\n', '\n');
    assert.equal(line.comment, stored);
    assert.equal(line.name, sent.name);
    assert.equal(line.notes[0].text, stored);
    assert.equal(line.notes[1].text.length, 500);
  });

  await check('20 notes and a comment of 2000 characters beyond ASCII are the limits, not past them', async () => {
    const sent = { ...good(), comment: '\u00e9'.repeat(2000),
                   notes: JSON.stringify(Array.from({ length: 20 }, (unused, i) => note(i, i * 2, `n${i}`))) };
    assert.equal((await post(sent)).status, 201);
    const line = lines(JOB).pop();
    assert.equal(line.comment.length, 2000);
    assert.equal(line.notes.length, 20);
  });

  await check('hostile answers are refused with a one-line reason and nothing is written', async () => {
    const files = allFiles();
    const stored = repliesOf(JOB);
    const cases = [
      ...REFUSED.map(([name, change, reason]) => [name, new URLSearchParams({ ...good(), ...change }).toString(), {},
                                                   400, reason]),
      ...REFUSED_RAW,
    ];
    for (const [name, body, options, status, reason] of cases) {
      const result = await post(null, { body, ...options });
      assert.equal(result.status, status, `${name}: ${result.status} ${result.text}`);
      assert.match(result.text, /^[^\n]+$/, `${name}: one line`);
      assert.match(result.text, reason, `${name}: ${result.text}`);
      assert.equal(result.marked, '1', `${name}: from the endpoint`);
    }
    assert.equal(repliesOf(JOB), stored);
    assert.deepEqual(allFiles(), files);
  });

  await check('a list and "all" store one line per page in one append, with the same time', async () => {
    const job = '20261210210405131-00000000000000000000000000000000';
    const folder = jobFolder(job, 3);
    const cases = [
      // page field, notes sent, the pages stored and each one's notes
      ['3,1', [{ page: 3, x: 4, y: 5, text: 'here' }, { page: 1, x: 6, y: 7, text: 'there' }],
       [[1, [note(6, 7, 'there')]], [3, [note(4, 5, 'here')]]]],
      ['all', [], [[1, []], [2, []], [3, []]]],
      ['2', [note(8, 9, 'one page as before')], [[2, [note(8, 9, 'one page as before')]]]],
    ];
    for (const [pageField, sentNotes, expected] of cases) {
      // Every write to the file is watched: the lines of one answer come in one.
      const before = repliesOf(job);
      const sizes = [];
      const watcher = fs.existsSync(path.join(folder, 'replies.jsonl'))
        ? fs.watch(path.join(folder, 'replies.jsonl'), () => sizes.push(repliesOf(job).length)) : null;
      const result = await post({ ...good(), job, page: pageField, notes: JSON.stringify(sentNotes) });
      await new Promise((resolve) => setTimeout(resolve, 100));
      if (watcher) watcher.close();
      assert.deepEqual([result.status, result.text], [201, 'stored'], pageField);
      const added = repliesOf(job).slice(before.length).split('\n').filter(Boolean).map((line) => JSON.parse(line));
      assert.deepEqual(added.map((line) => [line.page, line.notes]), expected, pageField);
      assert.ok(added.every((line) => line.time === added[0].time && line.decision === 'changes' &&
                                      line.email === 'ann@example.com' && Object.keys(line).join() === KEYS.join()));
      assert.ok(sizes.every((size) => size === before.length || size === repliesOf(job).length),
                `${pageField}: a partial answer was seen: ${sizes}`);
    }
  });

  await check('an answer for several pages that would pass 200 lines stores none of them', async () => {
    const job = '20261210210405132-00000000000000000000000000000000';
    const folder = jobFolder(job, 3);
    const line = JSON.stringify({ job, page: 1, decision: 'approve', comment: '', name: '', email: '', fingerprint: '',
                                  notes: [], time: '2026-12-10T21:04:05Z' }) + '\n';
    fs.writeFileSync(path.join(folder, 'replies.jsonl'), line.repeat(198));
    assert.deepEqual(Object.values(await post({ job, page: 'all', decision: 'approve' })).slice(0, 2),
                     [400, 'too many answers for this job']);
    assert.equal(lines(job).length, 198);
    assert.equal((await post({ job, page: '1,2', decision: 'approve' })).status, 201, 'two still fit');
    assert.equal(lines(job).length, 200);
  });

  await check('GET gives the stored answers oldest first without e-mail addresses', async () => {
    const job = '20261210210405133-00000000000000000000000000000000';
    const folder = jobFolder(job, 2);
    const get = async (query) => {
      const response = await fetch(`${endpoint}?${query}`);
      return { status: response.status, text: await response.text(), type: response.headers.get('content-type'),
               cache: response.headers.get('cache-control'), marked: response.headers.get('x-tavrin-reply') };
    };
    const empty = await get(`job=${job}`);
    assert.deepEqual(empty, { status: 200, text: '[]', type: 'application/json; charset=utf-8', cache: 'no-store',
                              marked: '1' });
    assert.equal(fs.existsSync(path.join(folder, 'replies.jsonl')), false, 'reading creates no file');
    await post({ ...good(), job, page: '2', name: 'Ann <b>', notes: JSON.stringify([note(1, 2, 'red & "blue"')]) });
    await post({ job, page: 'all', decision: 'approve', name: 'Bob', email: 'bob@example.com' });
    const stored = lines(job);
    const result = await get(`job=${job}`);
    assert.equal(result.status, 200);
    assert.equal(result.cache, 'no-store');
    assert.doesNotMatch(result.text, /example\.com|[<>&]/);
    const answers = JSON.parse(result.text);
    assert.deepEqual(answers, stored.map(({ email, ...rest }) => rest));
    assert.deepEqual(answers.map((a) => [a.page, a.name, Object.keys(a).includes('email')]),
                     [[2, 'Ann <b>', false], [1, 'Bob', false], [2, 'Bob', false]]);
    const refused = [
      ['a bad name', `job=../${job}`, 400, /job/],
      ['the scripts folder', 'job=scripts', 400, /job/],
      ['a job given as a list', `job[]=${job}`, 400, /job/],
      ['no job', '', 400, /job/],
      ['a folder that does not exist', 'job=20261210210405199-00000000000000000000000000000000', 404, /no such job/],
      ['a folder without its page', 'job=20261210210405125-0123456789abcdef0123456789abcdef', 404, /no such job/],
    ];
    for (const [name, query, status, reason] of refused) {
      const answer = await get(query);
      assert.equal(answer.status, status, `${name}: ${answer.text}`);
      assert.match(answer.text, reason, name);
      assert.equal(answer.cache, 'no-store', name);
    }
  });

  await check('the 201st answer is refused and leaves the file as it was', async () => {
    const job = '20261210210405127-00000000000000000000000000000000';
    jobFolder(job, 1);
    for (let i = 0; i < 200; i++) {
      const result = await post({ job, page: '1', decision: i % 2 ? 'approve' : 'changes', comment: `answer ${i}` });
      assert.equal(result.status, 201, `answer ${i}: ${result.text}`);
    }
    const full = repliesOf(job);
    const result = await post({ job, page: '1', decision: 'approve' });
    assert.deepEqual([result.status, result.text], [400, 'too many answers for this job']);
    assert.equal(repliesOf(job), full);
    assert.equal(lines(job).length, 200);
  });

  await check('an answer that would take the file past 1 MB is refused', async () => {
    const job = '20261210210405128-00000000000000000000000000000000';
    const folder = jobFolder(job, 1);
    // Ten long answers, a few bytes short of the limit.
    const one = JSON.stringify({ job, page: 1, decision: 'approve', comment: '', name: '', email: '', fingerprint: '',
                                 notes: [], time: '2026-12-10T21:04:05Z' });
    const padding = Math.floor((1048576 - 200) / 10) - one.length - 1;
    const line = JSON.stringify({ job, page: 1, decision: 'approve', comment: 'p'.repeat(padding), name: '',
                                  email: '', fingerprint: '', notes: [], time: '2026-12-10T21:04:05Z' }) + '\n';
    const before = line.repeat(10);
    fs.writeFileSync(path.join(folder, 'replies.jsonl'), before);
    assert.ok(before.length < 1048576 && before.length > 1048576 - 300, String(before.length));
    const result = await post({ job, page: '1', decision: 'changes', comment: 'c'.repeat(300) });
    assert.deepEqual([result.status, result.text], [400, 'too many answers for this job']);
    assert.equal(repliesOf(job), before);
    assert.equal((await post({ job, page: '1', decision: 'approve' })).status, 201, 'a short one still fits');
  });

  await check('20 answers sent at once give 20 whole lines', async () => {
    const job = '20261210210405129-00000000000000000000000000000000';
    jobFolder(job, 1);
    const comments = Array.from({ length: 20 }, (unused, i) => `parallel ${i} ${'w'.repeat(1500)}`);
    const results = await Promise.all(comments.map((comment) => post({ job, page: '1', decision: 'changes', comment })));
    assert.deepEqual(results.map((result) => result.status), Array(20).fill(201));
    const text = repliesOf(job);
    assert.equal(text.split('\n').length, 21);
    assert.deepEqual(lines(job).map((line) => line.comment).sort(), [...comments].sort());
  });

  await check('20 answers sent at once for the last free place: one is stored, 19 refused', async () => {
    const job = '20261210210405130-00000000000000000000000000000000';
    const folder = jobFolder(job, 1);
    const line = JSON.stringify({ job, page: 1, decision: 'approve', comment: '', name: '', email: '', fingerprint: '',
                                  notes: [], time: '2026-12-10T21:04:05Z' }) + '\n';
    fs.writeFileSync(path.join(folder, 'replies.jsonl'), line.repeat(199));
    const results = await Promise.all(Array.from({ length: 20 }, () => post({ job, page: '1', decision: 'changes' })));
    assert.deepEqual(results.map((result) => result.status).sort(), [201, ...Array(19).fill(400)]);
    assert.equal(lines(job).length, 200);
  });
}

run(main, () => {
  if (php) php.stop();
  fs.rmSync(scratch, { recursive: true, force: true });
});
