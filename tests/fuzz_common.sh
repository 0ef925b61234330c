# Shared by the run_fuzz.sh scripts: configures the fuzzing build (clang, libFuzzer, ASan +
# UBSan) in its own folder and builds the named targets.
#   source tests/fuzz_common.sh; fuzz_build TARGET...; exe=$(find_exe NAME)
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_SOURCE (CMake source
# folder, default the repository). Sets root, source_dir and build.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source_dir=${FUZZ_SOURCE:-$root}
build=${FUZZ_BUILD:-$root/build-fuzz}

fuzz_build() {
  CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTORVEN_FUZZ=ON -DTORVEN_SANITIZE=ON -DTORVEN_BENCH=OFF >/dev/null
  cmake --build "$build" --target "$@" -j2
}

# executables land where the tree's CMake puts them
find_exe() { find "$build" -name "$1" -type f -perm -u+x | head -n 1; }
