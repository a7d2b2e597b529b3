#!/usr/bin/python3
"""A new user's first run, end to end: a fresh copy of the program folder
without settings, started by the station's run path (tools/demo/run-with-demo.sh)
on a virtual X display; a changing tavrin-cli command refused while the
window is up; the window closed by its File menu, and the
servers gone with it; the demo job carried through the task chain by
tavrin-cli with the demo servers up; the proof opened in headless Chromium
from the demo's nginx address; the notification parsed from the demo's mail
folder; the customer's answers given in the viewer, stored by the demo's
PHP and fetched by tavrin-cli. Then a second start that reuses the demo, and a shop's own settings
file that stays untouched.

Usage: demo_e2e.py SOURCE_DIR BUILD_DIR NODE_MODULES"""

import email
import email.policy
import json
import os
import re
import shutil
import sqlite3
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

SOURCE, BUILD, NODE_MODULES = sys.argv[1:4]
LAUNCHER = os.path.join(SOURCE, "tools", "demo", "run-with-demo.sh")
PGBWRITE = os.path.join(BUILD, "tools", "pgbwrite", "pgbwrite")
SCREENSHOTS = os.path.join(BUILD, "tests", "e2e", "screenshots")
MAIN_WINDOW = "Dranwick Tavrin Remote Proofing System"
JOB = 101  # three pages in process colours and two spot colours
ROUND_2 = 104  # job 101 with a line of type added on page 2, ripped again

# The tasks on main: Master and Transfer. Set FULL_CHAIN once the runner
# carries a job through Preview, Web and Notify as well; then the job runs
# the whole chain from the queue, and the browser and e-mail checks run.
FULL_CHAIN = True

failures = 0


def check(name, body):
    global failures
    try:
        body()
        print("ok - " + name, flush=True)
    except Exception as error:  # every failed check is reported, the rest still run
        failures += 1
        print("not ok - %s\n# %s: %s" % (name, type(error).__name__, error), flush=True)


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def fresh_program_folder(parent):
    """The build's program folder as a new clone has it: no settings, catalogue or output."""
    station = os.path.join(parent, "station")
    shutil.copytree(os.path.join(BUILD, "station"), station,
                    ignore=shutil.ignore_patterns("tavrin.ini", "tavrin.mdb", "tavrin-demo.txt", "output"))
    return station


def settings_of(station):
    values = {}
    with open(os.path.join(station, "tavrin.ini")) as file:
        for line in file:
            key, sep, value = line.rstrip("\r\n").partition("=")
            if sep:
                values[key] = value
    return values


def cli(station, *arguments, expect_status=0):
    result = subprocess.run([os.path.join(station, "tavrin-cli"), *arguments], capture_output=True, text=True,
                            timeout=600)
    if expect_status is not None and result.returncode != expect_status:
        raise AssertionError("tavrin-cli %s: exit %d\n%s%s" % (" ".join(arguments), result.returncode,
                                                               result.stdout[-3000:], result.stderr[-3000:]))
    return result


class Launch:
    """The run path started in the background, its output collected in a file."""

    def __init__(self, station, demo, scratch, name, command=()):
        self.output_path = os.path.join(scratch, name + ".out")
        environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        with open(self.output_path, "w") as output:
            self.process = subprocess.Popen([LAUNCHER, "-w", PGBWRITE, station, demo, *command], stdout=output,
                                            stderr=subprocess.STDOUT, env=environment, start_new_session=True)

    def output(self):
        with open(self.output_path) as file:
            return file.read()

    def wait(self, seconds=120):
        return self.process.wait(seconds)

    def kill(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()


def station_process(station):
    """The pid of the station's executable of this program folder, or None."""
    executable = os.path.join(station, "tavrin")
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink("/proc/%s/exe" % pid) == executable:
                return int(pid)
        except OSError:
            pass
    return None


def x_environment(pid):
    """The display the station runs on, from its own environment."""
    with open("/proc/%d/environ" % pid, "rb") as file:
        pairs = [item.decode().partition("=") for item in file.read().split(b"\0") if item]
    environment = dict(os.environ)
    environment.update({k: v for k, _, v in pairs if k in ("DISPLAY", "XAUTHORITY")})
    return environment


def windows(environment):
    """(name, size) of every window on the display."""
    result = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True, env=environment)
    return re.findall(r'^\s+0x[0-9a-f]+ "([^"]*)":.*?(\d+x\d+)\+', result.stdout, re.MULTILINE)


