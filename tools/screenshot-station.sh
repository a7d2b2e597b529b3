#!/usr/bin/env bash
# Takes the README's screenshots of the station's windows: runs the station
# on a virtual X display (with a window manager, so captions show) in a
# scratch copy of the program folder whose page buffer folder holds rendered
# test pages, and writes docs/*.png.
# Usage: tools/screenshot-station.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != "--inside" ]; then
  "$root/tools/install-dependencies.sh" docs
  "$root/tools/configure-build.sh" "$root/build"
  cmake --build "$root/build" --target tavrin tavrin-cli pgbwrite station_data
  exec xvfb-run -a -s "-screen 0 1360x860x24" "$0" --inside
fi

docs=$root/docs
scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# 1. A program folder of its own, so that the build's stays untouched.
station=$scratch/station
mkdir -p "$station"
cp -r "$root/build/station/." "$station/"
rm -f "$station/tavrin.ini" "$station/tavrin.mdb"
rm -rf "$station/output"
cli=$station/tavrin-cli

# 2. Four jobs of rendered test pages in the page buffer folder.
for job in 12 17 23 31; do
  "$root/tools/render-testpage.sh" -r 150 -j "$job" "$scratch/pagebuffers" >/dev/null
done

# 3. An FTP web host and a mail server on 127.0.0.1 (the delivery tests'
#    servers), so that job 12 goes the whole way; a complete configuration.
mkdir -p "$scratch/web" "$scratch/mail"
/usr/bin/python3 "$root/tests/delivery/ftp_server.py" --root "$scratch/web" \
  --port-file "$scratch/ftp.port" --command-log "$scratch/ftp.log" &
pids+=($!)
/usr/bin/python3 "$root/tests/delivery/smtp_server.py" --port-file "$scratch/smtp.port" \
  --command-log "$scratch/smtp.log" --mail-dir "$scratch/mail" &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$scratch/ftp.port" ] && [ -s "$scratch/smtp.port" ] && break
  sleep 0.1
done
cat >"$station/tavrin.ini" <<INI
[Main]
InputFolder=$scratch/pagebuffers/
FTPServer=127.0.0.1:$(cat "$scratch/ftp.port")
FTPUserName=$("$cli" encipher u)
FTPPassword=$("$cli" encipher secret)
FTPInitialDirectory=
FTPPassiveMode=True
FTPUseKeepAlives=True
SMTPHost=127.0.0.1
SMTPPort=$(cat "$scratch/smtp.port")
AuthenticationRequired=False
FromEmail=proofs@example.com
FromEmailName=Example Prepress
WebRoot=http://proofs.example.com/
ShowHint=True
NotifyIntroduction=Dear customer,\nyour proof is ready: please check every page.
NotifySignature=Example Prepress, proof desk\n+44 20 7946 0000
ReminderDays=2
INI

