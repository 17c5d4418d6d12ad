#!/usr/bin/env bash
# Measures the CPU use of the saver (both scenes) drawing on the root window
# of an Xvfb and on a headless sway with one output, at each size in
# QUILLMOOR_MEASURE_SIZES (1920x1080 and 3840x2160), beside two XScreenSaver
# programs measured the same way on Xvfb: for each, a fresh display server,
# 2 s to settle, then the user+system time of the program and of the display
# server over QUILLMOOR_MEASURE_SECONDS (20) seconds, from /proc/PID/stat, as
# a share of one core. sway refuses to run as root: as root, it and the saver
# run as the unprivileged user quillmoor-e2e.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${QUILLMOOR_MEASURE_SECONDS:-20}
sizes=${QUILLMOOR_MEASURE_SIZES:-1920x1080 3840x2160}
hackdir=${QUILLMOOR_XSCREENSAVER_HACKDIR:-/usr/libexec/xscreensaver}
ticks=$(getconf CLK_TCK)

server=
program=
swaydir=
cleanup() {
  [[ -n $program ]] && kill "$program" 2>/dev/null && wait "$program" 2>/dev/null
  [[ -n $server ]] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  [[ -n $swaydir ]] && rm -rf "$swaydir"
  true
}
trap cleanup EXIT
trap 'exit 1' INT TERM  # so that the cleanup runs when the measurement is stopped

cpu_ticks() {  # utime + stime of a process
  local stat
  stat=$(<"/proc/$1/stat")
  stat=${stat##*) }
  awk '{ print $12 + $13 }' <<<"$stat"
}

usage() {  # name size: the use of $program and of the display server $server, which are then ended
  local name=$1 size=$2 p0 x0 p1 x1
  sleep 2
  kill -0 "$program" 2>/dev/null || { echo "$name did not start" >&2; exit 1; }
  p0=$(cpu_ticks "$program"); x0=$(cpu_ticks "$server")
  sleep "$seconds"
  p1=$(cpu_ticks "$program"); x1=$(cpu_ticks "$server")
  kill "$program"; wait "$program" 2>/dev/null || true; program=
  kill "$server"; wait "$server" 2>/dev/null || true; server=
  awk -v n="$name" -v z="$size" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v t="$ticks" -v s="$seconds" \
    'BEGIN { printf "| %-44s | %-9s | %7.1f %% | %7.1f %% | %7.1f %% |\n", n, z, 100 * p / t / s, 100 * x / t / s, 100 * (p + x) / t / s }'
}

measure() {  # name size command...
  local name=$1 size=$2 pipe number
  shift 2
  pipe=$(mktemp -u)
  mkfifo "$pipe"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$pipe" >/dev/null 2>&1 &
  server=$!
  read -r number <"$pipe"
  rm -f "$pipe"
  env -u XSCREENSAVER_WINDOW DISPLAY=":$number" "$@" >/dev/null 2>&1 &
  program=$!
  usage "$name" "$size"
}

measure_sway() {  # name size command...: the command on a headless sway with one output of this size
  local name=$1 size=$2 user=() runtime socket
  shift 2
  swaydir=$(mktemp -d)
  runtime=$swaydir/run
  mkdir -m 700 "$runtime"
  printf 'xwayland disable\noutput * resolution %s\n' "$size" >"$swaydir/config"
  if [[ $(id -u) == 0 ]]; then
    id quillmoor-e2e >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin quillmoor-e2e
    chown -R quillmoor-e2e "$swaydir"
    user=(setpriv "--reuid=$(id -u quillmoor-e2e)" "--regid=$(id -g quillmoor-e2e)" --clear-groups --)
  fi
  local env=(env -i "HOME=$swaydir" PATH=/usr/bin:/bin "XDG_RUNTIME_DIR=$runtime")
  "${env[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman "${user[@]}" \
    sway -c "$swaydir/config" >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 100); do
    socket=$(find "$runtime" -maxdepth 1 -name 'wayland-*' ! -name '*.lock' -printf '%f\n' | head -n 1)
    [[ -n $socket ]] && break
    sleep 0.1
  done
  [[ -n $socket ]] || { echo "sway did not start" >&2; exit 1; }
  "${env[@]}" "WAYLAND_DISPLAY=$socket" "${user[@]}" "$@" >/dev/null 2>&1 &
  program=$!
  usage "$name" "$size"
  rm -rf "$swaydir"; swaydir=
}

for tool in Xvfb sway "$hackdir/xmatrix" "$hackdir/xflame"; do
  command -v "$tool" >/dev/null || { echo "missing $tool (run scripts/deps.sh)" >&2; exit 1; }
done
echo "CPU use over ${seconds} s, share of one core:"
echo "| program                                      | screen    | program   | server    | together  |"
echo "|----------------------------------------------|-----------|-----------|-----------|-----------|"
for size in $sizes; do
  measure "quillmoor-mothwake --root (Xvfb)" "$size" build/quillmoor-mothwake --root
  measure_sway "quillmoor-mothwake --saver (sway)" "$size" "$PWD/build/quillmoor-mothwake" --saver
  measure "quillmoor-mothwake --root -scene skyline (Xvfb)" "$size" build/quillmoor-mothwake --root -scene skyline
  measure_sway "quillmoor-mothwake --saver -scene skyline (sway)" "$size" "$PWD/build/quillmoor-mothwake" --saver \
    -scene skyline
  measure "xmatrix --root" "$size" "$hackdir/xmatrix" --root
  measure "xflame --root" "$size" "$hackdir/xflame" --root
done