def window_names(environment):
    return [name for name, _ in windows(environment)]


def splash_shown(environment):
    return "632x477" in [size for _, size in windows(environment)]


def wait_for_startup(environment):
    """Until the splash window has come and gone: it closes at the first timer
    tick of the message loop, once the start-up operation has ended."""
    wait_until(lambda: splash_shown(environment), 60, "the splash window")
    wait_until(lambda: not splash_shown(environment), 60, "the end of the start-up")
    expect(MAIN_WINDOW in window_names(environment), "the main window is up")


def listening_addresses(port):
    """Local addresses of the TCP sockets that listen on the port."""
    found = []
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as file:
            for line in file.readlines()[1:]:
                fields = line.split()
                address, hex_port = fields[1].split(":")
                if fields[3] == "0A" and int(hex_port, 16) == port:
                    found.append(address)
    return found


def http_get(url, range_header=None):
    request = urllib.request.Request(url, headers={"Range": range_header} if range_header else {})
    with urllib.request.urlopen(request, timeout=10) as response:
        return response.status, response.read()


def job_of_tree(station, reference):
    """(name, UniqueID) of a job from the job tree's line "[i] REF) NAME (... dpi) [UNIQUEID]"."""
    tree = cli(station, "tree").stdout
    match = re.search(r"^\[\d+\] %d\) (.*) \(\d+ x \d+\) \[(\d{17})\]$" % reference, tree, re.MULTILINE)
    expect(match, "job %d is in the job tree:\n%s" % (reference, tree))
    return match.group(1), match.group(2)


def first_run(scratch):
    station = fresh_program_folder(scratch)
    demo = os.path.join(scratch, "demo")
    launch = Launch(station, demo, scratch, "first")
    state = {"station": station, "demo": demo}
    try:
        run_first_start(launch, state)
    finally:
        launch.kill()
    if "ports" in state:
        walk_the_road(scratch, state)
    return state


def walk_the_road(scratch, state):
    """The README's command-line road: the window closed, the demo servers up
    for tavrin-cli, stopped by Ctrl+C."""
    station, demo = state["station"], state["demo"]
    launch = Launch(station, demo, scratch, "road", ["sleep", "3600"])
    try:
        def servers_up():
            wait_until(lambda: "Demo servers started" in launch.output() or launch.process.poll() is not None, 60,
                       "the demo servers")
            expect(launch.process.poll() is None, launch.output())
            startup = cli(station, "startup")
            expect("requires configuration" not in startup.stderr, startup.stderr)
        check("the demo servers run for tavrin-cli", servers_up)
        check("a job is carried through the task chain", lambda: carry_job(state))
        if FULL_CHAIN:
            check("the proof opens in headless Chromium from the nginx address", lambda: open_proof(state))
            check("the notification e-mail is in the mail folder", lambda: read_mail(state))
            check("the customer's answers reach the station", lambda: answer_round_trip(state))
            check("round 2 of the demo job is compared with round 1", lambda: second_round(state))
        else:
            print("# skipped until Preview, Web and Notify are on main: the browser and e-mail checks")
        if launch.process.poll() is None:
            os.killpg(launch.process.pid, signal.SIGINT)
            launch.wait(30)
    finally:
        launch.kill()


