#!/usr/bin/env bash
# Measures the CPU use of the saver (both scenes) drawing on the root window
# of an Xvfb and as the saver on a headless sway with one output, at each
# size in QUILLMOOR_MEASURE_SIZES (1920x1080 and 3840x2160), beside two
# XScreenSaver programs measured the same way on Xvfb, and each display
# server alone with no client: for each, a fresh display server, 2 s to
# settle, then the time the program and the display server ran on a CPU over
# QUILLMOOR_MEASURE_SECONDS (20) seconds (/proc/PID/task/*/schedstat, to the
# nanosecond), as a share of one core. The saver draws the same scene from
# the same seed (QUILLMOOR_MEASURE_SEED) on both. sway refuses to run as
# root: as root, it and the saver run as the unprivileged user quillmoor-e2e.
# When make windows has built the .scr and Wine is installed, the Windows
# saver (/s) is measured on Xvfb too: its program column is every process of
# a Wine prefix of its own (the .scr, wineserver and Wine's services).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${QUILLMOOR_MEASURE_SECONDS:-20}
sizes=${QUILLMOOR_MEASURE_SIZES:-1920x1080 3840x2160}
seed=${QUILLMOOR_MEASURE_SEED:-0x5eed}
hackdir=${QUILLMOOR_XSCREENSAVER_HACKDIR:-/usr/libexec/xscreensaver}

server=
program=
swaydir=
wineprefix=
scr="$PWD/build-windows/quillmoor-mothwake.scr"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
cleanup() {
  [[ -n $program ]] && kill "$program" 2>/dev/null && wait "$program" 2>/dev/null
  [[ -n $wineprefix ]] && WINEPREFIX=$wineprefix "$wineserver" -k 2>/dev/null && rm -rf "$wineprefix"
  [[ -n $server ]] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  [[ -n $swaydir ]] && rm -rf "$swaydir"
  true
}
trap cleanup EXIT
trap 'exit 1' INT TERM  # so that the cleanup runs when the measurement is stopped

cpu_ns() {  # the time every thread of a process has run
  cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%d", ns }'
}

program_ns() {  # the program's time, or that of every process of the Wine prefix it runs in
  [[ -z $wineprefix ]] && { cpu_ns "$program"; return; }
  local pid total=0
  for pid in $(grep -lzx "WINEPREFIX=$wineprefix" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3); do
    total=$((total + $(cpu_ns "$pid" 2>/dev/null || echo 0)))
  done
  echo "$total"
}

usage() {  # name size: the use of $program (none when empty) and of the display server $server, which are then ended
  local name=$1 size=$2 p0=0 x0 p1=0 x1 ran=-
  sleep 2
  if [[ -n $program ]]; then
    kill -0 "$program" 2>/dev/null || { echo "$name did not start" >&2; exit 1; }
    p0=$(program_ns)
  fi
  x0=$(cpu_ns "$server")
  sleep "$seconds"
  [[ -n $program ]] && p1=$(program_ns)
  x1=$(cpu_ns "$server")
  if [[ -n $program ]]; then
    kill "$program"; wait "$program" 2>/dev/null || true; program=
    if [[ -n $wineprefix ]]; then
      WINEPREFIX=$wineprefix "$wineserver" -k 2>/dev/null || true
      rm -rf "$wineprefix"; wineprefix=
    fi
    ran=$(awk -v p=$((p1 - p0)) -v s="$seconds" 'BEGIN { printf "%7.2f %%", 100 * p / 1e9 / s }')
  fi
  kill "$server"; wait "$server" 2>/dev/null || true; server=
  awk -v n="$name" -v z="$size" -v r="$ran" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v s="$seconds" \
    'BEGIN { printf "| %-48s | %-9s | %9s | %7.2f %% | %7.2f %% |\n", n, z, r, 100 * x / 1e9 / s, 100 * (p + x) / 1e9 / s }'
}

measure() {  # name size command...
  local name=$1 size=$2 pipe number wine=
  shift 2
  [[ ${1:-} == --wine ]] && { wine=1; shift; }
  pipe=$(mktemp -u)
  mkfifo "$pipe"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$pipe" >/dev/null 2>&1 &
  server=$!
  read -r number <"$pipe"
  rm -f "$pipe"
  if [[ -n $wine ]]; then
    # The prefix's first command starts Wine's services on this display; the
    # saver then starts as quickly as on a prefix in use.
    wineprefix=$(mktemp -d)
    export WINEPREFIX=$wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
    DISPLAY=":$number" wine cmd /c exit </dev/null >/dev/null 2>&1
  fi
  if (($#)); then
    env -u XSCREENSAVER_WINDOW DISPLAY=":$number" "$@" >/dev/null 2>&1 &
    program=$!
  fi
  usage "$name" "$size"
  unset WINEPREFIX
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
  if (($#)); then
    "${env[@]}" "WAYLAND_DISPLAY=$socket" "${user[@]}" "$@" >/dev/null 2>&1 &
    program=$!
  fi
  usage "$name" "$size"
  rm -rf "$swaydir"; swaydir=
}

for tool in Xvfb sway "$hackdir/xmatrix" "$hackdir/xflame"; do
  command -v "$tool" >/dev/null || { echo "missing $tool (run scripts/deps.sh)" >&2; exit 1; }
done
echo "CPU use over ${seconds} s, share of one core (the saver with --seed $seed):"
echo "| program                                          | screen    | program   | server    | together  |"
echo "|--------------------------------------------------|-----------|-----------|-----------|-----------|"
hack="$PWD/build/quillmoor-mothwake"
for size in $sizes; do
  measure "Xvfb alone" "$size"
  measure_sway "sway alone" "$size"
  for scene in forest skyline; do
    measure "quillmoor-mothwake --root -scene $scene (Xvfb)" "$size" "$hack" --root --scene "$scene" --seed "$seed"
    measure_sway "quillmoor-mothwake --saver -scene $scene (sway)" "$size" "$hack" --saver --scene "$scene" --seed "$seed"
  done
  if [[ -f $scr ]] && command -v wine >/dev/null; then
    for scene in forest skyline; do
      measure "quillmoor-mothwake.scr /s -scene $scene (Wine, Xvfb)" "$size" --wine wine "$scr" /s -scene "$scene" -seed "$seed"
    done
  else
    echo "(the .scr under Wine is not measured: it needs Wine, and make windows to build it)"
  fi
  measure "xmatrix --root" "$size" "$hackdir/xmatrix" --root
  measure "xflame --root" "$size" "$hackdir/xflame" --root
done
