#!/usr/bin/env bash
# Installs the Debian package on this machine the way a user does, checks that it works
# and that hosts find the plug-in, removes it and checks that nothing is left behind.
# Run as root on a Debian 12 machine that does not have torven installed:
#     make deb && sudo bash scripts/check-deb.sh [build/torven_4.0.0_amd64.deb]
# Missing dependencies are fetched the usual way (apt-get -f install).
set -euo pipefail
deb=$(realpath "${1:-build/torven_4.0.0_amd64.deb}")

fail() { echo "check-deb: $*" >&2; exit 1; }
[[ $(id -u) -eq 0 ]] || fail "needs root (it installs and removes the package)"
[[ -f "$deb" ]] || fail "no package at $deb (make deb builds it)"
if dpkg-query -W -f='${Status}' torven 2>/dev/null | grep -q 'ok installed'; then
  fail "torven is installed already; remove it first (dpkg -r torven)"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== dpkg -i $deb"
if ! dpkg -i "$deb"; then
  echo "== dependencies missing: apt-get -f install"
  DEBIAN_FRONTEND=noninteractive apt-get -f install -y -q
fi
dpkg-query -W -f='${Status}\n' torven | grep -q 'install ok installed' || fail "torven did not install"
mapfile -t files < <(dpkg -L torven | while read -r f; do [[ -f "$f" ]] && echo "$f"; done)
printf '   %s\n' "${files[@]}"

echo "== plughost finds and runs the plug-in"
plughost info /usr/lib/vst/TORVEN.so | grep -E '^(effect name|vendor|inputs|outputs):'
plughost response /usr/lib/vst/TORVEN.so "$work/response.png" --norm --set GainH=1 >/dev/null
[[ -s "$work/response.png" ]] || fail "plughost response wrote nothing"
man -w plughost >/dev/null || fail "the manual page is not found"

if command -v lv2ls >/dev/null; then
  echo "== lilv finds the LV2 bundle in /usr/lib/lv2"
  LV2_PATH=/usr/lib/lv2 lv2ls | grep -qx 'https://www.morvane.com/torven' || fail "lv2ls does not list TORVEN"
  LV2_PATH=/usr/lib/lv2 lv2info https://www.morvane.com/torven 2>/dev/null | grep -E '^\s+(Name|Binary):' | head -2
fi

scanner=$(ls /usr/lib/ardour*/ardour-vst-scanner 2>/dev/null | tail -1 || true)
if [[ -n "$scanner" ]]; then
  echo "== Ardour's scanner on /usr/lib/vst/TORVEN.so"
  HOME="$work" XDG_CACHE_HOME="$work/cache" LD_LIBRARY_PATH=$(dirname "$scanner") \
    "$scanner" -f /usr/lib/vst/TORVEN.so
  grep -rq 'name="TORVEN"' "$work/cache" || fail "Ardour's scanner did not find TORVEN"
  echo "   found: $(grep -rho '<VST2Info [^>]*' "$work/cache" | head -1)"
else
  echo "== Ardour is not installed: scanner check skipped"
fi

if command -v lintian >/dev/null; then
  echo "== lintian"
  lintian "$deb" || true
  ! lintian "$deb" 2>/dev/null | grep -q '^E: ' || fail "lintian reports errors"
fi

echo "== dpkg -r torven"
dpkg -r torven
dpkg-query -W -f='${Status}\n' torven 2>/dev/null | grep -q 'ok installed' && fail "torven is still installed"
for f in "${files[@]}"; do
  [[ ! -e "$f" ]] || fail "$f is still there after removal"
done
[[ ! -e /usr/share/doc/torven ]] || fail "/usr/share/doc/torven is still there"
[[ ! -e /usr/lib/lv2/TORVEN.lv2 ]] || fail "/usr/lib/lv2/TORVEN.lv2 is still there"
echo "check-deb: ok (installed, found by plughost${scanner:+ and Ardour}, removed without a trace)"