def run_first_start(launch, state):
    station, demo = state["station"], state["demo"]

    def station_up():
        pid = wait_until(lambda: station_process(station) or launch.process.poll() is not None, 180,
                         "the station to start")
        expect(pid is not True and launch.process.poll() is None, "the run path ended:\n" + launch.output())
        state["pid"] = pid
        state["x"] = x_environment(pid)
        try:
            wait_for_startup(state["x"])
        except AssertionError:
            raise AssertionError("windows %s; the run path said:\n%s" % (windows(state["x"]), launch.output()))
    check("the run path prepares the demo and starts the station on a virtual display", station_up)
    if "pid" not in state:
        return

    def says_what_it_started():
        text = launch.output()
        for line in ("First run: the station is set up with a demo", "Demo servers started",
                     "listening on 127.0.0.1 only", "They stop when the station closes"):
            expect(line in text, "the output says %r:\n%s" % (line, text))
        settings = settings_of(station)
        state["settings"] = settings
        state["ports"] = {
            "ftp": int(re.fullmatch(r"127\.0\.0\.1:(\d+)", settings["FTPServer"]).group(1)),
            "http": int(re.fullmatch(r"http://127\.0\.0\.1:(\d+)/", settings["WebRoot"]).group(1)),
            "smtp": int(settings["SMTPPort"]),
        }
        with open(os.path.join(station, "tavrin-demo.txt")) as marker:
            state["ports"]["php"] = int(re.search(r"^PHPPort=(\d+)$", marker.read(), re.MULTILINE).group(1))
        for port in state["ports"].values():
            expect(str(port) in text, "the output names port %d" % port)
    check("the run command says what it started and how to stop it", says_what_it_started)
    if "ports" not in state:
        return

    def settings_point_at_the_demo():
        settings = state["settings"]
        expect(settings["InputFolder"] == os.path.join(demo, "pagebuffers") + "/", settings["InputFolder"])
        expect(settings["SMTPHost"] == "127.0.0.1", settings["SMTPHost"])
        expect(cli(station, "decipher", settings["FTPUserName"]).stdout.strip() == "demo", "FTP user enciphered")
        expect(settings["FTPPassword"] and cli(station, "decipher", settings["FTPPassword"]).stdout.strip(),
               "FTP password enciphered")
        expect(os.path.exists(os.path.join(station, "tavrin-demo.txt")), "the demo's settings are marked")
        # Both servers on TLS, with the demo's own certificate pinned.
        fingerprint = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in",
                                      os.path.join(demo, "tls", "server.crt")],
                                     capture_output=True, text=True).stdout.strip().split("=", 1)[-1]
        expect(settings.get("FTPSecurity") == "TLS" and settings.get("SMTPSecurity") == "STARTTLS",
               "the demo runs on TLS: %s, %s" % (settings.get("FTPSecurity"), settings.get("SMTPSecurity")))
        expect(len(fingerprint) == 95 and settings.get("FTPServerFingerprint") == fingerprint ==
               settings.get("SMTPServerFingerprint"), "the demo's certificate is pinned")
        names = sorted(os.listdir(os.path.join(demo, "pagebuffers")))
        expect(any(n.startswith("%d-3-" % JOB) for n in names) and any("PANTONE" in n for n in names),
               "several pages and a spot colour: %s" % names)
        # The window's configuration check found nothing missing.
        expect("Configuration Error" not in window_names(state["x"]), "no configuration error box")
    check("the demo's settings are complete and point at its servers", settings_point_at_the_demo)

    def one_station_at_a_time():
        refused = cli(station, "startup", expect_status=1)
        expect("is in use by process %d." % state["pid"] in refused.stderr, refused.stderr)
        expect(re.search(r"^\d+\tDemo Customer\t", cli(station, "contacts", "list").stdout, re.MULTILINE),
               "reading commands still work")
    check("while the window is up, tavrin-cli only reads the station", one_station_at_a_time)

    def loopback_only():
        for name, port in state["ports"].items():
            addresses = listening_addresses(port)
            expect(addresses and all(a == "0100007F" for a in addresses), "%s listens on %s" % (name, addresses))
    check("the demo servers listen on 127.0.0.1 only", loopback_only)

    def close_window():
        status = None
        for _ in range(3):  # keys can get lost on a busy display: try again
            exit_by_menu(state["x"])
            try:
                status = launch.wait(10)
                break
            except subprocess.TimeoutExpired:
                pass
        expect(status == 0, "the run path ended with %d:\n%s" % (status, launch.output()))
        expect("Demo servers stopped." in launch.output(), launch.output())
        for name, port in state["ports"].items():
            expect(not listening_addresses(port), "%s still listens" % name)
        expect(not os.path.exists(os.path.join(demo, "run", "ready")), "the servers' ready mark is gone")
    check("closing the window stops the demo servers", close_window)


