#!/usr/bin/env bash
# Measures the CPU use of the saver (both scenes) drawing on the root window
# of an Xvfb, at each size in QUILLMOOR_MEASURE_SIZES (1920x1080 and
# 3840x2160), beside two XScreenSaver programs measured the same way: for
# each, a fresh X server, 2 s to settle, then the user+system time of the
# program and of the X server over QUILLMOOR_MEASURE_SECONDS (20) seconds,
# from /proc/PID/stat, as a share of one core.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${QUILLMOOR_MEASURE_SECONDS:-20}
sizes=${QUILLMOOR_MEASURE_SIZES:-1920x1080 3840x2160}
hackdir=${QUILLMOOR_XSCREENSAVER_HACKDIR:-/usr/libexec/xscreensaver}
ticks=$(getconf CLK_TCK)

xvfb=
program=
cleanup() {
  [[ -n $program ]] && kill "$program" 2>/dev/null && wait "$program" 2>/dev/null
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  true
}
trap cleanup EXIT

cpu_ticks() {  # utime + stime of a process
  local stat
  stat=$(<"/proc/$1/stat")
  stat=${stat##*) }
  awk '{ print $12 + $13 }' <<<"$stat"
}

measure() {  # name size command...
  local name=$1 size=$2 pipe number
  shift 2
  pipe=$(mktemp -u)
  mkfifo "$pipe"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$pipe" >/dev/null 2>&1 &
  xvfb=$!
  read -r number <"$pipe"
  rm -f "$pipe"
  env -u XSCREENSAVER_WINDOW DISPLAY=":$number" "$@" >/dev/null 2>&1 &
  program=$!
  sleep 2
  kill -0 "$program" 2>/dev/null || { echo "$name did not start" >&2; exit 1; }
  local p0 x0 p1 x1
  p0=$(cpu_ticks "$program"); x0=$(cpu_ticks "$xvfb")
  sleep "$seconds"
  p1=$(cpu_ticks "$program"); x1=$(cpu_ticks "$xvfb")
  kill "$program"; wait "$program" 2>/dev/null || true; program=
  kill "$xvfb"; wait "$xvfb" 2>/dev/null || true; xvfb=
  awk -v n="$name" -v z="$size" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v t="$ticks" -v s="$seconds" \
    'BEGIN { printf "| %-36s | %-9s | %7.1f %% | %7.1f %% | %7.1f %% |\n", n, z, 100 * p / t / s, 100 * x / t / s, 100 * (p + x) / t / s }'
}

for tool in Xvfb "$hackdir/xmatrix" "$hackdir/xflame"; do
  command -v "$tool" >/dev/null || { echo "missing $tool (run scripts/deps.sh)" >&2; exit 1; }
done
echo "CPU use over ${seconds} s, share of one core:"
echo "| program                              | screen    | program   | X server  | together  |"
echo "|--------------------------------------|-----------|-----------|-----------|-----------|"
for size in $sizes; do
  measure "quillmoor-mothwake --root" "$size" build/quillmoor-mothwake --root
  measure "quillmoor-mothwake --root -scene skyline" "$size" build/quillmoor-mothwake --root -scene skyline
  measure "xmatrix --root" "$size" "$hackdir/xmatrix" --root
  measure "xflame --root" "$size" "$hackdir/xflame" --root
done
