#!/usr/bin/env bash
# Takes a screenshot of the window under a virtual X server into
# docs/screenshot.png: scripts/screenshot.sh [BUILD_DIR]
# Needs xvfb, x11-apps and imagemagick (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
program="$build/app/raziriz-posters"
[ -x "$program" ] || { echo "no $program: build first (scripts/build.sh $build)" >&2; exit 1; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1100x700x24 -nolisten tcp &
xvfb=$!
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1

DISPLAY=$display QT_QPA_PLATFORM=xcb "$program" &
program_pid=$!
# The window opens at (50, 50) without a window manager to move or frame it;
# give it time to show and to finish (or fail) its start-up fetches.
sleep "${SCREENSHOT_DELAY:-4}"
mkdir -p docs
DISPLAY=$display import -window root -crop 943x541+50+50 +repage docs/screenshot.png
echo "wrote docs/screenshot.png"