def exit_by_menu(environment):
    """File > Exit, by the keyboard."""
    def xdotool(*arguments):
        return subprocess.run(["xdotool", *arguments], capture_output=True, text=True, env=environment, timeout=10)
    window = xdotool("search", "--name", "^%s$" % MAIN_WINDOW).stdout.split()
    if window:
        xdotool("windowfocus", "--sync", window[0])
        xdotool("key", "--window", window[0], "alt+f")
        time.sleep(0.5)
        xdotool("key", "x")


def remote_folder_of(station, job):
    """The job's folder on the web host: its unique id and its secret."""
    with sqlite3.connect("file:%s?mode=ro" % os.path.join(station, "tavrin.mdb"), uri=True) as catalogue:
        unique_id, secret = catalogue.execute(
            "select JobListUniqueID, JobListSecret from JobList where JobListReference = ?", (job,)).fetchone()
    expect(re.fullmatch(r"[0-9a-f]{32}", secret or ""), "the job has a secret: %r" % secret)
    return "%s-%s" % (unique_id, secret)


def carry_job(state):
    station, demo = state["station"], state["demo"]
    name, unique_id = job_of_tree(station, JOB)
    state["job"] = (name, unique_id, remote_folder_of(station, JOB))
    contacts = cli(station, "contacts", "list").stdout
    contact = re.search(r"^(\d+)\tDemo Customer\t", contacts, re.MULTILINE)
    expect(contact, "the demo's customer is in the address book:\n" + contacts)
    queue = ["queue", "add", str(JOB), "then", "queue", "recipient", "add", str(JOB), contact.group(1)]
    if not FULL_CHAIN:
        queue += ["then", "queue", "tasks", str(JOB), "Master"]
    run = cli(station, *queue, "then", "start", "--yes").stdout
    done = ["Master", "Preview", "Web files", "Transfer", "Notification"] if FULL_CHAIN else ["Master"]
    if not FULL_CHAIN:
        transfer = cli(station, "task", "transfer", str(JOB)).stdout
        expect(transfer.rstrip().endswith("]: Done."), "the transfer ran:\n" + transfer[-2000:])
        run += transfer
    for task in done:
        expect("%s for job %d complete." % (task, JOB) in run, "%s ran:\n%s" % (task, run[-2000:]))
    expect("not available" not in run and "rror" not in run, run[-2000:])
    postqueue = cli(station, "postqueue", "list").stdout
    expect(re.search(r"^%d\t" % JOB, postqueue, re.MULTILINE), "the job is in the post queue:\n" + postqueue)
    for page in (1, 2, 3):
        expect(os.path.getsize(os.path.join(station, "output", "%s-%04d.tif" % (unique_id, page))) > 0, "master")

    # What the FTP server received is what nginx serves.
    remote = os.path.join(demo, "web", "tavrin")
    base = "http://127.0.0.1:%d/tavrin/" % state["ports"]["http"]
    name, unique_id, folder = state["job"]
    expect(os.path.isdir(os.path.join(remote, folder)), "the job's folder on the web host")
    expect(not os.path.exists(os.path.join(remote, unique_id)), "no folder named by the guessable id alone")
    # A listing web server shows nothing of tavrin/.
    status, listing = http_get(base)
    expect(status == 200 and folder.encode() not in listing, "tavrin/ lists no job")
    # The job folder is written by Preview and Web.
    local = os.path.join(station, "output", unique_id)
    for file in sorted(os.listdir(local)) if FULL_CHAIN else []:
        with open(os.path.join(local, file), "rb") as original:
            sent = original.read()
        # Pages and the ink data travel as text (TYPE A): the server stores them with its own line ends.
        if file.endswith((".html", ".js")):
            sent = sent.replace(b"\r\n", b"\n")
        expect(http_get(base + folder + "/" + file)[1] == sent, file + " served as uploaded")
    with open(os.path.join(station, "scripts", "tavrin.css"), "rb") as original:
        expect(http_get(base + "scripts/tavrin.css")[1] == original.read(), "shared script served")
    status, part = http_get(base + "images/logo.jpg", "bytes=0-9")
    expect(status == 206 and len(part) == 10, "nginx answers Range requests")
    if FULL_CHAIN:
        for file in ("index.html", "print.html", "inks.js", "overview-0001.png", "tile0-0001.tdb", "tile4-0003.tdb"):
            expect(os.path.exists(os.path.join(remote, folder, file)), file + " uploaded")


