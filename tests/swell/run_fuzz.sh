#!/usr/bin/env bash
# Builds the DrawText fuzzer (clang, libFuzzer, ASan + UBSan) in its own build folder and
# runs it for N seconds (default 60) from a seed corpus of UI strings, line breaks,
# ampersands, non-Latin and malformed UTF-8.
#   tests/swell/run_fuzz.sh [seconds]
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_SOURCE (CMake source
# folder, default the repository).
set -euo pipefail

seconds=${1:-60}
source "$(dirname "${BASH_SOURCE[0]}")/../fuzz_common.sh"
fuzz_build fuzz_drawtext
fuzz_exe=$(find_exe fuzz_drawtext)

# seeds: a 32-byte header of zeros (flags, sizes, rectangle, font) followed by the text
corpus="$build/fuzz_drawtext_corpus"
mkdir -p "$corpus"
i=0
for text in "12.5 dB" "HIGH" "Output" "a&b&&c" $'two\nlines\r\n' $'\xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1 \xc3\x85' \
  $'bad \xff\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80' $'\xe2\x82' "$(printf 'x%.0s' {1..300})"; do
  { head -c 32 /dev/zero; printf '%s' "$text"; } >"$corpus/seed$i"
  i=$((i + 1))
done
echo "seed corpus: $i files in $corpus"

# fontconfig answers from its cache, but the first lookups are slow: a generous timeout
"$fuzz_exe" "$corpus" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -max_len=8192 \
  -print_final_stats=1
