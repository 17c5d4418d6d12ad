#!/usr/bin/env bash
# Shows the saver in a window of its own when an X display is reachable;
# otherwise renders the screen after two minutes of scene time (3600 frames)
# and prints the PNG's path. Arguments go to the program: -scene skyline,
# -pan-frames 30, -animal fox, -seed N (the renderer takes these too).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build-programs

if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  # Bad options end here, with their message, before a window is announced.
  "$bin/quillmoor-mothwake" "$@" -help >/dev/null
  echo "window open — q or Esc quits"
  exec "$bin/quillmoor-mothwake" -window "$@"
fi

out=${QUILLMOOR_SNAPSHOT:-$bin/snapshot.png}
echo "No X display (DISPLAY=${DISPLAY:-unset}): rendering the screen after two minutes of scene time"
"$bin/quillmoor-render" --screen 1920x1080 --frames 3600 --out "$out" "$@"
echo "$out"