def open_proof(state):
    name, unique_id, folder = state["job"]
    link = "%stavrin/%s/" % (state["settings"]["WebRoot"], folder)
    script = os.path.join(SOURCE, "tests", "e2e", "open-proof.cjs")
    result = subprocess.run(["node", script, NODE_MODULES, link, name, os.path.join(SCREENSHOTS, "proof.png")],
                            capture_output=True, text=True, timeout=180)
    print(result.stdout, end="")
    expect(result.returncode == 0, result.stdout[-2000:] + result.stderr[-2000:])
    access = open(os.path.join(state["demo"], "logs", "nginx-access.log")).read()
    expect(re.search(r'"GET /tavrin/%s/tile0-0001\.tdb HTTP/1\.1" 206 ' % folder, access),
           "the viewer read tiles by Range requests")


def answer_round_trip(state):
    """The customer answers in the viewer, the demo's PHP stores the answers,
    and tavrin-cli fetches them by FTP and shows the job's status."""
    name, unique_id, folder = state["job"]
    link = "%stavrin/%s/" % (state["settings"]["WebRoot"], folder)
    script = os.path.join(SOURCE, "tests", "e2e", "answer-proof.cjs")
    result = subprocess.run(["node", script, NODE_MODULES, link, os.path.join(SCREENSHOTS, "answered.png")],
                            capture_output=True, text=True, timeout=180)
    print(result.stdout, end="")
    expect(result.returncode == 0, result.stdout[-2000:] + result.stderr[-2000:])

    remote = os.path.join(state["demo"], "web", "tavrin", folder)
    with open(os.path.join(remote, "replies.jsonl")) as file:
        lines = [json.loads(line) for line in file]
    with open(os.path.join(remote, "proof.js")) as file:
        fingerprint = json.loads(re.match(r"var proofprint=(.*);\s*$", file.read(), re.S).group(1))["job"]
    expect([(line["page"], line["decision"], len(line["notes"])) for line in lines] == [(1, "approve", 0),
                                                                                        (2, "changes", 2)],
           "the two answers as the endpoint stored them: %s" % lines)
    expect(all(line["fingerprint"] == fingerprint and line["job"] == folder for line in lines), lines)

    replies = cli(state["station"], "replies", str(JOB))
    with open(os.path.join(SCREENSHOTS, "replies.txt"), "w") as file:
        file.write(replies.stdout)
    print("# tavrin-cli replies %d:\n# %s" % (JOB, replies.stdout.rstrip().replace("\n", "\n# ")))
    answers = [line for line in replies.stdout.splitlines() if line.startswith("page ")]
    who = "by Demo Customer <customer@demo-customer.example> at "
    expect(len(answers) == 2 and answers[0].startswith("page 1 approve " + who) and
           answers[1].startswith("page 2 changes " + who), replies.stdout)
    expect(all(line.endswith(", proof " + fingerprint[:12]) for line in answers), replies.stdout)
    expect("    comment: Two changes on this page, see the notes." in replies.stdout, replies.stdout)
    expect(replies.stdout.count("    note at ") == 2, replies.stdout)
    postqueue = cli(state["station"], "postqueue", "list").stdout
    expect(re.search(r"^%d\t.*\tChanges requested$" % JOB, postqueue, re.MULTILINE), postqueue)


