#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [SANITIZERS]
# SANITIZERS is empty, "address,undefined" or "thread".
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
sanitize=${2:-}
cmake -S . -B "$dir" -G Ninja -DRAZIRIZ_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j "$(nproc)"
