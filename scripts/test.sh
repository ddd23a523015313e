#!/usr/bin/env bash
# Builds and runs every test: installs the system packages, builds with warnings on and
# runs the tests, runs each fuzz target for a bounded time, then builds the tests again
# under AddressSanitizer + UndefinedBehaviorSanitizer and runs them.
# GUI tests get their own Xvfb display, started and stopped here.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
fuzz_seconds=${VELMORA_FUZZ_SECONDS:-60}

bash scripts/install-deps.sh

# A private X display for the GUI tests.
display=:$(( 90 + RANDOM % 400 ))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

echo "== release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

if [ -f fuzz/CMakeLists.txt ]; then
  echo "== fuzz targets (${fuzz_seconds}s each)"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF >/dev/null
  cmake --build build/fuzz -j"$jobs"
  for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    seeds="$root/build/fuzz/fuzz/seeds/$name"
    [ -d "$seeds" ] || seeds=""
    (cd build/fuzz && "$root/$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 \
       "$root/$corpus" $seeds 2>&1 | tail -n 3)
  done
fi

echo "== sanitizer build and tests"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs"