def second_round(state):
    """Job 104, job 101 corrected on page 2 and ripped again, carried through
    the chain as round 2 of job 101: the compare names the changed page, and
    the customer's mail says which round it is and what changed."""
    station = state["station"]
    name, unique_id = job_of_tree(station, ROUND_2)
    expect(name == state["job"][0], "round 2 bears the name of round 1: %r" % name)
    contact = re.search(r"^(\d+)\tDemo Customer\t", cli(station, "contacts", "list").stdout, re.MULTILINE).group(1)
    run = cli(station, "queue", "add", str(ROUND_2), "--round-of", str(JOB), "then", "queue", "recipient", "add",
              str(ROUND_2), contact, "then", "start", "--yes").stdout
    for task in ("Master", "Preview", "Web files", "Transfer", "Notification"):
        expect("%s for job %d complete." % (task, ROUND_2) in run, "%s ran:\n%s" % (task, run[-2000:]))
    postqueue = cli(station, "postqueue", "list").stdout
    expect(re.search(r"^%d\t.*\tround 2 of %d$" % (ROUND_2, JOB), postqueue, re.MULTILINE), postqueue)

    compare = cli(station, "compare", str(JOB), str(ROUND_2), expect_status=1)
    print("# tavrin-cli compare %d %d:\n# %s" % (JOB, ROUND_2, compare.stdout.rstrip().replace("\n", "\n# ")))
    lines = compare.stdout.splitlines()
    expect(len(lines) == 3 and lines[0] == "page 1 same" and lines[2] == "page 3 same" and
           re.fullmatch(r"page 2 changed: BLACK \d+ px; area \d+,\d+ to \d+,\d+", lines[1]), compare.stdout)

    folder = os.path.join(state["demo"], "mail")
    messages = []
    for file_name in sorted(os.listdir(folder)):
        if file_name.endswith(".eml"):
            with open(os.path.join(folder, file_name), "rb") as file:
                messages.append(email.message_from_binary_file(file, policy=email.policy.default))
    later = [m for m in messages if m["Subject"] == "Remote Proofing information for %s (round 2)" % name]
    expect(len(later) == 1, "one mail of round 2: %s" % [m["Subject"] for m in messages])
    plain = later[0].get_payload()[0].get_content()
    # The Web task stored the compare with the proof: the line tells the changes from it.
    with sqlite3.connect("file:%s?mode=ro" % os.path.join(station, "tavrin.mdb"), uri=True) as catalogue:
        stored = catalogue.execute("select count(*) from RoundChangeList where RoundChangeListJobReference = ?",
                                   (ROUND_2,)).fetchone()[0]
    expect(stored == 3, "the compare of round 2's three pages is stored: %d rows" % stored)
    line = "Round 2: page 2 changed since round 1; page 1 is unchanged and stays approved; page 3 is unchanged."
    expect(plain.splitlines()[-1] == line, "the round's line after the text:\n" + plain)


def read_mail(state):
    name, unique_id, remote = state["job"]
    folder = os.path.join(state["demo"], "mail")
    messages = [n for n in os.listdir(folder) if n.endswith(".eml")]
    expect(len(messages) == 1, "one message: %s" % messages)
    with open(os.path.join(folder, messages[0]), "rb") as file:
        message = email.message_from_binary_file(file, policy=email.policy.default)
    link = "%stavrin/%s/" % (state["settings"]["WebRoot"], remote)
    expect(message["Subject"] == "Remote Proofing information for " + name, message["Subject"])
    expect(message["From"].addresses[0].addr_spec == "proofs@demo-prepress.example", message["From"])
    expect([a.addr_spec for a in message["To"].addresses] == ["customer@demo-customer.example"], message["To"])
    # The plain text beside the HTML, which travels with the picture it shows.
    expect(message.get_content_type() == "multipart/alternative", message.get_content_type())
    plain, related = message.get_payload()
    expect(related.get_content_type() == "multipart/related", related.get_content_type())
    html, picture = related.get_payload()
    expect(plain.get_content_type() == "text/plain" and html.get_content_type() == "text/html", "text parts")
    expect(re.fullmatch(r"<[^<>@\s]+@demo-prepress\.example>", message["Message-ID"] or ""), message["Message-ID"])
    expect(message["Date"] is not None and message["Date"].datetime.tzinfo is not None, message["Date"])
    expect("Please visit %s to review this job" % link in plain.get_content(), plain.get_content())
    expect('<a href="%s">' % link in html.get_content(), html.get_content())
    expect('<img src="CID:overview-0001.png">' in html.get_content(), html.get_content())
    expect(picture.get_content_type() == "image/png", picture.get_content_type())
    expect(picture.get_content_disposition() == "inline", picture.get_content_disposition())
    expect(picture["Content-ID"].strip("<>") == "overview-0001.png", picture["Content-ID"])
    with open(os.path.join(state["station"], "output", unique_id, "overview-0001.png"), "rb") as overview:
        expect(picture.get_content() == overview.read(), "the inline picture is page 1's overview")
    # The link in the mail is the page the customer opens.
    status, page = http_get(link)
    expect(status == 200 and b"tavrin" in page.lower(), "the link opens the proof page")


