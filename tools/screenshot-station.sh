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
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" --inside
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

# 2. Three jobs of rendered test pages in the page buffer folder.
for job in 12 17 23; do
  "$root/tools/render-testpage.sh" -r 150 -j "$job" "$scratch/pagebuffers" >/dev/null
done

# 3. A complete configuration.
cat >"$station/tavrin.ini" <<INI
[Main]
InputFolder=$scratch/pagebuffers/
FTPServer=ftp.example.com
FTPUserName=$("$cli" encipher proofs)
FTPPassword=$("$cli" encipher secret)
FTPInitialDirectory=public_html/
FTPPassiveMode=True
FTPUseKeepAlives=True
SMTPHost=mail.example.com
SMTPPort=25
AuthenticationRequired=False
FromEmail=proofs@example.com
FromEmailName=Example Prepress
WebRoot=http://proofs.example.com/
ShowHint=True
INI

# 4. Contacts; job 12 carried through the queue to the post queue; 17 and 23 waiting.
"$cli" startup >/dev/null
"$cli" contacts save "Lena Hart" lena.hart@example.com >/dev/null
"$cli" contacts save "Erik Moss" erik@moss-print.example.com >/dev/null
"$cli" contacts save "Carla Ortiz" carla@ortiz.example.com >/dev/null
"$cli" queue add 12 then queue recipient add 12 1 then start --yes
"$cli" queue add 17 then queue recipient add 17 1 then queue recipient add 17 3 >/dev/null
"$cli" queue add 23 then queue tasks 23 "Master, Preview" >/dev/null

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
xdotool windowmove "$main" 20 20
sleep 3

# The main window's tabs: Queue (with job 17 selected), Post Queue, Preview, Log.
click 22 80       # opens job 12: its plates
click 140 80      # and selects it
click 540 88      # the first queue row
shoot "Dranwick Tavrin" main-queue.png
click 612 48      # Post Queue
click 550 88
shoot "Dranwick Tavrin" main-post-queue.png
click 695 48      # Preview of job 12
shoot "Dranwick Tavrin" main-preview.png
click 535 48      # the queue again: Start carries jobs 17 and 23 as far as this build can
click 944 528
click 753 48      # Log
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
