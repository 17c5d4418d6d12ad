#!/usr/bin/env bash
# Measures the CPU use of the saver drawing on the root window of a 1920x1080
# Xvfb, beside two XScreenSaver programs measured the same way: for each, a
# fresh X server, 2 s to settle, then the user+system time of the program and
# of the X server over QUILLMOOR_MEASURE_SECONDS (20) seconds, from
# /proc/PID/stat, as a share of one core.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${QUILLMOOR_MEASURE_SECONDS:-20}
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

measure() {  # name command...
  local name=$1 pipe number
  shift
  pipe=$(mktemp -u)
  mkfifo "$pipe"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$pipe" >/dev/null 2>&1 &
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
  awk -v n="$name" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v t="$ticks" -v s="$seconds" \
    'BEGIN { printf "| %-28s | %7.1f %% | %7.1f %% |\n", n, 100 * p / t / s, 100 * x / t / s }'
}

for tool in Xvfb "$hackdir/xmatrix" "$hackdir/xflame"; do
  command -v "$tool" >/dev/null || { echo "missing $tool (run scripts/deps.sh)" >&2; exit 1; }
done
echo "CPU use over ${seconds} s at 1920x1080, share of one core:"
echo "| program                      | program   | X server  |"
echo "|------------------------------|-----------|-----------|"
measure "quillmoor-mothwake --root" build/quillmoor-mothwake --root
measure "xmatrix --root" "$hackdir/xmatrix" --root
measure "xflame --root" "$hackdir/xflame" --root
