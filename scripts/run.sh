#!/usr/bin/env bash
# Installs what is needed, builds, and starts the window program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build ""
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  echo "raziriz-posters needs a graphical display (DISPLAY or WAYLAND_DISPLAY is not set)." >&2
  echo "On a machine without one, try: xvfb-run -a build/app/raziriz-posters" >&2
  exit 1
fi
exec build/app/raziriz-posters "$@"
