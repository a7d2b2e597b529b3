<?php
// Stores a customer's answer about proof pages: one JSON line per page
// appended to replies.jsonl in the job's folder, which the station fetches
// by FTP. Form POST fields: job, page (a number, a comma-separated list or
// "all"), decision, comment, name, email, fingerprint, notes. Answers 201
// "stored", or 400 (413, 405) with a one-line reason.
// GET ?job=FOLDER answers the job's stored answers as a JSON array, oldest
// first, without the reviewers' e-mail addresses (400 for a name that is no
// job folder's, 404 for a job that is not there).
// Plain PHP 7.4+ without extensions beyond the default ones.

const MAX_BODY_BYTES = 262144;
const MAX_ANSWERS = 200;
const MAX_FILE_BYTES = 1048576;
const MAX_NOTES = 20; // per page
const JOB_NAME = '/\A[0-9]{17}(-[0-9a-f]{32})?\z/';

function answer(int $status, string $text): void
{
    http_response_code($status);
    header('Content-Type: text/plain; charset=utf-8');
    header('Cache-Control: no-store');
    header('X-Content-Type-Options: nosniff');
    // Tells the viewer this is the answer endpoint and not some other page.
    header('X-Tavrin-Reply: 1');
    if ($status === 405)
        header('Allow: GET, POST');
    echo $text;
    exit;
}

function field(string $name): string
{
    $value = $_POST[$name] ?? '';
    if (!is_string($value))
        answer(400, "$name must be a single text field");
    // Form encoders send CR LF for a line end; one line feed is kept.
    return str_replace("\r\n", "\n", $value);
}

// Valid UTF-8 of at most $max characters without control characters
// (line feed and tab allowed where $lines).
function isText(string $value, int $max, bool $lines): bool
{
    $allowed = $lines ? '\t\n\P{Cc}' : '\P{Cc}';
    return preg_match('/\A[' . $allowed . ']{0,' . $max . '}\z/u', $value) === 1;
}

// The notes as page => [['x' => X, 'y' => Y, 'text' => T], ...] for the
// pages answered, or a reason. A note names its page when the answer is for
// more than one page.
function parseNotes(string $json, array $pages)
{
    $parsed = array_fill_keys($pages, []);
    if ($json === '')
        return $parsed;
    $notes = json_decode($json, false, 4);
    if (!is_array($notes))
        return 'notes are not a JSON array';
    $single = count($pages) === 1;
    $expected = $single ? ['text', 'x', 'y'] : ['page', 'text', 'x', 'y'];
    foreach ($notes as $note) {
        if (!is_object($note))
            return 'a note is not an object';
        $keys = array_keys(get_object_vars($note));
        sort($keys);
        if ($keys !== $expected)
            return $single ? 'a note must have exactly x, y and text'
                           : 'a note must have exactly page, x, y and text when several pages are answered';
        $page = $single ? $pages[0] : $note->page;
        if (!is_int($page) || !array_key_exists($page, $parsed))
            return 'a note is on a page this answer is not for';
        if (!is_int($note->x) || !is_int($note->y) || $note->x < 0 || $note->y < 0)
            return 'note coordinates must be whole numbers of at least 0';
        $text = is_string($note->text) ? str_replace("\r\n", "\n", $note->text) : '';
        if ($text === '' || !isText($text, 500, true))
            return 'a note text must be 1 to 500 characters without control characters';
        if (count($parsed[$page]) >= MAX_NOTES)
            return 'too many notes (at most ' . MAX_NOTES . ' per page)';
        $parsed[$page][] = ['x' => $note->x, 'y' => $note->y, 'text' => $text];
    }
    return $parsed;
}

// The job folder of a checked job name, or null when it holds no proof.
function jobFolder(string $job): ?string
{
    $folder = __DIR__ . '/../' . $job;
    return is_file($folder . '/index.html') ? $folder : null;
}

function hasPage(string $folder, int $page): bool
{
    return is_file(sprintf('%s/tile0-%04d.tdb', $folder, $page));
}

// The pages a page field names, in ascending order, or a reason. "all" is
// every page the upload put beside the proof: they are numbered from 1 on.
function parsePages(string $text, string $folder)
{
    if ($text === 'all') {
        $pages = [];
        for ($page = 1; $page <= 9999 && hasPage($folder, $page); $page++)
            $pages[] = $page;
        return $pages ? $pages : 'the proof has no pages';
    }
    if (preg_match('/\A[1-9][0-9]{0,3}(,[1-9][0-9]{0,3})*\z/', $text) !== 1)
        return 'page is not a page number, a comma-separated list of them or all';
    $pages = array_map('intval', explode(',', $text));
    if (count(array_unique($pages)) !== count($pages))
        return 'a page is listed twice';
    sort($pages);
    foreach ($pages as $page) {
        if (!hasPage($folder, $page))
            return 'page out of range';
    }
    return $pages;
}

