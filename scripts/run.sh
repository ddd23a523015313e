#!/usr/bin/env bash
# Builds the previewer and starts it in the folder that holds its models and images.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target velmora velmora_assets
cd build/release/app/assets
exec ../velmora
