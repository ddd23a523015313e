#!/usr/bin/env bash
# Builds and runs every test: installs the system packages, builds with warnings on and
# runs the tests; builds the collision, loader and mesh tests again for this processor
# (-march=native) and, with the platform tests, with the portable lanes, and the
# collision, platform and texture upload tests under ThreadSanitizer, and runs those;
# runs each fuzz target for a bounded time, then builds the tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer and runs them.
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

# Builds only the given test programs in build/<dir>, configured with the further cmake
# arguments; the caller runs the tests it wants with ctest.
build_tests() {
  local dir=$1 targets=$2
  shift 2
  cmake -S . -B "build/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BENCH=OFF "$@" >/dev/null
  # shellcheck disable=SC2086  # targets is a list
  cmake --build "build/$dir" -j"$jobs" --target $targets
}
answer_tests="collision_tests loader_tests mesh_tests"
answer_labels="^(collision|loader|mesh)$"
# The render tests that upload textures (the ceiling tests, which decode a gigabyte,
# are left out).
texture_upload_tests='^TextureTest\.'

# Fused multiply-add and wider registers must not change an answer.
echo "== collision, loader and mesh tests built with -march=native"
build_tests native "$answer_tests" -DCMAKE_CXX_FLAGS=-march=native
ctest --test-dir build/native --output-on-failure -j"$jobs" -L "$answer_labels"

# The platform tests too: the image halving's plain loop then takes whole rows.
echo "== collision, loader, mesh and platform tests built with the portable lanes"
build_tests portable "$answer_tests platform_tests" -DVELMORA_PORTABLE_LANES=ON
ctest --test-dir build/portable --output-on-failure -j"$jobs" -L "^(collision|loader|mesh|platform)$"

# The plain run (large meshes build on threads) and every build on three threads; the
# lane-width runs add nothing here. The platform tests for the pixmap stream's decode
# thread, and the render tests' texture uploads, where a decoding JPEG goes up band by
# band and the mip chain is made on a helper thread. The GL driver is not instrumented:
# tests/tsan.supp says why its reports are set aside.
echo "== collision, platform and texture upload tests under ThreadSanitizer"
build_tests tsan "collision_tests platform_tests render_tests" -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/tsan.supp" \
  ctest --test-dir build/tsan --output-on-failure -j"$jobs" -L '^(collision|platform)$' -E '^(lanes[0-9]|threads1)/'
TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/tsan.supp" \
  ctest --test-dir build/tsan --output-on-failure -j"$jobs" -L '^render$' -R "$texture_upload_tests"

if [ -x fuzz/run.sh ]; then
  echo "== fuzz targets (${fuzz_seconds}s each)"
  VELMORA_FUZZ_BUILD="$root/build/fuzz" bash fuzz/run.sh "$fuzz_seconds"
fi

echo "== sanitizer build and tests"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs"