def second_start(scratch, state):
    station, demo = state["station"], state["demo"]
    settings = os.path.join(station, "tavrin.ini")
    before = open(settings, "rb").read()
    rendered = os.path.getmtime(os.path.join(demo, "pagebuffers"))
    # A demo prepared before the demo served PHP: its marker names no PHP port.
    marker = os.path.join(station, "tavrin-demo.txt")
    with open(marker) as file:
        older = "".join(line for line in file if not line.startswith("PHPPort="))
    with open(marker, "w") as file:
        file.write(older)
    launch = Launch(station, demo, scratch, "second", [os.path.join(station, "tavrin-cli"), "postqueue", "list"])
    try:
        expect(launch.wait() == 0, launch.output())
    finally:
        launch.kill()
    text = launch.output()
    expect("Using the demo prepared earlier" in text and "Demo servers started" in text, text)
    expect(re.search(r"^%d\t" % JOB, text, re.MULTILINE), "the post queue is kept:\n" + text)
    expect(open(settings, "rb").read() == before, "the settings file is untouched")
    with open(marker) as file:
        expect(re.search(r"^PHPPort=\d+$", file.read(), re.MULTILINE), "the older demo got a PHP port, kept")
    expect("answer endpoint     PHP on 127.0.0.1:" in text, text)
    expect(os.path.getmtime(os.path.join(demo, "pagebuffers")) == rendered, "the demo jobs are not rendered again")


def shop_settings(scratch):
    folder = os.path.join(scratch, "shop")
    os.mkdir(folder)
    station = fresh_program_folder(folder)
    demo = os.path.join(folder, "demo")
    settings = os.path.join(station, "tavrin.ini")
    own = "[Main]\nInputFolder=%s/\nFTPServer=ftp.shop.example\nSMTPPort=25\n" % folder
    with open(settings, "w") as file:
        file.write(own)
    launch = Launch(station, demo, folder, "shop")
    try:
        pid = wait_until(lambda: station_process(station), 60, "the station")
        environment = x_environment(pid)
        # The window's configuration check reports what the shop has yet to set.
        wait_until(lambda: "Configuration Error" in window_names(environment), 30, "the configuration error box")
        os.kill(pid, signal.SIGTERM)
        launch.wait(60)
    finally:
        launch.kill()
    text = launch.output()
    expect("First run" not in text and "Demo servers" not in text, "no demo for a shop's own settings:\n" + text)
    expect(open(settings).read() == own, "the shop's settings file is untouched")
    expect(not os.path.exists(demo) and not os.path.exists(os.path.join(station, "tavrin-demo.txt")),
           "no demo folder and no marker")


def main():
    os.makedirs(SCREENSHOTS, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="tavrin-e2e-")
    try:
        state = first_run(scratch)
        if "ports" in state:
            check("a second start reuses the demo and leaves its settings alone",
                  lambda: second_start(scratch, state))
        check("a shop's own settings file is never touched", lambda: shop_settings(scratch))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("%d check(s) failed" % failures if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
