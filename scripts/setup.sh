#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks need.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libpng-dev zlib1g-dev
  libfreetype-dev libfontconfig-dev libharfbuzz-dev fonts-dejavu-core
  libx11-dev libxext-dev libxtst-dev libxres-dev
  libsndfile1-dev
  lv2-dev lilv-utils sordi
  googletest libgtest-dev libbenchmark-dev
  libpixman-1-dev libcairo2-dev
  xvfb xdotool imagemagick
  clang libclang-rt-14-dev
  locales
  dpf-plugins-vst zam-plugins
  file lintian
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, so the tests can show that number formatting
# does not follow a host's LC_NUMERIC.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "setup: generating the de_DE.UTF-8 locale"
  "${sudo[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo[@]}" locale-gen >/dev/null
fi
