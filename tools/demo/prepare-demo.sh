#!/usr/bin/env bash
# Prepares the demo of a first run in DEMO_FOLDER: demo jobs rendered by
# Ghostscript from the project's test pages into a page buffer folder, and the
# folders of the demo's web host and mail server. When PROGRAM_FOLDER has no
# settings file yet, writes one that points at all of them (ports chosen free
# on 127.0.0.1, the FTP account enciphered as the station keeps it, both
# servers on TLS with the demo's own self-signed certificate pinned) and the
# marker file that tells it is the demo's own. An existing settings file is
# never touched.
# Usage: tools/demo/prepare-demo.sh [-w PGBWRITE] PROGRAM_FOLDER DEMO_FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
pgbwrite=$root/build/tools/pgbwrite/pgbwrite
while getopts "w:" option; do
  case $option in
    w) pgbwrite=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 2 ] || { echo "Usage: $0 [-w PGBWRITE] PROGRAM_FOLDER DEMO_FOLDER" >&2; exit 2; }
station=$(cd "$1" && pwd)
mkdir -p "$2"
demo=$(cd "$2" && pwd)
settings=$station/tavrin.ini
marker=$station/tavrin-demo.txt

# 1. The demo jobs: job number, test page, pages rendered. Rendered aside and
#    moved in whole, so that an interrupted run leaves no half job behind.
render_jobs() {
  local scratch=$demo/pagebuffers.part
  rm -rf "$scratch" "$demo/pagebuffers.old"
  echo "Rendering the demo jobs into $demo/pagebuffers/ ..."
  "$root/tools/render-testpage.sh" -r 300 -w "$pgbwrite" -j 101 -p "$root/tools/testpages/proof-job.ps" "$scratch" >/dev/null
  "$root/tools/render-testpage.sh" -r 300 -w "$pgbwrite" -j 102 -p "$root/tools/testpages/viewer-job.ps" "$scratch" >/dev/null
  "$root/tools/render-testpage.sh" -r 300 -w "$pgbwrite" -j 103 -p "$root/tools/testpages/proof-page.ps" "$scratch" >/dev/null
  render_round2 "$scratch"
  rm -rf "$demo/pagebuffers"
  mv "$scratch" "$demo/pagebuffers"
}
# Job 104 is job 101 corrected and ripped again, as a shop does once the
# customer asked for changes: the same job name, one line of type added on
# page 2, pages 1 and 3 as they were. Queued as round 2 of job 101 it shows
# the compare of the two rounds.
render_round2() {
  local corrected
  corrected=$(mktemp -d)
  sed '/^40 60 515 30 rules$/i /Helvetica-Bold findfont 9 scalefont setfont\n40 140 moveto (Corrected in round 2: the price now reads 24.90 EUR.) show' \
    "$root/tools/testpages/proof-job.ps" >"$corrected/proof-job.ps"
  if ! grep -q "Corrected in round 2" "$corrected/proof-job.ps"; then
    echo "Cannot make the corrected page of job 104: page 2 of tools/testpages/proof-job.ps has no line \"40 60 515 30 rules\"" >&2
    rm -rf "$corrected"
    return 1
  fi
  "$root/tools/render-testpage.sh" -r 300 -w "$pgbwrite" -j 104 -p "$corrected/proof-job.ps" "$1" >/dev/null
  rm -rf "$corrected"
}
# A demo made before it had a round 2 gets job 104, in a copy of its page
# buffer folder that replaces the folder whole.
add_round2() {
  local scratch=$demo/pagebuffers.part
  rm -rf "$scratch" "$demo/pagebuffers.old"
  echo "Rendering job 104, round 2 of job 101, into $demo/pagebuffers/ ..."
  cp -a "$demo/pagebuffers" "$scratch"
  render_round2 "$scratch"
  mv "$demo/pagebuffers" "$demo/pagebuffers.old"
  mv "$scratch" "$demo/pagebuffers"
  rm -rf "$demo/pagebuffers.old"
}
if ! compgen -G "$demo/pagebuffers/*.pgb" >/dev/null; then
  render_jobs
elif ! compgen -G "$demo/pagebuffers/104-*.pgb" >/dev/null; then
  add_round2
fi
mkdir -p "$demo/web" "$demo/mail" "$demo/logs" "$demo/run" "$demo/tls"
# nginx may serve as another user: the web folder must be readable to all.
chmod 755 "$demo" "$demo/web"
# The demo servers' certificate: self-signed for 127.0.0.1, as a small web
# host's often is; the settings pin its fingerprint.
if [ ! -s "$demo/tls/server.crt" ] || [ ! -s "$demo/tls/server.key" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Tavrin demo web host" \
    -addext "subjectAltName=IP:127.0.0.1" -keyout "$demo/tls/server.key.part" -out "$demo/tls/server.crt.part" 2>/dev/null
  chmod 600 "$demo/tls/server.key.part"
  mv "$demo/tls/server.key.part" "$demo/tls/server.key"
  mv "$demo/tls/server.crt.part" "$demo/tls/server.crt"
fi

[ -e "$settings" ] && exit 0

# 2. Four free ports on 127.0.0.1, held together while chosen so that they differ.
read -r ftp_port http_port smtp_port php_port < <(/usr/bin/python3 - <<'PY'
import socket
sockets = [socket.socket() for _ in range(4)]
for s in sockets:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in sockets))
PY
)
password=$(/usr/bin/python3 -c 'import secrets; print(secrets.token_urlsafe(12))')
fingerprint=$(openssl x509 -noout -fingerprint -sha256 -in "$demo/tls/server.crt" | sed 's/^.*=//')
cli=$station/tavrin-cli

# 3. The settings file, every key in the station's own order, written aside and
#    moved in whole; then the marker. It holds passwords: its owner's alone.
(umask 077 && : >"$settings.part")
cat >"$settings.part" <<INI
[Main]
InputFolder=$demo/pagebuffers/
FTPServer=127.0.0.1:$ftp_port
FTPUserName=$("$cli" encipher demo)
FTPPassword=$("$cli" encipher "$password")
FTPInitialDirectory=
FTPPassiveMode=True
FTPUseKeepAlives=True
SMTPHost=127.0.0.1
SMTPPort=$smtp_port
AuthenticationRequired=False
SMTPUsername=
SMTPPassword=
FromEmail=proofs@demo-prepress.example
FromEmailName=Demo Prepress proof desk
ReplyEmail=
ReplyEmailName=
CC=
CCName=
WebRoot=http://127.0.0.1:$http_port/
SourceColorProfile=
DestinationColorProfile=
ShowHint=True
FTPSecurity=TLS
FTPServerFingerprint=$fingerprint
SMTPSecurity=STARTTLS
SMTPServerFingerprint=$fingerprint
INI
mv "$settings.part" "$settings"
cat >"$marker" <<TEXT
The settings file tavrin.ini beside this file was written for the demo.
While it is here, run-station.sh starts the demo's servers (page buffers,
web host, mail server in the demo folder below) for as long as the station
runs, each of them only while the settings still point at it.
Delete this file to keep tavrin.ini as it is and never start them again.
DemoFolder=$demo
PHPPort=$php_port
TEXT

# 4. A customer in the address book, to be chosen as the recipient of a job.
"$cli" contacts save "Demo Customer" customer@demo-customer.example >/dev/null
echo "Demo settings written to $settings"
