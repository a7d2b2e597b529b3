#!/usr/bin/env bash
# Installs the Debian 12 packages the station needs. Idempotent and quick when
# everything is present. Usage: tools/install-dependencies.sh [run|test|docs]
set -euo pipefail

build_and_run=(
  cmake g++ pkg-config ninja-build ccache
  qt6-base-dev libsqlite3-dev libtiff-dev libgd-dev liblcms2-dev libpoco-dev libssl-dev nettle-dev libsimpleini-dev
  zlib1g-dev libdeflate-dev
  xvfb xauth fonts-dejavu-core
  # import takes a screenshot of the virtual display a station without a display runs on.
  imagemagick
  # The demo of a first run (tools/demo/): test pages, FTP web host (TLS through python3-openssl), web
  # server, mail server, and the certificate it makes with openssl; PHP serves the customers' answers.
  ghostscript python3-pyftpdlib python3-openssl python3-aiosmtpd nginx openssl php-cli
)
test_only=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  vsftpd curl chromium x11-utils xdotool
  libtiff-tools libvips-tools argyll icc-profiles-free
)
# The screenshots of the windows for the README (tools/screenshot-station.sh).
docs_only=(
  imagemagick openbox xdotool
)

packages=("${build_and_run[@]}")
if [ "${1:-run}" = "test" ]; then
  packages+=("${test_only[@]}")
elif [ "${1:-run}" = "docs" ]; then
  packages+=("${docs_only[@]}")
fi

missing=()
# Node.js and npm drive the viewer test; machines that carry their own Node keep it.
if [ "${1:-run}" = "test" ] && ! command -v npm >/dev/null; then
  missing+=(npm)
fi
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
  [ "${status:0:2}" = "ii" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing Debian packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# The tests start their own FTP, SMTP and web servers; keep the packages'
# system services from starting at install time.
policy=/usr/sbin/policy-rc.d
added_policy=""
if [ ! -e "$policy" ]; then
  $sudo sh -c "printf '#!/bin/sh\nexit 101\n' > $policy && chmod +x $policy" && added_policy=yes
fi
$sudo apt-get update -qq
status=0
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
[ -z "$added_policy" ] || $sudo rm -f "$policy"
exit $status
