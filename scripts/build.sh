#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [SANITIZERS [TARGET...]]
# SANITIZERS is empty, "address,undefined" or "thread". Sanitizer trees leave the
# benchmarks out. With TARGETs only those are built.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
sanitize=${2:-}
shift $(($# < 2 ? $# : 2))
bench=ON
[ -n "$sanitize" ] && bench=OFF
cmake -S . -B "$dir" -G Ninja -DRAZIRIZ_SANITIZE="$sanitize" -DRAZIRIZ_BUILD_BENCH="$bench" >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
