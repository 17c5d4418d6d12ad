#!/usr/bin/env bash
# Shows the saver in a window of its own when an X display is reachable;
# otherwise renders a snapshot of the screen after 10 s of scene time and
# prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  exec build/quillmoor-mothwake -window "$@"
fi
echo "No X display reachable (DISPLAY=${DISPLAY:-unset}): rendering a snapshot instead." >&2
out=${QUILLMOOR_SNAPSHOT:-build/snapshot.png}
build/quillmoor-render --screen 1920x1080 --frames 300 --out "$out"
echo "$out"
