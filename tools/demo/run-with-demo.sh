#!/usr/bin/env bash
# Runs the station of PROGRAM_FOLDER with the demo of a first run. When the
# folder has no settings file yet, prepares the demo in DEMO_FOLDER
# (tools/demo/prepare-demo.sh). While the settings file is the demo's own (its
# marker file lies beside it), starts the demo's FTP, web and mail servers on
# 127.0.0.1, each only while the settings still point at it, and stops them
# when the station ends. A settings file without the marker is the shop's
# own: it is left alone and no demo server starts.
# COMMAND (default: the station, on a virtual X display when there is no
# display) runs with the servers up, e.g. PROGRAM_FOLDER/tavrin-cli start --yes.
# Usage: tools/demo/run-with-demo.sh [-w PGBWRITE] PROGRAM_FOLDER DEMO_FOLDER [COMMAND ARGUMENTS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
pgbwrite_option=()
while getopts "w:" option; do
  case $option in
    w) pgbwrite_option=(-w "$OPTARG") ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 2 ] || { echo "Usage: $0 [-w PGBWRITE] PROGRAM_FOLDER DEMO_FOLDER [COMMAND ARGUMENTS...]" >&2; exit 2; }
station=$(cd "$1" && pwd)
demo=$2
shift 2
settings=$station/tavrin.ini
marker=$station/tavrin-demo.txt

# The value of a key in the settings file (spaces around "=" allowed).
setting() {
  sed -n "s/^[[:space:]]*$1[[:space:]]*=[[:space:]]*//p" "$settings" | tail -1 | tr -d '\r'
}

# The first X display number from 99 on that no server holds (its lock file
# or socket); a server that takes it meanwhile makes xvfb-run fail, saying so.
free_display() {
  local number
  for number in $(seq 99 199); do
    [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] || { echo "$number"; return; }
  done
  echo "No free X display number from :99 to :199." >&2
  return 1
}

run_station() {
  if [ $# -gt 0 ]; then
    "$@"
  elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    local number auth status=0
    number=$(free_display)
    # The display admits only clients with its cookie: kept where the screenshot command can name it.
    auth=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-display.XXXXXX")/Xauthority
    echo "No display found: the station runs on the virtual X display :$number (Xvfb)."
    echo "To take a screenshot of it: DISPLAY=:$number XAUTHORITY=$auth import -window root station.png"
    xvfb-run -n "$number" -f "$auth" -s "-screen 0 1280x800x24" "$station/tavrin" || status=$?
    rm -rf "$(dirname "$auth")"
    return $status
  else
    "$station/tavrin"
  fi
}

# 1. The demo is prepared when there are no settings yet, and made again when
#    its folder went away while its settings stayed.
if [ ! -e "$settings" ]; then
  rm -f "$marker"
  "$here/prepare-demo.sh" "${pgbwrite_option[@]}" "$station" "$demo"
  echo "First run: the station is set up with a demo (settings: $settings)."
elif [ -e "$marker" ]; then
  recorded=$(sed -n "s/^DemoFolder=//p" "$marker" | tail -1)
  demo=${recorded:-$demo}
  "$here/prepare-demo.sh" "${pgbwrite_option[@]}" "$station" "$demo"
  echo "Using the demo prepared earlier in $demo."
fi
if [ ! -e "$marker" ]; then
  run_station "$@"
  exit
fi
demo=$(cd "$demo" && pwd)

# 2. The servers the settings still point at; port 0 leaves one out.
ftp_port=0 http_port=0 smtp_port=0
[[ $(setting FTPServer) =~ ^127\.0\.0\.1:([0-9]+)$ ]] && ftp_port=${BASH_REMATCH[1]}
[[ $(setting WebRoot) =~ ^http://127\.0\.0\.1:([0-9]+)/?$ ]] && http_port=${BASH_REMATCH[1]}
[ "$(setting SMTPHost)" = 127.0.0.1 ] && [[ $(setting SMTPPort) =~ ^[0-9]+$ ]] && smtp_port=$(setting SMTPPort)
# PHP's server answers the viewer's answers behind nginx. A demo prepared
# before it had PHP gets a free port now, kept in the marker from then on.
php_port=0
if [ "$http_port" != 0 ]; then
  php_port=$(sed -n "s/^PHPPort=//p" "$marker" | tail -1)
  if ! [[ $php_port =~ ^[0-9]+$ ]]; then
    php_port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    echo "PHPPort=$php_port" >>"$marker"
  fi
  if ! command -v php >/dev/null; then
    echo "PHP is not installed (tools/install-dependencies.sh installs it): the demo's web host takes no answers;"
    echo "the viewer offers them by e-mail instead."
    php_port=0
  fi
fi
# TLS as the settings ask (a demo prepared before it had TLS stays plain).
tls_options=()
shopt -s nocasematch
[[ $(setting FTPSecurity) == tls ]] && tls_options+=(--ftp-tls)
[[ $(setting SMTPSecurity) == starttls ]] && tls_options+=(--smtp-starttls)
shopt -u nocasematch
if [ "$ftp_port$http_port$smtp_port" = 000 ]; then
  echo "The settings no longer point at the demo's servers: none started."
  run_station "$@"
  exit
fi

# 3. The servers, in one process that stops them all; its log is in the demo folder.
log=$demo/logs/servers.log
rm -f "$demo/run/ready"
DEMO_FTP_USER=$("$station/tavrin-cli" decipher "$(setting FTPUserName)" 2>/dev/null || true) \
DEMO_FTP_PASSWORD=$("$station/tavrin-cli" decipher "$(setting FTPPassword)" 2>/dev/null || true) \
  /usr/bin/python3 "$here/demo-servers.py" --folder "$demo" \
    --ftp-port "$ftp_port" --http-port "$http_port" --smtp-port "$smtp_port" --php-port "$php_port" \
    "${tls_options[@]}" >>"$log" 2>&1 &
servers=$!
stop_servers() {
  kill -TERM "$servers" 2>/dev/null || return 0
  wait "$servers" 2>/dev/null || true
  echo "Demo servers stopped."
}
trap stop_servers EXIT
for _ in $(seq 200); do
  [ -e "$demo/run/ready" ] && break
  kill -0 "$servers" 2>/dev/null || break
  sleep 0.1
done
if [ ! -e "$demo/run/ready" ]; then
  echo "The demo servers did not start:" >&2
  tail -5 "$log" >&2
  echo "If another station runs the demo, close it first; to make the demo afresh on free ports," >&2
  echo "delete $settings and $marker." >&2
  exit 1
fi

echo "Demo servers started (process $servers), listening on 127.0.0.1 only:"
echo "  page buffer folder  $(setting InputFolder)"
[ "$ftp_port" = 0 ] || echo "  FTP web host        127.0.0.1:$ftp_port, its files in $demo/web/"
[ ${#tls_options[@]} = 0 ] || echo "  TLS certificate     $demo/tls/server.crt (self-signed; the settings pin its fingerprint)"
[ "$http_port" = 0 ] || echo "  web server (nginx)  http://127.0.0.1:$http_port/ serving $demo/web/"
[ "$php_port" = 0 ] || echo "  answer endpoint     PHP on 127.0.0.1:$php_port behind nginx; answers in $demo/web/tavrin/*/replies.jsonl"
[ "$smtp_port" = 0 ] || echo "  mail server (SMTP)  127.0.0.1:$smtp_port, each message kept in $demo/mail/*.eml"
echo "They stop when the station closes (or press Ctrl+C here). Server log: $log"
status=0
run_station "$@" || status=$?
exit $status
