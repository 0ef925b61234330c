#!/usr/bin/env bash
# Renders the demo piece through the built plug-in (only through the VST ABI,
# with plughost) at both oversampling factors, through processReplacing and
# processDoubleReplacing, with several settings, block sizes and rates, and
# compares the SHA-256 of every output file with the recorded ones. Any change
# to a single output bit shows here.
#
#   render_checksums.sh PLUGHOST PLUGIN.so CHECKSUMS [--update]
set -euo pipefail

plughost=$1 plugin=$2 sums=$3 update=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$plughost" demo "$plugin" "$work/demo" >/dev/null
in="$work/demo/input.wav"

# name: plughost render options
cases=(
  "defaults:"
  "bands:--set GainH=0.8 --set GainM=0.3 --set GainL=0.7 --set HPF=0.5 --set LPF=-0.2 --set OUT=-3"
  "extremes:--set GainH=0 --set GainM=0.98 --set GainL=1 --set HPF=0.96 --set LPF=-0.3 --set OUT=15"
  "bypass:--set Bypass=1 --set GainH=0.2"
  "odd-blocks:--set GainL=0.2 --set HPF=0.3 --block 37"
  "one-frame-blocks:--set GainM=0.7 --block 1"
  "96k-tail:--set GainH=0.6 --set LPF=-0.1 --rate 96000 --tail 3"
)

for factor in 0 1; do
  for precision in float double; do
    for c in "${cases[@]}"; do
      name=${c%%:*} opts=${c#*:}
      extra=()
      [ "$precision" = double ] && extra=(--double)
      # shellcheck disable=SC2086
      "$plughost" render "$plugin" "$in" "$work/$name-n$factor-$precision.wav" --set 7=$factor $opts \
        "${extra[@]}" --format "wav:$precision" >/dev/null
    done
  done
done

(cd "$work" && sha256sum demo/*.wav ./*.wav | sed 's| \./| |') >"$work/got.txt"
if [ "$update" = --update ]; then
  cp "$work/got.txt" "$sums"
  echo "recorded $(wc -l <"$sums") checksums in $sums"
  exit 0
fi
if diff -u "$sums" "$work/got.txt"; then
  echo "render checksums: $(wc -l <"$sums") files identical"
else
  echo "render checksums differ from $sums"
  exit 1
fi
