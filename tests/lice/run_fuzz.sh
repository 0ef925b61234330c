#!/usr/bin/env bash
# Builds the PNG fuzzer (clang, libFuzzer, ASan + UBSan) in its own build folder and runs it
# for N seconds (default 60). The seed corpus is every PNG the PNG tests write (all colour
# types and bit depths, interlaced, oversized), saved through LICE_PNG_CORPUS_DIR.
#   tests/lice/run_fuzz.sh [seconds]
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_SOURCE (CMake source
# folder, default the repository).
set -euo pipefail

seconds=${1:-60}
source "$(dirname "${BASH_SOURCE[0]}")/../fuzz_common.sh"
fuzz_build fuzz_png lice_tests

tests_exe=$(find_exe lice_tests)
fuzz_exe=$(find_exe fuzz_png)

corpus="$build/fuzz_png_corpus"
mkdir -p "$corpus"
LICE_PNG_CORPUS_DIR="$corpus" "$tests_exe" --gtest_filter='Png.*' >/dev/null
echo "seed corpus: $(ls "$corpus" | wc -l) files in $corpus"

# -rss_limit_mb: an image at the 16384 x 16384 limit is 1 GiB of pixels.
"$fuzz_exe" "$corpus" -max_total_time="$seconds" -rss_limit_mb=3072 -malloc_limit_mb=2048 \
  -print_final_stats=1
