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

if [ -x fuzz/run.sh ]; then
  echo "== fuzz targets (${fuzz_seconds}s each)"
  VELMORA_FUZZ_BUILD="$root/build/fuzz" bash fuzz/run.sh "$fuzz_seconds"
fi

echo "== sanitizer build and tests"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs"
