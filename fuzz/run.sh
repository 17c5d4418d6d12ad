#!/usr/bin/env bash
# Runs every fuzz target in build-fuzz/fuzz for SECONDS each, one at a time.
#
#   fuzz/run.sh [SECONDS]      fuzz, then add the inputs that reached new code to fuzz/corpus
#   fuzz/run.sh --minimise     shrink each committed corpus to a minimal set with the same coverage
#
# Each target starts from its committed corpus, fuzz/corpus/NAME, and writes
# what it finds to build-fuzz/corpus/NAME, emptied first so that a run's
# start-up stays short; afterwards only inputs that reach code the committed
# corpus does not are merged back into it. Merging counts code edges, not how
# often each is hit, so the committed corpus stays small.
# Crashes, leaks, timeouts and broken properties land in build-fuzz/artifacts.
set -uo pipefail
cd "$(dirname "$0")/.."
bin=build-fuzz/fuzz
work=build-fuzz/corpus
artifacts=build-fuzz/artifacts

# Per-target options: longest input, per-input time limit.
flags() {
  case "$1" in
    scenes) echo "-max_len=24 -timeout=30" ;;
    *) echo "-max_len=256 -timeout=10" ;;
  esac
}

targets=()
for exe in "$bin"/fuzz_*; do
  [[ -x "$exe" ]] && targets+=("${exe##*/fuzz_}")
done
if [[ ${#targets[@]} -eq 0 ]]; then
  echo "no fuzz targets in $bin; build them with: cmake --build --preset fuzz" >&2
  exit 1
fi

if [[ "${1:-}" == "--minimise" ]]; then
  for name in "${targets[@]}"; do
    fresh=$(mktemp -d)
    "$bin/fuzz_$name" -merge=1 -use_counters=0 $(flags "$name") "$fresh" "fuzz/corpus/$name" 2>/dev/null || { rm -rf "$fresh"; exit 1; }
    rm -f "fuzz/corpus/$name"/*
    mv "$fresh"/* "fuzz/corpus/$name"/ 2>/dev/null || true
    rm -rf "$fresh"
    echo "$name: $(ls "fuzz/corpus/$name" | wc -l) inputs"
  done
  exit 0
fi

seconds=${1:-60}
failed=()
mkdir -p "$artifacts"
for name in "${targets[@]}"; do
  rm -rf "${work:?}/$name"
  mkdir -p "$work/$name" "fuzz/corpus/$name"
  dict=()
  [[ -f "fuzz/$name.dict" ]] && dict=(-dict="fuzz/$name.dict")
  log="$work/$name.log"
  echo "fuzz_$name: ${seconds}s" >&2
  if "$bin/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 $(flags "$name") "${dict[@]}" \
       -artifact_prefix="$artifacts/$name-" "$work/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 >&2
    grep -E '^stat::average_exec_per_sec' "$log" >&2
    "$bin/fuzz_$name" -merge=1 -use_counters=0 $(flags "$name") "fuzz/corpus/$name" "$work/$name" 2>&1 |
      grep -E 'MERGE-OUTER: [0-9]+ new' >&2
  else
    failed+=("$name")
    grep -E 'ERROR|SUMMARY|fuzz property broken|Test unit written' "$log" >&2
    echo "fuzz_$name failed; full log: $log" >&2
  fi
done
[[ ${#failed[@]} -eq 0 ]] || { echo "fuzz findings in: ${failed[*]}" >&2; exit 1; }