# 4. Contacts, and the jobs.
"$cli" startup >/dev/null
"$cli" contacts save "Lena Hart" lena.hart@example.com >/dev/null
"$cli" contacts save "Erik Moss" erik@moss-print.example.com >/dev/null
"$cli" contacts save "Carla Ortiz" carla@ortiz.example.com >/dev/null
# Job 12 (Lena Hart, due in a week) and job 23 (Erik Moss, due two days ago)
# carried through the queue to the post queue, one after the other; 17 and
# 31 waiting.
due() { date -d "$1" +%Y-%m-%d; }
# The customer's answers to the job just sent (the one web folder without
# answers yet), as the answer endpoint stores them.
answer() {
  /usr/bin/python3 - "$scratch/web/tavrin" "$1" "$(date -u -d '-40 minutes' +%Y-%m-%dT%H:%M:%SZ)" <<'PY'
import json, os, re, sys
root, who, recent = sys.argv[1:4]
answers = {
    "Lena Hart": [
        dict(page=1, decision="approve", comment="", notes=[], time="2026-12-10T09:30:12Z"),
        dict(page=1, decision="changes", comment="The headline one point larger, please.",
             notes=[dict(x=420, y=310, text="Too close to the trim."),
                    dict(x=900, y=1210, text="Is this the new logo?")],
             time=recent),
    ],
    "Erik Moss": [dict(page=1, decision="approve", comment="Good to print.", notes=[], time="2026-12-10T11:02:40Z")],
}
emails = {"Lena Hart": "lena.hart@example.com", "Erik Moss": "erik@moss-print.example.com"}
folder = next(n for n in os.listdir(root) if re.fullmatch(r"[0-9]{17}-[0-9a-f]{32}", n)
              and not os.path.exists(os.path.join(root, n, "replies.jsonl")))
with open(os.path.join(root, folder, "proof.js")) as file:
    fingerprint = json.loads(re.match(r"var proofprint=(.*);\s*$", file.read(), re.S).group(1))["job"]
with open(os.path.join(root, folder, "replies.jsonl"), "w") as file:
    for answer in answers[who]:
        line = dict(job=folder, page=answer["page"], decision=answer["decision"], comment=answer["comment"],
                    name=who, email=emails[who], fingerprint=fingerprint, notes=answer["notes"], time=answer["time"])
        file.write(json.dumps(line, separators=(",", ":")) + "\n")
PY
}
"$cli" queue add 23 then queue recipient add 23 2 then queue due 23 "$(due '-2 days')" then start --yes >/dev/null
answer "Erik Moss"
"$cli" replies 23 then verify 23 >/dev/null
"$cli" queue add 12 then queue recipient add 12 1 then queue due 12 "$(due '+7 days')" then start --yes >/dev/null
answer "Lena Hart"
"$cli" queue add 17 then queue recipient add 17 1 then queue recipient add 17 3 then \
  queue due 17 "$(due '+3 days')" >/dev/null
"$cli" queue add 31 then queue tasks 31 "Master, Preview" >/dev/null

# 5. The station, with a window manager.
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
(cd "$station" && exec ./tavrin) &
pids+=($!)

shoot_root() { import -window root "$docs/$1"; }
window_of() { xdotool search --sync --onlyvisible --name "$1" | head -1; }
shoot() { import -frame -window "$(window_of "$1")" "$docs/$2"; }
# Clicks at a point of the main window's client area.
click() {
  xdotool mousemove --window "$main" "$1" "$2" click 1
  sleep 0.7
}

sleep 1.5
shoot_root splash.png
main=$(window_of "Dranwick Tavrin Remote Proofing System")
sleep 3
# The window is as wide as its contents; the queue's side begins halfway.
eval "$(xdotool getwindowgeometry --shell "$main")"
pages=$((WIDTH / 2 - 12))

# The main window's tabs: Queue (with job 17 selected), Post Queue, Preview, Log.
click 22 80                   # opens job 12: its plates
click 140 80                  # and selects it
click $((pages + 122)) 125    # the first queue row
shoot "Dranwick Tavrin" main-queue.png
click $((pages + 121)) 48     # Post Queue
click $((pages + 122)) 125    # job 23, Ready for plates
click $((pages + 249)) 556    # Refresh answers: job 12's come in as news
sleep 3
shoot "Dranwick Tavrin" main-post-queue.png
click $((pages + 203)) 48     # Preview of job 12
shoot "Dranwick Tavrin" main-preview.png
click $((pages + 42)) 48      # the queue again: Start carries jobs 17 and 31 through their tasks
click $((WIDTH - 65)) 528
click $((pages + 261)) 48     # Log
shoot "Dranwick Tavrin" main-log.png

# The dialogs, opened from the File menu.
xdotool key --window "$main" alt+f c
sleep 1
shoot "^Configuration$" configuration.png
config=$(window_of "^Configuration$")
xdotool mousemove --window "$config" 168 17 click 1
sleep 0.7
shoot "^Configuration$" configuration-email.png
xdotool key Escape
sleep 1
xdotool key --window "$main" alt+f a
sleep 1
shoot "^Address Book$" address-book.png
xdotool key Escape
echo "Screenshots written to $docs"