// The stored answers for GET: every line as it was stored but the e-mail
// address, read under a shared lock so that no half-written answer shows.
function storedAnswers(string $folder): string
{
    $answers = [];
    $file = @fopen($folder . '/replies.jsonl', 'r');
    if ($file !== false) {
        if (!flock($file, LOCK_SH))
            answer(500, 'the answers could not be read on this server');
        $stored = stream_get_contents($file);
        flock($file, LOCK_UN);
        fclose($file);
        foreach (explode("\n", $stored) as $line) {
            $entry = json_decode($line, true, 8);
            if (!is_array($entry) || !isset($entry['page'], $entry['decision']))
                continue; // a line nobody could have stored here
            unset($entry['email']);
            $answers[] = $entry;
        }
    }
    return json_encode($answers, JSON_UNESCAPED_SLASHES | JSON_HEX_TAG | JSON_HEX_AMP | JSON_HEX_APOS |
                                 JSON_HEX_QUOT | JSON_PARTIAL_OUTPUT_ON_ERROR);
}

function answerStored(): void
{
    if (!is_string($_GET['job'] ?? null) || preg_match(JOB_NAME, $_GET['job']) !== 1)
        answer(400, 'job is not a job folder name');
    $folder = jobFolder($_GET['job']);
    if ($folder === null)
        answer(404, 'no such job');
    $json = storedAnswers($folder);
    http_response_code(200);
    header('Content-Type: application/json; charset=utf-8');
    header('Cache-Control: no-store');
    header('X-Content-Type-Options: nosniff');
    header('X-Tavrin-Reply: 1');
    echo $json;
    exit;
}

$method = $_SERVER['REQUEST_METHOD'] ?? '';
if ($method === 'GET')
    answerStored();
if ($method !== 'POST')
    answer(405, 'answers are sent with POST and read with GET');
if ((int)($_SERVER['CONTENT_LENGTH'] ?? 0) > MAX_BODY_BYTES)
    answer(413, 'the answer is too large');
if (stripos($_SERVER['CONTENT_TYPE'] ?? '', 'application/x-www-form-urlencoded') !== 0)
    answer(400, 'the answer must be sent as application/x-www-form-urlencoded');

// The job name is the only thing from the request that becomes part of a
// path, and only once it has the exact form of a job folder's name.
$job = field('job');
if (preg_match(JOB_NAME, $job) !== 1)
    answer(400, 'job is not a job folder name');
$folder = jobFolder($job);
if ($folder === null)
    answer(400, 'no such job');

$pages = parsePages(field('page'), $folder);
if (is_string($pages))
    answer(400, $pages);

$decision = field('decision');
if ($decision !== 'approve' && $decision !== 'changes')
    answer(400, 'decision must be approve or changes');
$comment = field('comment');
if (!isText($comment, 2000, true))
    answer(400, 'comment must be at most 2000 characters without control characters');
$name = field('name');
if (!isText($name, 100, false))
    answer(400, 'name must be at most 100 characters without control characters');
$email = field('email');
if ($email !== '' && (!isText($email, 254, false) || preg_match('/\A[^\s@]+@[^\s@]+\.[^\s@]+\z/u', $email) !== 1))
    answer(400, 'email is not an e-mail address');
$fingerprint = field('fingerprint');
if ($fingerprint !== '' && preg_match('/\A[0-9a-f]{64}\z/', $fingerprint) !== 1)
    answer(400, 'fingerprint must be empty or 64 lower-case hexadecimal digits');
$notes = parseNotes(field('notes'), $pages);
if (is_string($notes))
    answer(400, $notes);

// One line per page, all with the same time: one answer.
$time = gmdate('Y-m-d\TH:i:s\Z');
$line = '';
foreach ($pages as $page) {
    $line .= json_encode([
        'job' => $job,
        'page' => $page,
        'decision' => $decision,
        'comment' => $comment,
        'name' => $name,
        'email' => $email,
        'fingerprint' => $fingerprint,
        'notes' => $notes[$page],
        'time' => $time,
    ], JSON_UNESCAPED_SLASHES | JSON_HEX_TAG | JSON_HEX_AMP | JSON_HEX_APOS | JSON_HEX_QUOT) . "\n";
}

// Counted and appended under one exclusive lock, so that answers sent at
// the same moment neither interleave nor pass the limits together; the
// lines of all pages go in one write, or none of them does.
$file = @fopen($folder . '/replies.jsonl', 'c+');
if ($file === false || !flock($file, LOCK_EX))
    answer(500, 'the answer could not be stored on this server');
$stored = stream_get_contents($file);
$size = strlen($stored);
if (substr_count($stored, "\n") + count($pages) > MAX_ANSWERS || $size + strlen($line) > MAX_FILE_BYTES)
    answer(400, 'too many answers for this job');
fseek($file, 0, SEEK_END);
$written = fwrite($file, $line);
if ($written !== strlen($line) || !fflush($file)) {
    // A disk that filled up leaves no half line behind.
    ftruncate($file, $size);
    answer(500, 'the answer could not be stored on this server');
}
flock($file, LOCK_UN);
fclose($file);
answer(201, 'stored');
