<?php
// Stores a customer's answer about a proof page: one JSON line appended to
// replies.jsonl in the job's folder, which the station fetches by FTP.
// Form POST fields: job, page, decision, comment, name, email, fingerprint,
// notes. Answers 201 "stored", or 400 (413, 405) with a one-line reason.
// Plain PHP 7.4+ without extensions beyond the default ones.

const MAX_BODY_BYTES = 262144;
const MAX_ANSWERS = 200;
const MAX_FILE_BYTES = 1048576;
const MAX_NOTES = 20;

function answer(int $status, string $text): void
{
    http_response_code($status);
    header('Content-Type: text/plain; charset=utf-8');
    header('Cache-Control: no-store');
    header('X-Content-Type-Options: nosniff');
    // Tells the viewer this is the answer endpoint and not some other page.
    header('X-Tavrin-Reply: 1');
    if ($status === 405)
        header('Allow: POST');
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

// The notes as [['x' => X, 'y' => Y, 'text' => T], ...], or a reason.
function parseNotes(string $json)
{
    if ($json === '')
        return [];
    $notes = json_decode($json, false, 4);
    if (!is_array($notes))
        return 'notes are not a JSON array';
    if (count($notes) > MAX_NOTES)
        return 'too many notes (at most ' . MAX_NOTES . ')';
    $parsed = [];
    foreach ($notes as $note) {
        if (!is_object($note))
            return 'a note is not an object';
        $keys = array_keys(get_object_vars($note));
        sort($keys);
        if ($keys !== ['text', 'x', 'y'])
            return 'a note must have exactly x, y and text';
        if (!is_int($note->x) || !is_int($note->y) || $note->x < 0 || $note->y < 0)
            return 'note coordinates must be whole numbers of at least 0';
        $text = is_string($note->text) ? str_replace("\r\n", "\n", $note->text) : '';
        if ($text === '' || !isText($text, 500, true))
            return 'a note text must be 1 to 500 characters without control characters';
        $parsed[] = ['x' => $note->x, 'y' => $note->y, 'text' => $text];
    }
    return $parsed;
}

if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'POST')
    answer(405, 'answers are sent with POST');
if ((int)($_SERVER['CONTENT_LENGTH'] ?? 0) > MAX_BODY_BYTES)
    answer(413, 'the answer is too large');
if (stripos($_SERVER['CONTENT_TYPE'] ?? '', 'application/x-www-form-urlencoded') !== 0)
    answer(400, 'the answer must be sent as application/x-www-form-urlencoded');

// The job name is the only thing from the request that becomes part of a
// path, and only once it has the exact form of a job folder's name.
$job = field('job');
if (preg_match('/\A[0-9]{17}(-[0-9a-f]{32})?\z/', $job) !== 1)
    answer(400, 'job is not a job folder name');
$folder = __DIR__ . '/../' . $job;
if (!is_file($folder . '/index.html'))
    answer(400, 'no such job');

$pageText = field('page');
if (preg_match('/\A[1-9][0-9]{0,3}\z/', $pageText) !== 1)
    answer(400, 'page is not a page number');
$page = (int)$pageText;
if (!is_file(sprintf('%s/tile0-%04d.tdb', $folder, $page)))
    answer(400, 'page out of range');

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
$notes = parseNotes(field('notes'));
if (is_string($notes))
    answer(400, $notes);

$line = json_encode([
    'job' => $job,
    'page' => $page,
    'decision' => $decision,
    'comment' => $comment,
    'name' => $name,
    'email' => $email,
    'fingerprint' => $fingerprint,
    'notes' => $notes,
    'time' => gmdate('Y-m-d\TH:i:s\Z'),
], JSON_UNESCAPED_SLASHES | JSON_HEX_TAG | JSON_HEX_AMP | JSON_HEX_APOS | JSON_HEX_QUOT) . "\n";

// Counted and appended under one exclusive lock, so that answers sent at
// the same moment neither interleave nor pass the limits together.
$file = @fopen($folder . '/replies.jsonl', 'c+');
if ($file === false || !flock($file, LOCK_EX))
    answer(500, 'the answer could not be stored on this server');
$stored = stream_get_contents($file);
$size = strlen($stored);
if (substr_count($stored, "\n") >= MAX_ANSWERS || $size + strlen($line) > MAX_FILE_BYTES)
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
