#!/usr/bin/env bash
# Builds the fuzz targets with clang in their own build directory, makes each seed
# corpus and runs every target for a bounded time; exits non-zero on any finding.
# Usage: fuzz/run.sh [seconds per target, default 60]   (build dir: $VELMORA_FUZZ_BUILD)
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_FUZZ_BUILD:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF >/dev/null

# target:seed-generator pairs; a new fuzz target adds its pair here.
for pair in fuzz_image:fuzz_image_seeds fuzz_b3d:b3d_seeds fuzz_commands:command_seeds fuzz_texture:fuzz_image_seeds; do
  target=${pair%%:*}
  seeder=${pair##*:}
  cmake --build "$build" --target "$target" "$seeder" -j"$(nproc)" >/dev/null
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target/
  mkdir -p "$corpus" "$artifacts"
  "$build/fuzz/$seeder" "$corpus"
  echo "fuzzing $target for ${seconds}s"
  # The progress lines go to a log; a finding shows its report.
  log=$build/$target.log
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" >"$log" 2>&1; then
    tail -n 80 "$log"
    echo "$target: finding, see $artifacts"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log"
done
