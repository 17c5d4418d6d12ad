#!/usr/bin/env bash
# make run: builds only what it is about to run, in build-programs/ (no tests,
# no benchmarks), one line per step. With an X display it opens the saver in
# a window of its own; without one it renders the screen after two minutes of
# scene time (3600 frames) and prints the PNG's path. Arguments go to the
# program: -scene skyline, -pan-frames 30, -animal fox, -seed N (the
# renderer takes these too).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build-programs
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

scripts/deps.sh build
# Once configured, building re-runs the configuration by itself when needed.
[[ -f $bin/CMakeCache.txt ]] || scripts/quiet.sh "Configuring ($bin/)" cmake --preset programs

if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  scripts/quiet.sh "Building quillmoor-mothwake" cmake --build "$bin" -j "$jobs" --target quillmoor-mothwake
  # Bad options end here, with their message, before a window is announced.
  "$bin/quillmoor-mothwake" "$@" -help >/dev/null
  echo "window open — q or Esc quits"
  exec "$bin/quillmoor-mothwake" -window "$@"
fi

scripts/quiet.sh "Building quillmoor-render" cmake --build "$bin" -j "$jobs" --target quillmoor-render
out=${QUILLMOOR_SNAPSHOT:-$bin/snapshot.png}
echo "No X display (DISPLAY=${DISPLAY:-unset}): rendering the screen after two minutes of scene time"
"$bin/quillmoor-render" --screen 1920x1080 --frames 3600 --out "$out" "$@"
echo "$out"
