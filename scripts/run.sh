#!/usr/bin/env bash
# make run: builds only what it is about to run, in build-programs/ (no tests,
# no benchmarks), one line per step. With an X display it opens the saver in
# a window of its own; without one it renders the screen after two minutes of
# scene time (3600 frames) and prints the PNG's path. Arguments go to the
# program: -scene skyline, -pan-frames 30, -animal fox, -seed N (the
# renderer takes these too). Options that only mean something on a display
# (-fps, -window, -root, -verbose ...) are left out of the renderer's command
# line, with a line saying so.
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

# The saver's options for a display, in either spelling; -window-id takes a value.
render_args=() left_out=()
while (($#)); do
  name=${1#-}
  name=${name#-}
  case $1 in
    -*)
      case $name in
        fps | window | fullscreen | root | saver | wallpaper | x11 | wayland | verbose) left_out+=("$1") ;;
        window-id) left_out+=("$1 ${2-}") && shift $(($# > 1 ? 1 : 0)) ;;
        *) render_args+=("$1") ;;
      esac ;;
    *) render_args+=("$1") ;;
  esac
  shift
done

scripts/quiet.sh "Building quillmoor-render" cmake --build "$bin" -j "$jobs" --target quillmoor-render
out=${QUILLMOOR_SNAPSHOT:-$bin/snapshot.png}
echo "No X display (DISPLAY=${DISPLAY:-unset}): rendering the screen after two minutes of scene time"
((${#left_out[@]} == 0)) || echo "Left out, as they need a display: ${left_out[*]}"
"$bin/quillmoor-render" --screen 1920x1080 --frames 3600 --out "$out" ${render_args[@]+"${render_args[@]}"}
echo "$out"
